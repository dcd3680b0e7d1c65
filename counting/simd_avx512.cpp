// Compiled with -mavx512f, and called only where the processor has it. Only
// the hash runs on 16 lanes: classifying a chunk of 64 bytes is two AVX2
// loads already, and a small part of the reader's time.
#include <immintrin.h>

#include "simdkernel.h"

namespace {

struct Avx512 {
    using type = __m512i;
    using mask = __mmask16;
    static constexpr int lanes = 16;
    static type zero() { return _mm512_setzero_si512(); }
    static type splat32(std::uint32_t v) { return _mm512_set1_epi32(static_cast<int>(v)); }
    static type add32(type a, type b) { return _mm512_add_epi32(a, b); }
    static type sub32(type a, type b) { return _mm512_sub_epi32(a, b); }
    static type and_(type a, type b) { return _mm512_and_si512(a, b); }
    static type xor_(type a, type b) { return _mm512_xor_si512(a, b); }
    template <int N> static type shiftleft(type v) { return _mm512_slli_epi32(v, N); }
    template <int N> static type shiftright(type v) { return _mm512_srli_epi32(v, N); }
    template <int N> static type shiftrightsigned(type v) { return _mm512_srai_epi32(v, N); }
    static void store32(std::uint32_t* p, type v) { _mm512_storeu_si512(p, v); }
    static type quads(const unsigned char* data, const std::uint16_t* offsets, int j)
    {
        const type at = _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(offsets)));
        return _mm512_i32gather_epi32(at, data + j, 1);
    }
    static type lengths(const std::uint8_t* p)
    {
        return _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    static int longest(type a, type b) { return _mm512_reduce_max_epi32(_mm512_max_epi32(a, b)); }
    static mask longer(type length, int j) { return _mm512_cmpgt_epi32_mask(length, _mm512_set1_epi32(j)); }
    static type select(mask m, type a, type b) { return _mm512_mask_blend_epi32(m, b, a); }
};

} // namespace

void hashavx512(const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
                std::uint32_t count, std::uint32_t* hashes)
{
    hashwords<Avx512>(data, offsets, lengths, count, hashes);
}
