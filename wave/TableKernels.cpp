#include "wave/TableKernels.h"

#include "base/PlatformUtils.h"
#include "wave/TableReadPs.h"

#include <cstdint>
#include <emmintrin.h>

namespace {

// floor(x) as an integer, with the vector unit's answer for what no int can
// hold: NaN and values outside the int range give INT32_MIN.
inline int32_t floorToInt(float x) {
  if (!(x >= -2147483648.0f && x < 2147483648.0f)) return INT32_MIN;
  const int32_t t = static_cast<int32_t>(x);
  return static_cast<float>(t) > x ? t - 1 : t;
}

// The table index of the integer position k, modulo mask + 1 (wrapping
// integer arithmetic, as in the vector lanes).
inline uint32_t maskedIndex(int32_t k, int intOffset, unsigned mask) {
  return (static_cast<uint32_t>(k) - static_cast<uint32_t>(intOffset)) & mask;
}

inline float interpolate(const float* table, uint32_t j, float f) {
  return table[j] + f * (table[j + 1] - table[j]);
}

// The argument range x of the block kernels that lies on the table: from
// position 0 (x = intOffset) to the last point (x = intOffset + mask).
inline float tableBottom(int intOffset) { return static_cast<float>(intOffset); }
inline float tableTop(int intOffset, unsigned mask) {
  return static_cast<float>(static_cast<double>(intOffset) + static_cast<double>(mask));
}

// Clamps x to [lo, hi] as the vector unit's max and min do, so that a NaN
// goes to lo in both forms.
inline float clampArgument(float x, float lo, float hi) {
  x = x > lo ? x : lo;
  return x < hi ? x : hi;
}

// The index of a range position: the last entry at or past it (and for a
// NaN, which thus ends the stretch), the first entry below 0.
inline int rangeIndex(double p, int last) {
  if (!(p < last)) return last;
  if (p < 0.0) return 0;
  return static_cast<int>(p);
}

// Four samples whose positions all lie on the table: each read and
// weighted as the one-sample step below does, in the vector unit. The
// positions themselves stay a chain of additions, one after the other, as
// in the one-sample step, so that each is the same double.
inline void fourOnTable(const float* table, double p0, double p1, double p2, double p3, __m128 gain, __m128 offset,
                        float* out) {
  const __m128d a = _mm_setr_pd(p0, p1);
  const __m128d b = _mm_setr_pd(p2, p3);
  // Truncated, and 0 below the start (as rangeIndex gives).
  __m128i ia = _mm_cvttpd_epi32(a);
  __m128i ib = _mm_cvttpd_epi32(b);
  ia = _mm_andnot_si128(_mm_srai_epi32(ia, 31), ia);
  ib = _mm_andnot_si128(_mm_srai_epi32(ib, 31), ib);
  // p - i in double, rounded to float; 0 where p is not above 0.
  const __m128d zero = _mm_setzero_pd();
  const __m128d fa = _mm_and_pd(_mm_cmpgt_pd(a, zero), _mm_sub_pd(a, _mm_cvtepi32_pd(ia)));
  const __m128d fb = _mm_and_pd(_mm_cmpgt_pd(b, zero), _mm_sub_pd(b, _mm_cvtepi32_pd(ib)));
  const __m128 f = _mm_movelh_ps(_mm_cvtpd_ps(fa), _mm_cvtpd_ps(fb));
  alignas(16) int32_t i[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(i), _mm_unpacklo_epi64(ia, ib));
  const __m128 t0 = _mm_setr_ps(table[i[0]], table[i[1]], table[i[2]], table[i[3]]);
  const __m128 t1 = _mm_setr_ps(table[i[0] + 1], table[i[1] + 1], table[i[2] + 1], table[i[3] + 1]);
  const __m128 v = _mm_add_ps(t0, _mm_mul_ps(f, _mm_sub_ps(t1, t0)));
  _mm_storeu_ps(out, _mm_add_ps(_mm_mul_ps(v, gain), offset));
}

} // namespace

bool vectorConvertRangeCpp(const float* table, float start, float scale, int last, float& position, float step,
                           float* out, int n, float offset, float gain) {
  double p = (position - start) * scale;
  const double d = scale * step;
  int k = 0;
  if (last >= 1) {
    // Four at a time while the stretch stays on the table; the group that
    // would reach its end (or a position that is not a number) is left to
    // the one-sample step.
    const double end = last;
    const __m128 vGain = _mm_set1_ps(gain);
    const __m128 vOffset = _mm_set1_ps(offset);
    for (; k + 4 <= n; k += 4) {
      const double p1 = p + d;
      const double p2 = p1 + d;
      const double p3 = p2 + d;
      if (!(p < end && p1 < end && p2 < end && p3 < end)) break;
      fourOnTable(table, p, p1, p2, p3, vGain, vOffset, out + k);
      p = p3 + d;
    }
  }
  int i = rangeIndex(p, last);
  for (; k < n; ++k) {
    if (i < last) {
      // Below the start the first value is read (f = 0) while the position
      // walks on towards the table.
      const float f = p > 0.0 ? static_cast<float>(p - i) : 0.0f;
      out[k] = (table[i] + f * (table[i + 1] - table[i])) * gain + offset;
      p += d;
      i = rangeIndex(p, last);
    } else {
      out[k] = gain * table[last] + offset;
    }
  }
  const float lastF = static_cast<float>(last);
  const float pF = static_cast<float>(p);
  position = start + (pF < lastF ? pF : lastF) / scale;
  return last <= i;
}

void vectorConvertBlockScaledCpp(const float* table, float fracOffset, int intOffset, float scale, unsigned mask,
                                 const float* a, const float* b, const float* c, float* out, int n) {
  const int state = initFloor();
  for (int i = 0; i < n; ++i) {
    const float x = (a[i] * b[i]) * scale - fracOffset;
    const int32_t k = floorToInt(x);
    const uint32_t j = maskedIndex(k, intOffset, mask);
    const float f = x - static_cast<float>(k);
    out[i] = interpolate(table, j, f) * c[i];
  }
  doneFloor(state);
}

void vectorConvertBlockScaledRunsCpp(const float* table, float fracOffset, int intOffset, float scale,
                                     unsigned mask, const float* in, const float* runScale, const float* runGain,
                                     const int* runLength, float* out, int n) {
  const int state = initFloor();
  const float lo = tableBottom(intOffset);
  const float hi = tableTop(intOffset, mask);
  int done = 0;
  for (int r = 0; done < n; ++r) {
    const int len = runLength[r];
    if (len < 1) continue;
    const float s = scale * runScale[r];
    const float g = runGain[r];
    // A run that reaches past n is cut at n rather than written beyond it.
    const int end = len > n - done ? n : done + len;
    for (int j = done; j < end; ++j) {
      const float x = clampArgument(s * in[j] - fracOffset, lo, hi);
      const int32_t k = floorToInt(x);
      out[j] = interpolate(table, maskedIndex(k, intOffset, mask), x - static_cast<float>(k)) * g;
    }
    done = end;
  }
  doneFloor(state);
}

void vectorConvertBlockScaledRunsFast(const float* table, float fracOffset, int intOffset, float scale,
                                      unsigned mask, const float* in, const float* runScale, const float* runGain,
                                      const int* runLength, float* out, int n) {
  const ClampedTableReadPs read(table, fracOffset, intOffset, mask);
  int g = 0;
  int64_t runEnd = 0;
  for (int r = 0; g < n; ++r) {
    runEnd += runLength[r];
    const int end = runEnd < n ? static_cast<int>(runEnd) : n;
    if (g >= end) continue;
    const __m128 vScale = _mm_set1_ps(scale * runScale[r]);
    const __m128 vGain = _mm_set1_ps(runGain[r]);
    // Whole groups: a run ending inside a group lends it its scale and gain.
    for (; g < end; g += 4) _mm_store_ps(out + g, _mm_mul_ps(read(vScale, _mm_load_ps(in + g)), vGain));
  }
}
