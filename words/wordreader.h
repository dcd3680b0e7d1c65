// Splitting the input into words, a byte at a time: for the words whose
// joiners or place the vector kernels leave to it.
#pragma once

#include <cstdint>

#include "io/input.h"
#include "words/word.h"

// What the reader knows of the word it leaves in the buffer.
struct Word {
    wordhash hash;       // the hash of its bytes
    int length;          // its bytes, which are the input's from `start` on
    std::uint64_t start; // the offset in the input of its first byte
};

// Reads the next word of at least `minwordlen` bytes (1 to `maxlen`) into
// `buf`, which has room for `maxlen` + 1 bytes: the word, then zero bytes up
// to buf[maxlen]. Shorter words are skipped. Returns the last value read: -1
// when the input ended during the call, which may come with a last word in
// `buf` (buf[0] != 0) or with none. A word cut at `maxlen` that trimming
// empties comes back empty with a byte value.
int readword(Input& in, unsigned char* buf, int maxlen, int minwordlen, Word& word);
