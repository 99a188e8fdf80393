#include "wave/StateVariableFilterKernels.h"
#include "wave/StateVariableFilterKernels512.h"

#include "wave/DenormalGuard.h"
#include "wave/Intrinsics.h"
#include "wave/TableReadPs.h"

#include <algorithm>
#include <cstdint>
#include <xmmintrin.h>

namespace {

constexpr float cTiny = 1e-24f;

// x held in [lo, hi] the way the vector unit's max and min do it, so that
// both forms agree (a NaN goes to lo).
inline float hold(float x, float lo, float hi) {
  x = x > lo ? x : lo;
  return x < hi ? x : hi;
}

// One sample of one stage; Cubic selects the g B^3 terms.
template <bool Cubic>
inline float step(float x, float f, float q, float g, float e, float& low, float& band, VectorFilterResponse response) {
  float b = band;
  const float l1 = low + f * (b - e);
  float b1 = b + f * ((x - q * b) - l1);
  if (Cubic) b1 = b1 - ((g * b) * b) * b;
  const float l2 = l1 + f * b1;
  float b2 = b1 + f * ((x - q * b1) - l2);
  if (Cubic) b2 = b2 - ((g * b1) * b1) * b1;
  const float l3 = l2 + f * b2;
  const float h = (x - q * b2) - l3;
  b = b2 + f * h;
  if (Cubic) b = b - ((g * b2) * b2) * b2;
  b = hold(b + e, -cVectorFilterBandLimit, cVectorFilterBandLimit);
  low = hold(l3, -cVectorFilterLowLimit, cVectorFilterLowLimit);
  band = b;
  return response == cVectorFilterLowPass ? low : (response == cVectorFilterHighPass ? h : b);
}

// One lane; coefficients of run r at entry stride r + offset.
template <bool Drive>
void filterLane(const float* in, float inputScale, const float* frequency, const float* damping,
                const float* cubicDamping, int stride, int offset, const int* runLength, float& lowState,
                float& bandState, VectorFilterResponse response, float* out, int count) {
  float low = lowState;
  float band = bandState;
  int i = 0;
  for (int r = 0; i < count; ++r) {
    const int len = runLength[r];
    if (len < 1) continue;
    const int end = len > count - i ? count : i + len;
    const int c = r * stride + offset;
    const float f = frequency[c];
    const float q = damping[c];
    if (Drive) {
      const float g = cubicDamping[c];
      for (; i < end; ++i) out[i] = step<true>(inputScale * in[i], f, q, g, cTiny, low, band, response);
    } else {
      for (; i < end; ++i) out[i] = step<false>(in[i], f, q, 0.0f, cTiny, low, band, response);
    }
  }
  lowState = low;
  bandState = band;
}

// The four-lane forms of hold and step.
inline __m128 holdPs(__m128 x, __m128 lo, __m128 hi) { return _mm_min_ps(_mm_max_ps(x, lo), hi); }

inline __m128 cube(__m128 g, __m128 b) { return _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(g, b), b), b); }

struct Lanes {
  __m128 low;
  __m128 band;
  __m128 f;
  __m128 q;
  __m128 g;
};

template <bool Cubic>
inline __m128 stepPs(__m128 x, Lanes& s, VectorFilterResponse response) {
  const __m128 bandHi = _mm_set1_ps(cVectorFilterBandLimit);
  const __m128 bandLo = _mm_set1_ps(-cVectorFilterBandLimit);
  const __m128 lowHi = _mm_set1_ps(cVectorFilterLowLimit);
  const __m128 lowLo = _mm_set1_ps(-cVectorFilterLowLimit);
  const __m128 f = s.f;
  const __m128 q = s.q;
  __m128 b = s.band;
  const __m128 l1 = _mm_add_ps(s.low, _mm_mul_ps(f, b));
  __m128 b1 = _mm_add_ps(b, _mm_mul_ps(f, _mm_sub_ps(_mm_sub_ps(x, _mm_mul_ps(q, b)), l1)));
  if (Cubic) b1 = _mm_sub_ps(b1, cube(s.g, b));
  const __m128 l2 = _mm_add_ps(l1, _mm_mul_ps(f, b1));
  __m128 b2 = _mm_add_ps(b1, _mm_mul_ps(f, _mm_sub_ps(_mm_sub_ps(x, _mm_mul_ps(q, b1)), l2)));
  if (Cubic) b2 = _mm_sub_ps(b2, cube(s.g, b1));
  const __m128 l3 = _mm_add_ps(l2, _mm_mul_ps(f, b2));
  const __m128 h = _mm_sub_ps(_mm_sub_ps(x, _mm_mul_ps(q, b2)), l3);
  b = _mm_add_ps(b2, _mm_mul_ps(f, h));
  if (Cubic) b = _mm_sub_ps(b, cube(s.g, b2));
  s.band = holdPs(b, bandLo, bandHi);
  s.low = holdPs(l3, lowLo, lowHi);
  return response == cVectorFilterLowPass ? s.low : (response == cVectorFilterHighPass ? h : s.band);
}

template <bool Drive>
void filterFourLanes(const float* const* in, float inputScale, const float* frequency, const float* damping,
                     const float* cubicDamping, const int* runLength, float* lowState, float* bandState,
                     VectorFilterResponse response, float* const* out, int count) {
  if (count < 1) return;
  wave::DenormalGuard guard;
  const float* in0 = in[0];
  const float* in1 = in[1];
  const float* in2 = in[2];
  const float* in3 = in[3];
  float* out0 = out[0];
  float* out1 = out[1];
  float* out2 = out[2];
  float* out3 = out[3];
  const __m128 scale = _mm_set1_ps(inputScale);

  Lanes s;
  s.low = _mm_loadu_ps(lowState);
  s.band = _mm_loadu_ps(bandState);
  s.f = s.q = s.g = _mm_setzero_ps();
  int r = 0;
  int runEnd = 0;
  // Loads the coefficients of the run that holds sample i.
  auto enter = [&](int i) {
    while (runEnd <= i) {
      const int len = runLength[r];
      if (len > 0) {
        s.f = _mm_loadu_ps(frequency + 4 * r);
        s.q = _mm_loadu_ps(damping + 4 * r);
        if (Drive) s.g = _mm_loadu_ps(cubicDamping + 4 * r);
        runEnd += len;
      }
      ++r;
    }
  };
  auto one = [&](__m128 x) -> __m128 {
    if (Drive) return stepPs<true>(_mm_mul_ps(scale, x), s, response);
    return stepPs<false>(x, s, response);
  };

  int i = 0;
  // Groups of four samples: a 4 x 4 transpose turns four samples of each
  // lane into one vector per sample.
  for (; i + 4 <= count; i += 4) {
    __m128 x0 = _mm_load_ps(in0 + i);
    __m128 x1 = _mm_load_ps(in1 + i);
    __m128 x2 = _mm_load_ps(in2 + i);
    __m128 x3 = _mm_load_ps(in3 + i);
    _MM_TRANSPOSE4_PS(x0, x1, x2, x3);
    if (runEnd <= i) enter(i);
    __m128 y0 = one(x0);
    if (runEnd <= i + 1) enter(i + 1);
    __m128 y1 = one(x1);
    if (runEnd <= i + 2) enter(i + 2);
    __m128 y2 = one(x2);
    if (runEnd <= i + 3) enter(i + 3);
    __m128 y3 = one(x3);
    _MM_TRANSPOSE4_PS(y0, y1, y2, y3);
    _mm_store_ps(out0 + i, y0);
    _mm_store_ps(out1 + i, y1);
    _mm_store_ps(out2 + i, y2);
    _mm_store_ps(out3 + i, y3);
  }
  // The rest one sample at a time, so that the states advance by exactly
  // count samples.
  alignas(16) float y[4];
  for (; i < count; ++i) {
    if (runEnd <= i) enter(i);
    _mm_store_ps(y, one(_mm_setr_ps(in0[i], in1[i], in2[i], in3[i])));
    out0[i] = y[0];
    out1[i] = y[1];
    out2[i] = y[2];
    out3[i] = y[3];
  }
  _mm_storeu_ps(lowState, s.low);
  _mm_storeu_ps(bandState, s.band);
}

// A cascade of Stages sections on Groups x four lanes in one pass: the
// first with the input scale and the cubic term, the others plain, each fed
// by the one before. Every lane computes what the stages computed one after
// the other would. Each sample's section steps form one long chain of
// dependent operations that leaves most of the vector unit idle; in one
// pass, the later stages of a sample and the other group's chain overlap it
// instead of waiting for the whole block.
template <int Stages, bool Clip>
struct CascadeGroup {
  Lanes s[Stages];
  __m128 clipScale = _mm_setzero_ps();
  __m128 clipGain = _mm_setzero_ps();
  int r = 0;
  int runEnd = 0;

  void load(const VectorFilterLanes& g) {
    for (int k = 0; k < Stages; ++k) {
      s[k].low = _mm_loadu_ps(g.low + 4 * k);
      s[k].band = _mm_loadu_ps(g.band + 4 * k);
      s[k].f = s[k].q = s[k].g = _mm_setzero_ps();
    }
  }
  void store(const VectorFilterLanes& g) const {
    for (int k = 0; k < Stages; ++k) {
      _mm_storeu_ps(g.low + 4 * k, s[k].low);
      _mm_storeu_ps(g.band + 4 * k, s[k].band);
    }
  }
  // Loads the coefficients of the run that holds sample i.
  void enter(const VectorFilterLanes& g, int dampingStride, __m128 tableScale, int i) {
    while (runEnd <= i) {
      const int len = g.runLength[r];
      if (len > 0) {
        const __m128 f = _mm_loadu_ps(g.frequency + 4 * r);
        for (int k = 0; k < Stages; ++k) {
          s[k].f = f;
          s[k].q = _mm_loadu_ps(g.damping + k * dampingStride + 4 * r);
        }
        s[0].g = _mm_loadu_ps(g.cubicDamping + 4 * r);
        if (Clip) {
          clipScale = _mm_mul_ps(tableScale, _mm_loadu_ps(g.clipScale + 4 * r));
          clipGain = _mm_loadu_ps(g.clipGain + 4 * r);
        }
        runEnd += len;
      }
      ++r;
    }
  }
  __m128 one(__m128 x, __m128 scale, VectorFilterResponse response) {
    __m128 y = stepPs<true>(_mm_mul_ps(scale, x), s[0], response);
    for (int k = 1; k < Stages; ++k) y = stepPs<false>(y, s[k], response);
    return y;
  }
};

// Four samples of each lane of a group, one vector per sample, with the
// clipper's scale and gain of each sample's run.
template <int Groups>
struct ClipQueue {
  __m128 y[Groups][4];
  __m128 scale[Groups][4];
  __m128 gain[Groups][4];
};

template <int Stages, int Groups, bool Clip>
void filterCascade(const VectorFilterLanes* lanes, float inputScale, int dampingStride,
                   VectorFilterResponse response, const VectorFilterClip* clipTable, int count) {
  if (count < 1) return;
  wave::DenormalGuard guard;
  const __m128 scale = _mm_set1_ps(inputScale);
  // Without a clipper the table is never read.
  const VectorFilterClip none = {nullptr, 0.0f, 0, 0.0f, 0u};
  const VectorFilterClip& t = Clip ? *clipTable : none;
  const ClampedTableReadPs read(t.values, t.fracOffset, t.intOffset, t.mask);
  const __m128 tableScale = _mm_set1_ps(t.scale);
  CascadeGroup<Stages, Clip> c[Groups];
  for (int g = 0; g < Groups; ++g) c[g].load(lanes[g]);

  // The clipper works one group of four samples behind the filter: its
  // table reads wait on nothing then, and fill the time in which the
  // filter's chain of dependent operations leaves the vector unit idle,
  // instead of queueing behind the chain's last result.
  ClipQueue<Groups> queue[2];
  bool queued = false;
  int i = 0;
  // Groups of four samples: a 4 x 4 transpose turns four samples of each
  // lane into one vector per sample. The groups take turns sample by
  // sample, so that their chains lie side by side in the instruction
  // stream.
  for (; i + 4 <= count; i += 4) {
    ClipQueue<Groups>& now = queue[(i >> 2) & 1];
    ClipQueue<Groups>& before = queue[((i >> 2) & 1) ^ 1];
    __m128(&x)[Groups][4] = now.y;
    for (int g = 0; g < Groups; ++g) {
      const VectorFilterLanes& l = lanes[g];
      for (int k = 0; k < 4; ++k) x[g][k] = _mm_load_ps(l.in[k] + i);
      _MM_TRANSPOSE4_PS(x[g][0], x[g][1], x[g][2], x[g][3]);
    }
    for (int k = 0; k < 4; ++k)
      for (int g = 0; g < Groups; ++g) {
        CascadeGroup<Stages, Clip>& cg = c[g];
        if (cg.runEnd <= i + k) cg.enter(lanes[g], dampingStride, tableScale, i + k);
        x[g][k] = cg.one(x[g][k], scale, response);
        if (Clip) {
          now.scale[g][k] = cg.clipScale;
          now.gain[g][k] = cg.clipGain;
          if (queued) before.y[g][k] = _mm_mul_ps(read(before.scale[g][k], before.y[g][k]), before.gain[g][k]);
        }
      }
    if (Clip) {
      if (queued)
        for (int g = 0; g < Groups; ++g) {
          __m128* y = before.y[g];
          _MM_TRANSPOSE4_PS(y[0], y[1], y[2], y[3]);
          for (int k = 0; k < 4; ++k) _mm_store_ps(lanes[g].out[k] + i - 4, y[k]);
        }
      queued = true;
    } else {
      for (int g = 0; g < Groups; ++g) {
        const VectorFilterLanes& l = lanes[g];
        _MM_TRANSPOSE4_PS(x[g][0], x[g][1], x[g][2], x[g][3]);
        for (int k = 0; k < 4; ++k) _mm_store_ps(l.out[k] + i, x[g][k]);
      }
    }
  }
  if (Clip && queued) {
    ClipQueue<Groups>& last = queue[((i >> 2) & 1) ^ 1];
    for (int g = 0; g < Groups; ++g) {
      __m128* y = last.y[g];
      for (int k = 0; k < 4; ++k) y[k] = _mm_mul_ps(read(last.scale[g][k], y[k]), last.gain[g][k]);
      _MM_TRANSPOSE4_PS(y[0], y[1], y[2], y[3]);
      for (int k = 0; k < 4; ++k) _mm_store_ps(lanes[g].out[k] + i - 4, y[k]);
    }
  }
  // The rest one sample at a time, so that the states advance by exactly
  // count samples.
  alignas(16) float y[4];
  for (; i < count; ++i)
    for (int g = 0; g < Groups; ++g) {
      const VectorFilterLanes& l = lanes[g];
      CascadeGroup<Stages, Clip>& cg = c[g];
      if (cg.runEnd <= i) cg.enter(l, dampingStride, tableScale, i);
      __m128 v = cg.one(_mm_setr_ps(l.in[0][i], l.in[1][i], l.in[2][i], l.in[3][i]), scale, response);
      if (Clip) v = _mm_mul_ps(read(cg.clipScale, v), cg.clipGain);
      _mm_store_ps(y, v);
      for (int k = 0; k < 4; ++k) l.out[k][i] = y[k];
    }
  for (int g = 0; g < Groups; ++g) c[g].store(lanes[g]);
}

template <int Groups, bool Clip = false>
void filterCascadeStages(const VectorFilterLanes* lanes, float inputScale, int dampingStride, int stages,
                         VectorFilterResponse response, int count, const VectorFilterClip* clip = nullptr) {
  switch (stages) {
  case 1:
    filterCascade<1, Groups, Clip>(lanes, inputScale, dampingStride, response, clip, count);
    break;
  case 2:
    filterCascade<2, Groups, Clip>(lanes, inputScale, dampingStride, response, clip, count);
    break;
  case 3:
    filterCascade<3, Groups, Clip>(lanes, inputScale, dampingStride, response, clip, count);
    break;
  case 4:
    filterCascade<4, Groups, Clip>(lanes, inputScale, dampingStride, response, clip, count);
    break;
  default:
    break;
  }
}


// ---------------------------------------------------------------------------
// The eight-lane cascade in 256-bit registers, for processors that have them
// (asked at run time; the build targets the 128-bit unit). Lanes 0-3 are
// group 0, lanes 4-7 group 1, each half loading its own group's runs. The
// operations are those of the four-lane kernel in the same order, without
// fused multiply-adds (the target names AVX2 only), so every lane computes
// to the bit what the four-lane kernel does: the wider registers only halve
// the number of operations.

#define ZARN_AVX2 __attribute__((target("avx2")))
// The helpers of the kernel, inlined whatever the size of the kernel.
#define ZARN_AVX2_INLINE __attribute__((target("avx2"), ZARN_FORCE_INLINE)) inline

struct LanesAvx {
  __m256 low;
  __m256 band;
  __m256 f;
  __m256 q;
  __m256 g;
};

ZARN_AVX2_INLINE __m256 holdAvx(__m256 x, __m256 lo, __m256 hi) {
  return _mm256_min_ps(_mm256_max_ps(x, lo), hi);
}

ZARN_AVX2_INLINE __m256 cubeAvx(__m256 g, __m256 b) {
  return _mm256_mul_ps(_mm256_mul_ps(_mm256_mul_ps(g, b), b), b);
}

template <bool Cubic>
ZARN_AVX2_INLINE __m256 stepAvx(__m256 x, LanesAvx& s, VectorFilterResponse response) {
  const __m256 bandHi = _mm256_set1_ps(cVectorFilterBandLimit);
  const __m256 bandLo = _mm256_set1_ps(-cVectorFilterBandLimit);
  const __m256 lowHi = _mm256_set1_ps(cVectorFilterLowLimit);
  const __m256 lowLo = _mm256_set1_ps(-cVectorFilterLowLimit);
  const __m256 f = s.f;
  const __m256 q = s.q;
  __m256 b = s.band;
  const __m256 l1 = _mm256_add_ps(s.low, _mm256_mul_ps(f, b));
  __m256 b1 = _mm256_add_ps(b, _mm256_mul_ps(f, _mm256_sub_ps(_mm256_sub_ps(x, _mm256_mul_ps(q, b)), l1)));
  if (Cubic) b1 = _mm256_sub_ps(b1, cubeAvx(s.g, b));
  const __m256 l2 = _mm256_add_ps(l1, _mm256_mul_ps(f, b1));
  __m256 b2 = _mm256_add_ps(b1, _mm256_mul_ps(f, _mm256_sub_ps(_mm256_sub_ps(x, _mm256_mul_ps(q, b1)), l2)));
  if (Cubic) b2 = _mm256_sub_ps(b2, cubeAvx(s.g, b1));
  const __m256 l3 = _mm256_add_ps(l2, _mm256_mul_ps(f, b2));
  const __m256 h = _mm256_sub_ps(_mm256_sub_ps(x, _mm256_mul_ps(q, b2)), l3);
  b = _mm256_add_ps(b2, _mm256_mul_ps(f, h));
  if (Cubic) b = _mm256_sub_ps(b, cubeAvx(s.g, b2));
  s.band = holdAvx(b, bandLo, bandHi);
  s.low = holdAvx(l3, lowLo, lowHi);
  return response == cVectorFilterLowPass ? s.low : (response == cVectorFilterHighPass ? h : s.band);
}

// Half h of v replaced by x.
template <int H>
ZARN_AVX2_INLINE void setHalf(__m256& v, __m128 x) {
  v = _mm256_insertf128_ps(v, x, H);
}

// The clipper's table read of ClampedTableReadPs on eight lanes.
struct ClampedTableReadAvx {
  const float* values;
  float fracOffset;
  int intOffset;
  unsigned mask;

  ZARN_AVX2_INLINE __m256 operator()(__m256 scale, __m256 in) const {
    const __m256 lo = _mm256_set1_ps(static_cast<float>(intOffset));
    const __m256 hi = _mm256_set1_ps(static_cast<float>(static_cast<double>(intOffset) + static_cast<double>(mask)));
    __m256 x = _mm256_sub_ps(_mm256_mul_ps(scale, in), _mm256_set1_ps(fracOffset));
    x = _mm256_min_ps(_mm256_max_ps(x, lo), hi);
    const __m256i t = _mm256_cvttps_epi32(x);
    const __m256 roundedUp = _mm256_cmp_ps(_mm256_cvtepi32_ps(t), x, _CMP_GT_OS);
    const __m256i k = _mm256_add_epi32(t, _mm256_castps_si256(roundedUp)); // minus 1 where rounded up
    const __m256 f = _mm256_sub_ps(x, _mm256_cvtepi32_ps(k));
    const __m256i idx = _mm256_and_si256(_mm256_sub_epi32(k, _mm256_set1_epi32(intOffset)),
                                         _mm256_set1_epi32(static_cast<int>(mask)));
    const __m256 v0 = _mm256_i32gather_ps(values, idx, 4);
    const __m256 v1 = _mm256_i32gather_ps(values + 1, idx, 4);
    return _mm256_add_ps(v0, _mm256_mul_ps(f, _mm256_sub_ps(v1, v0)));
  }
};

template <int Stages, bool Clip>
struct CascadeAvx {
  LanesAvx s[Stages];
  __m256 clipScale;
  __m256 clipGain;
  int r[2] = {0, 0};
  int runEnd[2] = {0, 0};

  ZARN_AVX2 void load(const VectorFilterLanes* g) {
    for (int k = 0; k < Stages; ++k) {
      s[k].low = _mm256_set_m128(_mm_loadu_ps(g[1].low + 4 * k), _mm_loadu_ps(g[0].low + 4 * k));
      s[k].band = _mm256_set_m128(_mm_loadu_ps(g[1].band + 4 * k), _mm_loadu_ps(g[0].band + 4 * k));
      s[k].f = s[k].q = s[k].g = _mm256_setzero_ps();
    }
    clipScale = clipGain = _mm256_setzero_ps();
  }
  ZARN_AVX2 void store(const VectorFilterLanes* g) const {
    for (int k = 0; k < Stages; ++k) {
      _mm_storeu_ps(g[0].low + 4 * k, _mm256_castps256_ps128(s[k].low));
      _mm_storeu_ps(g[1].low + 4 * k, _mm256_extractf128_ps(s[k].low, 1));
      _mm_storeu_ps(g[0].band + 4 * k, _mm256_castps256_ps128(s[k].band));
      _mm_storeu_ps(g[1].band + 4 * k, _mm256_extractf128_ps(s[k].band, 1));
    }
  }
  // Loads group H's coefficients of the run that holds sample i into its
  // half.
  template <int H>
  ZARN_AVX2_INLINE void enter(const VectorFilterLanes& g, int dampingStride, __m128 tableScale, int i) {
    while (runEnd[H] <= i) {
      const int rr = r[H];
      const int len = g.runLength[rr];
      if (len > 0) {
        const __m128 f = _mm_loadu_ps(g.frequency + 4 * rr);
        for (int k = 0; k < Stages; ++k) {
          setHalf<H>(s[k].f, f);
          setHalf<H>(s[k].q, _mm_loadu_ps(g.damping + k * dampingStride + 4 * rr));
        }
        setHalf<H>(s[0].g, _mm_loadu_ps(g.cubicDamping + 4 * rr));
        if (Clip) {
          setHalf<H>(clipScale, _mm_mul_ps(tableScale, _mm_loadu_ps(g.clipScale + 4 * rr)));
          setHalf<H>(clipGain, _mm_loadu_ps(g.clipGain + 4 * rr));
        }
        runEnd[H] += len;
      }
      r[H] = rr + 1;
    }
  }
  ZARN_AVX2_INLINE __m256 one(__m256 x, __m256 scale, VectorFilterResponse response) {
    __m256 y = stepAvx<true>(_mm256_mul_ps(scale, x), s[0], response);
    for (int k = 1; k < Stages; ++k) y = stepAvx<false>(y, s[k], response);
    return y;
  }
};

template <int Stages, bool Clip, int Registers>
ZARN_AVX2 void filterCascadeAvx(const VectorFilterLanes* lanes, float inputScale, int dampingStride,
                                VectorFilterResponse response, const VectorFilterClip* clipTable, int count) {
  if (count < 1) return;
  wave::DenormalGuard guard;
  const __m256 scale = _mm256_set1_ps(inputScale);
  const ClampedTableReadAvx read = Clip ? ClampedTableReadAvx{clipTable->values, clipTable->fracOffset,
                                                              clipTable->intOffset, clipTable->mask}
                                        : ClampedTableReadAvx{nullptr, 0.0f, 0, 0u};
  const __m128 tableScale = _mm_set1_ps(Clip ? clipTable->scale : 0.0f);
  // Register v holds groups 2v and 2v + 1; with two registers their chains
  // lie side by side in the instruction stream.
  CascadeAvx<Stages, Clip> c[Registers];
  for (int v = 0; v < Registers; ++v) c[v].load(lanes + 2 * v);
  auto enter = [&](int v, int i) ZARN_AVX2 {
    CascadeAvx<Stages, Clip>& cv = c[v];
    const VectorFilterLanes* l = lanes + 2 * v;
    if (cv.runEnd[0] <= i) cv.template enter<0>(l[0], dampingStride, tableScale, i);
    if (cv.runEnd[1] <= i) cv.template enter<1>(l[1], dampingStride, tableScale, i);
  };
  auto clip = [&](__m256 y, __m256 s, __m256 g) ZARN_AVX2 { return _mm256_mul_ps(read(s, y), g); };

  constexpr int Groups = 2 * Registers;
  // Samples of each register as in the four-lane kernel: the clipper works
  // one group of four samples behind the filter, its table reads waiting on
  // nothing.
  struct Queue {
    __m256 y[Registers][4];
    __m256 scale[Registers][4];
    __m256 gain[Registers][4];
  };
  Queue queue[2];
  bool queued = false;
  auto storeGroups = [&](__m256 (&y)[Registers][4], int at) ZARN_AVX2 {
    for (int v = 0; v < Registers; ++v)
      for (int h = 0; h < 2; ++h) {
        __m128 q[4];
        for (int k = 0; k < 4; ++k) q[k] = h ? _mm256_extractf128_ps(y[v][k], 1) : _mm256_castps256_ps128(y[v][k]);
        _MM_TRANSPOSE4_PS(q[0], q[1], q[2], q[3]);
        const VectorFilterLanes& l = lanes[2 * v + h];
        for (int k = 0; k < 4; ++k) _mm_store_ps(l.out[k] + at, q[k]);
      }
  };
  int i = 0;
  // Groups of four samples: a 4 x 4 transpose per group of lanes turns four
  // samples of each lane into one vector per sample and group, and the two
  // groups' vectors of a sample make one register.
  for (; i + 4 <= count; i += 4) {
    Queue& now = queue[(i >> 2) & 1];
    Queue& before = queue[((i >> 2) & 1) ^ 1];
    __m128 x[Groups][4];
    for (int g = 0; g < Groups; ++g) {
      const VectorFilterLanes& l = lanes[g];
      for (int k = 0; k < 4; ++k) x[g][k] = _mm_load_ps(l.in[k] + i);
      _MM_TRANSPOSE4_PS(x[g][0], x[g][1], x[g][2], x[g][3]);
    }
    for (int k = 0; k < 4; ++k)
      for (int v = 0; v < Registers; ++v) {
        enter(v, i + k);
        now.y[v][k] = c[v].one(_mm256_set_m128(x[2 * v + 1][k], x[2 * v][k]), scale, response);
        if (Clip) {
          now.scale[v][k] = c[v].clipScale;
          now.gain[v][k] = c[v].clipGain;
          if (queued) before.y[v][k] = clip(before.y[v][k], before.scale[v][k], before.gain[v][k]);
        }
      }
    if (!Clip) {
      storeGroups(now.y, i);
    } else {
      if (queued) storeGroups(before.y, i - 4);
      queued = true;
    }
  }
  if (Clip && queued) {
    Queue& last = queue[((i >> 2) & 1) ^ 1];
    for (int v = 0; v < Registers; ++v)
      for (int k = 0; k < 4; ++k) last.y[v][k] = clip(last.y[v][k], last.scale[v][k], last.gain[v][k]);
    storeGroups(last.y, i - 4);
  }
  auto one = [&](int v, __m256 x, int i) ZARN_AVX2 {
    enter(v, i);
    __m256 y = c[v].one(x, scale, response);
    if (Clip) y = clip(y, c[v].clipScale, c[v].clipGain);
    return y;
  };
  // The rest one sample at a time, so that the states advance by exactly
  // count samples.
  alignas(32) float y[8];
  for (; i < count; ++i)
    for (int v = 0; v < Registers; ++v) {
      const VectorFilterLanes& a = lanes[2 * v];
      const VectorFilterLanes& b = lanes[2 * v + 1];
      _mm256_store_ps(y, one(v,
                             _mm256_setr_ps(a.in[0][i], a.in[1][i], a.in[2][i], a.in[3][i], b.in[0][i], b.in[1][i],
                                            b.in[2][i], b.in[3][i]),
                             i));
      for (int k = 0; k < 4; ++k) {
        a.out[k][i] = y[k];
        b.out[k][i] = y[4 + k];
      }
    }
  for (int v = 0; v < Registers; ++v) c[v].store(lanes + 2 * v);
}

template <bool Clip, int Registers = 1>
void filterCascadeAvxStages(const VectorFilterLanes* lanes, float inputScale, int dampingStride, int stages,
                            VectorFilterResponse response, const VectorFilterClip* clip, int count) {
  switch (stages) {
  case 1:
    filterCascadeAvx<1, Clip, Registers>(lanes, inputScale, dampingStride, response, clip, count);
    break;
  case 2:
    filterCascadeAvx<2, Clip, Registers>(lanes, inputScale, dampingStride, response, clip, count);
    break;
  case 3:
    filterCascadeAvx<3, Clip, Registers>(lanes, inputScale, dampingStride, response, clip, count);
    break;
  case 4:
    filterCascadeAvx<4, Clip, Registers>(lanes, inputScale, dampingStride, response, clip, count);
    break;
  default:
    break;
  }
}

// The clipped cascade over Sets sets of sixteen lanes in the 512-bit unit.
template <int Sets>
void filterCascade512Clipped(const VectorFilterLanes* lanes, float inputScale, int dampingStride, int stages,
                             VectorFilterResponse response, const VectorFilterClip* clip, int count) {
  switch (response) {
  case cVectorFilterLowPass:
    vectorFilterCascade512<cVectorFilterLowPass, Sets>(lanes, inputScale, dampingStride, stages, clip, count);
    return;
  case cVectorFilterHighPass:
    vectorFilterCascade512<cVectorFilterHighPass, Sets>(lanes, inputScale, dampingStride, stages, clip, count);
    return;
  default:
    vectorFilterCascade512<cVectorFilterBandPass, Sets>(lanes, inputScale, dampingStride, stages, clip, count);
    return;
  }
}

bool wide512Available() {
  static const bool available = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx2");
  return available;
}

} // namespace

void vectorFilterDriveCpp(const float* in, float inputScale, const float* frequency, const float* damping,
                          const float* cubicDamping, const int* runLength, float& low, float& band,
                          VectorFilterResponse response, float* out, int count) {
  filterLane<true>(in, inputScale, frequency, damping, cubicDamping, 1, 0, runLength, low, band, response, out,
                   count);
}

void vectorFilterCpp(const float* in, const float* frequency, const float* damping, const int* runLength,
                     float& low, float& band, VectorFilterResponse response, float* out, int count) {
  filterLane<false>(in, 1.0f, frequency, damping, nullptr, 1, 0, runLength, low, band, response, out, count);
}

void vectorFilterDriveParallelCpp(const float* const* in, float inputScale, const float* frequency,
                                  const float* damping, const float* cubicDamping, const int* runLength,
                                  float* low, float* band, VectorFilterResponse response, float* const* out,
                                  int count) {
  for (int l = 0; l < 4; ++l)
    filterLane<true>(in[l], inputScale, frequency, damping, cubicDamping, 4, l, runLength, low[l], band[l],
                     response, out[l], count);
}

void vectorFilterParallelCpp(const float* const* in, const float* frequency, const float* damping,
                             const int* runLength, float* low, float* band, VectorFilterResponse response,
                             float* const* out, int count) {
  for (int l = 0; l < 4; ++l)
    filterLane<false>(in[l], 1.0f, frequency, damping, nullptr, 4, l, runLength, low[l], band[l], response,
                      out[l], count);
}

void vectorFilterDriveParallelFast(const float* const* in, float inputScale, const float* frequency,
                                   const float* damping, const float* cubicDamping, const int* runLength,
                                   float* low, float* band, VectorFilterResponse response, float* const* out,
                                   int count) {
  filterFourLanes<true>(in, inputScale, frequency, damping, cubicDamping, runLength, low, band, response, out,
                        count);
}

void vectorFilterParallelFast(const float* const* in, const float* frequency, const float* damping,
                              const int* runLength, float* low, float* band, VectorFilterResponse response,
                              float* const* out, int count) {
  filterFourLanes<false>(in, 1.0f, frequency, damping, nullptr, runLength, low, band, response, out, count);
}

void vectorFilterCascadeParallelFast(const float* const* in, float inputScale, const float* frequency,
                                     const float* damping, int dampingStride, const float* cubicDamping,
                                     const int* runLength, float* low, float* band, int stages,
                                     VectorFilterResponse response, float* const* out, int count) {
  VectorFilterLanes lanes;
  for (int k = 0; k < 4; ++k) {
    lanes.in[k] = in[k];
    lanes.out[k] = out[k];
  }
  lanes.frequency = frequency;
  lanes.damping = damping;
  lanes.cubicDamping = cubicDamping;
  lanes.runLength = runLength;
  lanes.low = low;
  lanes.band = band;
  filterCascadeStages<1>(&lanes, inputScale, dampingStride, stages, response, count);
}

void vectorFilterCascadeEightLanesFast(const VectorFilterLanes* lanes, float inputScale, int dampingStride,
                                       int stages, VectorFilterResponse response, int count) {
  filterCascadeStages<2>(lanes, inputScale, dampingStride, stages, response, count);
}

void vectorFilterCascadeClippedFast(const VectorFilterLanes* lanes, int groups, float inputScale,
                                    int dampingStride, int stages, VectorFilterResponse response,
                                    const VectorFilterClip& clip, int count) {
  if (groups == 2)
    filterCascadeStages<2, true>(lanes, inputScale, dampingStride, stages, response, count, &clip);
  else if (groups == 1)
    filterCascadeStages<1, true>(lanes, inputScale, dampingStride, stages, response, count, &clip);
}

bool vectorFilterWideAvailable() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
}

void vectorFilterCascadeEightLanesWide(const VectorFilterLanes* lanes, float inputScale, int dampingStride,
                                       int stages, VectorFilterResponse response, int count) {
  filterCascadeAvxStages<false>(lanes, inputScale, dampingStride, stages, response, nullptr, count);
}

void vectorFilterCascadeClippedWide(const VectorFilterLanes* lanes, float inputScale, int dampingStride,
                                    int stages, VectorFilterResponse response, const VectorFilterClip& clip,
                                    int count) {
  filterCascadeAvxStages<true>(lanes, inputScale, dampingStride, stages, response, &clip, count);
}

void vectorFilterCascadeClippedWidePair(const VectorFilterLanes* lanes, float inputScale, int dampingStride,
                                        int stages, VectorFilterResponse response, const VectorFilterClip& clip,
                                        int count, bool allow512) {
  if (allow512 && wide512Available()) {
    filterCascade512Clipped<1>(lanes, inputScale, dampingStride, stages, response, &clip, count);
    return;
  }
  filterCascadeAvxStages<true, 2>(lanes, inputScale, dampingStride, stages, response, &clip, count);
}

void vectorFilterCascadeClippedWideQuad(const VectorFilterLanes* lanes, float inputScale, int dampingStride,
                                        int stages, VectorFilterResponse response, const VectorFilterClip& clip,
                                        int count, bool allow512) {
  if (allow512 && wide512Available()) {
    filterCascade512Clipped<2>(lanes, inputScale, dampingStride, stages, response, &clip, count);
    return;
  }
  filterCascadeAvxStages<true, 4>(lanes, inputScale, dampingStride, stages, response, &clip, count);
}
