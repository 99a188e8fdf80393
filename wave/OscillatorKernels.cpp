#include "wave/OscillatorKernels.h"

#include <cmath>
#include <cstddef>
#include <emmintrin.h>

namespace {

constexpr float cEpsilon = 1.1920929e-7f;
constexpr float cLastEntry = static_cast<float>(cFrequencyTableEntries - 1);
// Marks "no pitch or sync looked up yet", so that the first sample of a sync
// kernel call always looks up.
constexpr float cNoValue = 1000.0f;
constexpr double cPi = 3.14159265358979323846;
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

// over: samples rendered per sample of pitch, sync and pulse width (1 or
// cSyncOversampling); the wave is looked up that many octaves' worth
// lower, i.e. at the finer rate.
template <bool square, int over>
void produceSync(VectorProduceParams* p, const float* tables, const float* pitch, const float* sync,
                 const float* pulseWidth, float* out, int count) {
  if (count < 1) return;
  const float octavesUp = over == 1 ? 0.0f : std::log2(static_cast<float>(over));
  const int32_t* sizes = p->tableSizes;
  int32_t t = p->tableIndex;
  int32_t size = sizes[t];
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

  for (int j = 0; j < count * over; ++j) {
    const int i = over == 1 ? j : j / over;
    float v = square ? 1.0f - holdPulseWidth(pulseWidth[i]) : 0.0f;
    float o = square ? readPulse(p, table, size, phase, v) : readTable(table, phase);
    if (syncPhase >= xStart) {
      // Fade towards the wave as it will be after the reset, so that the
      // jump of a reset that is not a whole number of cycles is not heard.
      float p2 = phase + xOffset;
      if (p2 >= fsize) p2 -= fsize;
      float alt = square ? readPulse(p, table, size, p2, v) : readTable(table, p2);
      double g = 0.5 + 0.5 * std::cos(cPi * ((static_cast<double>(syncPhase) - static_cast<double>(xStart)) *
                                                 static_cast<double>(xSlope) -
                                             1.0));
      o = static_cast<float>(static_cast<double>(o) + g * static_cast<double>(alt - o));
    }
    out[j] = o;

    if (pitch[i] != lastPitch || sync[i] != lastSync) {
      float s = holdSync(sync[i]);
      Lookup l = lookUp(p, pitch[i] + s - octavesUp);
      int32_t newSize = sizes[l.table];
      if (newSize != size) {
        float fnew = static_cast<float>(newSize);
        phase = phase * fnew / fsize;
        syncPhase = syncPhase * fnew / fsize;
        size = newSize;
        fsize = fnew;
      }
      t = l.table;
      table = tables + static_cast<ptrdiff_t>(t) * p->tableStride;
      inc = l.frequency * fsize;
      float r = s - std::trunc(s);
      if (std::fabs(r) > cEpsilon) {
        period = std::exp(s * 0.6931472f) * fsize;
        // At least cMinCrossfade samples (when that is under half the
        // cycle): shorter, the fade is a step of its own.
        xStart = period - std::min(std::max(0.05f * period, cMinCrossfade * inc), 0.5f * period);
        // The slave stands fmod(period, size) into its cycle when the master
        // resets it to 0: the crossfade target runs that far behind, so that
        // it arrives at the reset exactly where the slave restarts.
        xOffset = fsize - std::fmod(period, fsize);
        xSlope = 1.0f / (period - xStart);
      } else {
        // A whole number of slave cycles per master cycle: the reset falls
        // where the slave starts a cycle anyway, no crossfade.
        period = std::ldexp(fsize, static_cast<int>(s));
        xStart = period + 1.0f;
      }
      lastPitch = pitch[i];
      lastSync = sync[i];
    }

    syncPhase += inc;
    if (syncPhase >= period) {
      // The master starts a cycle: the slave restarts with it.
      syncPhase -= period;
      // Only after a change of sync between blocks can more than one period
      // be left; the phase must stay inside the table whatever is left.
      if (syncPhase >= period) syncPhase = std::fmod(syncPhase, period);
      phase = syncPhase < fsize ? syncPhase : std::fmod(syncPhase, fsize);
    } else {
      phase += inc;
      if (phase >= fsize) phase -= fsize;
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

} // namespace

namespace {

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
