#include "simd.h"

#include <iterator>

#include "wordreader.h"

void classifysse2(const unsigned char* data, std::size_t chunks, Masks* out);
void classifyavx2(const unsigned char* data, std::size_t chunks, Masks* out);
void hashsse2(const unsigned char* data, const std::uint16_t* offsets, const std::uint16_t* index, int length,
              std::uint32_t count, std::uint32_t* hashes);
void hashavx2(const unsigned char* data, const std::uint16_t* offsets, const std::uint16_t* index, int length,
              std::uint32_t count, std::uint32_t* hashes);
void hashavx512(const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
                std::uint32_t count, std::uint32_t* hashes);
void hashvbmi(const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
              std::uint32_t count, std::uint32_t* hashes);

using namespace wordbytes;

bool haskernel(Kernel kernel)
{
#ifdef TALLVIK_X86_KERNELS
    if (kernel == Kernel::vbmi)
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vbmi");
    if (kernel == Kernel::avx512)
        return __builtin_cpu_supports("avx512f");
    return kernel != Kernel::avx2 || __builtin_cpu_supports("avx2");
#else
    return kernel == Kernel::portable;
#endif
}

bool haslineup()
{
#ifdef TALLVIK_X86_KERNELS
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("popcnt");
#else
    return false;
#endif
}

Kernel bestkernel()
{
    for (Kernel kernel : {Kernel::vbmi, Kernel::avx512, Kernel::avx2, Kernel::sse2})
        if (haskernel(kernel))
            return kernel;
    return Kernel::portable;
}

void classify(Kernel kernel, const unsigned char* data, std::size_t chunks, Masks* out)
{
#ifdef TALLVIK_X86_KERNELS
    if (kernel == Kernel::avx2 || kernel == Kernel::avx512 || kernel == Kernel::vbmi)
        return classifyavx2(data, chunks, out);
    if (kernel == Kernel::sse2)
        return classifysse2(data, chunks, out);
#else
    (void)kernel;
#endif
    // The byte table, a byte at a time.
    for (std::size_t c = 0; c < chunks; ++c) {
        std::uint64_t letters = 0, starts = 0, joiners = 0;
        for (int i = 0; i < 64; ++i) {
            const unsigned char kind = classes[data[64 * c + i]];
            letters |= std::uint64_t{(kind & letter) != 0} << i;
            starts |= std::uint64_t{(kind & (letter | apostrophe)) != 0} << i;
            joiners |= std::uint64_t{(kind & (apostrophe | backtick | hyphen)) != 0} << i;
        }
        out[c] = {letters, starts, joiners};
    }
}

void hashspans(Kernel kernel, const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
               std::uint32_t count, std::uint32_t* hashes)
{
    // A block's words at most, with room to spare.
    constexpr std::uint32_t most = (1 << 14) + 8;
    const int lanes = kernel == Kernel::avx2 ? 8 : kernel == Kernel::sse2 ? 4 : 1;
    const bool sixteen = kernel == Kernel::avx512 || kernel == Kernel::vbmi;
    if (sixteen || lanes == 1 || count > most) {
        // Two vectors of 16 words at a time as they come, the rest one by one.
        std::uint32_t i = 0;
#ifdef TALLVIK_X86_KERNELS
        if (sixteen) {
            i = count / 32 * 32;
            (kernel == Kernel::vbmi ? hashvbmi : hashavx512)(data, offsets, lengths, i, hashes);
        }
#endif
        for (; i < count; ++i)
            hashes[i] = hashbytes(data + offsets[i], lengths[i]);
        return;
    }
    // The words sorted by length, so that each vector holds words of one
    // length: a counting sort, then each length's words a vector at a time,
    // and those left over one by one. Neighbouring words count in different
    // copies of each length's counter, since most neighbours share a length
    // and one counter would make each word wait for the one before.
    constexpr std::uint32_t copies = 4;
    std::uint32_t next[(maxwordlen + 1) * copies + 1] = {};
    for (std::uint32_t i = 0; i < count; ++i)
        ++next[lengths[i] * copies + i % copies + 1];
    for (std::uint32_t k = 1; k < std::size(next); ++k)
        next[k] += next[k - 1];
    std::uint16_t at[most], index[most];
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t place = next[lengths[i] * copies + i % copies]++;
        at[place] = offsets[i];
        index[place] = static_cast<std::uint16_t>(i);
    }
    std::uint32_t first[maxwordlen + 1];
    for (int length = 0; length <= maxwordlen; ++length)
        first[length] = next[length * copies + copies - 1];
    // first[length] is now where the words one byte longer begin.
    for (int length = 0, begin = 0; length <= maxwordlen; begin = static_cast<int>(first[length++])) {
        const std::uint32_t words = first[length] - static_cast<std::uint32_t>(begin);
        const std::uint32_t whole = words / static_cast<std::uint32_t>(lanes) * static_cast<std::uint32_t>(lanes);
#ifdef TALLVIK_X86_KERNELS
        (kernel == Kernel::avx2 ? hashavx2 : hashsse2)(data, at + begin, index + begin, length, whole, hashes);
#endif
        for (std::uint32_t i = static_cast<std::uint32_t>(begin) + whole; i < first[length]; ++i)
            hashes[index[i]] = hashbytes(data + at[i], static_cast<std::size_t>(length));
    }
}
