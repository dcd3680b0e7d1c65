// The vector kernels of pass one's reader: one table of entry points for each
// tier of instruction sets, chosen once per run from the processor's
// features, or by TALLVIK_KERNEL for tests and bug reports. Every tier gives
// the same results; only their speed differs.
//
// classify is the first stage of reading a block: which of its bytes are
// letters, which may begin a word (a letter or an apostrophe), and which
// may join two runs of letters, as bit masks, so that the reader finds word
// starts and ends with bit operations instead of a branch per byte.
// hashspans takes the hashes of many words at once, one word in each lane
// of a vector, bit for bit what hashword gives. lineup notes the runs of
// letters of a chunk at once, where walking its bits would guess wrong.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

// Bit i of a chunk's masks is byte i of the chunk's 64.
struct Masks {
    std::uint64_t letters;
    std::uint64_t starts;  // letters and apostrophes
    std::uint64_t joiners; // apostrophes, and backticks and hyphens after a letter of the chunk
};

// The masks of a chunk from its letters, its apostrophes and its backticks
// and hyphens. A backtick or hyphen that follows no letter separates like a
// space, so only the others are joiners: an address's "- -" or a quoted "-"
// then leaves a log line's chunk to the reader's fast walk. One at a chunk's
// first byte, after the last letter of the chunk before, needs no mark: the
// word that ends there is read past its end from that chunk.
inline Masks chunkmasks(std::uint64_t letters, std::uint64_t apostrophes, std::uint64_t links)
{
    return {letters, letters | apostrophes, apostrophes | (links & letters << 1)};
}

// From slowest to fastest; each x86-64 tier needs what the one before it does.
enum class Kernel { portable, sse2, avx2, avx512, vbmi };
inline constexpr Kernel allkernels[] = {Kernel::portable, Kernel::sse2, Kernel::avx2, Kernel::avx512, Kernel::vbmi};

// What a processor offers beyond SSE2, which every x86-64 has.
struct Features {
    bool avx2 = false;
    bool avx512f = false;
    bool avx512bw = false;
    bool avx512vbmi = false;
    bool avx512vbmi2 = false;
    bool popcnt = false;
};

// The features of the processor at hand; none where this build has no x86
// kernels.
Features processorfeatures();

// Whether this build has `kernel` and a processor with `features` can run it.
bool canrun(Kernel kernel, const Features& features);

// The fastest kernel that canrun on `features`.
Kernel bestkernel(const Features& features);

// The name TALLVIK_KERNEL gives `kernel`: portable, sse2, avx2, avx512, vbmi.
const char* kernelname(Kernel kernel);

// Sets `kernel` to the one called `name`; false if none is.
bool kernelnamed(const char* name, Kernel& kernel);

// Classifies the 64 * `chunks` bytes at `data` into `out`.
using ClassifyChunks = void(const unsigned char* data, std::size_t chunks, Masks* out);

// Sets hashes[i] to the hash of the lengths[i] bytes at data + offsets[i],
// for i below `count`. Up to 128 bytes from the first byte of each word on
// may be read.
using HashSpans = void(const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
                       std::uint32_t count, std::uint32_t* hashes);

// Notes the runs of letters of a chunk whose first bits are set in `starts`
// and whose following bits are set in `ends`, the k-th of each belonging
// together: the offset (base + bit) and the length (at most `longest`) of
// each run at least `shortest` long, at offsets[k] and lengths[k]. Returns
// how many; up to 32 entries past them may be written.
using LineUp = std::uint32_t(std::uint64_t starts, std::uint64_t ends, std::uint32_t base, std::uint32_t shortest,
                             std::uint32_t longest, std::uint16_t* offsets, std::uint8_t* lengths);

struct Kernels {
    Kernel kernel;
    ClassifyChunks* classify;
    HashSpans* hashspans;
    LineUp* lineup; // null where walkruns, inlined in the reader, is faster
};

// The entry points of `kernel`, which must be one that canrun here.
const Kernels& kernels(Kernel kernel);

// Notes a run of `length` letters at `first`, cut to `longest`, at *offset
// and *length, and returns 1 if it is at least `shortest` long. The entry is
// written either way and kept by the count: a branch there would guess wrong
// at every other short word.
inline std::uint32_t noterun(std::uint32_t first, std::uint32_t length, std::uint32_t shortest, std::uint32_t longest,
                             std::uint16_t* offset, std::uint8_t* lengthat)
{
    length = std::min(length, longest);
    *offset = static_cast<std::uint16_t>(first);
    *lengthat = static_cast<std::uint8_t>(length);
    return length >= shortest;
}

// What every tier without a lineup of its own does: the runs a bit at a time.
inline std::uint32_t walkruns(std::uint64_t starts, std::uint64_t ends, std::uint32_t base, std::uint32_t shortest,
                              std::uint32_t longest, std::uint16_t* offsets, std::uint8_t* lengths)
{
    std::uint32_t n = 0;
    for (; starts != 0 && ends != 0; starts &= starts - 1, ends &= ends - 1) {
        const auto first = static_cast<std::uint32_t>(std::countr_zero(starts));
        n += noterun(base + first, static_cast<std::uint32_t>(std::countr_zero(ends)) - first, shortest, longest,
                     offsets + n, lengths + n);
    }
    return n;
}
