// The vector kernels of pass one's reader, one generic kernel per job
// instantiated for each instruction set and chosen once at run time:
// AVX-512 or AVX2 where the processor has them, SSE2 on every other x86-64,
// and portable code elsewhere. All kernels give the same results.
//
// classify is the first stage of reading a block: which of its bytes are
// letters, which may begin a word (a letter or an apostrophe), and which
// may join two runs of letters, as bit masks, so that the reader finds word
// starts and ends with bit operations instead of a branch per byte.
// hashspans takes the hashes of many words at once, one word in each lane
// of a vector, bit for bit what hashword gives. (AVX-512 hashes 16 words at
// once and classifies as AVX2 does; with VBMI it also takes the bytes of
// neighbouring words from the block with a permutation, not a gather.)
#pragma once

#include <cstddef>
#include <cstdint>

// Bit i of a chunk's masks is byte i of the chunk's 64.
struct Masks {
    std::uint64_t letters;
    std::uint64_t starts;  // letters and apostrophes
    std::uint64_t joiners; // apostrophes, backticks and hyphens
};

enum class Kernel { portable, sse2, avx2, avx512, vbmi };

// Whether this build and this processor can run `kernel`.
bool haskernel(Kernel kernel);

// Whether this build and this processor can line up the words of a chunk
// in vector lanes with AVX-512 VBMI2, as the reader does where it can.
bool haslineup();

// The best kernel for this processor.
Kernel bestkernel();

// Classifies the 64 * `chunks` bytes at `data` into `out`.
void classify(Kernel kernel, const unsigned char* data, std::size_t chunks, Masks* out);

// Sets hashes[i] to the hash of the lengths[i] bytes at data + offsets[i],
// for i below `count`. Up to 128 bytes from the first byte of each word on
// may be read.
void hashspans(Kernel kernel, const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
               std::uint32_t count, std::uint32_t* hashes);
