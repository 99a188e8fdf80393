// The table oscillator: samples per second for each wave form, free-running
// (four-lane kernels) and hard-synced (scalar kernels), at a held pitch and
// under per-sample vibrato. Items are samples; "realtime" is seconds of
// 44.1 kHz audio rendered per second of CPU.
//
// BM_ProduceKernel: the four-lane kernels alone, as the render road calls
// them: 32-sample blocks for 32 oscillators at the pitches of 32 held keys,
// one after the other, so that their tables compete for the caches as in a
// song. Items are samples.
//
// BM_SyncKernel: the oversampled sawtooth sync kernel and its decimator
// the same way, the sync held or swept every sample as an LFO on "Osc 1
// Sync" sweeps it (every base sample a new step). Items are base samples.

#include "synth/ZarnOscillatorShape.h"
#include "wave/Environment.h"
#include "wave/Oscillator.h"
#include "wave/OscillatorKernels.h"
#include "wave/OscillatorStyle.h"
#include "wave/Producer.h"
#include "wave/SyncDecimator.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int kBlock = 256;

// The synthesizer's style, its tables built in memory (no cache file).
Oscillator::Style& sharedStyle() {
  static std::unique_ptr<Oscillator::Style> style = [] {
    auto s = std::make_unique<Oscillator::Style>();
    zarn::customizeOscillatorStyle(*s);
    s->initializeSineTable();
    s->initializeTable(s->triangleTables, Oscillator::Triangle);
    s->initializeTable(s->sawtoothTables, Oscillator::Sawtooth);
    s->adjustTriangleTable();
    s->prepareSampleRate(44100.0f);
    return s;
  }();
  return *style;
}

// A pitch that moves every sample: 5 Hz vibrato of a quarter tone around
// middle C.
class Vibrato : public wave::Source {
public:
  explicit Vibrato(wave::Environment* env) : wave::Source(env) {}
  void produce(wave::Block* block, int n, int flags) override {
    if (flags & wave::cMuteCall) return;
    for (int i = 0; i < n; ++i) {
      block->data[i] = center + 0.02f * std::sin(angle);
      angle += 2.0f * 3.1415927f * 5.0f / 44100.0f;
      if (angle > 6.2831853f) angle -= 6.2831853f;
    }
  }
  float center = std::log2(261.63f);
  float angle = 0.0f;
};

void runOscillator(benchmark::State& state, Oscillator::WaveForm form, float sync, bool vibrato) {
  wave::Environment env(kBlock);
  env.setSampleRate(44100.0f);
  Oscillator osc(&sharedStyle(), &env);
  Vibrato pitch(&env);
  osc.waveForm = form;
  osc.frequency.getParameter().setInterpolated(std::log2(261.63f), 0.0f);
  osc.pulseWidth.getParameter().setInterpolated(0.3f, 0.0f);
  osc.sync.getParameter().setInterpolated(sync, 0.0f);
  if (vibrato) osc.frequency.setController(&pitch);
  for (auto _ : state) {
    env.beginBlock();
    wave::Block* b = osc.pull(kBlock);
    benchmark::DoNotOptimize(b->data[kBlock - 1]);
    env.endBlock(kBlock);
  }
  const double samples = static_cast<double>(state.iterations()) * kBlock;
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  state.counters["realtime"] = benchmark::Counter(samples / 44100.0, benchmark::Counter::kIsRate);
}

void BM_Oscillator(benchmark::State& state) {
  runOscillator(state, static_cast<Oscillator::WaveForm>(state.range(0)), state.range(1) ? 0.5f : 0.0f,
                state.range(2) != 0);
}

// Arguments: wave form (0 triangle, 1 sawtooth, 2 square, 3 white, 4 pink),
// sync (0 off, 1 half an octave), vibrato (0 held pitch, 1 per sample).
BENCHMARK(BM_Oscillator)
    ->ArgNames({"form", "sync", "vibrato"})
    ->Args({0, 0, 0})
    ->Args({0, 1, 0})
    ->Args({1, 0, 0})
    ->Args({1, 1, 0})
    ->Args({2, 0, 0})
    ->Args({2, 1, 0})
    ->Args({1, 0, 1})
    ->Args({1, 1, 1})
    ->Args({2, 0, 1})
    ->Args({3, 0, 0})
    ->Args({4, 0, 0});

// The noise oscillators of 32 voices, one block each in turn as the render
// road pulls them: blocks of 32 samples (the host's block) or of an odd
// length, white or pink. Items are samples.
void BM_NoiseBlock(benchmark::State& state) {
  constexpr int kVoices = 32;
  const auto form = static_cast<Oscillator::WaveForm>(state.range(0));
  const int n = static_cast<int>(state.range(1));
  wave::Environment env(n);
  env.setSampleRate(44100.0f);
  std::vector<std::unique_ptr<Oscillator>> voices;
  for (int v = 0; v < kVoices; ++v) {
    voices.push_back(std::make_unique<Oscillator>(&sharedStyle(), &env));
    voices.back()->waveForm = form;
    voices.back()->seedNoise(1u + static_cast<uint32_t>(v) * 2654435761u % 16777215u);
  }
  for (auto _ : state) {
    env.beginBlock();
    for (auto& osc : voices) {
      wave::Block* b = osc->pull(n);
      benchmark::DoNotOptimize(b->data[n - 1]);
    }
    env.endBlock(n);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kVoices * n);
}

// Arguments: wave form (3 white, 4 pink), samples per block.
BENCHMARK(BM_NoiseBlock)->ArgNames({"form", "samples"})->Args({3, 32})->Args({3, 13})->Args({4, 32});

// The white noise of 32 registers alone, a block of each in turn: the
// wide way (where this processor has it) or the table steps. Items are
// samples.
void BM_WhiteNoiseKernel(benchmark::State& state) {
  constexpr int kVoices = 32;
  const bool wide = state.range(0) != 0;
  const int n = static_cast<int>(state.range(1));
  if (wide && !Oscillator::wideNoiseAvailable()) {
    state.SkipWithError("no wide noise on this processor");
    return;
  }
  uint32_t registers[kVoices];
  for (int v = 0; v < kVoices; ++v) registers[v] = 1u + static_cast<uint32_t>(v) * 2654435761u % 16777215u;
  alignas(64) float out[256];
  for (auto _ : state) {
    for (uint32_t& r : registers) {
      Oscillator::produceWhiteNoise(r, 0.2f, out, n, wide);
      benchmark::DoNotOptimize(out[n - 1]);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kVoices * n);
}

// Arguments: wide (1) or table steps (0), samples per block.
BENCHMARK(BM_WhiteNoiseKernel)
    ->ArgNames({"wide", "samples"})
    ->Args({0, 32})
    ->Args({1, 32})
    ->Args({0, 13})
    ->Args({1, 13})
    ->Args({0, 256})
    ->Args({1, 256});

// The voices' kernel settings for the keys of the held-note song (bench/
// compare): MIDI 36 to 89.
struct HeldKeys {
  static constexpr int kVoices = 32;
  explicit HeldKeys(Oscillator::Style& style) {
    const Oscillator::FrequencyTable* table = style.getFrequencyTable(44100);
    for (int v = 0; v < kVoices; ++v) {
      const int key = 36 + (v * 5) % 48 + v / 10;
      pitch[v] = std::log2(440.0f) + static_cast<float>(key - 69) / 12.0f;
      VectorProduceParams& k = params[v];
      k = VectorProduceParams{};
      k.frequencyTable = table->frequency;
      k.tableIndexTable = table->tableIndex;
      k.tableSizes = style.tableSizes;
      k.tableStride = Oscillator::cTableStride;
      k.phase = static_cast<float>(v * 7);
      k.indexOffset = 10.0f * Oscillator::Style::cFrequencyTableFactor;
      k.indexScale = Oscillator::Style::cFrequencyTableFactor;
      k.pulseGain = 0.5f;
      k.sawGain = 0.5f;
    }
  }
  float pitch[kVoices];
  VectorProduceParams params[kVoices];
};

void BM_ProduceKernel(benchmark::State& state) {
  constexpr int kSamples = 32;
  const bool square = state.range(0) != 0;
  const bool held = state.range(1) != 0;
  // A pitch that moves at every sample, as under a detune LFO.
  const bool moving = state.range(2) != 0;
  // The oscillator's faint noise floor added in the same pass.
  const bool noisy = state.range(3) != 0;
  // The AVX-512VL build for a pitch not held where the processor has it
  // (as the render road runs), or the SSE2 build.
  const bool avx512 = state.range(4) != 0;
  Oscillator::Style& style = sharedStyle();
  auto keys = std::make_unique<HeldKeys>(style);
  alignas(16) float pitch[HeldKeys::kVoices][kSamples];
  alignas(16) float width[kSamples];
  alignas(16) float out[kSamples];
  alignas(16) float noise[kSamples];
  for (float& w : width) w = 0.3f;
  for (int i = 0; i < kSamples; ++i) noise[i] = std::sin(1.7f * static_cast<float>(i));
  const float* bed = noisy ? noise : nullptr;
  for (int v = 0; v < HeldKeys::kVoices; ++v)
    for (int i = 0; i < kSamples; ++i)
      pitch[v][i] = moving ? keys->pitch[v] + 0.01f * std::sin(0.05f * static_cast<float>(i + v)) : keys->pitch[v];
  for (auto _ : state) {
    for (int v = 0; v < HeldKeys::kVoices; ++v) {
      if (square)
        vectorProduceSquareFast(&keys->params[v], style.sawtoothTables[0], pitch[v], width, out, kSamples, bed,
                                0.0006f, held, avx512, held);
      else
        vectorProduceWaveFast(&keys->params[v], style.sawtoothTables[0], pitch[v], out, kSamples, bed, 0.0006f,
                              held, avx512);
      benchmark::DoNotOptimize(out[kSamples - 1]);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * HeldKeys::kVoices * kSamples);
}

// Arguments: 0 the plain wave, 1 the pulse; pitch (and the pulse's
// width) blocks marked held (as the voices' constant blocks are) or not; a
// pitch that moves at every sample or not; a noise floor or none (the
// default patch's oscillators are held with the floor, the heavy patch's
// Osc 2 is the plain wave, moving, with the floor); the AVX-512VL build that a pitch
// not held runs where the processor has it or, for the heavy patch's
// case, also the SSE2 build.
BENCHMARK(BM_ProduceKernel)
    ->ArgNames({"square", "held", "moving", "noise", "avx512"})
    ->Args({0, 0, 0, 0, 1})
    ->Args({0, 1, 0, 0, 1})
    ->Args({1, 0, 0, 0, 1})
    ->Args({1, 1, 0, 0, 1})
    ->Args({0, 0, 1, 0, 1})
    ->Args({1, 0, 1, 0, 1})
    ->Args({0, 1, 0, 1, 1})
    ->Args({0, 0, 1, 1, 1})
    ->Args({0, 0, 1, 1, 0});

// The next n values of the sync input: 0.2 octaves of LFO around sync 2.5,
// about 5 Hz, or 2.5 held.
void sweepSync(float* sync, int n, bool swept, float& angle) {
  for (int i = 0; i < n; ++i) {
    sync[i] = swept ? 2.5f + 0.2f * std::sin(angle) : 2.5f;
    angle += 0.0007f;
  }
  if (angle > 6.2831853f) angle -= 6.2831853f;
}

void BM_SyncKernel(benchmark::State& state) {
  constexpr int kSamples = 32;
  const bool swept = state.range(0) != 0;
  Oscillator::Style& style = sharedStyle();
  auto keys = std::make_unique<HeldKeys>(style);
  auto decimators = std::make_unique<SyncDecimator[]>(HeldKeys::kVoices);
  alignas(16) float pitch[kSamples];
  alignas(16) float sync[kSamples];
  alignas(16) float fine[SyncDecimator::cFactor * kSamples];
  alignas(16) float out[kSamples];
  float angle = 0.0f;
  for (auto _ : state) {
    sweepSync(sync, kSamples, swept, angle);
    for (int v = 0; v < HeldKeys::kVoices; ++v) {
      for (float& p : pitch) p = keys->pitch[v];
      vectorProduceWaveSyncOversampled(&keys->params[v], style.sawtoothTables[0], pitch, sync, fine, kSamples);
      decimators[static_cast<size_t>(v)].process(fine, out, kSamples);
      benchmark::DoNotOptimize(out[kSamples - 1]);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * HeldKeys::kVoices * kSamples);
}

// Argument: 0 the sync held, 1 swept every sample.
BENCHMARK(BM_SyncKernel)->ArgName("swept")->Arg(0)->Arg(1);

// BM_SyncKernel's work with the oscillators eight at a time in the lanes
// of the vector unit (kernel and decimator), as the voices' synced
// oscillators are rendered where the processor allows. Items are base
// samples.
void BM_SyncLanes(benchmark::State& state) {
  constexpr int kSamples = 32;
  constexpr int kGroups = HeldKeys::kVoices / cSyncLanes;
  const bool swept = state.range(0) != 0;
  if (!syncLanesAvailable()) {
    state.SkipWithError("no 256-bit vector unit");
    return;
  }
  Oscillator::Style& style = sharedStyle();
  auto keys = std::make_unique<HeldKeys>(style);
  auto decimators = std::make_unique<SyncDecimatorLanes[]>(kGroups);
  alignas(16) float pitch[HeldKeys::kVoices][kSamples];
  alignas(16) float sync[kSamples];
  alignas(16) float out[HeldKeys::kVoices][kSamples];
  for (int v = 0; v < HeldKeys::kVoices; ++v)
    for (float& p : pitch[v]) p = keys->pitch[v];
  float angle = 0.0f;
  for (auto _ : state) {
    sweepSync(sync, kSamples, swept, angle);
    for (int g = 0; g < kGroups; ++g) {
      VectorProduceParams* params[cSyncLanes];
      const float* pitches[cSyncLanes];
      const float* syncs[cSyncLanes];
      float* outs[cSyncLanes];
      for (int l = 0; l < cSyncLanes; ++l) {
        const int v = g * cSyncLanes + l;
        params[l] = &keys->params[v];
        pitches[l] = pitch[v];
        syncs[l] = sync;
        outs[l] = out[v];
      }
      SyncDecimatorLanes& d = decimators[static_cast<size_t>(g)];
      vectorProduceWaveSyncOversampledLanes(params, style.sawtoothTables[0], pitches, syncs, cSyncLanes, d.input(),
                                            kSamples);
      d.process(outs, cSyncLanes, kSamples);
      benchmark::DoNotOptimize(out[g * cSyncLanes][kSamples - 1]);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * HeldKeys::kVoices * kSamples);
}

BENCHMARK(BM_SyncLanes)->ArgName("swept")->Arg(0)->Arg(1);

// The decimator alone, 32 of them, on blocks of N base samples of noise.
void BM_SyncDecimator(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto decimators = std::make_unique<SyncDecimator[]>(HeldKeys::kVoices);
  std::vector<float> fine(SyncDecimator::cFactor * static_cast<size_t>(n)), out(static_cast<size_t>(n));
  uint32_t seed = 1;
  for (float& x : fine) x = static_cast<float>((seed = seed * 1664525u + 1013904223u) >> 8) / 8388608.0f - 1.0f;
  for (auto _ : state) {
    for (int v = 0; v < HeldKeys::kVoices; ++v) {
      decimators[static_cast<size_t>(v)].process(fine.data(), out.data(), n);
      benchmark::DoNotOptimize(out[static_cast<size_t>(n) - 1]);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * HeldKeys::kVoices * n);
}

BENCHMARK(BM_SyncDecimator)->ArgName("samples")->Arg(32)->Arg(64)->Arg(13);

} // namespace
