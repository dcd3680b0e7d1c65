#include <cstring>
#include <emmintrin.h>

#include "kernels/generic.h"
#include "kernels/tiers.h"

namespace sse2 {
namespace {

struct Sse2 {
    using type = __m128i;
    static constexpr int width = 16;
    static constexpr int lanes = sse2::lanes;
    static type load(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const type*>(p)); }
    static type splat8(char c) { return _mm_set1_epi8(c); }
    static type greater8(type a, type b) { return _mm_cmpgt_epi8(a, b); }
    static type equal8(type a, type b) { return _mm_cmpeq_epi8(a, b); }
    static type and_(type a, type b) { return _mm_and_si128(a, b); }
    static type or_(type a, type b) { return _mm_or_si128(a, b); }
    static type xor_(type a, type b) { return _mm_xor_si128(a, b); }
    static std::uint64_t topbits(type v) { return static_cast<std::uint32_t>(_mm_movemask_epi8(v)); }

    static type zero() { return _mm_setzero_si128(); }
    static type splat32(std::uint32_t v) { return _mm_set1_epi32(static_cast<int>(v)); }
    static type add32(type a, type b) { return _mm_add_epi32(a, b); }
    static type sub32(type a, type b) { return _mm_sub_epi32(a, b); }
    template <int N> static type shiftleft(type v) { return _mm_slli_epi32(v, N); }
    template <int N> static type shiftright(type v) { return _mm_srli_epi32(v, N); }
    template <int N> static type shiftrightsigned(type v) { return _mm_srai_epi32(v, N); }
    static void store32(std::uint32_t* p, type v) { _mm_storeu_si128(reinterpret_cast<type*>(p), v); }
    static int at(const unsigned char* p)
    {
        int v;
        std::memcpy(&v, p, 4);
        return v;
    }
    static type quads(const unsigned char* data, const std::uint16_t* offsets, int j)
    {
        return _mm_set_epi32(at(data + offsets[3] + j), at(data + offsets[2] + j), at(data + offsets[1] + j),
                             at(data + offsets[0] + j));
    }
};

} // namespace

void classify(const unsigned char* data, std::size_t chunks, Masks* out)
{
    classifychunks<Sse2>(data, chunks, out);
}

void hashequal(const unsigned char* data, const std::uint16_t* offsets, const std::uint16_t* index, int length,
               std::uint32_t count, std::uint32_t* hashes)
{
    hashsamelength<Sse2>(data, offsets, index, length, count, hashes);
}

} // namespace sse2
