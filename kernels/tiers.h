// The entry points that each file compiled for an instruction set defines,
// each in a namespace of its own: declared here by the types of kernels.h, so
// that a definition whose signature drifts fails to link rather than run.
// Only kernels.cpp, which builds the tables, calls them.
//
// Nothing with external linkage but these may be defined in those files: an
// inline function compiled for AVX-512 there could be the copy the linker
// keeps for everyone. So they use no library templates, and their helpers
// live in unnamed namespaces.
#pragma once

#include "kernels/kernels.h"

// Hashes `count` words of `length` bytes each, at data + offsets[i], a
// multiple of the kernel's lanes, into hashes[index[i]].
using HashEqual = void(const unsigned char* data, const std::uint16_t* offsets, const std::uint16_t* index,
                       int length, std::uint32_t count, std::uint32_t* hashes);

namespace sse2 {
ClassifyChunks classify;
HashEqual hashequal;
inline constexpr int lanes = 4;
} // namespace sse2

namespace avx2 {
ClassifyChunks classify;
HashEqual hashequal;
inline constexpr int lanes = 8;
} // namespace avx2

// Sixteen lanes: `count` is a multiple of 32.
namespace avx512 {
HashSpans hashspans;
} // namespace avx512

namespace vbmi {
HashSpans hashspans;
LineUp lineup;
} // namespace vbmi
