// How a record lies in bytes: the hash, the length, then the word's bytes or
// its distance from the word recorded before.
//
// Until the table is full the distance takes seven bits to a byte, low bits
// first, the top bit set on every byte but the last: on a table that fills,
// most words are new and close together, and a record takes 6 bytes, half as
// much as with whole offsets, and half as much goes to the temporary file.
//
// Once it is full, a record of a distance takes six bytes whatever the
// distance, with jumps of six bytes before it when that is 1024 or more. Pass
// two passes over almost all such records, and with no byte of one to wait
// for before it knows where the next begins, it went through those of the
// log corpus three times as fast: differences of one or two bytes came in no
// order it could guess, at 3.7 ns a record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "words/word.h"

namespace recordbytes {

inline constexpr std::size_t largestrecord = 4 + 1 + maxwordlen;

inline std::size_t offsetbytes(std::uint64_t difference)
{
    std::size_t n = 1;
    while (difference >>= 7)
        ++n;
    return n;
}

// The difference of offsets a record holds, seven bits to a byte, low bits
// first; moves `r` past it.
inline std::uint64_t readdifference(const unsigned char*& r)
{
    std::uint64_t difference = 0;
    for (int shift = 0;; shift += 7) {
        difference |= std::uint64_t{*r & 0x7Fu} << shift;
        if (*r++ < 0x80)
            return difference;
    }
}

// A record made once the table is full, when it holds an offset, is six
// bytes: the hash, then two bytes of the length (low six bits) and of the
// distance from the word before (the ten others). A word further away comes
// after jumps of the same size, which add their hash field, times 2^10 with
// a length of 0 or times 2^42 with a length of 63, to the distance.
inline constexpr std::size_t lateunit = 6;
inline constexpr unsigned lengthbits = 6, nearjump = 0, farjump = (1u << lengthbits) - 1;
inline constexpr int nearshift = 16 - lengthbits, farshift = 32 + nearshift;
static_assert(maxwordlen < farjump);

// What the jumps before a late record add, in units of 2^42 and of 2^10.
inline std::uint64_t farpart(std::uint64_t difference) { return difference >> farshift; }
inline std::uint64_t nearpart(std::uint64_t difference) { return (difference >> nearshift) & 0xFFFFFFFFu; }

inline std::size_t latesize(std::uint64_t difference)
{
    return lateunit * (1 + (farpart(difference) != 0) + (nearpart(difference) != 0));
}

inline unsigned char* putunit(unsigned char* r, std::uint32_t hash, unsigned length, unsigned distance)
{
    const auto tail = static_cast<std::uint16_t>(length | distance << lengthbits);
    std::memcpy(r, &hash, 4);
    std::memcpy(r + 4, &tail, 2);
    return r + lateunit;
}

inline void putlate(unsigned char* r, std::uint32_t hash, unsigned length, std::uint64_t difference)
{
    const std::uint64_t far = farpart(difference), near = nearpart(difference);
    if (far != 0)
        r = putunit(r, static_cast<std::uint32_t>(far), farjump, 0);
    if (near != 0)
        r = putunit(r, static_cast<std::uint32_t>(near), nearjump, 0);
    putunit(r, hash, length, static_cast<unsigned>(difference & ((1u << nearshift) - 1)));
}

// Reads the six bytes at `r`: adds their distance to `last`, and returns the
// length of their word, or 0 for a jump.
inline int takeunit(const unsigned char* r, std::uint32_t& hash, std::uint64_t& last)
{
    std::uint16_t tail;
    std::memcpy(&hash, r, 4);
    std::memcpy(&tail, r + 4, 2);
    const unsigned length = tail & farjump;
    last += tail >> lengthbits;
    if (length == nearjump || length == farjump) [[unlikely]] {
        last += std::uint64_t{hash} << (length == nearjump ? nearshift : farshift);
        return 0;
    }
    return static_cast<int>(length);
}

} // namespace recordbytes
