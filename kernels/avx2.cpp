// Compiled with -mavx2, and called only where the processor has AVX2.
#include <immintrin.h>

#include "kernels/generic.h"
#include "kernels/tiers.h"

namespace avx2 {
namespace {

struct Avx2 {
    using type = __m256i;
    static constexpr int width = 32;
    static constexpr int lanes = avx2::lanes;
    static type load(const unsigned char* p) { return _mm256_loadu_si256(reinterpret_cast<const type*>(p)); }
    static type splat8(char c) { return _mm256_set1_epi8(c); }
    static type greater8(type a, type b) { return _mm256_cmpgt_epi8(a, b); }
    static type equal8(type a, type b) { return _mm256_cmpeq_epi8(a, b); }
    static type and_(type a, type b) { return _mm256_and_si256(a, b); }
    static type or_(type a, type b) { return _mm256_or_si256(a, b); }
    static type xor_(type a, type b) { return _mm256_xor_si256(a, b); }
    static std::uint64_t topbits(type v) { return static_cast<std::uint32_t>(_mm256_movemask_epi8(v)); }

    static type zero() { return _mm256_setzero_si256(); }
    static type splat32(std::uint32_t v) { return _mm256_set1_epi32(static_cast<int>(v)); }
    static type add32(type a, type b) { return _mm256_add_epi32(a, b); }
    static type sub32(type a, type b) { return _mm256_sub_epi32(a, b); }
    template <int N> static type shiftleft(type v) { return _mm256_slli_epi32(v, N); }
    template <int N> static type shiftright(type v) { return _mm256_srli_epi32(v, N); }
    template <int N> static type shiftrightsigned(type v) { return _mm256_srai_epi32(v, N); }
    static void store32(std::uint32_t* p, type v) { _mm256_storeu_si256(reinterpret_cast<type*>(p), v); }
    static type quads(const unsigned char* data, const std::uint16_t* offsets, int j)
    {
        const type at = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(offsets)));
        return _mm256_i32gather_epi32(reinterpret_cast<const int*>(data + j), at, 1);
    }
};

} // namespace

void classify(const unsigned char* data, std::size_t chunks, Masks* out)
{
    classifychunks<Avx2>(data, chunks, out);
}

void hashequal(const unsigned char* data, const std::uint16_t* offsets, const std::uint16_t* index, int length,
               std::uint32_t count, std::uint32_t* hashes)
{
    hashsamelength<Avx2>(data, offsets, index, length, count, hashes);
}

} // namespace avx2
