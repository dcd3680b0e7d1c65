// The kernels written once over a vector type; each file that includes this
// instantiates them for the instruction set it is compiled for.
#pragma once

#include <cstddef>
#include <cstdint>

#include "simd.h"

namespace {

// `V` gives bytes `width` at a time (load, splat, signed compares, and, or,
// and the top bit of each byte as an integer) and 32-bit lanes `lanes` at a
// time (arithmetic, shifts by constants, select, and `quads`, the four bytes
// at a given place of each lane's word).
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
        std::uint64_t letters = 0, starts = 0, joiners = 0;
        for (int i = 0; i < 64; i += V::width) {
            const T bytes = V::load(data + 64 * c + i);
            const T folded = V::or_(bytes, case_bit);
            const T alpha = V::and_(V::greater8(folded, before_a), V::greater8(after_z, folded));
            const T digit = V::and_(V::greater8(bytes, before_0), V::greater8(after_9, bytes));
            const std::uint64_t l = V::topbits(V::or_(V::or_(alpha, digit), bytes));
            const std::uint64_t a = V::topbits(V::equal8(bytes, apostrophe));
            const T other = V::or_(V::equal8(bytes, backtick), V::equal8(bytes, hyphen));
            letters |= l << i;
            starts |= (l | a) << i;
            joiners |= (a | V::topbits(other)) << i;
        }
        out[c] = {letters, starts, joiners};
    }
}

// One step of the hash in every lane, for the byte that `quad` << Shift
// leaves in the top eight bits, taken as a signed value x: h += x;
// h ^= x << 24; h += ~x << 16; h ^= -x << 8; h = (h << 1) + (h >> 1).
// Lanes whose word has ended (`inside` clear) keep their hash.
template <class V, int Shift>
inline typename V::type hashstep(typename V::type h, typename V::type quad, typename V::type inside)
{
    using T = typename V::type;
    const T high = V::and_(V::template shiftleft<Shift>(quad), V::splat32(0xFF000000u)); // x << 24
    const T x = V::template shiftrightsigned<24>(high);
    T next = V::add32(h, x);
    next = V::xor_(next, high);
    next = V::add32(next, V::xor_(V::template shiftleft<16>(x), V::splat32(0xFFFF0000u)));
    next = V::xor_(next, V::sub32(V::zero(), V::template shiftleft<8>(x)));
    next = V::add32(V::template shiftleft<1>(next), V::template shiftright<1>(next));
    return V::select(inside, next, h);
}

// Hashes words `V::lanes` at a time, as many as fill whole vectors, and
// returns how many that was. No library templates are used here: this may be
// compiled for a newer processor than the rest of the program.
template <class V>
inline std::uint32_t hashlanes(const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
                               std::uint32_t count, std::uint32_t* hashes)
{
    using T = typename V::type;
    std::uint32_t i = 0;
    for (; i + V::lanes <= count; i += V::lanes) {
        int longest = 0;
        for (int k = 0; k < V::lanes; ++k)
            longest = longest > lengths[i + k] ? longest : lengths[i + k];
        const T length = V::widen(lengths + i);
        T h = V::zero();
        for (int j = 0; j < longest; j += 4) {
            const T quad = V::quads(data, offsets + i, j);
            h = hashstep<V, 24>(h, quad, V::greater32(length, V::splat32(static_cast<std::uint32_t>(j))));
            h = hashstep<V, 16>(h, quad, V::greater32(length, V::splat32(static_cast<std::uint32_t>(j + 1))));
            h = hashstep<V, 8>(h, quad, V::greater32(length, V::splat32(static_cast<std::uint32_t>(j + 2))));
            h = hashstep<V, 0>(h, quad, V::greater32(length, V::splat32(static_cast<std::uint32_t>(j + 3))));
        }
        V::store32(hashes + i, h);
    }
    return i;
}

} // namespace
