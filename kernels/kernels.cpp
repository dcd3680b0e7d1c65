#include "kernels/kernels.h"

#include <cstring>
#include <iterator>

#include "kernels/tiers.h"
#include "words/word.h"

namespace {

using namespace wordbytes;

// The byte table, a byte at a time.
void classifybytes(const unsigned char* data, std::size_t chunks, Masks* out)
{
    for (std::size_t c = 0; c < chunks; ++c) {
        std::uint64_t letters = 0, apostrophes = 0, links = 0;
        for (int i = 0; i < 64; ++i) {
            const unsigned char kind = classes[data[64 * c + i]];
            letters |= std::uint64_t{(kind & letter) != 0} << i;
            apostrophes |= std::uint64_t{(kind & apostrophe) != 0} << i;
            links |= std::uint64_t{(kind & (backtick | hyphen)) != 0} << i;
        }
        out[c] = chunkmasks(letters, apostrophes, links);
    }
}

void hashonebyone(const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
                  std::uint32_t count, std::uint32_t* hashes)
{
    for (std::uint32_t i = 0; i < count; ++i)
        hashes[i] = hashbytes(data + offsets[i], lengths[i]);
}

#ifdef TALLVIK_X86_KERNELS
// Two vectors of 16 words at a time as they come, the rest one by one.
template <HashSpans Sixteen>
void hashsixteen(const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
                 std::uint32_t count, std::uint32_t* hashes)
{
    const std::uint32_t whole = count / 32 * 32;
    Sixteen(data, offsets, lengths, whole, hashes);
    hashonebyone(data, offsets + whole, lengths + whole, count - whole, hashes + whole);
}

// Four or eight lanes: the words sorted by length, so that each vector holds
// words of one length: a counting sort, then each length's words a vector at
// a time, and those left over one by one. Neighbouring words count in
// different copies of each length's counter, since most neighbours share a
// length and one counter would make each word wait for the one before. With
// fewer lanes, masked steps past a word's end would cost more than the sort.
template <HashEqual Equal, std::uint32_t Lanes>
void hashsorted(const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
                std::uint32_t count, std::uint32_t* hashes)
{
    // A block's words at most, with room to spare.
    constexpr std::uint32_t most = (1 << 14) + 8;
    if (count > most)
        return hashonebyone(data, offsets, lengths, count, hashes);
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
    // Each length's words end where those one byte longer begin.
    for (std::uint32_t length = 0, begin = 0; length <= maxwordlen; ++length) {
        const std::uint32_t end = next[length * copies + copies - 1];
        const std::uint32_t whole = (end - begin) / Lanes * Lanes;
        Equal(data, at + begin, index + begin, static_cast<int>(length), whole, hashes);
        for (std::uint32_t i = begin + whole; i < end; ++i)
            hashes[index[i]] = hashbytes(data + at[i], length);
        begin = end;
    }
}
#endif

// In the order of Kernel. Classifying 64 bytes is two AVX2 loads already, and
// a small part of the reader's time: the AVX-512 tiers classify as AVX2 does.
constexpr Kernels tables[] = {
    {Kernel::portable, classifybytes, hashonebyone, nullptr},
#ifdef TALLVIK_X86_KERNELS
    {Kernel::sse2, sse2::classify, hashsorted<sse2::hashequal, sse2::lanes>, nullptr},
    {Kernel::avx2, avx2::classify, hashsorted<avx2::hashequal, avx2::lanes>, nullptr},
    {Kernel::avx512, avx2::classify, hashsixteen<avx512::hashspans>, nullptr},
    {Kernel::vbmi, avx2::classify, hashsixteen<vbmi::hashspans>, vbmi::lineup},
#endif
};

constexpr const char* names[] = {"portable", "sse2", "avx2", "avx512", "vbmi"};
static_assert(std::size(names) == std::size(allkernels));

} // namespace

Features processorfeatures()
{
#ifdef TALLVIK_X86_KERNELS
    return {__builtin_cpu_supports("avx2") != 0,        __builtin_cpu_supports("avx512f") != 0,
            __builtin_cpu_supports("avx512bw") != 0,    __builtin_cpu_supports("avx512vbmi") != 0,
            __builtin_cpu_supports("avx512vbmi2") != 0, __builtin_cpu_supports("popcnt") != 0};
#else
    return {};
#endif
}

bool canrun(Kernel kernel, const Features& f)
{
    if (static_cast<std::size_t>(kernel) >= std::size(tables))
        return false;
    switch (kernel) {
    case Kernel::avx2:
        return f.avx2;
    case Kernel::avx512:
        return f.avx2 && f.avx512f;
    case Kernel::vbmi:
        return f.avx2 && f.avx512f && f.avx512bw && f.avx512vbmi && f.avx512vbmi2 && f.popcnt;
    default:
        return true;
    }
}

Kernel bestkernel(const Features& features)
{
    Kernel best = Kernel::portable;
    for (Kernel kernel : allkernels)
        if (canrun(kernel, features))
            best = kernel;
    return best;
}

const char* kernelname(Kernel kernel)
{
    return names[static_cast<std::size_t>(kernel)];
}

bool kernelnamed(const char* name, Kernel& kernel)
{
    for (Kernel k : allkernels)
        if (std::strcmp(name, kernelname(k)) == 0) {
            kernel = k;
            return true;
        }
    return false;
}

const Kernels& kernels(Kernel kernel)
{
    return tables[static_cast<std::size_t>(kernel)];
}
