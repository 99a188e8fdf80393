// The modulation sources of a voice: envelope, LFO and portamento, as a
// 32-voice synthesizer runs them, one graph block after another. The
// "per_voice_block" counter is the time one voice's unit takes for one block
// (the block size is the argument: 32 samples, the host's render quantum, or
// 1024, the largest slice); "items" are samples.

#include "wave/EnvelopeGenerator.h"
#include "wave/Environment.h"
#include "wave/ModulationGenerator.h"
#include "wave/PortamentoController.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

constexpr int kVoices = 32;

void report(benchmark::State& state, int block) {
  const double voiceBlocks = static_cast<double>(state.iterations()) * kVoices;
  state.counters["per_voice_block"] =
      benchmark::Counter(voiceBlocks, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetItemsProcessed(static_cast<int64_t>(voiceBlocks) * block);
}

// Runs every unit through one block of the graph.
template <class Unit>
void renderBlock(wave::Environment& env, std::vector<std::unique_ptr<Unit>>& units, int block) {
  env.beginBlock();
  for (auto& u : units) benchmark::DoNotOptimize(u->pull(block)->data[0]);
  env.endBlock(block);
}

// Envelopes that keep going through their stages: each voice is started,
// released and started again at its own moment, so that all stages are met.
void BM_EnvelopePerVoice(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  wave::Environment env(1024);
  EnvelopeGenerator::Style style;
  std::vector<std::unique_ptr<EnvelopeGenerator>> egs;
  for (int v = 0; v < kVoices; ++v) {
    egs.push_back(std::make_unique<EnvelopeGenerator>(&env, &style));
    EnvelopeGenerator& eg = *egs.back();
    eg.attackTime.getParameter().setInterpolated(0.01f + 0.01f * v, 0.0f);
    eg.decayTime.getParameter().setInterpolated(0.2f, 0.0f);
    eg.sustainLevel.getParameter().setInterpolated(0.6f, 0.0f);
    eg.releaseTime.getParameter().setInterpolated(0.3f, 0.0f);
  }
  const int cycle = 44100; // samples from one start to the next
  int clock = 0;
  for (auto _ : state) {
    for (int v = 0; v < kVoices; ++v) {
      const int at = (clock + v * (cycle / kVoices)) % cycle;
      if (at < block) egs[v]->start();
      if (at >= cycle / 2 && at - cycle / 2 < block) egs[v]->finish();
    }
    renderBlock(env, egs, block);
    clock += block;
  }
  report(state, block);
}
BENCHMARK(BM_EnvelopePerVoice)->Arg(32)->Arg(1024);

// Envelopes that nobody pulls: the mute calls that advance them (each is
// started again once it has gone idle).
void BM_EnvelopeMuteCallsPerVoice(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  wave::Environment env(1024);
  EnvelopeGenerator::Style style;
  std::vector<std::unique_ptr<EnvelopeGenerator>> egs;
  for (int v = 0; v < kVoices; ++v) {
    egs.push_back(std::make_unique<EnvelopeGenerator>(&env, &style));
    egs.back()->releaseTime.getParameter().setInterpolated(0.1f, 0.0f);
  }
  int clock = 0;
  for (auto _ : state) {
    for (auto& eg : egs) {
      if (eg->isMute()) eg->start();
      if (clock % 8192 < block) eg->finish();
    }
    clock += block;
    env.beginBlock();
    env.endBlock(block);
  }
  report(state, block);
}
BENCHMARK(BM_EnvelopeMuteCallsPerVoice)->Arg(32)->Arg(1024);

void BM_LfoPerVoice(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  const auto wave = static_cast<ModulationGenerator::WaveForm>(state.range(1));
  wave::Environment env(1024);
  std::vector<std::unique_ptr<ModulationGenerator>> lfos;
  for (int v = 0; v < kVoices; ++v) {
    lfos.push_back(std::make_unique<ModulationGenerator>(&env));
    lfos.back()->waveForm = wave;
    lfos.back()->frequency.getParameter().setInterpolated(0.5f + 0.3f * v, 0.0f);
  }
  for (auto _ : state) renderBlock(env, lfos, block);
  report(state, block);
}
BENCHMARK(BM_LfoPerVoice)
    ->ArgNames({"block", "wave"})
    ->ArgsProduct({{32, 1024},
                   {ModulationGenerator::cTriangle, ModulationGenerator::cSine, ModulationGenerator::cSampleHold}});

// Oscillator pitches gliding between notes half of the time.
void BM_PortamentoPerVoice(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  wave::Environment env(1024);
  std::vector<std::unique_ptr<PortamentoController>> pcs;
  for (int v = 0; v < kVoices; ++v) {
    pcs.push_back(std::make_unique<PortamentoController>(&env));
    pcs.back()->glideTime = 0.25f;
  }
  int clock = 0;
  for (auto _ : state) {
    if (clock % 22050 < block)
      for (int v = 0; v < kVoices; ++v) pcs[v]->noteOn(5.0f + 0.1f * ((clock / 22050 + v) % 24));
    renderBlock(env, pcs, block);
    clock += block;
  }
  report(state, block);
}
BENCHMARK(BM_PortamentoPerVoice)->Arg(32)->Arg(1024);

} // namespace
