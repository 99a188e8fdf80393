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
// the kernel, as in __attribute__((target("avx2"), ZARN_FORCE_INLINE)):
// the helpers' values stay in registers across them. The instrumented
// builds (sanitizers, fuzzing) leave inlining to the compiler instead.
// Forced there, the filter's 512-bit kernels grow into functions that the
// instrumenting passes take minutes over (a quarter of an hour for one
// file under clang's fuzzing build); the code and its results are the
// same either way (no contraction, so no fused operations appear when a
// helper is inlined), only slower where speed does not matter.
#if defined(ZARN_INSTRUMENTED)
#define ZARN_FORCE_INLINE
#else
#define ZARN_FORCE_INLINE always_inline
#endif
