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
