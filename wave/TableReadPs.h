#pragma once

// The four-lane read of a soft clipper's table, shared by the block kernel
// and the filter cascade that clips inside its own pass: T(s x) for four
// arguments, the table read clamped to its ends with linear interpolation,
// exactly as the scalar kernel computes it (same operations, same order).
// floor comes from truncation corrected where it rounded up (negative
// non-integers), so the rounding mode is neither read nor changed.

#include <cstdint>
#include <emmintrin.h>

struct ClampedTableReadPs {
  const float* values;
  __m128 fracOffset;
  __m128 lo; // the argument of the first point
  __m128 hi; // the argument of the last point
  __m128i intOffset;
  __m128i mask;

  ClampedTableReadPs(const float* table, float frac, int offset, unsigned m)
      : values(table), fracOffset(_mm_set1_ps(frac)), lo(_mm_set1_ps(static_cast<float>(offset))),
        hi(_mm_set1_ps(static_cast<float>(static_cast<double>(offset) + static_cast<double>(m)))),
        intOffset(_mm_set1_epi32(offset)), mask(_mm_set1_epi32(static_cast<int>(m))) {}

  // scale: the table's points per unit times the run's scale, per lane.
  __m128 operator()(__m128 scale, __m128 in) const {
    __m128 x = _mm_sub_ps(_mm_mul_ps(scale, in), fracOffset);
    x = _mm_min_ps(_mm_max_ps(x, lo), hi);
    const __m128i t = _mm_cvttps_epi32(x);
    const __m128 roundedUp = _mm_cmpgt_ps(_mm_cvtepi32_ps(t), x);
    const __m128i k = _mm_add_epi32(t, _mm_castps_si128(roundedUp)); // minus 1 where rounded up
    const __m128 f = _mm_sub_ps(x, _mm_cvtepi32_ps(k));
    alignas(16) uint32_t idx[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(idx), _mm_and_si128(_mm_sub_epi32(k, intOffset), mask));
    const float* v = values;
    const __m128 v0 = _mm_setr_ps(v[idx[0]], v[idx[1]], v[idx[2]], v[idx[3]]);
    const __m128 v1 = _mm_setr_ps(v[idx[0] + 1], v[idx[1] + 1], v[idx[2] + 1], v[idx[3] + 1]);
    return _mm_add_ps(v0, _mm_mul_ps(f, _mm_sub_ps(v1, v0)));
  }
};
