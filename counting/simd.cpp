#include "simd.h"

#include "wordreader.h"

void classifysse2(const unsigned char* data, std::size_t chunks, Masks* out);
void classifyavx2(const unsigned char* data, std::size_t chunks, Masks* out);
std::uint32_t hashsse2(const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
                       std::uint32_t count, std::uint32_t* hashes);
std::uint32_t hashavx2(const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
                       std::uint32_t count, std::uint32_t* hashes);

using namespace wordbytes;

bool haskernel(Kernel kernel)
{
#ifdef TALLVIK_X86_KERNELS
    return kernel != Kernel::avx2 || __builtin_cpu_supports("avx2");
#else
    return kernel == Kernel::portable;
#endif
}

Kernel bestkernel()
{
    return haskernel(Kernel::avx2) ? Kernel::avx2 : haskernel(Kernel::sse2) ? Kernel::sse2 : Kernel::portable;
}

void classify(Kernel kernel, const unsigned char* data, std::size_t chunks, Masks* out)
{
#ifdef TALLVIK_X86_KERNELS
    if (kernel == Kernel::avx2)
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
    std::uint32_t done = 0;
#ifdef TALLVIK_X86_KERNELS
    if (kernel == Kernel::avx2)
        done = hashavx2(data, offsets, lengths, count, hashes);
    else if (kernel == Kernel::sse2)
        done = hashsse2(data, offsets, lengths, count, hashes);
#else
    (void)kernel;
#endif
    // What is left of the vectors, or everything, a word at a time.
    for (std::uint32_t i = done; i < count; ++i) {
        wordhash h = 0;
        for (int j = 0; j < lengths[i]; ++j)
            h = hashstep(h, data[offsets[i] + j]);
        hashes[i] = h;
    }
}
