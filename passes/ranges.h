// A regular file that several readers share, cut into ranges about `span`
// bytes apart, each moved on to just past a separator: no word crosses such
// a place, and a reader starting there is between words, so each range reads
// as it would as part of the whole. Reader r reads ranges r, r + readers, ...
// and the counter takes them in order.
#pragma once

#include <cstdint>

#include "io/input.h"

struct Ranges {
    int fd;
    int readers;
    std::uint32_t count; // of ranges
    std::uint64_t span;  // between the places they are cut near
};

// The ranges of a file of `size` bytes, open as `fd`, for `readers`
// readers: eight for each, or more where eight would be over 4 MiB each;
// one for a single reader.
Ranges cutranges(int fd, std::uint64_t size, int readers);

// Sets up `in` to read range `k` by offsets; the last range reads on to the
// end of the file. Where the file cannot be read at a range's ends, the
// range is empty and `in.readerror` says why.
void openrange(const Ranges& ranges, std::uint32_t k, Input& in);
