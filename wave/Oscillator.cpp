#include "wave/Oscillator.h"

#include "wave/OscillatorStyle.h"
#include "wave/SyncLanes.h"
#include "wave/VectorKernels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <emmintrin.h>

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

inline uint32_t jumpNoise(uint32_t s, const NoiseJumps& j = cNoiseJumps) {
  return j.v[0][s & 0xffu] ^ j.v[1][(s >> 8) & 0xffu] ^ j.v[2][s >> 16];
}

inline uint32_t stepState(uint32_t s) { return ((s & 0xffffu) << 8) ^ cNoiseSteps.v[s >> 16]; }

inline float noiseValue(uint32_t s) { return static_cast<float>(static_cast<int32_t>(s) - 0x800000) * 1.1920929e-7f; }

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

void Oscillator::resetPhase() {
  kernelState.phase = 0.75f * static_cast<float>(kernelState.tableSizes[kernelState.tableIndex]);
  kernelState.syncPhase = kernelState.phase;
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
    if (bed) return;
  } else if (wave::Block* lane = syncLanes ? syncLanes->render(this, tables[0], pitch, syncValues, count) : nullptr) {
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

void Oscillator::produceNoise(wave::Block* block, int count, int flags) {
  if (flags & wave::cMuteCall) return;
  float* out = block->data;
  const float level = style->noiseLevel;
  // The register's own sequence. Whole groups of 32 samples go as four runs
  // of eight, one table look-up a sample, each run's start leaping eight
  // samples from the one before: the runs do not wait for each other, and
  // each group waits only for the four leaps of the group before.
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
    uint32_t next = stepState(noiseState);
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
      noiseState = r[3];
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
    uint32_t s = noiseState;
    for (uint32_t& x : r) {
      s = stepState(s);
      x = s;
    }
    for (; i + 4 <= count; i += 4) {
      for (int k = 0; k < 4; ++k) out[i + k] = noiseValue(r[k]) * level;
      s = r[3];
      for (uint32_t& x : r) x = jumpNoise(x);
    }
    noiseState = s;
  }
  for (; i < count; ++i) out[i] = nextNoise() * level;
  if (waveForm.get() == WhiteNoise) return;
  // Three one-pole low passes in parallel plus a direct share: -3 dB per
  // octave over the audio band. All four shares are positive; with the
  // fastest pole's share negative and a tenth of its size the spectrum fell
  // by 6 dB per octave from 1 to 5 kHz and went flat at the top.
  float b0 = pinkState[0];
  float b1 = pinkState[1];
  float b2 = pinkState[2];
  for (i = 0; i < count; ++i) {
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
