#pragma once

// The processor's vector intrinsics, all widths, for the kernels that use
// the 512-bit ones. g++ 12 (at -O3, and at -O1 with the sanitizers) takes
// the placeholder that those intrinsics pass for lanes they overwrite for a
// value read before it is set, and warns in the header; the warning is
// quieted for the header alone.

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// The attribute that makes a kernel's helpers inline whatever the size of
// the kernel, as in __attribute__((target("avx2"), ZARN_FORCE_INLINE)), so
// that their values stay in registers (without it the filter's kernels run
// the default sound 20-30 % slower). The instrumented builds (sanitizers,
// fuzzing) leave inlining to the compiler: forced there, the filter's
// 512-bit kernels grow into functions that the instrumenting passes take
// minutes over (18 minutes for one file in clang's fuzzing build). The
// results are the same bits either way: nothing is contracted, so inlining
// fuses no operations.
#if defined(ZARN_INSTRUMENTED)
#define ZARN_FORCE_INLINE
#else
#define ZARN_FORCE_INLINE always_inline
#endif
