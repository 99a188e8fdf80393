#include "wave/StateVariableFilterKernels.h"

#include "wave/DenormalGuard.h"

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
template <int Stages>
struct CascadeGroup {
  Lanes s[Stages];
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
  void enter(const VectorFilterLanes& g, int dampingStride, int i) {
    while (runEnd <= i) {
      const int len = g.runLength[r];
      if (len > 0) {
        const __m128 f = _mm_loadu_ps(g.frequency + 4 * r);
        for (int k = 0; k < Stages; ++k) {
          s[k].f = f;
          s[k].q = _mm_loadu_ps(g.damping + k * dampingStride + 4 * r);
        }
        s[0].g = _mm_loadu_ps(g.cubicDamping + 4 * r);
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

template <int Stages, int Groups>
void filterCascade(const VectorFilterLanes* lanes, float inputScale, int dampingStride,
                   VectorFilterResponse response, int count) {
  if (count < 1) return;
  wave::DenormalGuard guard;
  const __m128 scale = _mm_set1_ps(inputScale);
  CascadeGroup<Stages> c[Groups];
  for (int g = 0; g < Groups; ++g) c[g].load(lanes[g]);

  int i = 0;
  // Groups of four samples: a 4 x 4 transpose turns four samples of each
  // lane into one vector per sample. The groups take turns sample by
  // sample, so that their chains lie side by side in the instruction
  // stream.
  for (; i + 4 <= count; i += 4) {
    __m128 x[Groups][4];
    for (int g = 0; g < Groups; ++g) {
      const VectorFilterLanes& l = lanes[g];
      for (int k = 0; k < 4; ++k) x[g][k] = _mm_load_ps(l.in[k] + i);
      _MM_TRANSPOSE4_PS(x[g][0], x[g][1], x[g][2], x[g][3]);
    }
    for (int k = 0; k < 4; ++k)
      for (int g = 0; g < Groups; ++g) {
        CascadeGroup<Stages>& cg = c[g];
        if (cg.runEnd <= i + k) cg.enter(lanes[g], dampingStride, i + k);
        x[g][k] = cg.one(x[g][k], scale, response);
      }
    for (int g = 0; g < Groups; ++g) {
      const VectorFilterLanes& l = lanes[g];
      _MM_TRANSPOSE4_PS(x[g][0], x[g][1], x[g][2], x[g][3]);
      for (int k = 0; k < 4; ++k) _mm_store_ps(l.out[k] + i, x[g][k]);
    }
  }
  // The rest one sample at a time, so that the states advance by exactly
  // count samples.
  alignas(16) float y[4];
  for (; i < count; ++i)
    for (int g = 0; g < Groups; ++g) {
      const VectorFilterLanes& l = lanes[g];
      CascadeGroup<Stages>& cg = c[g];
      if (cg.runEnd <= i) cg.enter(l, dampingStride, i);
      _mm_store_ps(y, cg.one(_mm_setr_ps(l.in[0][i], l.in[1][i], l.in[2][i], l.in[3][i]), scale, response));
      for (int k = 0; k < 4; ++k) l.out[k][i] = y[k];
    }
  for (int g = 0; g < Groups; ++g) c[g].store(lanes[g]);
}

template <int Groups>
void filterCascadeStages(const VectorFilterLanes* lanes, float inputScale, int dampingStride, int stages,
                         VectorFilterResponse response, int count) {
  switch (stages) {
  case 1:
    filterCascade<1, Groups>(lanes, inputScale, dampingStride, response, count);
    break;
  case 2:
    filterCascade<2, Groups>(lanes, inputScale, dampingStride, response, count);
    break;
  case 3:
    filterCascade<3, Groups>(lanes, inputScale, dampingStride, response, count);
    break;
  case 4:
    filterCascade<4, Groups>(lanes, inputScale, dampingStride, response, count);
    break;
  default:
    break;
  }
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
