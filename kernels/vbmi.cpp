// Compiled for AVX-512 F, BW, VBMI and VBMI2 and for POPCNT, and called only
// where the processor has them all (as every one with VBMI2 does).
#include "kernels/hash512.h"
#include "kernels/tiers.h"

namespace vbmi {
namespace {

// The quads of 16 words that begin at most `reach` bytes after the first:
// two loads of 64 bytes from the first word on, and one permutation of
// their bytes for each quad, where a gather loads 16 times. On words of a
// few letters, the usual kind, that took a third off hashing (measured).
struct Permuted {
    // A lane's quad from byte j < 8 of its word on lies in the 128 bytes.
    static constexpr int reach = 128 - 8;

    T low, high;
    T places; // byte k of a lane: where byte k of its word lies in low:high
    bool near;

    // The loads are made whether or not the words fit: 128 bytes from a
    // word's first byte on may always be read.
    Permuted(const unsigned char* data, T at)
    {
        const int first = _mm_cvtsi128_si32(_mm512_castsi512_si128(at));
        low = _mm512_loadu_si512(data + first);
        high = _mm512_loadu_si512(data + first + 64);
        const T from = _mm512_sub_epi32(at, _mm512_set1_epi32(first));
        near = _mm512_cmpgt_epu32_mask(from, _mm512_set1_epi32(reach)) == 0;
        places = _mm512_add_epi32(_mm512_mullo_epi32(from, _mm512_set1_epi32(0x01010101)),
                                  _mm512_set1_epi32(0x03020100));
    }

    bool fits() const { return near; }

    T quads(int j) const
    {
        return _mm512_permutex2var_epi8(low, _mm512_add_epi32(places, _mm512_set1_epi32(j * 0x01010101)), high);
    }
};

} // namespace

void hashspans(const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
               std::uint32_t count, std::uint32_t* hashes)
{
    hashwords<Permuted>(data, offsets, lengths, count, hashes);
}

// Compressing the bit numbers of each mask lines starts and ends up in
// lanes, where one subtraction gives every length and a second compression
// drops the short runs. No branch depends on the text, where walking the
// bits a run at a time guessed wrong at the end of every chunk.
std::uint32_t lineup(std::uint64_t starts, std::uint64_t ends, std::uint32_t base, std::uint32_t shortest,
                     std::uint32_t longest, std::uint16_t* offsets, std::uint8_t* lengths)
{
    alignas(64) static constexpr unsigned char bits[64] = {
        0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
        22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
        44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63};
    const __m512i bit = _mm512_load_si512(bits);
    const __m512i first = _mm512_maskz_compress_epi8(starts, bit);
    const __m512i end = _mm512_maskz_compress_epi8(ends, bit);
    const __m512i length = _mm512_min_epu8(_mm512_sub_epi8(end, first), _mm512_set1_epi8(static_cast<char>(longest)));
    // A chunk holds at most 32 runs, each a letter and the byte after it.
    const __mmask64 runs = (std::uint64_t{1} << __builtin_popcountll(ends)) - 1;
    const __mmask64 kept = _mm512_mask_cmpge_epu8_mask(runs, length, _mm512_set1_epi8(static_cast<char>(shortest)));
    const __m256i keptfirst = _mm512_castsi512_si256(_mm512_maskz_compress_epi8(kept, first));
    const __m256i keptlength = _mm512_castsi512_si256(_mm512_maskz_compress_epi8(kept, length));
    _mm512_storeu_si512(offsets, _mm512_add_epi16(_mm512_cvtepu8_epi16(keptfirst),
                                                  _mm512_set1_epi16(static_cast<short>(base))));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(lengths), keptlength);
    return static_cast<std::uint32_t>(__builtin_popcountll(kept));
}

} // namespace vbmi
