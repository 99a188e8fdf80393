#include "wave/Oscillator.h"

#include "wave/CrossfadeBlend.h"
#include "wave/Intrinsics.h"
#include "wave/OscillatorStyle.h"
#include "wave/SyncLanes.h"
#include "wave/VectorKernels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr float cEpsilon = 1.1920929e-7f;

// The noise register: a 24-bit Galois shift register of maximal length
// (16777215 states, never 0).
constexpr uint32_t cNoiseFeedback = 0x11d872b;

constexpr uint32_t stepNoiseOnce(uint32_t s) {
  s *= 2;
  if (s & 0x1000000) s ^= cNoiseFeedback;
  return s;
}

// One shift per sample would make each value about twice the one before
// (modulo the range), i.e. strongly correlated neighbours: "white" noise
// would fall by some 9 dB from the bass to the top. Eight shifts per sample
// leave a correlation of 1/256. The register is linear, so eight shifts are
// the low 16 bits moved up by 8, xor the eight shifts of the top 8 bits,
// taken from this table.
struct NoiseSteps {
  uint32_t v[256];
};

constexpr NoiseSteps makeNoiseSteps() {
  NoiseSteps t{};
  for (uint32_t h = 0; h < 256; ++h) {
    uint32_t s = h << 16;
    for (int k = 0; k < 8; ++k) s = stepNoiseOnce(s);
    t.v[h] = s;
  }
  return t;
}

constexpr NoiseSteps cNoiseSteps = makeNoiseSteps();

// Four samples' shifts (32) at once, for four interleaved runs of the
// register: linear again, so the xor of the shifts of each of the three
// bytes on its own.
struct NoiseJumps {
  uint32_t v[3][256];
};

constexpr NoiseJumps makeNoiseJumps(int shifts) {
  NoiseJumps t{};
  for (int byte = 0; byte < 3; ++byte)
    for (uint32_t b = 0; b < 256; ++b) {
      uint32_t s = b << (8 * byte);
      for (int k = 0; k < shifts; ++k) s = stepNoiseOnce(s);
      t.v[byte][b] = s;
    }
  return t;
}

constexpr NoiseJumps cNoiseJumps = makeNoiseJumps(32);
// Eight samples' shifts (64).
constexpr NoiseJumps cNoiseLeaps = makeNoiseJumps(64);

// The jumps of j taken times times over: composed from the table rather
// than stepped shift by shift, which would take a compiler past its limit
// of steps for a constant.
constexpr NoiseJumps repeatNoiseJumps(const NoiseJumps& j, int times) {
  NoiseJumps t{};
  for (int byte = 0; byte < 3; ++byte)
    for (uint32_t b = 0; b < 256; ++b) {
      uint32_t s = b << (8 * byte);
      for (int k = 0; k < times; ++k) s = j.v[0][s & 0xffu] ^ j.v[1][(s >> 8) & 0xffu] ^ j.v[2][s >> 16];
      t.v[byte][b] = s;
    }
  return t;
}

// Thirty-two samples' shifts (256).
constexpr NoiseJumps cNoiseGroups = repeatNoiseJumps(cNoiseLeaps, 4);

inline uint32_t jumpNoise(uint32_t s, const NoiseJumps& j = cNoiseJumps) {
  return j.v[0][s & 0xffu] ^ j.v[1][(s >> 8) & 0xffu] ^ j.v[2][s >> 16];
}

inline uint32_t stepState(uint32_t s) { return ((s & 0xffffu) << 8) ^ cNoiseSteps.v[s >> 16]; }

inline float noiseValue(uint32_t s) { return static_cast<float>(static_cast<int32_t>(s) - 0x800000) * 1.1920929e-7f; }

// The register's values times level, the table way: whole groups of 32
// samples go as four runs of eight, one table look-up a sample, each run's
// start leaping eight samples from the one before: the runs do not wait for
// each other, and each group waits only for the four leaps of the group
// before.
void produceWhiteByTable(uint32_t& state, float level, float* out, int count) {
  int i = 0;
  if (count >= 32) {
    // The step table was last read a voice ago: its lines are asked for
    // together rather than one after the other along the runs.
    const char* steps = reinterpret_cast<const char*>(&cNoiseSteps);
    for (size_t b = 0; b < sizeof cNoiseSteps; b += 64) __builtin_prefetch(steps + b);
    alignas(16) int32_t states[32];
    const __m128 scale = _mm_set1_ps(1.1920929e-7f);
    const __m128 gain = _mm_set1_ps(level);
    const __m128i middle = _mm_set1_epi32(0x800000);
    uint32_t next = stepState(state);
    for (; i + 32 <= count; i += 32) {
      uint32_t r[4];
      r[0] = next;
      for (int q = 1; q < 4; ++q) r[q] = jumpNoise(r[q - 1], cNoiseLeaps);
      next = jumpNoise(r[3], cNoiseLeaps);
      for (int k = 0; k < 8; ++k)
        for (int q = 0; q < 4; ++q) {
          if (k > 0) r[q] = stepState(r[q]);
          states[8 * q + k] = static_cast<int32_t>(r[q]);
        }
      state = r[3];
      for (int k = 0; k < 32; k += 4) {
        const __m128i x = _mm_sub_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(states + k)), middle);
        _mm_store_ps(out + i + k, _mm_mul_ps(_mm_mul_ps(_mm_cvtepi32_ps(x), scale), gain));
      }
    }
  }
  // The rest: four runs of it a sample apart, each jumping four samples a
  // step.
  if (count - i >= 8) {
    uint32_t r[4];
    uint32_t s = state;
    for (uint32_t& x : r) {
      s = stepState(s);
      x = s;
    }
    for (; i + 4 <= count; i += 4) {
      for (int k = 0; k < 4; ++k) out[i + k] = noiseValue(r[k]) * level;
      s = r[3];
      for (uint32_t& x : r) x = jumpNoise(x);
    }
    state = s;
  }
  for (; i < count; ++i) out[i] = Oscillator::stepNoise(state) * level;
}

// Thirty-two values with no chain of steps between them. As polynomials
// over GF(2) the state after t single shifts is s x^t mod p (p the register's
// feedback with its x^24), and
//   s x^t = q_t p + s_t,  so  s_t = low 24 bits of (s x^t + q_t f),
// f being p without its x^24 and q_t the quotient of s x^t by p. The
// quotients of a group of 32 samples (t = 8, 16, .. 256) are the top bits
// of one, Q = s x^256 / p (256 bits): Q >> (256 - t). That one is the top
// of a carry-less product with the constant x^280 / p (exactly, as the part
// below x^24 cannot reach it), and the low 24 bits of a product by f are,
// byte by byte, the same three 8 x 8 bit matrices applied to the bytes of
// q_t moved up by none, one and two bytes: affine byte transforms.
// s x^t itself adds to the low 24 bits only for t = 8 and 16.
struct NoiseQuotient {
  uint64_t q[4]; // bits 1 to 256 of x^280 / p; bit 0 cannot reach Q
};

constexpr NoiseQuotient makeNoiseQuotient() {
  // Long division by the register: from state 1 (x^0), the bit shifted out
  // at single shift t is the quotient's coefficient of x^(280 - t).
  NoiseQuotient m{};
  uint32_t s = 1;
  for (int t = 1; t <= 280; ++t) {
    s *= 2;
    const bool out = (s & 0x1000000u) != 0;
    if (out) s ^= cNoiseFeedback;
    const int bit = 280 - t;
    if (out && bit >= 1) m.q[(bit - 1) / 64] |= uint64_t{1} << ((bit - 1) % 64);
  }
  return m;
}

constexpr NoiseQuotient cNoiseQuotient = makeNoiseQuotient();

// Byte d of (a byte x f), as the affine transform's matrix: the row of
// output bit i (in byte 7 - i) marks the input bits j with f's bit 8d + i - j.
constexpr uint64_t feedbackProductMatrix(int d) {
  constexpr uint32_t f = cNoiseFeedback & 0xffffffu;
  uint64_t a = 0;
  for (int i = 0; i < 8; ++i) {
    uint64_t row = 0;
    for (int j = 0; j < 8; ++j) {
      const int n = 8 * d + i - j;
      if (n >= 0 && n < 24 && ((f >> n) & 1u)) row |= uint64_t{1} << j;
    }
    a |= row << (8 * (7 - i));
  }
  return a;
}

// For the 32 samples' states (a 32-bit lane each, 16 lanes to a register)
// the bytes of Q that make q_t moved up by d bytes (d = 0, 1, 2) in the low
// three bytes of each lane; an index of 32 or more reads a zero byte.
struct NoiseWindows {
  alignas(64) uint8_t index[2][3][64];
};

constexpr NoiseWindows makeNoiseWindows() {
  NoiseWindows w{};
  for (int half = 0; half < 2; ++half)
    for (int d = 0; d < 3; ++d)
      for (int lane = 0; lane < 16; ++lane)
        for (int byte = 0; byte < 4; ++byte) {
          const int k = 16 * half + lane + 1; // t = 8 k
          // Byte m of q_t is byte 32 - k + m of Q.
          const int m = byte - d;
          w.index[half][d][4 * lane + byte] = (byte < 3 && m >= 0) ? static_cast<uint8_t>(32 - k + m) : 63;
        }
  return w;
}

constexpr NoiseWindows cNoiseWindows = makeNoiseWindows();

#define ZARN_NOISE_WIDE                                                                                              \
  __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,gfni,vpclmulqdq")))

// The states 8, 16, .. 256 single shifts after s, 16 to a register.
ZARN_NOISE_WIDE inline void nextNoiseStates(uint32_t s, __m512i (&y)[2]) {
  const __m256i seed = _mm256_set1_epi64x(static_cast<int64_t>(s));
  const __m256i mu = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cNoiseQuotient.q));
  // The products by the quarters 0, 2 and 1, 3 of the constant; the odd ones
  // lie a quarter (64 bits) higher.
  const __m512i even = _mm512_inserti64x4(_mm512_setzero_si512(), _mm256_clmulepi64_epi128(seed, mu, 0x00), 0);
  const __m512i odd = _mm512_inserti64x4(_mm512_setzero_si512(), _mm256_clmulepi64_epi128(seed, mu, 0x10), 0);
  const __m512i product = _mm512_xor_si512(even, _mm512_alignr_epi64(odd, _mm512_setzero_si512(), 7));
  // Q: the product moved down by 23 bits (the constant lacks its bit 0), 256
  // bits with zeros above.
  const __m512i q = _mm512_shrdi_epi64(product, _mm512_alignr_epi64(_mm512_setzero_si512(), product, 1), 23);
  const __m512i f0 = _mm512_set1_epi64(static_cast<int64_t>(feedbackProductMatrix(0)));
  const __m512i f1 = _mm512_set1_epi64(static_cast<int64_t>(feedbackProductMatrix(1)));
  const __m512i f2 = _mm512_set1_epi64(static_cast<int64_t>(feedbackProductMatrix(2)));
  for (int h = 0; h < 2; ++h) {
    const auto* index = cNoiseWindows.index[h];
    const __m512i a0 = _mm512_gf2p8affine_epi64_epi8(_mm512_permutexvar_epi8(_mm512_load_si512(index[0]), q), f0, 0);
    const __m512i a1 = _mm512_gf2p8affine_epi64_epi8(_mm512_permutexvar_epi8(_mm512_load_si512(index[1]), q), f1, 0);
    const __m512i a2 = _mm512_gf2p8affine_epi64_epi8(_mm512_permutexvar_epi8(_mm512_load_si512(index[2]), q), f2, 0);
    y[h] = _mm512_ternarylogic_epi32(a0, a1, a2, 0x96);
  }
  // s x^8 and s x^16, the parts below x^24.
  const uint64_t near = ((s << 8) & 0xffffffu) | (static_cast<uint64_t>((s << 16) & 0xffffffu) << 32);
  y[0] = _mm512_xor_si512(y[0], _mm512_inserti64x4(_mm512_setzero_si512(),
                                                    _mm256_set_epi64x(0, 0, 0, static_cast<int64_t>(near)), 0));
}

// noiseValue times the level, for 16 states.
ZARN_NOISE_WIDE inline __m512 noiseValues(__m512i y, __m512i middle, __m512 scale, __m512 gain) {
  return _mm512_mul_ps(_mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_sub_epi32(y, middle)), scale), gain);
}

ZARN_NOISE_WIDE void produceWhiteWide(uint32_t& state, float level, float* out, int count) {
  const __m512 scale = _mm512_set1_ps(1.1920929e-7f);
  const __m512 gain = _mm512_set1_ps(level);
  const __m512i middle = _mm512_set1_epi32(0x800000);
  uint32_t s = state;
  int i = 0;
  __m512i y[2];
  // Groups with more to come take the next one's start from a table leap,
  // so that they do not wait for each other.
  for (; count - i > 32; i += 32) {
    nextNoiseStates(s, y);
    _mm512_storeu_ps(out + i, noiseValues(y[0], middle, scale, gain));
    _mm512_storeu_ps(out + i + 16, noiseValues(y[1], middle, scale, gain));
    s = jumpNoise(s, cNoiseGroups);
  }
  // The last group, whole or not.
  nextNoiseStates(s, y);
  const int n = count - i;
  for (int h = 0; h < 2 && 16 * h < n; ++h) {
    const int left = n - 16 * h;
    _mm512_mask_storeu_ps(out + i + 16 * h, static_cast<__mmask16>(left >= 16 ? 0xffffu : (1u << left) - 1u),
                          noiseValues(y[h], middle, scale, gain));
  }
  const __m512i last = _mm512_permutexvar_epi32(_mm512_set1_epi32((n - 1) & 15), y[n > 16 ? 1 : 0]);
  state = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm512_castsi512_si128(last)));
}

// Asked once when the library loads, so that a noise block on the render
// path tests a plain flag (a function's static would take its guard's lock
// on the first call, there).
const bool cWideNoise = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
         __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("gfni") &&
         __builtin_cpu_supports("vpclmulqdq");
}();

bool wideNoiseSupported() { return cWideNoise; }

} // namespace

Oscillator::Oscillator(Style* style, wave::Environment* env)
    : wave::Source(env), frequency(env, 8.0f), pulseWidth(env, 0.0f), sync(env, 0.0f), waveForm(nullptr, Sawtooth),
      style(style) {
  frequency.getParameter().setLimits(-10.0f, 30.0f);
  pulseWidth.getParameter().setLimits(0.0f, 1.0f);
  sync.getParameter().setLimits(0.0f, 2.0f);

  seedNoise(1u + static_cast<uint32_t>(std::rand() % 16777215));

  kernelState.frequencyTable = nullptr;
  kernelState.tableIndexTable = nullptr;
  kernelState.tableSizes = style->tableSizes;
  kernelState.tableStride = cTableStride;
  kernelState.phase = static_cast<float>(std::rand() % 64);
  kernelState.syncPhase = kernelState.phase;
  kernelState.crossfadeStart = 1000.0f;
  kernelState.crossfadeSlope = 0.0f;
  kernelState.crossfadeOffset = 0.0f;
  kernelState.tableIndex = 0;
  kernelState.indexOffset = 10.0f * Style::cFrequencyTableFactor;
  kernelState.indexScale = Style::cFrequencyTableFactor;
  // A style without sawtooth level has silent sawtooth tables; its pulse is
  // silent too, not a NaN.
  const float saw = style->sawtoothLevel;
  kernelState.pulseGain = saw != 0.0f ? style->squareLevel * style->squarePulseShare / saw : 0.0f;
  kernelState.sawGain =
      saw != 0.0f ? static_cast<float>(static_cast<double>(style->squareLevel) *
                                       (1.0 - static_cast<double>(style->squarePulseShare)) / static_cast<double>(saw))
                  : 0.0f;
  kernelState.sawLevel = saw;

  updateFrequencyTable();
}

Oscillator::~Oscillator() {
  if (syncLanes) syncLanes->setMember(syncLane, nullptr);
}

namespace {

// updateFrequencyTable's swap, for a new rate (apart from the check, which
// then needs no registers of its own).
__attribute__((noinline)) void loadFrequencyTable(Oscillator& o, float rate) {
  o.currentRate = rate;
  o.frequencyTable = o.style->getFrequencyTable(Oscillator::Style::truncateRate(rate));
  o.kernelState.frequencyTable = o.frequencyTable->frequency;
  o.kernelState.tableIndexTable = o.frequencyTable->tableIndex;
}

} // namespace

void Oscillator::updateFrequencyTable() {
  const float rate = env->sampleRate;
  if (frequencyTable && !(std::fabs(rate - currentRate) > cEpsilon)) return;
  loadFrequencyTable(*this, rate);
}

void Oscillator::startFromSilence() {
  synced = false;
  // The phase stays the same share of the cycle in the first table.
  kernelState.phase = kernelState.phase / static_cast<float>(kernelState.tableSizes[kernelState.tableIndex]) *
                      static_cast<float>(kernelState.tableSizes[0]);
  kernelState.syncPhase = kernelState.phase;
  kernelState.crossfadeStart = 1000.0f;
  kernelState.crossfadeSlope = 0.0f;
  kernelState.crossfadeOffset = 0.0f;
  kernelState.tableIndex = 0;
  const VectorProduceParams untouched{};
  kernelState.lookedUpPitch = untouched.lookedUpPitch;
  kernelState.lookedUpIn = untouched.lookedUpIn;
  kernelState.lookedUpFrequency = untouched.lookedUpFrequency;
  kernelState.lookedUpTable = untouched.lookedUpTable;
  kernelState.lookedUpEntry = untouched.lookedUpEntry;
  kernelState.lookedUpEntryFrequency = untouched.lookedUpEntryFrequency;
  kernelState.lookedUpEntryStep = untouched.lookedUpEntryStep;
}

void Oscillator::resetPhase() {
  kernelState.phase = 0.75f * static_cast<float>(kernelState.tableSizes[kernelState.tableIndex]);
  kernelState.syncPhase = kernelState.phase;
}

void Oscillator::jumpToPhase(float fraction) {
  fraction -= std::floor(fraction);
  kernelState.phase = fraction * static_cast<float>(kernelState.tableSizes[kernelState.tableIndex]);
  kernelState.syncPhase = kernelState.phase;
  restartLeft = 0;
}

void Oscillator::fadeToPhase(float fraction) {
  const int length = std::max(1, static_cast<int>(cRestartSeconds * env->sampleRate));
  // The wave that sounds most now is the one to fade from; before a
  // restart has played a sample, that is still the one from before it.
  const bool keepFrom = restartLeft > 0 && 2 * restartLeft > restartLength;
  if (!keepFrom) restartFrom = kernelState;
  fraction -= std::floor(fraction);
  kernelState.phase = fraction * static_cast<float>(kernelState.tableSizes[kernelState.tableIndex]);
  kernelState.syncPhase = kernelState.phase;
  restartLength = length;
  restartLeft = length;
}

namespace {

// Samples of the faded-out wave rendered at a time, on the stack.
constexpr int cRestartChunk = 64;

} // namespace

void Oscillator::fadeRestartFast(const float* tables, const float* pitch, const float* widths, float* out, int count,
                                 const float* bed) {
  const int n = std::min(count, restartLeft);
  const bool held = frequency.output->constantBlock;
  const float level = style->backgroundNoiseLevel;
  const double step = 1.0 / restartLength;
  const int done = restartLength - restartLeft;
  alignas(16) float from[cRestartChunk + 4];
  for (int at = 0; at < n; at += cRestartChunk) {
    const int k = std::min(n - at, cRestartChunk);
    const float* noise = bed ? bed + at : nullptr;
    if (widths)
      vectorProduceSquareFast(&restartFrom, tables, pitch + at, widths + at, from, k, noise, level, held);
    else
      vectorProduceWaveFast(&restartFrom, tables, pitch + at, from, k, noise, level, held);
    for (int i = 0; i < k; ++i)
      out[at + i] = crossfadeBlend(from[i], out[at + i], (done + at + i + 1) * step);
  }
  restartLeft -= n;
}

void Oscillator::fadeRestartSynced(const float* tables, const float* pitch, const float* syncValues,
                                   const float* widths, float* oversampledOut, int count) {
  const int n = std::min(count, restartLeft);
  if (n <= 0) return;
  alignas(16) float from[SyncDecimator::cFactor * SyncDecimator::cMaxChunk];
  if (widths)
    vectorProduceSquareSyncOversampled(&restartFrom, tables, pitch, syncValues, widths, from, n);
  else
    vectorProduceWaveSyncOversampled(&restartFrom, tables, pitch, syncValues, from, n);
  constexpr int f = SyncDecimator::cFactor;
  const double step = 1.0 / (f * restartLength);
  const int done = f * (restartLength - restartLeft);
  for (int i = 0; i < f * n; ++i) oversampledOut[i] = crossfadeBlend(from[i], oversampledOut[i], (done + i + 1) * step);
  restartLeft -= n;
}

void Oscillator::produce(wave::Block* block, int count, int flags) {
  updateFrequencyTable();
  const auto form = waveForm.get();
  // The floor's part of the noise bed was last read a second or more ago
  // (the tonal forms add it; the noise forms are noise enough).
  if (style->backgroundNoiseLevel != 0.0f && !(flags & wave::cMuteCall) && form != WhiteNoise && form != PinkNoise) {
    const float* bed = style->getNoiseBed() + (bedPosition & (Style::cNoiseBedSize - 1));
    for (int i = 0; i < count + 16; i += 16) __builtin_prefetch(bed + i);
  }
  switch (form) {
  case Triangle:
    produceWave(style->triangleTables, block, count, flags);
    break;
  case Sawtooth:
    produceWave(style->sawtoothTables, block, count, flags);
    break;
  case Square:
    produceSquare(block, count, flags);
    break;
  case WhiteNoise:
  case PinkNoise:
    produceNoise(block, count, flags);
    break;
  default:
    break;
  }
}

namespace {

const float* pulled(wave::Producer* p, int count, wave::Environment* env) {
  wave::Block* b = p->pull(count, 0);
  return (b ? b : env->silentBlock)->data;
}

} // namespace

void Oscillator::produceWave(const float (*tables)[cTableStride], wave::Block* block, int count, int flags) {
  if (flags & wave::cMuteCall) return;
  const float* pitch = pulled(frequency.output, count, env);
  const float* syncValues = pulled(sync.output, count, env);
  if (sync.output->constantBlock && std::fabs(syncValues[0]) <= cEpsilon) {
    synced = false;
    const float* bed = claimNoiseFloor(count);
    vectorProduceWaveFast(&kernelState, tables[0], pitch, block->data, count, bed, style->backgroundNoiseLevel,
                          frequency.output->constantBlock);
    if (restartLeft > 0) fadeRestartFast(tables[0], pitch, nullptr, block->data, count, bed);
    if (bed) return;
  } else if (wave::Block* lane = syncLanes && restartLeft == 0
                                     ? syncLanes->render(this, tables[0], pitch, syncValues, count)
                                     : nullptr) {
    // The group's block is handed out, its floor added where it lies.
    current = lane;
    addBackgroundNoise(lane, count, flags);
    return;
  } else {
    produceSynced(tables[0], pitch, syncValues, nullptr, block->data, count);
  }
  addBackgroundNoise(block, count, flags);
}

const float* Oscillator::claimNoiseFloor(int count) {
  if (style->backgroundNoiseLevel == 0.0f || count < 1) return nullptr;
  // Aligned as addBackgroundNoise reads it.
  const uint32_t at = bedPosition & (Style::cNoiseBedSize - 1) & ~3u;
  if (at + static_cast<uint32_t>(count) > Style::cNoiseBedSize) return nullptr;
  bedPosition = at + ((static_cast<uint32_t>(count) + 3u) & ~3u);
  return style->getNoiseBed() + at;
}

void Oscillator::produceSynced(const float* tables, const float* pitch, const float* syncValues, const float* widths,
                               float* out, int count) {
  if (syncLanes) syncLanes->release(this);
  if (!synced) {
    // The filter starts from silence, not from what it held when sync was
    // last on.
    decimator.reset();
    synced = true;
  }
  for (int done = 0; done < count; done += SyncDecimator::cMaxChunk) {
    const int n = std::min(count - done, SyncDecimator::cMaxChunk);
    if (widths)
      vectorProduceSquareSyncOversampled(&kernelState, tables, pitch + done, syncValues + done, widths + done,
                                         oversampled, n);
    else
      vectorProduceWaveSyncOversampled(&kernelState, tables, pitch + done, syncValues + done, oversampled, n);
    if (restartLeft > 0)
      fadeRestartSynced(tables, pitch + done, syncValues + done, widths ? widths + done : nullptr, oversampled, n);
    decimator.process(oversampled, out + done, n);
  }
}

void Oscillator::produceSquare(wave::Block* block, int count, int flags) {
  if (flags & wave::cMuteCall) return;
  const float* pitch = pulled(frequency.output, count, env);
  const float* widths = pulled(pulseWidth.output, count, env);
  const float* syncValues = pulled(sync.output, count, env);
  const float* tables = style->sawtoothTables[0];
  if (sync.output->constantBlock && std::fabs(syncValues[0]) <= cEpsilon) {
    synced = false;
    const float* bed = claimNoiseFloor(count);
    vectorProduceSquareFast(&kernelState, tables, pitch, widths, block->data, count, bed,
                            style->backgroundNoiseLevel, frequency.output->constantBlock);
    if (restartLeft > 0) fadeRestartFast(tables, pitch, widths, block->data, count, bed);
    if (bed) return;
  } else {
    produceSynced(tables, pitch, syncValues, widths, block->data, count);
  }
  addBackgroundNoise(block, count, flags);
}

void Oscillator::seedNoise(uint32_t seed) {
  noiseState = seed;
  // Seeds are close together for neighbouring oscillators; the multiplier
  // spreads their places over the whole bed.
  bedPosition = (seed * 2654435761u) >> 16;
}

float Oscillator::stepNoise(uint32_t& state) {
  state = stepState(state);
  return noiseValue(state);
}

bool Oscillator::wideNoiseAvailable() { return wideNoiseSupported(); }

void Oscillator::produceWhiteNoise(uint32_t& state, float level, float* out, int count, bool allowWide) {
  if (count < 1) return;
  if (allowWide && wideNoiseSupported())
    produceWhiteWide(state, level, out, count);
  else
    produceWhiteByTable(state, level, out, count);
}

void Oscillator::produceNoise(wave::Block* block, int count, int flags) {
  if (flags & wave::cMuteCall) return;
  float* out = block->data;
  produceWhiteNoise(noiseState, style->noiseLevel, out, count);
  if (waveForm.get() == WhiteNoise) return;
  // Three one-pole low passes in parallel plus a direct share: -3 dB per
  // octave over the audio band. All four shares are positive; with the
  // fastest pole's share negative and a tenth of its size the spectrum fell
  // by 6 dB per octave from 1 to 5 kHz and went flat at the top.
  float b0 = pinkState[0];
  float b1 = pinkState[1];
  float b2 = pinkState[2];
  for (int i = 0; i < count; ++i) {
    const double x = static_cast<double>(out[i]);
    b0 = static_cast<float>(0.99765 * b0 + 0.0594276 * x);
    b1 = static_cast<float>(0.963 * b1 + 0.17790984 * x);
    b2 = static_cast<float>(0.57 * b2 + 0.63161478 * x);
    out[i] = static_cast<float>(static_cast<double>(b0) + b1 + b2 + 0.11088 * x);
  }
  pinkState[0] = b0;
  pinkState[1] = b1;
  pinkState[2] = b2;
}

void Oscillator::addBackgroundNoise(wave::Block* block, int count, int flags) {
  if (flags & wave::cMuteCall) return;
  float* out = block->data;
  const float level = style->backgroundNoiseLevel;
  // Most styles have no noise floor; adding zeros would cost for nothing.
  if (level == 0.0f) return;
  const float* bed = style->getNoiseBed();
  constexpr uint32_t mask = Style::cNoiseBedSize - 1;
  // Reads start at multiples of four, so that the kernel reads whole aligned
  // groups: after a block whose length is not a multiple of four, the up to
  // three values that the last group read beyond it are skipped.
  for (int done = 0; done < count;) {
    const uint32_t at = bedPosition & mask & ~3u;
    const int n = std::min(count - done, static_cast<int>(Style::cNoiseBedSize - at));
    vectorMulSAddFast(bed + at, level, out + done, out + done, n);
    bedPosition = at + ((static_cast<uint32_t>(n) + 3u) & ~3u);
    done += n;
  }
}
