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

} // namespace

bool vectorConvertRangeCpp(const float* table, float start, float scale, int last, float& position, float step,
                           float* out, int n, float offset, float gain) {
  double p = (position - start) * scale;
  const double d = scale * step;
  int i = rangeIndex(p, last);
  for (int k = 0; k < n; ++k) {
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
