#include "wave/OscillatorKernels.h"
#include "wave/CrossfadeBlend.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <emmintrin.h>

namespace {

constexpr float cEpsilon = 1.1920929e-7f;
constexpr float cLastEntry = static_cast<float>(cFrequencyTableEntries - 1);
// Marks "no pitch or sync looked up yet", so that the first sample of a sync
// kernel call always looks up.
constexpr float cNoValue = 1000.0f;
constexpr float cMinCrossfade = 3.0f;

struct Lookup {
  float frequency; // cycles per sample
  int32_t table;
};

// The pitch's entry of the frequency table. The index is held inside the
// table: the pitch range the buses allow reaches past its top (30 is entry
// 16384), and a modulated pitch is not limited at all. Entry 16383 is the
// highest read; its interpolation partner is the guard entry, weighted 0.
inline Lookup lookUp(const VectorProduceParams* p, float pitch) {
  float x = pitch * p->indexScale + p->indexOffset;
  if (!(x >= 0.0f))
    x = 0.0f; // also a NaN
  else if (x > cLastEntry)
    x = cLastEntry;
  int32_t k = static_cast<int32_t>(x);
  const float* f = p->frequencyTable;
  return {f[k] + (x - static_cast<float>(k)) * (f[k + 1] - f[k]), p->tableIndexTable[k]};
}

// Brings a stored phase into [0, size): the kernels read the table at it
// without further checks.
inline float wrapPhase(float phase, float size) {
  if (phase >= 0.0f && phase < size) return phase;
  float r = std::fmod(phase, size);
  if (r < 0.0f) r += size;
  if (!(r >= 0.0f && r < size)) r = 0.0f; // a NaN, or a negative tiny r that rounded up to size
  return r;
}

inline float holdSync(float s) {
  if (!(s >= 0.0f)) return 0.0f;
  return s > cMaxSyncOctaves ? cMaxSyncOctaves : s;
}

inline float holdPulseWidth(float w) {
  // The same as max(w, 0) then min(., 1) in SSE, a NaN included.
  w = w > 0.0f ? w : 0.0f;
  return w < 1.0f ? w : 1.0f;
}

inline float readTable(const float* table, float x) {
  int32_t n = static_cast<int32_t>(x);
  return table[n] + (x - static_cast<float>(n)) * (table[n + 1] - table[n]);
}

// The pulse at x: the sawtooth at x plus the sawtooth read backwards from a
// point (size / 2) x v ahead, v = 1 - pulse width. Their sum is a pulse of
// duty v / 2; both are zero-mean, so the pulse is too.
inline float readPulse(const VectorProduceParams* p, const float* table, int32_t size, float x, float v) {
  int32_t n = static_cast<int32_t>(x);
  float frac = x - static_cast<float>(n);
  float a = table[n] + frac * (table[n + 1] - table[n]);
  int32_t c = static_cast<int32_t>(static_cast<float>(size / 2) * v) + 2 * size;
  int32_t j = (c - n - 1) & (size - 1);
  double w = 1.0 - static_cast<double>(frac);
  float m = static_cast<float>(static_cast<double>(table[j]) + w * static_cast<double>(table[j + 1] - table[j]));
  return a * (p->sawGain * v + p->pulseGain) + m * p->pulseGain;
}

// fmod(x, size) for 0 <= x < 2^60 and a power of two size (every table's
// size is one), without the library's general loop; both are exact, so
// the results are the same float. x / size and q x size only move the
// exponent (x / size is x times the reciprocal, a power of two too); the
// quotient's whole part is its truncation, as it is not negative; x - q x
// size is below size and a multiple of the ulp of q x size, which is at
// least size x 2^-23, so it fits in 24 bits.
inline float wrapToSize(float x, float size, float reciprocal) {
  const float q = static_cast<float>(static_cast<int64_t>(x * reciprocal));
  return x - q * size;
}

// 1 / size for a power of two size from 1 to 2^126, built from its exponent.
inline float reciprocalOf(int32_t size) {
  const uint32_t bits = static_cast<uint32_t>(127 - __builtin_ctz(static_cast<uint32_t>(size))) << 23;
  float r;
  __builtin_memcpy(&r, &bits, sizeof r);
  return r;
}

// Base samples whose steps a synced kernel works out at a time.
constexpr int cSyncStepChunk = 64;

// What a synced kernel plays at the base samples of a chunk where pitch or
// sync changed: a function of the two alone, so that the steps can be
// worked out before the samples, the lookups and the exponential one by
// one, the crossfade's settings four at a time.
struct SyncSteps {
  // Slots: one per change, and room for rounding to a whole group of four.
  static constexpr int cSlots = cSyncStepChunk + 4;
  const float* table[cSlots];
  int32_t t[cSlots];
  int32_t size[cSlots];
  alignas(16) float inc[cSlots];
  alignas(16) float period[cSlots];
  alignas(16) float xStart[cSlots];
  // All ones when the sync is not a whole number of octaves: then the
  // crossfade's offset and slope are set too; otherwise the last ones stay.
  alignas(16) int32_t fade[cSlots];
  alignas(16) float xOffset[cSlots];
  alignas(16) float xSlope[cSlots];

  void copy(int to, int from) {
    table[to] = table[from];
    t[to] = t[from];
    size[to] = size[from];
    inc[to] = inc[from];
    period[to] = period[from];
    xStart[to] = xStart[from];
    fade[to] = fade[from];
  }

  // The lookup and the period (without the crossfade's settings).
  void look(int i, const VectorProduceParams* p, const float* tables, float pitch, float sync, float octavesUp) {
    const float s = holdSync(sync);
    const Lookup l = lookUp(p, pitch + s - octavesUp);
    t[i] = l.table;
    size[i] = p->tableSizes[l.table];
    table[i] = tables + static_cast<ptrdiff_t>(l.table) * p->tableStride;
    const float fsize = static_cast<float>(size[i]);
    inc[i] = l.frequency * fsize;
    // s is held in [0, 30]: its truncation is the conversion's.
    const float r = s - static_cast<float>(static_cast<int32_t>(s));
    if (std::fabs(r) > cEpsilon) {
      fade[i] = -1;
      period[i] = std::exp(s * 0.6931472f) * fsize;
      xStart[i] = 0.0f; // set by fades()
    } else {
      // A whole number of slave cycles per master cycle: the reset falls
      // where the slave starts a cycle anyway, no crossfade.
      fade[i] = 0;
      period[i] = std::ldexp(fsize, static_cast<int>(s));
      xStart[i] = period[i] + 1.0f;
    }
  }

  // The crossfade's settings of slots [0, n) (n a multiple of four; slots
  // without a fade keep their start). Each lane is the same arithmetic as
  // one float at a time.
  void fades(int n) {
    const __m128 minFade = _mm_set1_ps(cMinCrossfade), share = _mm_set1_ps(0.05f), half = _mm_set1_ps(0.5f);
    const __m128 one = _mm_set1_ps(1.0f);
    for (int i = 0; i < n; i += 4) {
      const __m128 mask = _mm_load_ps(reinterpret_cast<const float*>(fade + i));
      const __m128 per = _mm_load_ps(period + i);
      const __m128 fsize = _mm_setr_ps(static_cast<float>(size[i]), static_cast<float>(size[i + 1]),
                                       static_cast<float>(size[i + 2]), static_cast<float>(size[i + 3]));
      const __m128 reciprocal = _mm_setr_ps(reciprocalOf(size[i]), reciprocalOf(size[i + 1]),
                                            reciprocalOf(size[i + 2]), reciprocalOf(size[i + 3]));
      // At least cMinCrossfade samples (when that is under half the
      // cycle): shorter, the fade is a step of its own.
      const __m128 span = _mm_min_ps(_mm_max_ps(_mm_mul_ps(share, per), _mm_mul_ps(minFade, _mm_load_ps(inc + i))),
                                     _mm_mul_ps(half, per));
      const __m128 start = _mm_sub_ps(per, span);
      _mm_store_ps(xStart + i, _mm_or_ps(_mm_and_ps(mask, start), _mm_andnot_ps(mask, _mm_load_ps(xStart + i))));
      // The slave stands fmod(period, size) into its cycle when the master
      // resets it to 0: the crossfade target runs that far behind, so that
      // it arrives at the reset exactly where the slave restarts. period /
      // size = 2^sync is below 2^31.
      const __m128 whole = _mm_cvtepi32_ps(_mm_cvttps_epi32(_mm_mul_ps(per, reciprocal)));
      _mm_store_ps(xOffset + i, _mm_sub_ps(fsize, _mm_sub_ps(per, _mm_mul_ps(whole, fsize))));
      _mm_store_ps(xSlope + i, _mm_div_ps(one, _mm_sub_ps(per, start)));
    }
  }
};

// over: samples rendered per sample of pitch, sync and pulse width (1 or
// cSyncOversampling); the wave is looked up that many octaves' worth
// lower, i.e. at the finer rate. Each base sample's first output is read
// with what the sample before set up, then, where pitch or sync changed,
// its new step takes over. The steps are worked out for a chunk first, so
// that the sample loop keeps its state in registers and calls nothing but
// the crossfade's cosine.
template <bool square, int over>
void produceSync(VectorProduceParams* p, const float* tables, const float* pitch, const float* sync,
                 const float* pulseWidth, float* out, int count) {
  if (count < 1) return;
  const float octavesUp = over == 1 ? 0.0f : std::log2(static_cast<float>(over));
  int32_t t = p->tableIndex;
  int32_t size = p->tableSizes[t];
  float fsize = static_cast<float>(size);
  const float* table = tables + static_cast<ptrdiff_t>(t) * p->tableStride;
  float phase = wrapPhase(p->phase, fsize);
  float syncPhase = p->syncPhase >= 0.0f ? p->syncPhase : 0.0f;
  float xStart = p->crossfadeStart;
  float xSlope = p->crossfadeSlope;
  float xOffset = p->crossfadeOffset;
  float lastPitch = cNoValue;
  float lastSync = cNoValue;
  float inc = 0.0f;
  float period = fsize;
  SyncSteps steps;
  // Per base sample of the chunk, the slot of its new step, or -1 where
  // pitch and sync stayed (and nothing changes).
  int8_t slot[cSyncStepChunk];

  for (int done = 0; done < count; done += cSyncStepChunk) {
    const int n = std::min(count - done, cSyncStepChunk);
    int used = 0;
    for (int i = 0; i < n; ++i) {
      const float pi = pitch[done + i], si = sync[done + i];
      if (pi != lastPitch || si != lastSync) {
        steps.look(used, p, tables, pi, si, octavesUp);
        slot[i] = static_cast<int8_t>(used++);
        lastPitch = pi;
        lastSync = si;
      } else {
        slot[i] = -1;
      }
    }
    if (used > 0) {
      // The lanes past the last slot repeat it.
      const int rounded = (used + 3) & ~3;
      for (int j = used; j < rounded; ++j) steps.copy(j, used - 1);
      steps.fades(rounded);
    }
    for (int i = 0; i < n; ++i) {
      const float v = square ? 1.0f - holdPulseWidth(pulseWidth[done + i]) : 0.0f;
      for (int k = 0; k < over; ++k) {
        float o = square ? readPulse(p, table, size, phase, v) : readTable(table, phase);
        if (syncPhase >= xStart) {
          // Fade towards the wave as it will be after the reset, so that the
          // jump of a reset that is not a whole number of cycles is not heard.
          float p2 = phase + xOffset;
          if (p2 >= fsize) p2 -= fsize;
          float alt = square ? readPulse(p, table, size, p2, v) : readTable(table, p2);
          o = crossfadeBlend(
              o, alt, (static_cast<double>(syncPhase) - static_cast<double>(xStart)) * static_cast<double>(xSlope));
        }
        out[over * (done + i) + k] = o;

        if (k == 0 && slot[i] >= 0) {
          // The step of this sample, where pitch or sync changed.
          const int j = slot[i];
          if (steps.size[j] != size) {
            float fnew = static_cast<float>(steps.size[j]);
            phase = phase * fnew / fsize;
            syncPhase = syncPhase * fnew / fsize;
            size = steps.size[j];
            fsize = fnew;
          }
          t = steps.t[j];
          table = steps.table[j];
          inc = steps.inc[j];
          period = steps.period[j];
          xStart = steps.xStart[j];
          if (steps.fade[j]) {
            xOffset = steps.xOffset[j];
            xSlope = steps.xSlope[j];
          }
        }

        syncPhase += inc;
        if (syncPhase >= period) {
          // The master starts a cycle: the slave restarts with it.
          syncPhase -= period;
          // Only after a change of sync between blocks can more than one
          // period be left; the phase must stay inside the table whatever
          // is left.
          if (syncPhase >= period) syncPhase = std::fmod(syncPhase, period);
          phase = syncPhase < fsize ? syncPhase : wrapToSize(syncPhase, fsize, reciprocalOf(size));
        } else {
          phase += inc;
          if (phase >= fsize) phase -= fsize;
        }
      }
    }
  }

  p->phase = phase;
  p->tableIndex = t;
  p->syncPhase = syncPhase;
  p->crossfadeOffset = xOffset;
  p->crossfadeStart = xStart;
  p->crossfadeSlope = xSlope;
}

inline float lane0(__m128 v) { return _mm_cvtss_f32(v); }

// lookUp, or its last result when the pitch and the frequency table are the
// same as then (a NaN pitch is never the same).
inline Lookup rememberedLookUp(VectorProduceParams* p, float pitch) {
  if (pitch == p->lookedUpPitch && p->frequencyTable == p->lookedUpIn)
    return {p->lookedUpFrequency, p->lookedUpTable};
  const Lookup l = lookUp(p, pitch);
  p->lookedUpPitch = pitch;
  p->lookedUpIn = p->frequencyTable;
  p->lookedUpFrequency = l.frequency;
  p->lookedUpTable = l.table;
  return l;
}

// The points at the four indices in n, all in [0, size) (v0), and the
// points after them (v1). Each neighbouring pair is one 8-byte load, mostly
// from a single cache line: four loads and four shuffles where single
// points took eight and six. The indices leave the vector two at a time,
// as unsigned values, which need no sign extension for the addressing.
inline __m128 pairAt(const float* table, uint32_t i) {
  return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(table + i)));
}

inline void readPairs(const float* table, __m128i n, __m128& v0, __m128& v1) {
  const uint64_t low = static_cast<uint64_t>(_mm_cvtsi128_si64(n));
  const uint64_t high = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(n, n)));
  const __m128 p0 = pairAt(table, static_cast<uint32_t>(low));
  const __m128 p1 = pairAt(table, static_cast<uint32_t>(low >> 32));
  const __m128 p2 = pairAt(table, static_cast<uint32_t>(high));
  const __m128 p3 = pairAt(table, static_cast<uint32_t>(high >> 32));
  const __m128 u01 = _mm_unpacklo_ps(p0, p1); // a0 a1 b0 b1
  const __m128 u23 = _mm_unpacklo_ps(p2, p3); // a2 a3 b2 b3
  v0 = _mm_movelh_ps(u01, u23);
  v1 = _mm_movehl_ps(u23, u01);
}

template <bool square, bool withNoise, bool heldPitch>
void produceFast(VectorProduceParams* p, const float* tables, const float* pitch, const float* pulseWidth,
                 float* out, int count, const float* noise, float noiseLevel) {
  if (count < 1) return;
  const int32_t* sizes = p->tableSizes;
  Lookup l = rememberedLookUp(p, pitch[0]);
  int32_t t = l.table;
  int32_t size = sizes[t];
  float fsize = static_cast<float>(size);
  const float* table = tables + static_cast<ptrdiff_t>(t) * p->tableStride;
  // Sizes are powers of two, so the carried phase scales exactly; at an
  // unchanged size it stays as it is, without the division.
  const int32_t lastSize = sizes[p->tableIndex];
  float phase = wrapPhase(lastSize == size ? p->phase : p->phase * fsize / static_cast<float>(lastSize), fsize);
  float inc = l.frequency * fsize;
  float lastPitch = pitch[0];

  const __m128 laneSteps = _mm_setr_ps(0.0f, 1.0f, 2.0f, 3.0f);
  const __m128 zero = _mm_setzero_ps();
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128i oneInt = _mm_set1_epi32(1);
  const __m128 pulseGain = _mm_set1_ps(p->pulseGain);
  const __m128 sawGain = _mm_set1_ps(p->sawGain);
  const __m128 vNoiseLevel = _mm_set1_ps(noiseLevel);
  __m128 lanes = _mm_add_ps(_mm_set1_ps(phase), _mm_mul_ps(_mm_set1_ps(inc), laneSteps));
  __m128 inc4 = _mm_set1_ps(4.0f * inc);
  __m128 vsize = _mm_set1_ps(fsize);
  __m128 vsize2 = _mm_set1_ps(2.0f * fsize);

  for (int s = 0; s < count; s += 4) {
    // Lanes start below 3 x size (see the pitch change below), so they are
    // brought into [0, size) by subtracting size once or twice. Both
    // differences are exact (size is a power of two), so choosing between
    // them equals two conditional subtractions in a row, while the chain
    // from one group's lanes to the next stays short.
    {
      const __m128 once = _mm_cmpge_ps(lanes, vsize);
      const __m128 twice = _mm_cmpge_ps(lanes, vsize2);
      const __m128 less1 = _mm_sub_ps(lanes, vsize);
      const __m128 less2 = _mm_sub_ps(lanes, vsize2);
      lanes = _mm_or_ps(_mm_or_ps(_mm_and_ps(twice, less2), _mm_andnot_ps(once, lanes)),
                        _mm_and_ps(_mm_andnot_ps(twice, once), less1));
    }
    __m128i n = _mm_cvttps_epi32(lanes);
    __m128 frac = _mm_sub_ps(lanes, _mm_cvtepi32_ps(n));
    __m128 t0, t1;
    readPairs(table, n, t0, t1);
    __m128 o = _mm_add_ps(t0, _mm_mul_ps(frac, _mm_sub_ps(t1, t0)));
    if (square) {
      __m128 w = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(pulseWidth + s), zero), one);
      __m128 v = _mm_sub_ps(one, w);
      __m128i c = _mm_add_epi32(_mm_cvttps_epi32(_mm_mul_ps(_mm_set1_ps(static_cast<float>(size / 2)), v)),
                                _mm_set1_epi32(2 * size));
      __m128i j = _mm_and_si128(_mm_sub_epi32(_mm_sub_epi32(c, n), oneInt), _mm_set1_epi32(size - 1));
      __m128 m0, m1;
      readPairs(table, j, m0, m1);
      __m128 m = _mm_add_ps(m0, _mm_mul_ps(_mm_sub_ps(one, frac), _mm_sub_ps(m1, m0)));
      o = _mm_add_ps(_mm_mul_ps(o, _mm_add_ps(_mm_mul_ps(sawGain, v), pulseGain)), _mm_mul_ps(m, pulseGain));
    }
    if (withNoise) o = _mm_add_ps(_mm_mul_ps(_mm_load_ps(noise + s), vNoiseLevel), o);
    _mm_store_ps(out + s, o);
    lanes = _mm_add_ps(lanes, inc4);

    if (!heldPitch && pitch[s] != lastPitch) {
      // Lane 0 has moved on with the old increment; the new one applies from
      // lane 1 on. Lane 0 is brought back into [0, size) so that the lanes
      // stay below 3 x size even when the pitch leaps up near half the rate.
      l = rememberedLookUp(p, pitch[s]);
      int32_t newSize = sizes[l.table];
      float first = lane0(lanes);
      if (newSize != size) {
        float fnew = static_cast<float>(newSize);
        first = first * fnew / fsize;
        size = newSize;
        fsize = fnew;
        vsize = _mm_set1_ps(fsize);
        vsize2 = _mm_set1_ps(2.0f * fsize);
      }
      first = wrapPhase(first, fsize);
      t = l.table;
      table = tables + static_cast<ptrdiff_t>(t) * p->tableStride;
      inc = l.frequency * fsize;
      lanes = _mm_add_ps(_mm_set1_ps(first), _mm_mul_ps(_mm_set1_ps(inc), laneSteps));
      inc4 = _mm_set1_ps(4.0f * inc);
      lastPitch = pitch[s];
    }
  }

  // The phase of sample count: a lane of the next group, stepped back.
  alignas(16) float last[4];
  _mm_store_ps(last, lanes);
  phase = wrapPhase(last[(count + 3) & 3] - 3.0f * inc, fsize);
  p->phase = phase;
  p->syncPhase = phase;
  p->tableIndex = t;
  p->crossfadeStart = fsize + 1.0f;
}

// The kernel for the case at hand. A held pitch that is not a number takes
// the general path: NaN differs from itself, so that path looks it up anew
// at every group.
template <bool square>
void produceFastFor(VectorProduceParams* p, const float* tables, const float* pitch, const float* pulseWidth,
                    float* out, int count, const float* noise, float noiseLevel, bool heldPitch) {
  heldPitch = heldPitch && count > 0 && pitch[0] == pitch[0];
  if (noise) {
    if (heldPitch)
      produceFast<square, true, true>(p, tables, pitch, pulseWidth, out, count, noise, noiseLevel);
    else
      produceFast<square, true, false>(p, tables, pitch, pulseWidth, out, count, noise, noiseLevel);
  } else {
    if (heldPitch)
      produceFast<square, false, true>(p, tables, pitch, pulseWidth, out, count, nullptr, 0.0f);
    else
      produceFast<square, false, false>(p, tables, pitch, pulseWidth, out, count, nullptr, 0.0f);
  }
}

} // namespace

void vectorProduceWaveFast(VectorProduceParams* params, const float* tables, const float* pitch, float* out,
                           int count, const float* noise, float noiseLevel, bool heldPitch) {
  produceFastFor<false>(params, tables, pitch, nullptr, out, count, noise, noiseLevel, heldPitch);
}

void vectorProduceSquareFast(VectorProduceParams* params, const float* tables, const float* pitch,
                             const float* pulseWidth, float* out, int count, const float* noise, float noiseLevel,
                             bool heldPitch) {
  produceFastFor<true>(params, tables, pitch, pulseWidth, out, count, noise, noiseLevel, heldPitch);
}

void vectorProduceWaveSyncCpp(VectorProduceParams* params, const float* tables, const float* pitch,
                              const float* sync, float* out, int count) {
  produceSync<false, 1>(params, tables, pitch, sync, nullptr, out, count);
}

void vectorProduceSquareSyncCpp(VectorProduceParams* params, const float* tables, const float* pitch,
                                const float* sync, const float* pulseWidth, float* out, int count) {
  produceSync<true, 1>(params, tables, pitch, sync, pulseWidth, out, count);
}

void vectorProduceWaveSyncOversampled(VectorProduceParams* params, const float* tables, const float* pitch,
                                      const float* sync, float* out, int count) {
  produceSync<false, cSyncOversampling>(params, tables, pitch, sync, nullptr, out, count);
}

void vectorProduceSquareSyncOversampled(VectorProduceParams* params, const float* tables, const float* pitch,
                                        const float* sync, const float* pulseWidth, float* out, int count) {
  produceSync<true, cSyncOversampling>(params, tables, pitch, sync, pulseWidth, out, count);
}
