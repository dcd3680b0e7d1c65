#include "io/output.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "io/progress.h"
#include "io/uninterrupted.h"

namespace {

constexpr unsigned long advertisedkb = 3126;

// Standard output, written a buffer at a time.
struct Buffer {
    unsigned char bytes[1 << 16];
    std::size_t length;
};
Buffer out;

void output(const void* bytes, std::size_t size)
{
    const auto* from = static_cast<const unsigned char*>(bytes);
    while (size > 0) {
        if (out.length == sizeof out.bytes)
            flushoutput();
        const std::size_t n = std::min(size, sizeof out.bytes - out.length);
        std::memcpy(out.bytes + out.length, from, n);
        out.length += n;
        from += n;
        size -= n;
    }
}

// Writes all of `bytes` to standard output. A failed write ends the run with
// status 2, since every later line would be lost too.
void writeout(const unsigned char* bytes, std::size_t left)
{
    endprogress(); // lines on a terminal must not run into the progress line
    while (left > 0) {
        const ssize_t put = uninterrupted([&] { return write(STDOUT_FILENO, bytes, left); });
        if (put <= 0)
            fail("cannot write standard output", nullptr, put < 0 ? errno : EIO);
        bytes += put;
        left -= static_cast<std::size_t>(put);
    }
}

// "00" to "99".
constexpr auto digitpairs = [] {
    std::array<unsigned char, 200> pairs{};
    for (int k = 0; k < 100; ++k) {
        pairs[2 * k] = static_cast<unsigned char>('0' + k / 10);
        pairs[2 * k + 1] = static_cast<unsigned char>('0' + k % 10);
    }
    return pairs;
}();

// Copies a word in moves of a fixed size, which may overlap but read nothing
// outside the word: a word is a few bytes long, and a call to memcpy for each
// line cost more than the copy.
void copyword(unsigned char* to, const unsigned char* from, std::size_t length)
{
    if (length >= 8) {
        for (std::size_t k = 0; k + 8 < length; k += 8)
            std::memcpy(to + k, from + k, 8);
        std::memcpy(to + length - 8, from + length - 8, 8);
    } else if (length >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + length - 4, from + length - 4, 4);
    } else if (length > 0) {
        to[0] = from[0];
        to[length / 2] = from[length / 2];
        to[length - 1] = from[length - 1];
    }
}

template <typename... Values>
void outputf(const char* format, Values... values)
{
    char text[512];
    const int n = std::snprintf(text, sizeof text, format, values...);
    output(text, std::min(static_cast<std::size_t>(n), sizeof text - 1));
}

} // namespace

void fail(const char* what, const char* name, int err)
{
    fail(what, name, std::strerror(err));
}

void fail(const char* what, const char* name, const char* reason)
{
    endprogress();
    if (name != nullptr)
        std::fprintf(stderr, "tallvik: %s '%s': %s\n", what, name, reason);
    else
        std::fprintf(stderr, "tallvik: %s: %s\n", what, reason);
    std::exit(2);
}

void warnfulltable(std::int32_t capacity)
{
    std::fprintf(stderr, "tallvik: the table filled up with %i distinct words; some counts may be incomplete\n",
                 static_cast<int>(capacity));
}

void printusage(const char* program, std::int32_t capacity)
{
    outputf("tallvik %s \u2014 word frequencies in constant memory \u2014 (c) 2026 the tallvik authors\n",
            TALLVIK_VERSION);
    outputf("it will count the frequency of up to %i different words using a constant amount of about "
            "%lukb of internal memory in up to eight decimal digits and should crash or buffer "
            "overflow/underrun under no condition I can currently think of. ",
            static_cast<int>(capacity), advertisedkb);
    static const char middle[] =
        "it could probably run a lot faster though under very sub-optimal conditions like loads of "
        "different words with a very homogeneous distribution. it also ignores character sets and "
        "assumes octets for those sets. Have as much fun abusing and using it as I had coding it!\n\n"
        "use as '";
    output(middle, sizeof middle - 1);
    output(program, std::strlen(program));
    static const char tail[] = " [file] [[minwordlen] [[mincount]]]'\n";
    output(tail, sizeof tail - 1);
}

void printversion()
{
    outputf("tallvik %s\n", TALLVIK_VERSION);
}

void printlengthnotice(int minwordlen, int maxwordlen)
{
    outputf("defaulting to a word length between %i and %i chars\n\a", minwordlen, maxwordlen);
}

void printcountnotice(std::uint32_t mincount)
{
    outputf("defaulting to a minimum of %lu occurances of each word\n\a", static_cast<unsigned long>(mincount));
}

void printcount(std::uint32_t count, const unsigned char* word, int length)
{
    // "%8lu %s\n" without printf's parsing on every line, and written
    // straight into the buffer. That took 3 to 4 ms off a run that prints the
    // 327487 lines of a table that fills (measured).
    const std::size_t longest = longestcount + 2 + static_cast<std::size_t>(length);
    if (sizeof out.bytes - out.length < longest)
        flushoutput();
    out.length += formatcount(out.bytes + out.length, count, word, length);
}

std::size_t formatcount(unsigned char* line, std::uint32_t count, const unsigned char* word, int length)
{
    // Up to ten digits, right-aligned in eight columns or more, two at a
    // time, then the word.
    const int width = count < 100000000 ? 8 : count < 1000000000 ? 9 : 10;
    std::memset(line, ' ', 8);
    unsigned char* at = line + width;
    for (; count >= 100; count /= 100) {
        at -= 2;
        std::memcpy(at, &digitpairs[2 * (count % 100)], 2);
    }
    if (count >= 10)
        std::memcpy(at - 2, &digitpairs[2 * count], 2);
    else
        at[-1] = static_cast<unsigned char>('0' + count);
    line[width] = ' ';
    copyword(line + width + 1, word, static_cast<std::size_t>(length));
    line[width + 1 + length] = '\n';
    return static_cast<std::size_t>(width + 2 + length);
}

void printlines(const unsigned char* lines, std::size_t size)
{
    // A megabyte of lines or so goes out as it is, not through the buffer.
    if (size < sizeof out.bytes)
        return output(lines, size);
    flushoutput();
    writeout(lines, size);
}

void printsummary(std::uint64_t words, int minwordlen, std::int32_t distinct)
{
    outputf("%" PRIu64 " words were counted which were larger than %i chars\nof these words %i seemed unique\n",
            words, minwordlen, distinct);
}

void flushoutput()
{
    if (out.length == 0)
        return;
    const std::size_t length = out.length;
    out.length = 0;
    writeout(out.bytes, length);
}
