// The x86 intrinsics, for the files compiled for AVX-512. GCC 12 inlines
// their deliberately undefined start values into the kernels and, with the
// thread sanitizer at -O1, warns that such a value may be read.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#else
#include <immintrin.h>
#endif
