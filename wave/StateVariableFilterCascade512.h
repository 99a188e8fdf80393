#pragma once

// The definitions behind StateVariableFilterKernels512.h, for the three
// files that compile one response each; nothing else includes this.
//
// Four groups (sixteen lanes) in one 512-bit register, for processors that
// have the unit (asked at run time): the same operations as the 256-bit
// kernels in the same order, lane by lane, so every lane computes to the
// bit what they give. Each stage's recursion waits on itself; here stage k
// runs a sample behind stage k - 1, so that the stages' chains are
// independent within a step and overlap instead of queueing one behind the
// other, and the clipper's table reads follow a little later still.

#include "wave/DenormalGuard.h"
#include "wave/Intrinsics.h"
#include "wave/StateVariableFilterKernels512.h"

#include <algorithm>
#include <cstdint>

#define ZARN_AVX512 __attribute__((target("avx2,avx512f")))
#define ZARN_AVX512_INLINE __attribute__((target("avx2,avx512f"), ZARN_FORCE_INLINE)) inline

namespace {

struct Lanes512 {
  __m512 low;
  __m512 band;
  __m512 f;
  __m512 q;
  __m512 g;
};

ZARN_AVX512_INLINE __m512 cube512(__m512 g, __m512 b) {
  return _mm512_mul_ps(_mm512_mul_ps(_mm512_mul_ps(g, b), b), b);
}

template <bool Cubic, VectorFilterResponse R>
ZARN_AVX512_INLINE __m512 step512(__m512 x, Lanes512& s) {
  const __m512 bandHi = _mm512_set1_ps(cVectorFilterBandLimit);
  const __m512 bandLo = _mm512_set1_ps(-cVectorFilterBandLimit);
  const __m512 lowHi = _mm512_set1_ps(cVectorFilterLowLimit);
  const __m512 lowLo = _mm512_set1_ps(-cVectorFilterLowLimit);
  const __m512 f = s.f;
  const __m512 q = s.q;
  const __m512 b = s.band;
  const __m512 l1 = _mm512_add_ps(s.low, _mm512_mul_ps(f, b));
  __m512 b1 = _mm512_add_ps(b, _mm512_mul_ps(f, _mm512_sub_ps(_mm512_sub_ps(x, _mm512_mul_ps(q, b)), l1)));
  if (Cubic) b1 = _mm512_sub_ps(b1, cube512(s.g, b));
  const __m512 l2 = _mm512_add_ps(l1, _mm512_mul_ps(f, b1));
  __m512 b2 = _mm512_add_ps(b1, _mm512_mul_ps(f, _mm512_sub_ps(_mm512_sub_ps(x, _mm512_mul_ps(q, b1)), l2)));
  if (Cubic) b2 = _mm512_sub_ps(b2, cube512(s.g, b1));
  const __m512 l3 = _mm512_add_ps(l2, _mm512_mul_ps(f, b2));
  const __m512 h = _mm512_sub_ps(_mm512_sub_ps(x, _mm512_mul_ps(q, b2)), l3);
  __m512 nb = _mm512_add_ps(b2, _mm512_mul_ps(f, h));
  if (Cubic) nb = _mm512_sub_ps(nb, cube512(s.g, b2));
  s.band = _mm512_min_ps(_mm512_max_ps(nb, bandLo), bandHi);
  s.low = _mm512_min_ps(_mm512_max_ps(l3, lowLo), lowHi);
  return R == cVectorFilterLowPass ? s.low : (R == cVectorFilterHighPass ? h : s.band);
}

// The clipper's table read of ClampedTableReadAvx on sixteen lanes, its
// constants set out once per pass.
struct ClampedTableRead512 {
  // The address of the entry of argument 0, as if the table went on below
  // its first point: argument k's entry is then at origin + 4 k.
  const char* origin;
  __m512 fracOffset;
  __m512 lo; // the argument of the first point
  __m512 hi; // the argument of the last point

  ZARN_AVX512 void set(const VectorFilterClip& t) {
    origin = reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(t.values) -
                                           static_cast<std::uintptr_t>(static_cast<std::intptr_t>(t.intOffset) * 4));
    fracOffset = _mm512_set1_ps(t.fracOffset);
    lo = _mm512_set1_ps(static_cast<float>(t.intOffset));
    hi = _mm512_set1_ps(static_cast<float>(static_cast<double>(t.intOffset) + static_cast<double>(t.mask)));
  }

  ZARN_AVX512_INLINE __m512 operator()(__m512 scale, __m512 in) const {
    __m512 x = _mm512_sub_ps(_mm512_mul_ps(scale, in), fracOffset);
    x = _mm512_min_ps(_mm512_max_ps(x, lo), hi);
    // x rounded down, as an integer and as a float: what truncation less
    // one where it rounded up gives, x being held to the table's arguments
    // (integers far inside the float's exact range).
    const __m512i k = _mm512_cvt_roundps_epi32(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    const __m512 f = _mm512_sub_ps(x, _mm512_roundscale_ps(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
    // x held to the table's arguments, k - intOffset lies in [0, mask]: the
    // entry the mask (N - 1, N a power of two) would leave as it is.
    // Each lane's two neighbouring entries in one 64-bit read: half the
    // elements to gather, split into the two rows afterwards.
    const __m512 p0 = _mm512_castpd_ps(_mm512_i32gather_pd(_mm512_castsi512_si256(k), origin, 4));
    const __m512 p1 = _mm512_castpd_ps(_mm512_i32gather_pd(_mm512_extracti64x4_epi64(k, 1), origin, 4));
    const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i odd = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
    const __m512 v0 = _mm512_permutex2var_ps(p0, even, p1);
    const __m512 v1 = _mm512_permutex2var_ps(p0, odd, p1);
    return _mm512_add_ps(v0, _mm512_mul_ps(f, _mm512_sub_ps(v1, v0)));
  }
};

// b[k] = a 4 x 4 transpose within each 128-bit quarter: element j of b[k]'s
// quarter is element k of a[j]'s.
ZARN_AVX512_INLINE void transposeQuarters(const __m512* a, __m512* b) {
  const __m512 t0 = _mm512_unpacklo_ps(a[0], a[1]);
  const __m512 t1 = _mm512_unpackhi_ps(a[0], a[1]);
  const __m512 t2 = _mm512_unpacklo_ps(a[2], a[3]);
  const __m512 t3 = _mm512_unpackhi_ps(a[2], a[3]);
  b[0] = _mm512_castpd_ps(_mm512_unpacklo_pd(_mm512_castps_pd(t0), _mm512_castps_pd(t2)));
  b[1] = _mm512_castpd_ps(_mm512_unpackhi_pd(_mm512_castps_pd(t0), _mm512_castps_pd(t2)));
  b[2] = _mm512_castpd_ps(_mm512_unpacklo_pd(_mm512_castps_pd(t1), _mm512_castps_pd(t3)));
  b[3] = _mm512_castpd_ps(_mm512_unpackhi_pd(_mm512_castps_pd(t1), _mm512_castps_pd(t3)));
}

template <int H>
ZARN_AVX512_INLINE void setQuarter(__m512& v, __m128 x) {
  v = _mm512_insertf32x4(v, x, H);
}

// One stage of the sixteen lanes: its states and coefficients, and where
// each group's runs stand for the sample the stage is at.
template <VectorFilterResponse R>
struct Stage512 {
  Lanes512 s;
  int r[4] = {0, 0, 0, 0};
  int runEnd[4] = {0, 0, 0, 0};
  // The first sample at which a group enters a new run.
  int next = 0;
};

template <int Stages, bool Clip, VectorFilterResponse R>
struct Cascade512 {
  const VectorFilterLanes* lanes;
  int dampingStride;
  __m128 tableScale;
  __m512 scale;
  Stage512<R> st[Stages];
  __m512 clipScale;
  __m512 clipGain;
  // The clipper's scale and gain of each sample of the chunk.
  __m512* scales;
  __m512* gains;

  ZARN_AVX512 void load() {
    for (int k = 0; k < Stages; ++k) {
      __m512 lo = _mm512_setzero_ps(), ba = _mm512_setzero_ps();
      lo = _mm512_insertf32x4(lo, _mm_loadu_ps(lanes[0].low + 4 * k), 0);
      lo = _mm512_insertf32x4(lo, _mm_loadu_ps(lanes[1].low + 4 * k), 1);
      lo = _mm512_insertf32x4(lo, _mm_loadu_ps(lanes[2].low + 4 * k), 2);
      lo = _mm512_insertf32x4(lo, _mm_loadu_ps(lanes[3].low + 4 * k), 3);
      ba = _mm512_insertf32x4(ba, _mm_loadu_ps(lanes[0].band + 4 * k), 0);
      ba = _mm512_insertf32x4(ba, _mm_loadu_ps(lanes[1].band + 4 * k), 1);
      ba = _mm512_insertf32x4(ba, _mm_loadu_ps(lanes[2].band + 4 * k), 2);
      ba = _mm512_insertf32x4(ba, _mm_loadu_ps(lanes[3].band + 4 * k), 3);
      st[k].s.low = lo;
      st[k].s.band = ba;
      st[k].s.f = st[k].s.q = st[k].s.g = _mm512_setzero_ps();
    }
    clipScale = clipGain = _mm512_setzero_ps();
  }
  ZARN_AVX512 void store() const {
    for (int k = 0; k < Stages; ++k) {
      _mm_storeu_ps(lanes[0].low + 4 * k, _mm512_extractf32x4_ps(st[k].s.low, 0));
      _mm_storeu_ps(lanes[1].low + 4 * k, _mm512_extractf32x4_ps(st[k].s.low, 1));
      _mm_storeu_ps(lanes[2].low + 4 * k, _mm512_extractf32x4_ps(st[k].s.low, 2));
      _mm_storeu_ps(lanes[3].low + 4 * k, _mm512_extractf32x4_ps(st[k].s.low, 3));
      _mm_storeu_ps(lanes[0].band + 4 * k, _mm512_extractf32x4_ps(st[k].s.band, 0));
      _mm_storeu_ps(lanes[1].band + 4 * k, _mm512_extractf32x4_ps(st[k].s.band, 1));
      _mm_storeu_ps(lanes[2].band + 4 * k, _mm512_extractf32x4_ps(st[k].s.band, 2));
      _mm_storeu_ps(lanes[3].band + 4 * k, _mm512_extractf32x4_ps(st[k].s.band, 3));
    }
  }
  // The len samples at base of the sixteen lanes' inputs, one register per
  // sample: per four samples, lane k of the four groups in one register
  // (group g's quarter g), then a 4 x 4 transpose within each quarter.
  ZARN_AVX512_INLINE void gather(__m512* x, int base, int len) const {
    const int whole = len & ~3;
    for (int m = 0; m < whole; m += 4) {
      __m512 v[4];
      for (int k = 0; k < 4; ++k) {
        v[k] = _mm512_castps128_ps512(_mm_load_ps(lanes[0].in[k] + base + m));
        v[k] = _mm512_insertf32x4(v[k], _mm_load_ps(lanes[1].in[k] + base + m), 1);
        v[k] = _mm512_insertf32x4(v[k], _mm_load_ps(lanes[2].in[k] + base + m), 2);
        v[k] = _mm512_insertf32x4(v[k], _mm_load_ps(lanes[3].in[k] + base + m), 3);
      }
      transposeQuarters(v, x + m);
    }
    alignas(64) float buffer[16];
    for (int m = whole; m < len; ++m) {
      for (int g = 0; g < 4; ++g)
        for (int k = 0; k < 4; ++k) buffer[4 * g + k] = lanes[g].in[k][base + m];
      x[m] = _mm512_load_ps(buffer);
    }
  }
  // The reverse of gather, into the lanes' outputs.
  ZARN_AVX512_INLINE void scatter(const __m512* x, int base, int len) const {
    const int whole = len & ~3;
    for (int m = 0; m < whole; m += 4) {
      __m512 v[4];
      transposeQuarters(x + m, v);
      for (int k = 0; k < 4; ++k) {
        _mm_store_ps(lanes[0].out[k] + base + m, _mm512_castps512_ps128(v[k]));
        _mm_store_ps(lanes[1].out[k] + base + m, _mm512_extractf32x4_ps(v[k], 1));
        _mm_store_ps(lanes[2].out[k] + base + m, _mm512_extractf32x4_ps(v[k], 2));
        _mm_store_ps(lanes[3].out[k] + base + m, _mm512_extractf32x4_ps(v[k], 3));
      }
    }
    alignas(64) float buffer[16];
    for (int m = whole; m < len; ++m) {
      _mm512_store_ps(buffer, x[m]);
      for (int g = 0; g < 4; ++g)
        for (int k = 0; k < 4; ++k) lanes[g].out[k][base + m] = buffer[4 * g + k];
    }
  }
  // Loads group H's coefficients for stage K of the run that holds sample
  // i into its quarter (the clipper's with the last stage).
  template <int K, int H>
  ZARN_AVX512_INLINE void enterGroup(int i) {
    const VectorFilterLanes& g = lanes[H];
    Stage512<R>& t = st[K];
    while (t.runEnd[H] <= i) {
      const int rr = t.r[H];
      const int len = g.runLength[rr];
      if (len > 0) {
        setQuarter<H>(t.s.f, _mm_loadu_ps(g.frequency + 4 * rr));
        setQuarter<H>(t.s.q, _mm_loadu_ps(g.damping + K * dampingStride + 4 * rr));
        if (K == 0) setQuarter<H>(t.s.g, _mm_loadu_ps(g.cubicDamping + 4 * rr));
        if (Clip && K == Stages - 1) {
          setQuarter<H>(clipScale, _mm_mul_ps(tableScale, _mm_loadu_ps(g.clipScale + 4 * rr)));
          setQuarter<H>(clipGain, _mm_loadu_ps(g.clipGain + 4 * rr));
        }
        t.runEnd[H] += len;
      }
      t.r[H] = rr + 1;
    }
  }
  // Stage K's coefficients of the runs that hold sample i.
  template <int K>
  ZARN_AVX512_INLINE void enterStage(int i) {
    Stage512<R>& t = st[K];
    if (i >= t.next) {
      enterGroup<K, 0>(i);
      enterGroup<K, 1>(i);
      enterGroup<K, 2>(i);
      enterGroup<K, 3>(i);
      t.next = std::min(std::min(t.runEnd[0], t.runEnd[1]), std::min(t.runEnd[2], t.runEnd[3]));
    }
  }
  // Every stage's runs that hold sample base, the first of a chunk of len
  // samples that every stage has still to work through. True when no
  // group's run ends inside the chunk (held notes give runs of whole
  // blocks): the chunk then needs no run checks, and the clipper's scale
  // and gain hold for all of it.
  template <int K = Stages - 1>
  ZARN_AVX512_INLINE bool enterChunk(int base, int len) {
    enterStage<K>(base);
    const bool steady = st[K].next >= base + len;
    if constexpr (K > 0) return enterChunk<K - 1>(base, len) && steady;
    return steady;
  }
  // Stage K at sample m of the chunk at base: x[m] holds the previous
  // stage's output (the input for stage 0) and takes this one's. Steady:
  // a chunk that enterChunk found inside every group's runs.
  template <int K, bool Steady>
  ZARN_AVX512_INLINE void advance(__m512* x, int base, int m) {
    Stage512<R>& t = st[K];
    if (!Steady) enterStage<K>(base + m);
    __m512 y = K == 0 ? step512<true, R>(_mm512_mul_ps(scale, x[m]), t.s) : step512<false, R>(x[m], t.s);
    if (Clip && !Steady && K == Stages - 1) {
      scales[m] = clipScale;
      gains[m] = clipGain;
    }
    x[m] = y;
  }
  // Every stage whose sample n - K lies in [0, len), the later stages
  // first: each reads what the stage before gave one step earlier, so the
  // stages' chains are independent within a step.
  template <int K, bool Steady>
  ZARN_AVX512_INLINE void stepAll(__m512* x, int base, int n, int len) {
    const int m = n - K;
    if (m >= 0 && m < len) advance<K, Steady>(x, base, m);
    if constexpr (K > 0) stepAll<K - 1, Steady>(x, base, n, len);
  }
  template <int K, bool Steady>
  ZARN_AVX512_INLINE void stepSteady(__m512* x, int base, int n) {
    advance<K, Steady>(x, base, n - K);
    if constexpr (K > 0) stepSteady<K - 1, Steady>(x, base, n);
  }
  // The clipper on sample m of the chunk, with the scale and gain of its
  // run.
  template <bool Steady>
  ZARN_AVX512_INLINE __m512 clip(const ClampedTableRead512& read, __m512 y, int m) const {
    return Steady ? _mm512_mul_ps(read(clipScale, y), clipGain) : _mm512_mul_ps(read(scales[m], y), gains[m]);
  }
};

// A loop over the sets, unrolled so that each set's states and
// coefficients stay in registers of their own.
#define ZARN_EACH_SET(s) _Pragma("GCC unroll 4") for (int s = 0; s < Sets; ++s)

// Samples per chunk of the 512-bit pass.
constexpr int cChunk512 = 32;

// The len samples at base through every set's stages and clipper, each set
// chunk in x[s] one register per sample: stage k a sample behind stage
// k - 1 so that their chains overlap, the clipper a few samples behind the
// last stage, where its table reads fill the time the stages' chains leave
// idle.
template <int Stages, bool Clip, VectorFilterResponse R, int Sets, bool Steady>
ZARN_AVX512_INLINE void filterChunk512(Cascade512<Stages, Clip, R>* c, __m512 (*x)[cChunk512],
                                       const ClampedTableRead512& read, int base, int len) {
  int n = 0;
  for (; n < Stages - 1 && n < len; ++n)
    ZARN_EACH_SET(s) c[s].template stepAll<Stages - 1, Steady>(x[s], base, n, len);
  constexpr int cLag = 2;
  int clipped = 0;
  for (; n < len; ++n) {
    ZARN_EACH_SET(s) c[s].template stepSteady<Stages - 1, Steady>(x[s], base, n);
    if (Clip && n - (Stages - 1) - cLag >= 0) {
      ZARN_EACH_SET(s) x[s][clipped] = c[s].template clip<Steady>(read, x[s][clipped], clipped);
      ++clipped;
    }
  }
  for (; n < len + Stages - 1; ++n)
    ZARN_EACH_SET(s) c[s].template stepAll<Stages - 1, Steady>(x[s], base, n, len);
  if (Clip)
    for (int m = clipped; m < len; ++m)
      ZARN_EACH_SET(s) x[s][m] = c[s].template clip<Steady>(read, x[s][m], m);
}

template <int Stages, bool Clip, VectorFilterResponse R, int Sets>
ZARN_AVX512 void filterCascade512(const VectorFilterLanes* lanes, float inputScale, int dampingStride,
                                  const VectorFilterClip* clipTable, int count) {
  if (count < 1) return;
  wave::DenormalGuard guard;
  // Chunks of samples, each transposed into one register per sample,
  // filtered with stage k a sample behind stage k - 1 so that their chains
  // overlap, and transposed back. Set s (sixteen lanes, groups 4s to
  // 4s + 3) has registers of its own; the sets' chains are independent and
  // lie side by side in the instruction stream.
  constexpr int cChunk = cChunk512;
  ClampedTableRead512 read = {};
  if (Clip) read.set(*clipTable);
  Cascade512<Stages, Clip, R> c[Sets];
  __m512 x[Sets][cChunk];
  __m512 scales[Sets][Clip ? cChunk : 1];
  __m512 gains[Sets][Clip ? cChunk : 1];
  for (int s = 0; s < Sets; ++s) {
    Cascade512<Stages, Clip, R>& cs = c[s];
    cs.lanes = lanes + 4 * s;
    cs.dampingStride = dampingStride;
    cs.tableScale = _mm_set1_ps(Clip ? clipTable->scale : 0.0f);
    cs.scale = _mm512_set1_ps(inputScale);
    cs.scales = scales[s];
    cs.gains = gains[s];
    cs.load();
  }
  for (int base = 0; base < count; base += cChunk) {
    const int len = count - base < cChunk ? count - base : cChunk;
    ZARN_EACH_SET(s) c[s].gather(x[s], base, len);
    bool steady = true;
    ZARN_EACH_SET(s) steady = c[s].enterChunk(base, len) && steady;
    if (steady)
      filterChunk512<Stages, Clip, R, Sets, true>(c, x, read, base, len);
    else
      filterChunk512<Stages, Clip, R, Sets, false>(c, x, read, base, len);
    ZARN_EACH_SET(s) c[s].scatter(x[s], base, len);
  }
  for (int s = 0; s < Sets; ++s) c[s].store();
}

template <bool Clip, VectorFilterResponse R, int Sets>
void filterCascade512Stages(const VectorFilterLanes* lanes, float inputScale, int dampingStride, int stages,
                            const VectorFilterClip* clip, int count) {
  switch (stages) {
  case 1:
    filterCascade512<1, Clip, R, Sets>(lanes, inputScale, dampingStride, clip, count);
    break;
  case 2:
    filterCascade512<2, Clip, R, Sets>(lanes, inputScale, dampingStride, clip, count);
    break;
  case 3:
    filterCascade512<3, Clip, R, Sets>(lanes, inputScale, dampingStride, clip, count);
    break;
  case 4:
    filterCascade512<4, Clip, R, Sets>(lanes, inputScale, dampingStride, clip, count);
    break;
  default:
    break;
  }
}

} // namespace

template <VectorFilterResponse R, int Sets>
void vectorFilterCascade512(const VectorFilterLanes* lanes, float inputScale, int dampingStride, int stages,
                            const VectorFilterClip* clip, int count) {
  filterCascade512Stages<true, R, Sets>(lanes, inputScale, dampingStride, stages, clip, count);
}
