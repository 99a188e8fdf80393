#include "wave/VectorKernels.h"

#include <cmath>
#include <emmintrin.h>

// The Fast forms walk the arrays in groups of four: every input of a group is
// loaded before any result of it is stored, which is what makes an output that
// is also an input safe. The loop condition g < n both rounds the count up to
// a multiple of four and skips counts of zero or less.

namespace {

inline float maxOf(float x, float y) { return x > y ? x : y; }
inline float minOf(float x, float y) { return x < y ? x : y; }

inline __m128 signMask() { return _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)); }

} // namespace

void vectorAbsFast(const float* a, float* out, int n) {
  const __m128 mask = signMask();
  for (int g = 0; g < n; g += 4) _mm_store_ps(out + g, _mm_and_ps(_mm_load_ps(a + g), mask));
}

void vectorAbsCpp(const float* a, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = std::fabs(a[i]);
}

void vectorAbsMaxFast(const float* a, const float* b, float* out, int n) {
  const __m128 mask = signMask();
  for (int g = 0; g < n; g += 4) {
    __m128 va = _mm_and_ps(_mm_load_ps(a + g), mask);
    _mm_store_ps(out + g, _mm_max_ps(va, _mm_load_ps(b + g)));
  }
}

void vectorAbsMaxCpp(const float* a, const float* b, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = maxOf(std::fabs(a[i]), b[i]);
}

void vectorAddFast(const float* a, const float* b, float* out, int n) {
  for (int g = 0; g < n; g += 4) _mm_store_ps(out + g, _mm_add_ps(_mm_load_ps(a + g), _mm_load_ps(b + g)));
}

void vectorAddCpp(const float* a, const float* b, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i] + b[i];
}

void vectorAddMulAddFast(const float* a, const float* b, const float* c, const float* d, float* out, int n) {
  for (int g = 0; g < n; g += 4) {
    __m128 sum = _mm_add_ps(_mm_load_ps(a + g), _mm_load_ps(b + g));
    _mm_store_ps(out + g, _mm_add_ps(_mm_mul_ps(sum, _mm_load_ps(c + g)), _mm_load_ps(d + g)));
  }
}

void vectorAddMulAddCpp(const float* a, const float* b, const float* c, const float* d, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = (a[i] + b[i]) * c[i] + d[i];
}

void vectorAddSFast(const float* a, float s, float* out, int n) {
  const __m128 vs = _mm_set1_ps(s);
  for (int g = 0; g < n; g += 4) _mm_store_ps(out + g, _mm_add_ps(_mm_load_ps(a + g), vs));
}

void vectorAddSCpp(const float* a, float s, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i] + s;
}

void vectorAddSAddSMulFast(const float* a, float s1, float s2, const float* b, float* out, int n) {
  const __m128 v1 = _mm_set1_ps(s1);
  const __m128 v2 = _mm_set1_ps(s2);
  for (int g = 0; g < n; g += 4) {
    __m128 sum = _mm_add_ps(_mm_load_ps(a + g), v1);
    _mm_store_ps(out + g, _mm_add_ps(sum, _mm_mul_ps(v2, _mm_load_ps(b + g))));
  }
}

void vectorAddSAddSMulCpp(const float* a, float s1, float s2, const float* b, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = (a[i] + s1) + s2 * b[i];
}

void vectorLevelPanFreqFast(const float* level, const float* pan, float* out1, float* out2, int n) {
  for (int g = 0; g < n; g += 4) {
    __m128 l = _mm_load_ps(level + g);
    __m128 p = _mm_load_ps(pan + g);
    __m128 r1 = _mm_add_ps(l, p);
    __m128 r2 = _mm_sub_ps(l, p);
    _mm_store_ps(out1 + g, r1);
    _mm_store_ps(out2 + g, r2);
  }
}

void vectorLevelPanFreqCpp(const float* level, const float* pan, float* out1, float* out2, int n) {
  for (int i = 0; i < n; ++i) {
    out1[i] = level[i] + pan[i];
    out2[i] = level[i] - pan[i];
  }
}

void vectorLevelPanVolumeFast(const float* level, const float* pan, float* out1, float* out2, int n) {
  const __m128 zero = _mm_setzero_ps();
  for (int g = 0; g < n; g += 4) {
    __m128 l = _mm_load_ps(level + g);
    __m128 p = _mm_load_ps(pan + g);
    __m128 r1 = _mm_sub_ps(l, _mm_mul_ps(_mm_max_ps(p, zero), l));
    __m128 r2 = _mm_add_ps(l, _mm_mul_ps(_mm_min_ps(p, zero), l));
    _mm_store_ps(out1 + g, r1);
    _mm_store_ps(out2 + g, r2);
  }
}

void vectorLevelPanVolumeCpp(const float* level, const float* pan, float* out1, float* out2, int n) {
  for (int i = 0; i < n; ++i) {
    out1[i] = level[i] - maxOf(pan[i], 0.0f) * level[i];
    out2[i] = level[i] + minOf(pan[i], 0.0f) * level[i];
  }
}

void vectorLimitFast(const float* a, float lo, float hi, float* out, int n) {
  const __m128 vlo = _mm_set1_ps(lo);
  const __m128 vhi = _mm_set1_ps(hi);
  for (int g = 0; g < n; g += 4) _mm_store_ps(out + g, _mm_min_ps(_mm_max_ps(_mm_load_ps(a + g), vlo), vhi));
}

void vectorLimitCpp(const float* a, float lo, float hi, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = !(a[i] >= lo) ? lo : minOf(a[i], hi);
}

void vectorMaxFast(const float* a, const float* b, float* out, int n) {
  for (int g = 0; g < n; g += 4) _mm_store_ps(out + g, _mm_max_ps(_mm_load_ps(a + g), _mm_load_ps(b + g)));
}

void vectorMaxCpp(const float* a, const float* b, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = maxOf(a[i], b[i]);
}

void vectorMax3Fast(const float* a, const float* b, const float* c, float* out, int n) {
  for (int g = 0; g < n; g += 4) {
    __m128 ab = _mm_max_ps(_mm_load_ps(a + g), _mm_load_ps(b + g));
    _mm_store_ps(out + g, _mm_max_ps(ab, _mm_load_ps(c + g)));
  }
}

void vectorMax3Cpp(const float* a, const float* b, const float* c, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = maxOf(maxOf(a[i], b[i]), c[i]);
}

void vectorMul2MulSFast(const float* a, const float* b, float s, float* out, int n) {
  const __m128 vs = _mm_set1_ps(s);
  for (int g = 0; g < n; g += 4)
    _mm_store_ps(out + g, _mm_mul_ps(_mm_mul_ps(_mm_load_ps(a + g), _mm_load_ps(b + g)), vs));
}

void vectorMul2MulSCpp(const float* a, const float* b, float s, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i] * b[i] * s;
}

void vectorMul2MulSAddFast(const float* a, const float* b, float s, const float* c, float* out, int n) {
  const __m128 vs = _mm_set1_ps(s);
  for (int g = 0; g < n; g += 4) {
    __m128 p = _mm_mul_ps(_mm_mul_ps(_mm_load_ps(a + g), _mm_load_ps(b + g)), vs);
    _mm_store_ps(out + g, _mm_add_ps(p, _mm_load_ps(c + g)));
  }
}

void vectorMul2MulSAddCpp(const float* a, const float* b, float s, const float* c, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i] * b[i] * s + c[i];
}

void vectorMul3AddFast(const float* a, const float* b, const float* c, const float* d, float* out, int n) {
  for (int g = 0; g < n; g += 4) {
    __m128 p = _mm_mul_ps(_mm_mul_ps(_mm_load_ps(a + g), _mm_load_ps(b + g)), _mm_load_ps(c + g));
    _mm_store_ps(out + g, _mm_add_ps(p, _mm_load_ps(d + g)));
  }
}

void vectorMul3AddCpp(const float* a, const float* b, const float* c, const float* d, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i] * b[i] * c[i] + d[i];
}

void vectorMul3MulSFast(const float* a, const float* b, const float* c, float s, float* out, int n) {
  const __m128 vs = _mm_set1_ps(s);
  for (int g = 0; g < n; g += 4) {
    __m128 p = _mm_mul_ps(_mm_mul_ps(_mm_load_ps(a + g), _mm_load_ps(b + g)), _mm_load_ps(c + g));
    _mm_store_ps(out + g, _mm_mul_ps(p, vs));
  }
}

void vectorMul3MulSCpp(const float* a, const float* b, const float* c, float s, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i] * b[i] * c[i] * s;
}

void vectorMul3MulSAddFast(const float* a, const float* b, const float* c, float s, const float* d, float* out,
                           int n) {
  const __m128 vs = _mm_set1_ps(s);
  for (int g = 0; g < n; g += 4) {
    __m128 p = _mm_mul_ps(_mm_mul_ps(_mm_load_ps(a + g), _mm_load_ps(b + g)), _mm_load_ps(c + g));
    _mm_store_ps(out + g, _mm_add_ps(_mm_mul_ps(p, vs), _mm_load_ps(d + g)));
  }
}

void vectorMul3MulSAddCpp(const float* a, const float* b, const float* c, float s, const float* d, float* out,
                          int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i] * b[i] * c[i] * s + d[i];
}

void vectorMulAddFast(const float* a, const float* b, const float* c, float* out, int n) {
  for (int g = 0; g < n; g += 4) {
    __m128 p = _mm_mul_ps(_mm_load_ps(a + g), _mm_load_ps(b + g));
    _mm_store_ps(out + g, _mm_add_ps(p, _mm_load_ps(c + g)));
  }
}

void vectorMulAddCpp(const float* a, const float* b, const float* c, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i] * b[i] + c[i];
}

void vectorMulSAddFast(const float* a, float s, const float* b, float* out, int n) {
  const __m128 vs = _mm_set1_ps(s);
  for (int g = 0; g < n; g += 4)
    _mm_store_ps(out + g, _mm_add_ps(_mm_mul_ps(_mm_load_ps(a + g), vs), _mm_load_ps(b + g)));
}

void vectorMulSAddCpp(const float* a, float s, const float* b, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i] * s + b[i];
}

void vectorMultiplyFast(const float* a, const float* b, float* out, int n) {
  for (int g = 0; g < n; g += 4) _mm_store_ps(out + g, _mm_mul_ps(_mm_load_ps(a + g), _mm_load_ps(b + g)));
}

void vectorMultiplyCpp(const float* a, const float* b, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i] * b[i];
}

void vectorMultiply3Fast(const float* a, const float* b, const float* c, float* out, int n) {
  for (int g = 0; g < n; g += 4) {
    __m128 ab = _mm_mul_ps(_mm_load_ps(a + g), _mm_load_ps(b + g));
    _mm_store_ps(out + g, _mm_mul_ps(ab, _mm_load_ps(c + g)));
  }
}

void vectorMultiply3Cpp(const float* a, const float* b, const float* c, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i] * b[i] * c[i];
}

void vectorMultiplyMaxFast(const float* a, const float* b, const float* c, float* out, int n) {
  for (int g = 0; g < n; g += 4) {
    __m128 ab = _mm_mul_ps(_mm_load_ps(a + g), _mm_load_ps(b + g));
    _mm_store_ps(out + g, _mm_max_ps(ab, _mm_load_ps(c + g)));
  }
}

void vectorMultiplyMaxCpp(const float* a, const float* b, const float* c, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = maxOf(a[i] * b[i], c[i]);
}

void vectorMultiplySFast(const float* a, float s, float* out, int n) {
  const __m128 vs = _mm_set1_ps(s);
  for (int g = 0; g < n; g += 4) _mm_store_ps(out + g, _mm_mul_ps(_mm_load_ps(a + g), vs));
}

void vectorMultiplySCpp(const float* a, float s, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i] * s;
}

void vectorSubMulAddFast(const float* a, const float* b, const float* c, const float* d, float* out, int n) {
  for (int g = 0; g < n; g += 4) {
    __m128 diff = _mm_sub_ps(_mm_load_ps(a + g), _mm_load_ps(b + g));
    _mm_store_ps(out + g, _mm_add_ps(_mm_mul_ps(diff, _mm_load_ps(c + g)), _mm_load_ps(d + g)));
  }
}

void vectorSubMulAddCpp(const float* a, const float* b, const float* c, const float* d, float* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = (a[i] - b[i]) * c[i] + d[i];
}
