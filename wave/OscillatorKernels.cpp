#include "wave/OscillatorKernels.h"
#include "wave/CrossfadeBlend.h"
#include "wave/TransposeEight.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
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
  // Just past the end, as a phase most often is that has moved on a
  // group: fmod's result, phase - size, is exact there (size <= phase <
  // 2 x size), without the library's call.
  if (phase >= size && phase < size + size) return phase - size;
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
// The mirror is read at (size / 2) x v - x exactly, between table points
// too, so that a moving width glides: a mirror rounded to a whole point
// would climb a staircase of size / 2 steps (faster the larger the table),
// and the steps put side bands around every harmonic, some 115 Hz off at
// note 96 (512 points) under a slow sweep. (size / 2) x v is exact (a
// power of two times v), so is its split into whole points and a part. The
// mirror then lies 1 - g on from point whole - n - 1, g = frac - part, or
// -g on from the point after it where g < 0. A width on a whole point
// (part 0) weighs the mirror's two points with the main read's weights in
// reverse, exactly.
inline float readPulse(const VectorProduceParams* p, const float* table, int32_t size, float x, float v) {
  int32_t n = static_cast<int32_t>(x);
  float frac = x - static_cast<float>(n);
  float a = table[n] + frac * (table[n + 1] - table[n]);
  const float c = static_cast<float>(size / 2) * v;
  const int32_t whole = static_cast<int32_t>(c);
  const double g = static_cast<double>(frac) - static_cast<double>(c - static_cast<float>(whole));
  const bool past = g < 0.0;
  const int32_t j = (whole + 2 * size - n - 1 + (past ? 1 : 0)) & (size - 1);
  const double w = (past ? 0.0 : 1.0) - g;
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

// The frequency table index of a pitch, held inside the table as lookUp
// holds it, and its entry.
inline float indexOf(const VectorProduceParams* p, float pitch, int32_t& entry) {
  float x = pitch * p->indexScale + p->indexOffset;
  if (!(x >= 0.0f))
    x = 0.0f; // also a NaN
  else if (x > cLastEntry)
    x = cLastEntry;
  entry = static_cast<int32_t>(x);
  return x;
}

// Remembers the entry k of the frequency table f: its frequency, the step
// to the next one and its table number.
inline void rememberEntry(VectorProduceParams* p, const float* f, int32_t k) {
  p->lookedUpIn = f;
  p->lookedUpEntry = k;
  p->lookedUpEntryFrequency = f[k];
  p->lookedUpEntryStep = f[k + 1] - f[k];
  p->lookedUpTable = p->tableIndexTable[k];
}

// lookUp, or its last result when the pitch and the frequency table are the
// same as then (a NaN pitch is never the same). A pitch that reads the
// entry read last (a pitch that moves but slowly) is interpolated from
// what was remembered of it, the same arithmetic on the same values,
// without reading the frequency table, whose entry has mostly left the
// nearer caches since the last block.
inline Lookup rememberedLookUp(VectorProduceParams* p, float pitch) {
  if (pitch == p->lookedUpPitch && p->frequencyTable == p->lookedUpIn)
    return {p->lookedUpFrequency, p->lookedUpTable};
  int32_t k;
  const float x = indexOf(p, pitch, k);
  if (k != p->lookedUpEntry || p->frequencyTable != p->lookedUpIn) rememberEntry(p, p->frequencyTable, k);
  p->lookedUpPitch = pitch;
  p->lookedUpFrequency = p->lookedUpEntryFrequency + (x - static_cast<float>(k)) * p->lookedUpEntryStep;
  return {p->lookedUpFrequency, p->lookedUpTable};
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

// The look-ups of a moving pitch, worked out ahead of the samples for the
// groups of four [from, from + groups): changed[g] is set where group g's
// first pitch differs from the group's before (a NaN always differs; the
// first group compares with itself), and then frequency[g] and table[g]
// hold what lookUp gives for it. Four groups go at a time, with the same
// arithmetic as lookUp (a -0 index is read as +0: the same entry, and the
// same frequency); groups whose pitch stayed are not looked up, and four
// that read the entry remembered from the block's first look-up take its
// values instead of reading the tables again.
constexpr int cLookAheadGroups = 64;
struct GroupLookups {
  alignas(16) float frequency[cLookAheadGroups];
  alignas(16) int32_t table[cLookAheadGroups];
  alignas(16) int32_t changed[cLookAheadGroups];
};

inline void lookAhead(const VectorProduceParams* p, const float* pitch, int from, int groups, GroupLookups& g) {
  const float* f = p->frequencyTable;
  const int32_t* tables = p->tableIndexTable;
  const __m128 scale = _mm_set1_ps(p->indexScale), offset = _mm_set1_ps(p->indexOffset);
  const __m128 zero = _mm_setzero_ps(), last = _mm_set1_ps(cLastEntry);
  // The entry the block's first look-up read (see rememberedLookUp).
  const bool known = p->lookedUpIn == f;
  const __m128i entry = _mm_set1_epi32(p->lookedUpEntry), entryTable = _mm_set1_epi32(p->lookedUpTable);
  const __m128 entryFrequency = _mm_set1_ps(p->lookedUpEntryFrequency), entryStep = _mm_set1_ps(p->lookedUpEntryStep);
  int k = 0;
  // The first pitch of the group before, in every lane.
  __m128 previous = _mm_set1_ps(pitch[from > 0 ? 4 * from - 4 : 0]);
  for (; k + 4 <= groups; k += 4) {
    const int s = 4 * (from + k);
    const __m128 now = _mm_setr_ps(pitch[s], pitch[s + 4], pitch[s + 8], pitch[s + 12]);
    const __m128 before = _mm_move_ss(_mm_shuffle_ps(now, now, _MM_SHUFFLE(2, 1, 0, 0)), previous);
    previous = _mm_shuffle_ps(now, now, _MM_SHUFFLE(3, 3, 3, 3));
    const __m128 changed = _mm_cmpneq_ps(now, before);
    _mm_store_ps(reinterpret_cast<float*>(g.changed + k), changed);
    if (_mm_movemask_ps(changed) == 0) continue;
    const __m128 x = _mm_min_ps(_mm_max_ps(_mm_add_ps(_mm_mul_ps(now, scale), offset), zero), last);
    const __m128i index = _mm_cvttps_epi32(x);
    const __m128 frac = _mm_sub_ps(x, _mm_cvtepi32_ps(index));
    if (known && _mm_movemask_epi8(_mm_cmpeq_epi32(index, entry)) == 0xffff) {
      // All four in the entry remembered: its values, without the reads.
      _mm_store_ps(g.frequency + k, _mm_add_ps(entryFrequency, _mm_mul_ps(frac, entryStep)));
      _mm_store_si128(reinterpret_cast<__m128i*>(g.table + k), entryTable);
      continue;
    }
    alignas(16) int32_t at[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(at), index);
    const __m128 f0 = _mm_setr_ps(f[at[0]], f[at[1]], f[at[2]], f[at[3]]);
    const __m128 f1 = _mm_setr_ps(f[at[0] + 1], f[at[1] + 1], f[at[2] + 1], f[at[3] + 1]);
    _mm_store_ps(g.frequency + k, _mm_add_ps(f0, _mm_mul_ps(frac, _mm_sub_ps(f1, f0))));
    for (int j = 0; j < 4; ++j) g.table[k + j] = tables[at[j]];
  }
  for (; k < groups; ++k) {
    const int s = 4 * (from + k);
    const float before = pitch[s > 0 ? s - 4 : 0];
    g.changed[k] = pitch[s] != before ? -1 : 0;
    if (!g.changed[k]) continue;
    const Lookup l = lookUp(p, pitch[s]);
    g.frequency[k] = l.frequency;
    g.table[k] = l.table;
  }
}

// The four-lane kernel's body, built twice: as SSE2 (produceFast) and for
// the 32 registers of AVX-512VL (produceFast512).
template <bool square, bool withNoise, bool heldPitch>
[[gnu::always_inline]] inline void fastKernel(VectorProduceParams* p, const float* tables, const float* pitch,
                                              const float* pulseWidth, float* out, int count, const float* noise,
                                              float noiseLevel, bool heldWidth) {
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

  const __m128 laneSteps = _mm_setr_ps(0.0f, 1.0f, 2.0f, 3.0f);
  const __m128 zero = _mm_setzero_ps();
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 pulseGain = _mm_set1_ps(p->pulseGain);
  const __m128 sawGain = _mm_set1_ps(p->sawGain);
  const __m128 vNoiseLevel = _mm_set1_ps(noiseLevel);
  __m128 lanes = _mm_add_ps(_mm_set1_ps(phase), _mm_mul_ps(_mm_set1_ps(inc), laneSteps));
  __m128 inc4 = _mm_set1_ps(4.0f * inc);
  __m128 vsize = _mm_set1_ps(fsize);
  __m128 vsize2 = _mm_set1_ps(2.0f * fsize);
  // A width held through a block of held pitch (so of one table size): its
  // mirror offset, split as the groups split it, worked out once.
  const bool widthOnce = square && heldPitch && heldWidth;
  __m128 heldV = zero, heldPart = zero;
  __m128i heldBase = _mm_setzero_si128();
  if (widthOnce) {
    const float v = 1.0f - holdPulseWidth(pulseWidth[0]);
    const float c = static_cast<float>(size / 2) * v;
    const int32_t whole = static_cast<int32_t>(c);
    heldV = _mm_set1_ps(v);
    heldPart = _mm_set1_ps(c - static_cast<float>(whole));
    heldBase = _mm_set1_epi32(whole + 2 * size - 1);
  }

  // A moving pitch's look-ups, a stretch of groups ahead; the last one
  // made is remembered for the next block.
  GroupLookups ahead;
  int lastLookedUp = -1;
  for (int s = 0, g = cLookAheadGroups; s < count; s += 4, ++g) {
    if (!heldPitch && g == cLookAheadGroups) {
      lookAhead(p, pitch, s / 4, std::min(cLookAheadGroups, (count - s + 3) / 4), ahead);
      g = 0;
    }
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
      // The mirror at (size / 2) x v - x, between points as readPulse
      // reads it: g = frac - the width's part of a point, past (all ones)
      // where g < 0 moves it a point on (past reads as -1).
      __m128 v, part;
      __m128i base;
      if (widthOnce) {
        v = heldV;
        part = heldPart;
        base = heldBase;
      } else {
        v = _mm_sub_ps(one, _mm_min_ps(_mm_max_ps(_mm_loadu_ps(pulseWidth + s), zero), one));
        const __m128 c = _mm_mul_ps(_mm_set1_ps(static_cast<float>(size / 2)), v);
        const __m128i whole = _mm_cvttps_epi32(c);
        part = _mm_sub_ps(c, _mm_cvtepi32_ps(whole));
        base = _mm_add_epi32(whole, _mm_set1_epi32(2 * size - 1));
      }
      const __m128 g = _mm_sub_ps(frac, part);
      const __m128 past = _mm_cmplt_ps(g, zero);
      const __m128 u = _mm_sub_ps(_mm_andnot_ps(past, one), g);
      const __m128i j = _mm_and_si128(_mm_sub_epi32(_mm_sub_epi32(base, n), _mm_castps_si128(past)),
                                      _mm_set1_epi32(size - 1));
      __m128 m0, m1;
      readPairs(table, j, m0, m1);
      __m128 m = _mm_add_ps(m0, _mm_mul_ps(u, _mm_sub_ps(m1, m0)));
      o = _mm_add_ps(_mm_mul_ps(o, _mm_add_ps(_mm_mul_ps(sawGain, v), pulseGain)), _mm_mul_ps(m, pulseGain));
    }
    if (withNoise) o = _mm_add_ps(_mm_mul_ps(_mm_load_ps(noise + s), vNoiseLevel), o);
    _mm_store_ps(out + s, o);
    lanes = _mm_add_ps(lanes, inc4);

    if (!heldPitch && ahead.changed[g]) {
      // Lane 0 has moved on with the old increment; the new one applies from
      // lane 1 on. Lane 0 is brought back into [0, size) so that the lanes
      // stay below 3 x size even when the pitch leaps up near half the rate.
      l = {ahead.frequency[g], ahead.table[g]};
      lastLookedUp = s;
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
    }
  }
  if (lastLookedUp >= 0) {
    int32_t k;
    indexOf(p, pitch[lastLookedUp], k);
    rememberEntry(p, p->frequencyTable, k);
    p->lookedUpPitch = pitch[lastLookedUp];
    p->lookedUpFrequency = l.frequency;
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

template <bool square, bool withNoise, bool heldPitch>
void produceFast(VectorProduceParams* p, const float* tables, const float* pitch, const float* pulseWidth,
                 float* out, int count, const float* noise, float noiseLevel, bool heldWidth) {
  fastKernel<square, withNoise, heldPitch>(p, tables, pitch, pulseWidth, out, count, noise, noiseLevel, heldWidth);
}

// The same source for AVX-512VL: the intrinsics above become their
// three-operand forms over 32 registers, so that less is spilled; no fused
// multiply-add is asked for (nor formed: contraction is off), so each lane
// rounds as the SSE2 build does.
template <bool square, bool withNoise, bool heldPitch>
__attribute__((target("avx2,avx512f,avx512vl"))) void produceFast512(VectorProduceParams* p, const float* tables,
                                                                     const float* pitch, const float* pulseWidth,
                                                                     float* out, int count, const float* noise,
                                                                     float noiseLevel, bool heldWidth) {
  fastKernel<square, withNoise, heldPitch>(p, tables, pitch, pulseWidth, out, count, noise, noiseLevel, heldWidth);
}

template <bool square, bool withNoise, bool heldPitch>
inline void produceFastOn(bool wide, VectorProduceParams* p, const float* tables, const float* pitch,
                          const float* pulseWidth, float* out, int count, const float* noise, float noiseLevel) {
  if (wide)
    produceFast512<square, withNoise, heldPitch>(p, tables, pitch, pulseWidth, out, count, noise, noiseLevel, false);
  else
    produceFast<square, withNoise, heldPitch>(p, tables, pitch, pulseWidth, out, count, noise, noiseLevel, false);
}

// The kernel for the case at hand. A held pitch that is not a number takes
// the general path: NaN differs from itself, so that path looks it up anew
// at every group. Only a moving pitch's path, whose steps keep more in
// registers, gains from the 32 registers; a held one keeps the SSE2 build.
template <bool square>
void produceFastFor(VectorProduceParams* p, const float* tables, const float* pitch, const float* pulseWidth,
                    float* out, int count, const float* noise, float noiseLevel, bool heldPitch, bool allowAvx512,
                    bool heldWidth) {
  heldPitch = heldPitch && count > 0 && pitch[0] == pitch[0];
  const bool wide = allowAvx512 && fastKernelsAvx512Available();
  if (noise) {
    if (heldPitch)
      produceFast<square, true, true>(p, tables, pitch, pulseWidth, out, count, noise, noiseLevel, heldWidth);
    else
      produceFastOn<square, true, false>(wide, p, tables, pitch, pulseWidth, out, count, noise, noiseLevel);
  } else {
    if (heldPitch)
      produceFast<square, false, true>(p, tables, pitch, pulseWidth, out, count, nullptr, 0.0f, heldWidth);
    else
      produceFastOn<square, false, false>(wide, p, tables, pitch, pulseWidth, out, count, nullptr, 0.0f);
  }
}

} // namespace

namespace {
// Asked once when the library loads, so that the kernels' calls on the
// render path test a plain flag.
const bool cFastKernelsAvx512 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
}();
} // namespace

bool fastKernelsAvx512Available() { return cFastKernelsAvx512; }

void vectorProduceWaveFast(VectorProduceParams* params, const float* tables, const float* pitch, float* out,
                           int count, const float* noise, float noiseLevel, bool heldPitch, bool allowAvx512) {
  produceFastFor<false>(params, tables, pitch, nullptr, out, count, noise, noiseLevel, heldPitch, allowAvx512, false);
}

void vectorProduceSquareFast(VectorProduceParams* params, const float* tables, const float* pitch,
                             const float* pulseWidth, float* out, int count, const float* noise, float noiseLevel,
                             bool heldPitch, bool allowAvx512, bool heldWidth) {
  produceFastFor<true>(params, tables, pitch, pulseWidth, out, count, noise, noiseLevel, heldPitch, allowAvx512,
                       heldWidth);
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

// ---------------------------------------------------------------------------
// The synced wave of several oscillators, one per lane.

#include <immintrin.h>

namespace {

// The lanes ask for fused multiply-add beside 256-bit registers for the
// exponential alone; the rest is compiled without contraction, as
// everywhere.
#define ZARN_AVX2 __attribute__((target("avx2,fma")))
#define ZARN_AVX2_INLINE __attribute__((target("avx2,fma"), always_inline)) inline
// The same code for AVX-512VL: its 32 vector registers hold what 16 must
// spill; the instructions and their results stay those written.
#define ZARN_AVX512VL __attribute__((target("avx2,fma,avx512f,avx512vl")))

// Each lane's new step per base sample of a chunk, the lanes side by side:
// what SyncSteps gives the lane's oscillator alone; has is all ones where
// the lane takes a step at that sample (the other fields are then set).
struct LaneSteps {
  alignas(32) int32_t has[cSyncStepChunk][cSyncLanes];
  alignas(32) int32_t size[cSyncStepChunk][cSyncLanes];
  alignas(32) int32_t t[cSyncStepChunk][cSyncLanes];
  alignas(32) float inc[cSyncStepChunk][cSyncLanes];
  alignas(32) float period[cSyncStepChunk][cSyncLanes];
  alignas(32) float xStart[cSyncStepChunk][cSyncLanes];
  alignas(32) int32_t fade[cSyncStepChunk][cSyncLanes];
  alignas(32) float xOffset[cSyncStepChunk][cSyncLanes];
  alignas(32) float xSlope[cSyncStepChunk][cSyncLanes];
};

// What the lanes' steps read: each lane's frequency table and sizes (a
// lane out of use reads those of a lane in use), its inputs, and the pitch
// and sync it last looked up.
struct LaneInputs {
  const float* frequency[cSyncLanes];
  const int32_t* tableIndex[cSyncLanes];
  const int32_t* sizes[cSyncLanes];
  const float* pitch[cSyncLanes];
  const float* sync[cSyncLanes];
  alignas(32) float indexScale[cSyncLanes];
  alignas(32) float indexOffset[cSyncLanes];
  alignas(32) int32_t active[cSyncLanes]; // all ones for a lane in use
  alignas(32) float lastPitch[cSyncLanes];
  alignas(32) float lastSync[cSyncLanes];
  bool shared; // every lane's tables are lane 0's
};

// Samples [at, at + n) of eight inputs as rows of the lanes side by side:
// eight samples at a time by a transposition in registers, the rest one by
// one.
ZARN_AVX2 void laneRows(const float* const* src, int at, int n, float (*rows)[cSyncLanes]) {
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    __m256 r[8];
    for (int l = 0; l < 8; ++l) r[l] = _mm256_loadu_ps(src[l] + at + i);
    transposeEight(r);
    for (int l = 0; l < 8; ++l) _mm256_store_ps(rows[i + l], r[l]);
  }
  for (; i < n; ++i)
    for (int l = 0; l < 8; ++l) rows[i][l] = src[l][at + i];
}

// The exponential as the C library's expf works it out, so that a lane
// gets the bits std::exp gives the one-oscillator kernel: x = (k + r) ln 2
// / 32 with k whole, 2^(k/32) from a table of 32 and the exponent, 2^(r/32)
// by a polynomial of degree three, all in double with the same fused
// operations in the same order, rounded to float once. The constants are
// the library's, bit for bit; the tests hold the result to std::exp over
// every argument the lanes pass (x in [0, 30 ln 2]).
alignas(32) constexpr uint64_t cExpTable[32] = {
    0x3ff0000000000000, 0x3fefd9b0d3158574, 0x3fefb5586cf9890f, 0x3fef9301d0125b51, 0x3fef72b83c7d517b,
    0x3fef54873168b9aa, 0x3fef387a6e756238, 0x3fef1e9df51fdee1, 0x3fef06fe0a31b715, 0x3feef1a7373aa9cb,
    0x3feedea64c123422, 0x3feece086061892d, 0x3feebfdad5362a27, 0x3feeb42b569d4f82, 0x3feeab07dd485429,
    0x3feea47eb03a5585, 0x3feea09e667f3bcd, 0x3fee9f75e8ec5f74, 0x3feea11473eb0187, 0x3feea589994cce13,
    0x3feeace5422aa0db, 0x3feeb737b0cdc5e5, 0x3feec49182a3f090, 0x3feed503b23e255d, 0x3feee89f995ad3ad,
    0x3feeff76f2fb5e47, 0x3fef199bdd85529c, 0x3fef3720dcef9069, 0x3fef5818dcfba487, 0x3fef7c97337b9b5f,
    0x3fefa4afa2a490da, 0x3fefd0765b6e4540};

ZARN_AVX2_INLINE __m256d bitsAsDouble(uint64_t bits) {
  return _mm256_castsi256_pd(_mm256_set1_epi64x(static_cast<long long>(bits)));
}

ZARN_AVX2_INLINE __m128 expQuarter(__m128 x) {
  const __m256d xd = _mm256_cvtps_pd(x);
  const __m256d scale = bitsAsDouble(0x40471547652b82fe); // 32 / ln 2
  const __m256d shift = bitsAsDouble(0x4338000000000000); // 1.5 x 2^52: rounds to a whole number
  __m256d kd = _mm256_fmadd_pd(scale, xd, shift);
  const __m256i ki = _mm256_castpd_si256(kd);
  kd = _mm256_sub_pd(kd, shift);
  const __m256d r = _mm256_fmsub_pd(scale, xd, kd);
  const __m256i t = _mm256_i64gather_epi64(reinterpret_cast<const long long*>(cExpTable),
                                           _mm256_and_si256(ki, _mm256_set1_epi64x(31)), 8);
  const __m256d twoToK = _mm256_castsi256_pd(_mm256_add_epi64(t, _mm256_slli_epi64(ki, 47)));
  const __m256d z = _mm256_fmadd_pd(r, bitsAsDouble(0x3ebc6af84b912394), bitsAsDouble(0x3f2ebfce50fac4f3));
  const __m256d r2 = _mm256_mul_pd(r, r);
  __m256d y = _mm256_fmadd_pd(r, bitsAsDouble(0x3f962e42ff0c52d6), _mm256_set1_pd(1.0));
  y = _mm256_fmadd_pd(z, r2, y);
  return _mm256_cvtpd_ps(_mm256_mul_pd(y, twoToK));
}

ZARN_AVX2_INLINE __m256 expLanes(__m256 x) {
  return _mm256_set_m128(expQuarter(_mm256_extractf128_ps(x, 1)), expQuarter(_mm256_castps256_ps128(x)));
}

// readTable in each lane (below).
ZARN_AVX2_INLINE __m256 readLanes(const float* tables, __m256i base, __m256 x);

// The steps of base sample i of every lane (its pitch and sync in rows),
// as SyncSteps::look and SyncSteps::fades work out each one alone: the
// lookups lane by lane, the rest across the lanes in the same order.
ZARN_AVX2_INLINE void laneStepRow(LaneSteps& ls, LaneInputs& in, int i, const float* pitchRow, const float* syncRow,
                           float octavesUp) {
  const __m256 pi = _mm256_load_ps(pitchRow);
  const __m256 si = _mm256_load_ps(syncRow);
  const __m256 lastP = _mm256_load_ps(in.lastPitch), lastS = _mm256_load_ps(in.lastSync);
  // pi != lastPitch || si != lastSync, a NaN included.
  const __m256 has =
      _mm256_and_ps(_mm256_load_ps(reinterpret_cast<const float*>(in.active)),
                    _mm256_or_ps(_mm256_cmp_ps(pi, lastP, _CMP_NEQ_UQ), _mm256_cmp_ps(si, lastS, _CMP_NEQ_UQ)));
  _mm256_store_ps(reinterpret_cast<float*>(ls.has[i]), has);
  const int hasMask = _mm256_movemask_ps(has);
  if (!hasMask) return;
  _mm256_store_ps(in.lastPitch, _mm256_blendv_ps(lastP, pi, has));
  _mm256_store_ps(in.lastSync, _mm256_blendv_ps(lastS, si, has));
  // holdSync.
  __m256 s = _mm256_and_ps(_mm256_cmp_ps(si, _mm256_setzero_ps(), _CMP_GE_OQ), si);
  s = _mm256_min_ps(s, _mm256_set1_ps(cMaxSyncOctaves));
  // lookUp.
  __m256 x = _mm256_add_ps(
      _mm256_mul_ps(_mm256_sub_ps(_mm256_add_ps(pi, s), _mm256_set1_ps(octavesUp)), _mm256_load_ps(in.indexScale)),
      _mm256_load_ps(in.indexOffset));
  x = _mm256_and_ps(_mm256_cmp_ps(x, _mm256_setzero_ps(), _CMP_GE_OQ), x);
  x = _mm256_min_ps(x, _mm256_set1_ps(cLastEntry));
  const __m256i k = _mm256_cvttps_epi32(x);
  __m256 frequency;
  __m256i t, size;
  if (in.shared) {
    // Every lane reads the same tables (the voices' oscillators share
    // them): the frequency as a wave table is read (the same
    // interpolation), table numbers and sizes one by one.
    frequency = readLanes(in.frequency[0], _mm256_setzero_si256(), x);
    const int32_t* tableIndex = in.tableIndex[0];
    const int32_t* sizes = in.sizes[0];
    const __m128i k0 = _mm256_castsi256_si128(k), k1 = _mm256_extracti128_si256(k, 1);
    const uint64_t k01 = static_cast<uint64_t>(_mm_cvtsi128_si64(k0));
    const uint64_t k23 = static_cast<uint64_t>(_mm_extract_epi64(k0, 1));
    const uint64_t k45 = static_cast<uint64_t>(_mm_cvtsi128_si64(k1));
    const uint64_t k67 = static_cast<uint64_t>(_mm_extract_epi64(k1, 1));
    const int32_t tl[cSyncLanes] = {
        tableIndex[static_cast<uint32_t>(k01)], tableIndex[static_cast<uint32_t>(k01 >> 32)],
        tableIndex[static_cast<uint32_t>(k23)], tableIndex[static_cast<uint32_t>(k23 >> 32)],
        tableIndex[static_cast<uint32_t>(k45)], tableIndex[static_cast<uint32_t>(k45 >> 32)],
        tableIndex[static_cast<uint32_t>(k67)], tableIndex[static_cast<uint32_t>(k67 >> 32)]};
    t = _mm256_setr_epi32(tl[0], tl[1], tl[2], tl[3], tl[4], tl[5], tl[6], tl[7]);
    size = _mm256_setr_epi32(sizes[tl[0]], sizes[tl[1]], sizes[tl[2]], sizes[tl[3]], sizes[tl[4]], sizes[tl[5]],
                             sizes[tl[6]], sizes[tl[7]]);
  } else {
    alignas(32) int32_t kl[cSyncLanes], tl[cSyncLanes], sizel[cSyncLanes];
    _mm256_store_si256(reinterpret_cast<__m256i*>(kl), k);
    alignas(32) float f0[cSyncLanes], f1[cSyncLanes];
    for (int l = 0; l < cSyncLanes; ++l) {
      f0[l] = in.frequency[l][kl[l]];
      f1[l] = in.frequency[l][kl[l] + 1];
      tl[l] = in.tableIndex[l][kl[l]];
      sizel[l] = in.sizes[l][tl[l]];
    }
    const __m256 a = _mm256_load_ps(f0);
    frequency = _mm256_add_ps(
        a, _mm256_mul_ps(_mm256_sub_ps(x, _mm256_cvtepi32_ps(k)), _mm256_sub_ps(_mm256_load_ps(f1), a)));
    t = _mm256_load_si256(reinterpret_cast<const __m256i*>(tl));
    size = _mm256_load_si256(reinterpret_cast<const __m256i*>(sizel));
  }
  const __m256 fsize = _mm256_cvtepi32_ps(size);
  _mm256_store_si256(reinterpret_cast<__m256i*>(ls.t[i]), t);
  _mm256_store_si256(reinterpret_cast<__m256i*>(ls.size[i]), size);
  const __m256 inc = _mm256_mul_ps(frequency, fsize);
  _mm256_store_ps(ls.inc[i], inc);
  // s is held in [0, 30]: its truncation is the conversion's.
  const __m256i whole = _mm256_cvttps_epi32(s);
  const __m256 r = _mm256_sub_ps(s, _mm256_cvtepi32_ps(whole));
  const __m256 absR = _mm256_and_ps(r, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
  const __m256 fade = _mm256_and_ps(has, _mm256_cmp_ps(absR, _mm256_set1_ps(cEpsilon), _CMP_GT_OQ));
  _mm256_store_ps(reinterpret_cast<float*>(ls.fade[i]), fade);
  // A whole number of octaves: fsize x 2^whole, exact as ldexp.
  const __m256 octaves = _mm256_castsi256_ps(_mm256_slli_epi32(_mm256_add_epi32(whole, _mm256_set1_epi32(127)), 23));
  const __m256 wholePeriod = _mm256_mul_ps(fsize, octaves);
  __m256 xStart = _mm256_add_ps(wholePeriod, _mm256_set1_ps(1.0f));
  __m256 period = wholePeriod;
  if (_mm256_movemask_ps(fade)) {
    const __m256 e = expLanes(_mm256_mul_ps(s, _mm256_set1_ps(0.6931472f)));
    const __m256 per = _mm256_blendv_ps(period, _mm256_mul_ps(e, fsize), fade);
    period = per;
    // SyncSteps::fades for the lanes that fade.
    // 1 / size from the exponent alone, as reciprocalOf (sizes are powers
    // of two).
    const __m256 reciprocal =
        _mm256_castsi256_ps(_mm256_sub_epi32(_mm256_set1_epi32(254 << 23), _mm256_castps_si256(fsize)));
    const __m256 span = _mm256_min_ps(_mm256_max_ps(_mm256_mul_ps(_mm256_set1_ps(0.05f), per),
                                                    _mm256_mul_ps(_mm256_set1_ps(cMinCrossfade), inc)),
                                      _mm256_mul_ps(_mm256_set1_ps(0.5f), per));
    const __m256 start = _mm256_sub_ps(per, span);
    xStart = _mm256_blendv_ps(xStart, start, fade);
    const __m256 cycles = _mm256_cvtepi32_ps(_mm256_cvttps_epi32(_mm256_mul_ps(per, reciprocal)));
    _mm256_store_ps(ls.xOffset[i], _mm256_sub_ps(fsize, _mm256_sub_ps(per, _mm256_mul_ps(cycles, fsize))));
    _mm256_store_ps(ls.xSlope[i], _mm256_div_ps(_mm256_set1_ps(1.0f), _mm256_sub_ps(per, start)));
  }
  _mm256_store_ps(ls.xStart[i], xStart);
  _mm256_store_ps(ls.period[i], period);
}

ZARN_AVX2_INLINE __m256 select(__m256 mask, __m256 yes, __m256 no) { return _mm256_blendv_ps(no, yes, mask); }

ZARN_AVX2_INLINE __m256i selectInt(__m256 mask, __m256i yes, __m256i no) {
  return _mm256_castps_si256(_mm256_blendv_ps(_mm256_castsi256_ps(no), _mm256_castsi256_ps(yes), mask));
}

// The neighbouring points of two lanes, from the places in the low and
// the high half of places: (a, b) of the first, then of the second.
ZARN_AVX2_INLINE __m128 pairsAt(const float* tables, uint64_t places) {
  const __m128 first = pairAt(tables, static_cast<uint32_t>(places));
  return _mm_loadh_pi(first, reinterpret_cast<const __m64*>(tables + static_cast<uint32_t>(places >> 32)));
}

// readTable in each lane: base is the lane's table's first point in tables.
ZARN_AVX2_INLINE __m256 readLanes(const float* tables, __m256i base, __m256 x) {
  const __m256i n = _mm256_cvttps_epi32(x);
  const __m256 frac = _mm256_sub_ps(x, _mm256_cvtepi32_ps(n));
  // Each lane's neighbouring points in one 8-byte load (a gather of
  // eight lanes is slower on some processors than the loads one by one);
  // the places come out two at a time, as 64-bit halves.
  const __m256i at = _mm256_add_epi32(base, n);
  const __m128i lo = _mm256_castsi256_si128(at), hi = _mm256_extracti128_si256(at, 1);
  const uint64_t at01 = static_cast<uint64_t>(_mm_cvtsi128_si64(lo));
  const uint64_t at23 = static_cast<uint64_t>(_mm_extract_epi64(lo, 1));
  const uint64_t at45 = static_cast<uint64_t>(_mm_cvtsi128_si64(hi));
  const uint64_t at67 = static_cast<uint64_t>(_mm_extract_epi64(hi, 1));
  const __m256 p0145 = _mm256_set_m128(pairsAt(tables, at45), pairsAt(tables, at01));
  const __m256 p2367 = _mm256_set_m128(pairsAt(tables, at67), pairsAt(tables, at23));
  const __m256 a = _mm256_shuffle_ps(p0145, p2367, _MM_SHUFFLE(2, 0, 2, 0));
  const __m256 b = _mm256_shuffle_ps(p0145, p2367, _MM_SHUFFLE(3, 1, 3, 1));
  return _mm256_add_ps(a, _mm256_mul_ps(frac, _mm256_sub_ps(b, a)));
}

// crossfadeBlend's polynomial way for four lanes in double: the sum, and
// the two floats around it that decide whether it may be taken.
ZARN_AVX2_INLINE void blendQuarter(__m128 o4, __m128 alt4, __m128 sp4, __m128 xs4, __m128 sl4, __m128& below,
                                   __m128& above, __m128& inRange) {
  const __m256d d = _mm256_cvtps_pd(_mm_sub_ps(alt4, o4));
  const __m256d u = _mm256_mul_pd(_mm256_sub_pd(_mm256_cvtps_pd(sp4), _mm256_cvtps_pd(xs4)), _mm256_cvtps_pd(sl4));
  const __m256d range = _mm256_and_pd(_mm256_cmp_pd(u, _mm256_setzero_pd(), _CMP_GE_OQ),
                                      _mm256_cmp_pd(u, _mm256_set1_pd(1.0), _CMP_LE_OQ));
  const __m256d t = _mm256_sub_pd(u, _mm256_set1_pd(0.5));
  const __m256d z = _mm256_mul_pd(t, t);
  // The polynomial in z by pairs (Estrin's scheme) with fused operations:
  // a few dependent steps where Horner's rule takes fourteen, which a fade
  // in every few samples would wait on. The sum differs from crossfadeBlend's
  // by a few units of the double's last place, far inside the margin w,
  // so that the float taken (or the cosine asked) is the same.
  const __m256d z2 = _mm256_mul_pd(z, z), z4 = _mm256_mul_pd(z2, z2);
  const __m256d p0 = _mm256_fmadd_pd(_mm256_set1_pd(-5.1677127800497855), z, _mm256_set1_pd(3.1415926535897927));
  const __m256d p1 = _mm256_fmadd_pd(_mm256_set1_pd(-0.599264528825224), z, _mm256_set1_pd(2.5501640398618677));
  const __m256d p2 = _mm256_fmadd_pd(_mm256_set1_pd(-0.0073703643265304155), z, _mm256_set1_pd(0.08214587881631043));
  const __m256d p3 = _mm256_fmadd_pd(_mm256_set1_pd(-2.113362735205297e-05), z, _mm256_set1_pd(0.0004659870158043378));
  const __m256d s = _mm256_fmadd_pd(_mm256_fmadd_pd(p3, z2, p2), z4, _mm256_fmadd_pd(p1, z2, p0));
  const __m256d half = _mm256_set1_pd(0.5);
  const __m256d v = _mm256_add_pd(_mm256_cvtps_pd(o4),
                                  _mm256_mul_pd(_mm256_add_pd(half, _mm256_mul_pd(half, _mm256_mul_pd(t, s))), d));
  const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffll));
  const __m256d w = _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(0x1p-44), _mm256_and_pd(absMask, d)),
                                  _mm256_mul_pd(_mm256_set1_pd(0x1p-50), _mm256_and_pd(absMask, v)));
  below = _mm256_cvtpd_ps(_mm256_sub_pd(v, w));
  above = _mm256_cvtpd_ps(_mm256_add_pd(v, w));
  // Each 64-bit mask's low half, as four 32-bit masks.
  const __m256 r = _mm256_castpd_ps(range);
  inRange = _mm_shuffle_ps(_mm256_castps256_ps128(r), _mm256_extractf128_ps(r, 1), _MM_SHUFFLE(2, 0, 2, 0));
}

// readLanes for four lanes.
ZARN_AVX2_INLINE __m128 readQuarter(const float* tables, __m128i base, __m128 x) {
  const __m128i n = _mm_cvttps_epi32(x);
  const __m128 frac = _mm_sub_ps(x, _mm_cvtepi32_ps(n));
  const __m128i at = _mm_add_epi32(base, n);
  const uint64_t at01 = static_cast<uint64_t>(_mm_cvtsi128_si64(at));
  const uint64_t at23 = static_cast<uint64_t>(_mm_extract_epi64(at, 1));
  const __m128 p01 = pairsAt(tables, at01), p23 = pairsAt(tables, at23);
  const __m128 a = _mm_shuffle_ps(p01, p23, _MM_SHUFFLE(2, 0, 2, 0));
  const __m128 b = _mm_shuffle_ps(p01, p23, _MM_SHUFFLE(3, 1, 3, 1));
  return _mm_add_ps(a, _mm_mul_ps(frac, _mm_sub_ps(b, a)));
}

// crossfadeBlend in the four lanes where fading (all ones), o in the
// others.
ZARN_AVX2_INLINE __m128 blendLanes(__m128 o, __m128 alt, __m128 fading, __m128 syncPhase, __m128 xStart,
                                   __m128 xSlope) {
  __m128 below, above, inRange;
  blendQuarter(o, alt, syncPhase, xStart, xSlope, below, above, inRange);
  const __m128 taken = _mm_and_ps(inRange, _mm_cmpeq_ps(below, above));
  const int asked = _mm_movemask_ps(_mm_andnot_ps(taken, fading));
  __m128 blended = below;
  if (asked) {
    // The cosine after all, lane by lane.
    alignas(16) float bl[4], ol[4], al[4], sl[4], xl[4], dl[4];
    _mm_store_ps(bl, below);
    _mm_store_ps(ol, o);
    _mm_store_ps(al, alt);
    _mm_store_ps(sl, syncPhase);
    _mm_store_ps(xl, xStart);
    _mm_store_ps(dl, xSlope);
    for (int l = 0; l < 4; ++l)
      if (asked & (1 << l))
        bl[l] = crossfadeBlend(ol[l], al[l],
                               (static_cast<double>(sl[l]) - static_cast<double>(xl[l])) * static_cast<double>(dl[l]));
    blended = _mm_load_ps(bl);
  }
  return _mm_blendv_ps(o, blended, fading);
}

// Four lanes' output o with the crossfade where fading: the table read
// xOffset ahead blended in as crossfadeBlend does.
ZARN_AVX2_INLINE __m128 fadeQuarter(const float* tables, __m128i base, __m128 phase, __m128 fading, __m128 o,
                                    __m128 syncPhase, __m128 xStart, __m128 xSlope, __m128 xOffset, __m128 fsize) {
  __m128 p2 = _mm_add_ps(phase, xOffset);
  p2 = _mm_blendv_ps(p2, _mm_sub_ps(p2, fsize), _mm_cmpge_ps(p2, fsize));
  // Lanes that do not fade read their own start, inside the table.
  p2 = _mm_and_ps(fading, p2);
  return blendLanes(o, readQuarter(tables, base, p2), fading, syncPhase, xStart, xSlope);
}

ZARN_AVX2_INLINE void produceSyncLanes(VectorProduceParams* const* params, const float* tables,
                                       const float* const* pitch, const float* const* sync, int lanes, float* out,
                                       int count) {
  constexpr int over = cSyncOversampling;
  const float octavesUp = std::log2(static_cast<float>(over));
  alignas(32) float phaseL[cSyncLanes], syncPhaseL[cSyncLanes], xStartL[cSyncLanes], xSlopeL[cSyncLanes],
      xOffsetL[cSyncLanes], fsizeL[cSyncLanes];
  alignas(32) int32_t sizeL[cSyncLanes], baseL[cSyncLanes], tL[cSyncLanes];
  const VectorProduceParams* any = nullptr;
  for (int l = lanes - 1; l >= 0; --l)
    if (params[l]) any = params[l];
  if (!any) return;
  for (int l = 0; l < cSyncLanes; ++l) {
    // Lanes out of use start from a lane in use and are dropped.
    const VectorProduceParams* p = l < lanes && params[l] ? params[l] : any;
    tL[l] = p->tableIndex;
    sizeL[l] = p->tableSizes[tL[l]];
    fsizeL[l] = static_cast<float>(sizeL[l]);
    baseL[l] = tL[l] * p->tableStride;
    phaseL[l] = wrapPhase(p->phase, fsizeL[l]);
    syncPhaseL[l] = p->syncPhase >= 0.0f ? p->syncPhase : 0.0f;
    xStartL[l] = p->crossfadeStart;
    xSlopeL[l] = p->crossfadeSlope;
    xOffsetL[l] = p->crossfadeOffset;
  }
  __m256 phase = _mm256_load_ps(phaseL), syncPhase = _mm256_load_ps(syncPhaseL);
  __m256 xStart = _mm256_load_ps(xStartL), xSlope = _mm256_load_ps(xSlopeL), xOffset = _mm256_load_ps(xOffsetL);
  __m256 fsize = _mm256_load_ps(fsizeL);
  __m256 reciprocal = _mm256_div_ps(_mm256_set1_ps(1.0f), fsize); // exact: sizes are powers of two
  __m256i size = _mm256_load_si256(reinterpret_cast<const __m256i*>(sizeL));
  __m256i base = _mm256_load_si256(reinterpret_cast<const __m256i*>(baseL));
  __m256i t = _mm256_load_si256(reinterpret_cast<const __m256i*>(tL));
  __m256 inc = _mm256_setzero_ps();
  __m256 period = fsize;
  const __m256i stride = _mm256_set1_epi32(any->tableStride);
  LaneSteps steps;
  LaneInputs in;
  alignas(32) float pitchRows[cSyncStepChunk][cSyncLanes], syncRows[cSyncStepChunk][cSyncLanes];
  for (int l = 0; l < cSyncLanes; ++l) {
    const bool used = l < lanes && params[l];
    const VectorProduceParams* p = used ? params[l] : any;
    in.frequency[l] = p->frequencyTable;
    in.tableIndex[l] = p->tableIndexTable;
    in.sizes[l] = p->tableSizes;
    in.indexScale[l] = p->indexScale;
    in.indexOffset[l] = p->indexOffset;
    in.active[l] = used ? -1 : 0;
    int from = l;
    if (!used)
      for (from = 0; !(from < lanes && params[from]); ++from) {
      }
    in.pitch[l] = pitch[from];
    in.sync[l] = sync[from];
    // The first sample of a call always looks up.
    in.lastPitch[l] = cNoValue;
    in.lastSync[l] = cNoValue;
  }

  in.shared = true;
  for (int l = 1; l < cSyncLanes; ++l)
    in.shared = in.shared && in.frequency[l] == in.frequency[0] && in.tableIndex[l] == in.tableIndex[0] &&
                in.sizes[l] == in.sizes[0];

  for (int done = 0; done < count; done += cSyncStepChunk) {
    const int n = std::min(count - done, cSyncStepChunk);
    laneRows(in.pitch, done, n, pitchRows);
    laneRows(in.sync, done, n, syncRows);
    for (int i = 0; i < n; ++i) {
      laneStepRow(steps, in, i, pitchRows[i], syncRows[i], octavesUp);
    }
    for (int i = 0; i < n; ++i) {
      for (int k = 0; k < over; ++k) {
        __m256 o = readLanes(tables, base, phase);
        const __m256 fading = _mm256_cmp_ps(syncPhase, xStart, _CMP_GE_OQ);
        if (const int fadeMask = _mm256_movemask_ps(fading)) {
          // Each half of the lanes alone, and only where one of its lanes
          // fades: a fade is a small part of a period, so that most often
          // one half has none.
          __m128 lo = _mm256_castps256_ps128(o), hi = _mm256_extractf128_ps(o, 1);
          if (fadeMask & 0x0f)
            lo = fadeQuarter(tables, _mm256_castsi256_si128(base), _mm256_castps256_ps128(phase),
                             _mm256_castps256_ps128(fading), lo, _mm256_castps256_ps128(syncPhase),
                             _mm256_castps256_ps128(xStart), _mm256_castps256_ps128(xSlope),
                             _mm256_castps256_ps128(xOffset), _mm256_castps256_ps128(fsize));
          if (fadeMask & 0xf0)
            hi = fadeQuarter(tables, _mm256_extracti128_si256(base, 1), _mm256_extractf128_ps(phase, 1),
                             _mm256_extractf128_ps(fading, 1), hi, _mm256_extractf128_ps(syncPhase, 1),
                             _mm256_extractf128_ps(xStart, 1), _mm256_extractf128_ps(xSlope, 1),
                             _mm256_extractf128_ps(xOffset, 1), _mm256_extractf128_ps(fsize, 1));
          o = _mm256_set_m128(hi, lo);
        }
        _mm256_store_ps(out + (over * (done + i) + k) * cSyncLanes, o);

        if (k == 0) {
          const __m256 has = _mm256_load_ps(reinterpret_cast<const float*>(steps.has[i]));
          if (_mm256_movemask_ps(has)) {
            const __m256i newSize = _mm256_load_si256(reinterpret_cast<const __m256i*>(steps.size[i]));
            const __m256 resized = _mm256_andnot_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(newSize, size)), has);
            if (_mm256_movemask_ps(resized)) {
              const __m256 fnew = _mm256_cvtepi32_ps(newSize);
              phase = select(resized, _mm256_div_ps(_mm256_mul_ps(phase, fnew), fsize), phase);
              syncPhase = select(resized, _mm256_div_ps(_mm256_mul_ps(syncPhase, fnew), fsize), syncPhase);
              size = selectInt(resized, newSize, size);
              fsize = select(resized, fnew, fsize);
              reciprocal = _mm256_div_ps(_mm256_set1_ps(1.0f), fsize);
            }
            t = selectInt(has, _mm256_load_si256(reinterpret_cast<const __m256i*>(steps.t[i])), t);
            base = _mm256_mullo_epi32(t, stride);
            inc = select(has, _mm256_load_ps(steps.inc[i]), inc);
            period = select(has, _mm256_load_ps(steps.period[i]), period);
            xStart = select(has, _mm256_load_ps(steps.xStart[i]), xStart);
            const __m256 fade = _mm256_and_ps(has, _mm256_load_ps(reinterpret_cast<const float*>(steps.fade[i])));
            xOffset = select(fade, _mm256_load_ps(steps.xOffset[i]), xOffset);
            xSlope = select(fade, _mm256_load_ps(steps.xSlope[i]), xSlope);
          }
        }

        const __m256 sp = _mm256_add_ps(syncPhase, inc);
        const __m256 reset = _mm256_cmp_ps(sp, period, _CMP_GE_OQ);
        __m256 left = _mm256_sub_ps(sp, period);
        if (_mm256_movemask_ps(_mm256_and_ps(reset, _mm256_cmp_ps(left, period, _CMP_GE_OQ)))) {
          // More than one period left (after a change of sync between
          // blocks): rare, lane by lane.
          alignas(32) float ll[cSyncLanes], pl[cSyncLanes], rl[cSyncLanes];
          _mm256_store_ps(ll, left);
          _mm256_store_ps(pl, period);
          _mm256_store_ps(rl, reset);
          for (int l = 0; l < cSyncLanes; ++l)
            if (rl[l] != 0.0f && ll[l] >= pl[l]) ll[l] = std::fmod(ll[l], pl[l]);
          left = _mm256_load_ps(ll);
        }
        // wrapToSize: the quotient is below 2^31 where it is taken (left
        // is below the period, at most 2^30 cycles), so the 32-bit
        // truncation is the 64-bit one.
        const __m256 whole = _mm256_cvtepi32_ps(_mm256_cvttps_epi32(_mm256_mul_ps(left, reciprocal)));
        const __m256 wrapped = _mm256_sub_ps(left, _mm256_mul_ps(whole, fsize));
        const __m256 restart = select(_mm256_cmp_ps(left, fsize, _CMP_LT_OQ), left, wrapped);
        __m256 moved = _mm256_add_ps(phase, inc);
        moved = select(_mm256_cmp_ps(moved, fsize, _CMP_GE_OQ), _mm256_sub_ps(moved, fsize), moved);
        phase = select(reset, restart, moved);
        syncPhase = select(reset, left, sp);
      }
    }
  }

  _mm256_store_ps(phaseL, phase);
  _mm256_store_ps(syncPhaseL, syncPhase);
  _mm256_store_ps(xStartL, xStart);
  _mm256_store_ps(xSlopeL, xSlope);
  _mm256_store_ps(xOffsetL, xOffset);
  _mm256_store_si256(reinterpret_cast<__m256i*>(tL), t);
  for (int l = 0; l < lanes; ++l) {
    VectorProduceParams* p = params[l];
    if (!p) continue;
    p->phase = phaseL[l];
    p->tableIndex = tL[l];
    p->syncPhase = syncPhaseL[l];
    p->crossfadeOffset = xOffsetL[l];
    p->crossfadeStart = xStartL[l];
    p->crossfadeSlope = xSlopeL[l];
  }
}

ZARN_AVX2 void storeBlendLanes(const float* o, const float* alt, const float* syncPhase, const float* xStart,
                               const float* xSlope, float* out) {
  const __m128 all = _mm_castsi128_ps(_mm_set1_epi32(-1));
  _mm_storeu_ps(out, blendLanes(_mm_loadu_ps(o), _mm_loadu_ps(alt), all, _mm_loadu_ps(syncPhase),
                                _mm_loadu_ps(xStart), _mm_loadu_ps(xSlope)));
}

ZARN_AVX2 void storeExpLanes(const float* x, float* out) {
  _mm256_storeu_ps(out, expLanes(_mm256_loadu_ps(x)));
}

ZARN_AVX2 void produceSyncLanes256(VectorProduceParams* const* params, const float* tables, const float* const* pitch,
                                   const float* const* sync, int lanes, float* out, int count) {
  produceSyncLanes(params, tables, pitch, sync, lanes, out, count);
}

ZARN_AVX512VL void produceSyncLanes512(VectorProduceParams* const* params, const float* tables,
                                       const float* const* pitch, const float* const* sync, int lanes, float* out,
                                       int count) {
  produceSyncLanes(params, tables, pitch, sync, lanes, out, count);
}

} // namespace

bool syncLanesAvailable() {
  static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  return available;
}

bool syncLanesAvx512Available() {
  static const bool available =
      syncLanesAvailable() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
  return available;
}

void syncLanesExp(const float* x, float* out) { storeExpLanes(x, out); }

void syncLanesCrossfade(const float* o, const float* alt, const float* syncPhase, const float* xStart,
                        const float* xSlope, float* out) {
  storeBlendLanes(o, alt, syncPhase, xStart, xSlope, out);
}

void vectorProduceWaveSyncOversampledLanes(VectorProduceParams* const* params, const float* tables,
                                           const float* const* pitch, const float* const* sync, int lanes, float* out,
                                           int count, bool allowAvx512) {
  if (count < 1 || lanes < 1) return;
  if (lanes > cSyncLanes) lanes = cSyncLanes;
  if (allowAvx512 && syncLanesAvx512Available())
    produceSyncLanes512(params, tables, pitch, sync, lanes, out, count);
  else
    produceSyncLanes256(params, tables, pitch, sync, lanes, out, count);
}
