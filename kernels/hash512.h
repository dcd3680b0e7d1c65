// The hash on 16 lanes, written once for the files compiled for AVX-512:
// avx512.cpp (F alone), whose lanes gather their words' bytes, and
// vbmi.cpp (F, BW, VBMI and VBMI2), whose lanes take the bytes of words that
// lie close together from two loads and a byte permutation. No library
// templates are used here, for the reason tiers.h gives.
#pragma once

#include <cstdint>

#include "kernels/avx512intrin.h"
#include "kernels/generic.h"

namespace {

struct Avx512 {
    using type = __m512i;
    using mask = __mmask16;
    static type zero() { return _mm512_setzero_si512(); }
    static type splat32(std::uint32_t v) { return _mm512_set1_epi32(static_cast<int>(v)); }
    static type add32(type a, type b) { return _mm512_add_epi32(a, b); }
    static type sub32(type a, type b) { return _mm512_sub_epi32(a, b); }
    static type and_(type a, type b) { return _mm512_and_si512(a, b); }
    static type xor_(type a, type b) { return _mm512_xor_si512(a, b); }
    template <int N> static type shiftleft(type v) { return _mm512_slli_epi32(v, N); }
    template <int N> static type shiftright(type v) { return _mm512_srli_epi32(v, N); }
    template <int N> static type shiftrightsigned(type v) { return _mm512_srai_epi32(v, N); }
    static type lengths(const std::uint8_t* p)
    {
        return _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    static int longest(type a, type b) { return _mm512_reduce_max_epi32(_mm512_max_epi32(a, b)); }
    static mask longer(type length, int j) { return _mm512_cmpgt_epi32_mask(length, _mm512_set1_epi32(j)); }
    static type select(mask m, type a, type b) { return _mm512_mask_blend_epi32(m, b, a); }
};

using T = __m512i;

// One step for byte k of each lane's word, in the lanes whose word has it.
template <int Shift>
inline T step(T h, T quad, T length, int k)
{
    return Avx512::select(Avx512::longer(length, k), hashstep<Avx512, Shift>(h, quad), h);
}

// The four bytes from byte j on of each lane's word, at data + at: a gather
// serves any words.
struct Gathered {
    const unsigned char* data;
    T at;
    Gathered(const unsigned char* bytes, T places) : data(bytes), at(places) {}
    bool fits() const { return true; }
    T quads(int j) const { return _mm512_i32gather_epi32(at, data + j, 1); }
};

// Steps two vectors of words side by side through the bytes j < `upto` of
// each lane's word, their quads from `a` and `b`: each step waits for the
// one before, so the processor runs the two chains at once. The steps from
// `upto` on would leave every lane as it is, and are not taken: for words
// of three to five letters that was a third of the work. Each call is
// inlined, so that the hashes stay in registers.
template <class Quads>
[[gnu::always_inline]] inline void hashsteps(T& first, T& second, const Quads& a, const Quads& b, T length, T nextlength, int upto)
{
    int j = 0;
    for (; j + 4 <= upto; j += 4) {
        const T p = a.quads(j), q = b.quads(j);
        first = step<24>(first, p, length, j);
        second = step<24>(second, q, nextlength, j);
        first = step<16>(first, p, length, j + 1);
        second = step<16>(second, q, nextlength, j + 1);
        first = step<8>(first, p, length, j + 2);
        second = step<8>(second, q, nextlength, j + 2);
        first = step<0>(first, p, length, j + 3);
        second = step<0>(second, q, nextlength, j + 3);
    }
    if (j == upto)
        return;
    const T p = a.quads(j), q = b.quads(j);
    first = step<24>(first, p, length, j);
    second = step<24>(second, q, nextlength, j);
    if (j + 1 < upto) {
        first = step<16>(first, p, length, j + 1);
        second = step<16>(second, q, nextlength, j + 1);
    }
    if (j + 2 < upto) {
        first = step<8>(first, p, length, j + 2);
        second = step<8>(second, q, nextlength, j + 2);
    }
}

// Words longer than `cut` bytes, hashed that far, waiting to be finished
// 32 at a time: where their rest begins, how long it is, their hashes so
// far and their places.
constexpr int cut = 8;
struct Long {
    std::uint32_t at[64], length[64], hash[64], index[64];
    int count = 0;

    void add(__mmask16 m, T a, T l, T h, T i)
    {
        _mm512_storeu_si512(at + count, _mm512_maskz_compress_epi32(m, _mm512_add_epi32(a, _mm512_set1_epi32(cut))));
        _mm512_storeu_si512(length + count, _mm512_maskz_compress_epi32(m, _mm512_sub_epi32(l, _mm512_set1_epi32(cut))));
        _mm512_storeu_si512(hash + count, _mm512_maskz_compress_epi32(m, h));
        _mm512_storeu_si512(index + count, _mm512_maskz_compress_epi32(m, i));
        count += __builtin_popcount(m);
    }

    // Finishes the first 32 waiting, or those of `use` among them, and
    // stores their hashes in their places.
    void finish(const unsigned char* data, std::uint32_t use, std::uint32_t* hashes)
    {
        const auto low = static_cast<__mmask16>(use), high = static_cast<__mmask16>(use >> 16);
        const T rest = _mm512_maskz_loadu_epi32(low, length), nextrest = _mm512_maskz_loadu_epi32(high, length + 16);
        T first = _mm512_loadu_si512(hash), second = _mm512_loadu_si512(hash + 16);
        // Whole quads only: the rests vary too much for the last steps to
        // be worth a branch each.
        hashsteps(first, second, Gathered(data, _mm512_maskz_loadu_epi32(low, at)),
                  Gathered(data, _mm512_maskz_loadu_epi32(high, at + 16)), rest, nextrest,
                  (Avx512::longest(rest, nextrest) + 3) & ~3);
        _mm512_mask_i32scatter_epi32(hashes, low, _mm512_loadu_si512(index), first, 4);
        _mm512_mask_i32scatter_epi32(hashes, high, _mm512_loadu_si512(index + 16), second, 4);
    }
};

// Two vectors of 16 words side by side, in their own order: each takes as
// many steps as its longest word, up to `cut` bytes, a lane masked off once
// its word ends. That skips the sort by length that 4 or 8 lanes need, which
// cost as much as the hashing itself. The few words longer than `cut` are
// finished apart, 32 at a time, so that one long word does not hold 31 short
// ones for all its steps: on words of mixed lengths that takes a third less
// time than hashing every word to its end in place (measured).
//
// `Near` gives the quads of 16 words where its fits() says it can; the rest
// are gathered.
template <class Near>
inline void hashwords(const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
                      std::uint32_t count, std::uint32_t* hashes)
{
    Long waiting;
    const T iota = _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const T over = _mm512_set1_epi32(cut);
    for (std::uint32_t i = 0; i < count; i += 32) {
        const T at = _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(offsets + i)));
        const T nextat = _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(offsets + i + 16)));
        const T length = Avx512::lengths(lengths + i), nextlength = Avx512::lengths(lengths + i + 16);
        const int longest = Avx512::longest(length, nextlength);
        const int upto = longest < cut ? longest : cut;
        T first = _mm512_setzero_si512(), second = first;
        const Near near(data, at), nextnear(data, nextat);
        if (near.fits() && nextnear.fits())
            hashsteps(first, second, near, nextnear, length, nextlength, upto);
        else
            hashsteps(first, second, Gathered(data, at), Gathered(data, nextat), length, nextlength, upto);
        _mm512_storeu_si512(hashes + i, first);
        _mm512_storeu_si512(hashes + i + 16, second);
        const __mmask16 longfirst = _mm512_cmpgt_epi32_mask(length, over);
        const __mmask16 longsecond = _mm512_cmpgt_epi32_mask(nextlength, over);
        if ((longfirst | longsecond) == 0)
            continue;
        const T index = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int>(i)), iota);
        waiting.add(longfirst, at, length, first, index);
        waiting.add(longsecond, nextat, nextlength, second, _mm512_add_epi32(index, _mm512_set1_epi32(16)));
        if (waiting.count >= 32) {
            waiting.finish(data, ~std::uint32_t{0}, hashes);
            waiting.count -= 32;
            std::uint32_t* const arrays[] = {waiting.at, waiting.length, waiting.hash, waiting.index};
            for (std::uint32_t* a : arrays) {
                _mm512_storeu_si512(a, _mm512_loadu_si512(a + 32));
                _mm512_storeu_si512(a + 16, _mm512_loadu_si512(a + 48));
            }
        }
    }
    if (waiting.count > 0)
        waiting.finish(data, (std::uint32_t{1} << waiting.count) - 1, hashes);
}

} // namespace
