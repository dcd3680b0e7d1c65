// The kernels written once over a vector type; each file that includes this
// instantiates them for the instruction set it is compiled for.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernels/kernels.h"

namespace {

// `V` gives bytes `width` at a time (load, splat, signed compares, and, or,
// and the top bit of each byte as an integer) and 32-bit lanes `lanes` at a
// time (arithmetic, shifts by constants, and `quads`, the four bytes at a
// given place of each lane's word).
template <class V>
inline void classifychunks(const unsigned char* data, std::size_t chunks, Masks* out)
{
    using T = typename V::type;
    // Letters are a-z and A-Z (one range once 0x20 is set), 0-9, and every
    // byte from 0x80, which is negative as a signed byte.
    const T case_bit = V::splat8(0x20);
    const T before_a = V::splat8('a' - 1), after_z = V::splat8('z' + 1);
    const T before_0 = V::splat8('0' - 1), after_9 = V::splat8('9' + 1);
    const T apostrophe = V::splat8('\''), backtick = V::splat8('`'), hyphen = V::splat8('-');
    for (std::size_t c = 0; c < chunks; ++c) {
        std::uint64_t letters = 0, apostrophes = 0, links = 0;
        for (int i = 0; i < 64; i += V::width) {
            const T bytes = V::load(data + 64 * c + i);
            const T folded = V::or_(bytes, case_bit);
            const T alpha = V::and_(V::greater8(folded, before_a), V::greater8(after_z, folded));
            const T digit = V::and_(V::greater8(bytes, before_0), V::greater8(after_9, bytes));
            const std::uint64_t l = V::topbits(V::or_(V::or_(alpha, digit), bytes));
            const std::uint64_t a = V::topbits(V::equal8(bytes, apostrophe));
            const T other = V::or_(V::equal8(bytes, backtick), V::equal8(bytes, hyphen));
            letters |= l << i;
            apostrophes |= a << i;
            links |= V::topbits(other) << i;
        }
        out[c] = chunkmasks(letters, apostrophes, links);
    }
}

// One step of the hash in every lane, for the byte that `quad` << Shift
// leaves in the top eight bits, taken as a signed value x: h += x;
// h ^= x << 24; h += ~x << 16; h ^= -x << 8; h = (h << 1) + (h >> 1).
template <class V, int Shift>
inline typename V::type hashstep(typename V::type h, typename V::type quad)
{
    using T = typename V::type;
    const T high = V::and_(V::template shiftleft<Shift>(quad), V::splat32(0xFF000000u)); // x << 24
    const T x = V::template shiftrightsigned<24>(high);
    h = V::add32(h, x);
    h = V::xor_(h, high);
    h = V::add32(h, V::xor_(V::template shiftleft<16>(x), V::splat32(0xFFFF0000u)));
    h = V::xor_(h, V::sub32(V::zero(), V::template shiftleft<8>(x)));
    return V::add32(V::template shiftleft<1>(h), V::template shiftright<1>(h));
}

// The hash of one vector of words of `length` bytes, going on from `h`:
// steps for the bytes of whole quads, then for those left.
template <class V>
inline typename V::type hashquads(typename V::type h, const unsigned char* data, const std::uint16_t* offsets,
                                  int length)
{
    int j = 0;
    for (; j + 4 <= length; j += 4) {
        const auto quad = V::quads(data, offsets, j);
        h = hashstep<V, 24>(h, quad);
        h = hashstep<V, 16>(h, quad);
        h = hashstep<V, 8>(h, quad);
        h = hashstep<V, 0>(h, quad);
    }
    if (j < length) {
        const auto quad = V::quads(data, offsets, j);
        h = hashstep<V, 24>(h, quad);
        if (j + 1 < length)
            h = hashstep<V, 16>(h, quad);
        if (j + 2 < length)
            h = hashstep<V, 8>(h, quad);
    }
    return h;
}

// Stores the hashes in `h` at hashes[index[k]], lane k: the vector's words
// were sorted, the hashes go back to their words' places.
template <class V>
inline void scatter(typename V::type h, const std::uint16_t* index, std::uint32_t* hashes)
{
    std::uint32_t lanes[V::lanes];
    V::store32(lanes, h);
    for (int k = 0; k < V::lanes; ++k)
        hashes[index[k]] = lanes[k];
}

// Hashes `count` words of `length` bytes each, at data + offsets[i], a
// multiple of `V::lanes`, a word in each lane, into hashes[index[i]]. Words
// of one length need no masks and no steps past their end; two vectors go
// side by side, since each step waits for the one before. No library
// templates are used here: this may be compiled for a newer processor than
// the rest of the program.
template <class V>
inline void hashsamelength(const unsigned char* data, const std::uint16_t* offsets, const std::uint16_t* index,
                           int length, std::uint32_t count, std::uint32_t* hashes)
{
    using T = typename V::type;
    std::uint32_t i = 0;
    for (; i + 2 * V::lanes <= count; i += 2 * V::lanes) {
        T first = V::zero(), second = V::zero();
        int j = 0;
        for (; j + 4 <= length; j += 4) {
            const T a = V::quads(data, offsets + i, j), b = V::quads(data, offsets + i + V::lanes, j);
            first = hashstep<V, 24>(first, a);
            second = hashstep<V, 24>(second, b);
            first = hashstep<V, 16>(first, a);
            second = hashstep<V, 16>(second, b);
            first = hashstep<V, 8>(first, a);
            second = hashstep<V, 8>(second, b);
            first = hashstep<V, 0>(first, a);
            second = hashstep<V, 0>(second, b);
        }
        scatter<V>(hashquads<V>(first, data + j, offsets + i, length - j), index + i, hashes);
        scatter<V>(hashquads<V>(second, data + j, offsets + i + V::lanes, length - j), index + i + V::lanes, hashes);
    }
    if (i < count)
        scatter<V>(hashquads<V>(V::zero(), data, offsets + i, length), index + i, hashes);
}

} // namespace
