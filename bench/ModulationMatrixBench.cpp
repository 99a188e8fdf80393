// The modulation matrix as a 32-voice synthesizer runs it: eight valid
// slots (per-voice envelopes and velocity, a global LFO through every
// voice, a slot level driven by the wheel) read through modulated inputs in
// every voice, plus one global target. "per_voice_block" is the time the
// matrix takes for one voice and one block (32 samples, the host's render
// quantum, or 1024, the largest slice); "items" are samples.

#include "synth/ModulationMatrix.h"
#include "synth/ModulationMatrixInput.h"
#include "wave/EnvelopeGenerator.h"
#include "wave/Environment.h"
#include "wave/FloatParameter.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

using M = ModulationMatrix;

constexpr int kVoices = 32;

// Writes a slow ramp, as an envelope or LFO would: a varying block.
class Ramp : public wave::Source {
public:
  Ramp(wave::Environment* env, float start) : wave::Source(env), value(start) {}
  void produce(wave::Block* block, int n, int flags) override {
    if (flags & wave::cMuteCall) return;
    for (int i = 0; i < n; ++i) {
      value = value > 1.0f ? -1.0f : value + 1e-4f;
      block->data[i] = value;
    }
  }
  float value;
};

// Slots 0..count-1 from source and target pairs, each at level 0.3.
void connectSlots(M& matrix, const int (*slots)[2], int count) {
  for (int s = 0; s < count; ++s) {
    matrix.setSlotSource(s, slots[s][0]);
    matrix.setSlotTarget(s, slots[s][1]);
    matrix.setSlotLevel(s, 0.3f, false);
  }
}

struct BenchVoice {
  BenchVoice(M* matrix, wave::Producer* base, float start)
      : scope(matrix), eg1(matrix->getEnvironment(), start), eg2(matrix->getEnvironment(), -start),
        velocity(matrix->getEnvironment(), 0.8f),
        cutoff(matrix->getEnvironment(), &scope, M::cTargetFilter1Freq, base, 0.0f, 20.0f),
        pitch(matrix->getEnvironment(), &scope, M::cTargetMasterTune, base, -20.0f, 20.0f),
        pulse(matrix->getEnvironment(), &scope, M::cTargetOsc1PulseWidth, base, 0.0f, 20.0f),
        volume(matrix->getEnvironment(), &scope, M::cTargetVolume, base, 0.0f, 20.0f),
        attack(matrix->getEnvironment(), &scope, M::cTargetEG2Attack, base, 0.0f, 20.0f) {
    scope.setSource(M::cSourceEG1, &eg1);
    scope.setSource(M::cSourceEG2, &eg2);
    scope.setSource(M::cSourceVelocity, &velocity);
  }
  M::Voice scope;
  Ramp eg1, eg2;
  M::ValueSource velocity;
  ModulationMatrixInput cutoff, pitch, pulse, volume, attack;
};

void BM_ModulationMatrixPerVoice(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  wave::Environment env(1024);
  M matrix(&env);
  Ramp lfo(&env, 0.0f);
  M::ValueSource wheel(&env, 0.5f);
  matrix.setGlobalSource(M::cSourceLFO1, &lfo);
  matrix.setGlobalSource(M::cSourceModWheel, &wheel);
  const int slots[][2] = {
      {M::cSourceEG1, M::cTargetFilter1Freq},  {M::cSourceVelocity, M::cTargetFilter1Freq},
      {M::cSourceLFO1, M::cTargetMasterTune},  {M::cSourceModWheel, M::cTargetSlotLevel + 2},
      {M::cSourceLFO1, M::cTargetOsc1PulseWidth}, {M::cSourceVelocity, M::cTargetVolume},
      {M::cSourceEG1, M::cTargetEG2Attack},    {M::cSourceLFO1, M::cTargetStereo}};
  connectSlots(matrix, slots, 8);
  wave::FloatParameterSource base(&env, 1.0f);
  std::vector<std::unique_ptr<BenchVoice>> voices;
  for (int v = 0; v < kVoices; ++v) voices.push_back(std::make_unique<BenchVoice>(&matrix, &base, 0.01f * v));
  ModulationMatrixInput stereo(&env, &matrix.getGlobalScope(), M::cTargetStereo, &base, 0.0f, 2.0f);

  for (auto _ : state) {
    env.beginBlock();
    for (auto& v : voices) {
      benchmark::DoNotOptimize(v->cutoff.pull(block)->data[0]);
      benchmark::DoNotOptimize(v->pitch.pull(block)->data[0]);
      benchmark::DoNotOptimize(v->pulse.pull(block)->data[0]);
      benchmark::DoNotOptimize(v->volume.pull(block)->data[0]);
      benchmark::DoNotOptimize(v->attack.pull(block)->data[0]);
    }
    benchmark::DoNotOptimize(stereo.pull(block)->data[0]);
    env.endBlock(block);
  }
  const double voiceBlocks = static_cast<double>(state.iterations()) * kVoices;
  state.counters["per_voice_block"] =
      benchmark::Counter(voiceBlocks, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetItemsProcessed(static_cast<int64_t>(voiceBlocks) * block);
}
BENCHMARK(BM_ModulationMatrixPerVoice)->Arg(32)->Arg(1024);

// Held notes: four per-voice targets on settled sources, two of them the
// voice's envelopes in their sustain (the heavy patch's EG 1 -> Filter 1
// Freq and EG 2 -> Noise Level beside velocity and key tracking). Their
// values stand from block to block; "per_voice_block" is what reading them
// costs one voice in one block, envelopes included.
struct HeldVoice {
  HeldVoice(M* matrix, wave::Producer* base, float key)
      : scope(matrix), eg1(matrix->getEnvironment()), eg2(matrix->getEnvironment()),
        velocity(matrix->getEnvironment(), 0.8f), keyTrack(matrix->getEnvironment(), key),
        cutoff1(matrix->getEnvironment(), &scope, M::cTargetFilter1Freq, base, 0.0f, 20.0f),
        cutoff2(matrix->getEnvironment(), &scope, M::cTargetFilter2Freq, base, 0.0f, 20.0f),
        peak2(matrix->getEnvironment(), &scope, M::cTargetFilter2Peak, base, 0.0f, 20.0f),
        noise(matrix->getEnvironment(), &scope, M::cTargetNoiseLevel, base, 0.0f, 20.0f) {
    for (EnvelopeGenerator* eg : {&eg1, &eg2}) {
      for (auto* bus : {&eg->attackTime, &eg->decayTime, &eg->releaseTime})
        bus->getParameter().setInterpolated(0.01f, 0.0f);
      eg->sustainLevel.getParameter().setInterpolated(0.5f, 0.0f);
      eg->start();
    }
    scope.setSource(M::cSourceEG1, &eg1);
    scope.setSource(M::cSourceEG2, &eg2);
    scope.setSource(M::cSourceVelocity, &velocity);
    scope.setSource(M::cSourceKBTrack, &keyTrack);
  }
  M::Voice scope;
  EnvelopeGenerator eg1, eg2;
  wave::FloatParameterSource velocity, keyTrack;
  ModulationMatrixInput cutoff1, cutoff2, peak2, noise;
};

void BM_ModulationMatrixHeldNotes(benchmark::State& state) {
  constexpr int kBlock = 32;
  wave::Environment env(kBlock);
  env.setSampleRate(44100.0f);
  M matrix(&env);
  const int slots[][2] = {{M::cSourceEG1, M::cTargetFilter1Freq},
                          {M::cSourceVelocity, M::cTargetFilter2Freq},
                          {M::cSourceEG2, M::cTargetNoiseLevel},
                          {M::cSourceKBTrack, M::cTargetFilter2Peak}};
  connectSlots(matrix, slots, 4);
  wave::FloatParameterSource base(&env, 1.0f);
  std::vector<std::unique_ptr<HeldVoice>> voices;
  for (int v = 0; v < kVoices; ++v) voices.push_back(std::make_unique<HeldVoice>(&matrix, &base, 0.02f * v - 0.3f));
  auto block = [&] {
    env.beginBlock();
    for (auto& v : voices) {
      benchmark::DoNotOptimize(v->cutoff1.pull(kBlock)->data[0]);
      benchmark::DoNotOptimize(v->cutoff2.pull(kBlock)->data[0]);
      benchmark::DoNotOptimize(v->peak2.pull(kBlock)->data[0]);
      benchmark::DoNotOptimize(v->noise.pull(kBlock)->data[0]);
    }
    env.endBlock(kBlock);
  };
  // Past the attack and decay, into the sustain.
  for (int k = 0; k < 200; ++k) block();
  for (auto _ : state) block();
  const double voiceBlocks = static_cast<double>(state.iterations()) * kVoices;
  state.counters["per_voice_block"] =
      benchmark::Counter(voiceBlocks, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetItemsProcessed(static_cast<int64_t>(voiceBlocks) * kBlock);
}
BENCHMARK(BM_ModulationMatrixHeldNotes);

} // namespace
