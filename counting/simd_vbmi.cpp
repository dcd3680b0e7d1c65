// Compiled for AVX-512 F, BW and VBMI, and called only where the processor
// has them all.
#include "hash512.h"

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

void hashvbmi(const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
              std::uint32_t count, std::uint32_t* hashes)
{
    hashwords<Permuted>(data, offsets, lengths, count, hashes);
}
