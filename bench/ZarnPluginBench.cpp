// The whole instrument through the plug-in core, as the host runs it:
// 32-sample buffers, held notes. Arguments: sounding voices (1, 8, 32),
// unison voices per key (1 or 4: a key then takes four of the voices),
// patch (0 plain: the parameters' defaults; 1 heavy: both filters at 24 dB
// in series, hard sync on both oscillators, noise; 2 modulated: the
// defaults with four matrix slots, a vibrato from LFO 1, EG 1 on Filter 1's
// cut-off, velocity on the volume and the mod wheel on the vibrato's
// level, so every voice evaluates its own pitch, cut-off and gain).
//
// Counters: realtime = seconds of audio per CPU second; ns_per_voice_sample
// = CPU nanoseconds per sample of one sounding voice (one unison copy
// counts as one voice).
//
// The plug-in writes its preferences and its wave-table cache into the
// user's folders: HOME and the XDG folders point at a temporary folder
// while the benchmark runs.

#include "bench/TemporaryHome.h"
#include "plugin/MidiMessage.h"
#include "synth/ModulationMatrixParameterSet.h"
#include "synth/ZarnPlugin.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

// Made before any benchmark runs.
zarnbench::TemporaryHome& gHome = zarnbench::temporaryHome();

constexpr int kQuantum = 32;

void set(AbstractPluginParameter& p, float natural) { p.setValue(natural, 0); }

void slot(ZarnPlugin& p, int n, int source, int target, float level) {
  ModulationMatrixParameterSet::SlotParameters& s = p.getModMatrixParameters()->at(n);
  set(s.source, static_cast<float>(source + 1));
  set(s.target, static_cast<float>(target + 1));
  set(s.level, level);
}

void render(ZarnPlugin& p, float** outs, int buffers) {
  for (int i = 0; i < buffers; ++i) p.process(nullptr, 0, outs, 2, kQuantum);
}

void BM_ZarnPlugin(benchmark::State& state) {
  const int voices = static_cast<int>(state.range(0));
  const int unison = static_cast<int>(state.range(1));
  const bool heavy = state.range(2) == 1;
  const bool modulated = state.range(2) == 2;
  const int keys = voices / unison > 0 ? voices / unison : 1;
  const int copies = keys * unison;

  std::unique_ptr<ZarnPlugin> plugin(new ZarnPlugin());
  ZarnPlugin& p = *plugin;
  set(p.totalVoices, static_cast<float>(copies));
  set(p.unisonVoices, static_cast<float>(unison));
  if (heavy) {
    set(p.osc2.level, 0.7f);
    set(p.osc1.sync, 2.3f);
    set(p.osc2.sync, 1.7f);
    set(p.noiseLevel, 0.4f);
    set(p.filter1.slope, 1.0f);
    set(p.filter2.slope, 1.0f);
    set(p.filter2.enabled, 1.0f);
    set(p.filter2.freq, 0.8f);
    set(p.filter1.peak, 0.5f);
  }
  if (modulated) {
    slot(p, 0, ModulationMatrix::cSourceLFO1, ModulationMatrix::cTargetMasterTune, 0.01f);
    slot(p, 1, ModulationMatrix::cSourceEG1, ModulationMatrix::cTargetFilter1Freq, 0.3f);
    slot(p, 2, ModulationMatrix::cSourceVelocity, ModulationMatrix::cTargetVolume, 0.1f);
    slot(p, 3, ModulationMatrix::cSourceModWheel, ModulationMatrix::cTargetSlotLevel + 0, 0.02f);
  }
  alignas(16) float left[kQuantum];
  alignas(16) float right[kQuantum];
  float* outs[2] = {left, right};
  render(p, outs, 64);
  for (int k = 0; k < keys; ++k) {
    MidiMessage m;
    m.status = 0x90;
    m.data1 = static_cast<unsigned char>(36 + (k * 7) % 60);
    m.data2 = 100;
    p.receiveMidiMessage(m);
  }
  render(p, outs, 256); // past the attack

  for (auto _ : state) {
    render(p, outs, 32);
    benchmark::DoNotOptimize(left[0]);
  }
  const double samples = static_cast<double>(state.iterations()) * 32.0 * kQuantum;
  state.counters["realtime"] =
      benchmark::Counter(samples / 44100.0, benchmark::Counter::kIsRate);
  state.counters["ns_per_voice_sample"] = benchmark::Counter(
      samples * copies / 1e9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// An instance nobody plays: no key held, every voice silent, the LFOs
// running free (LFO 1 as a sine on the pitch when patch is 1). This is what
// an open but untouched instance costs its host between songs. Time per
// host buffer of 512 samples (16 quanta); realtime as above.
void BM_ZarnPluginIdle(benchmark::State& state) {
  std::unique_ptr<ZarnPlugin> plugin(new ZarnPlugin());
  ZarnPlugin& p = *plugin;
  set(p.totalVoices, static_cast<float>(state.range(0)));
  if (state.range(1) == 1) {
    set(p.lfo1.waveForm, static_cast<float>(ModulationGenerator::cSine));
    slot(p, 0, ModulationMatrix::cSourceLFO1, ModulationMatrix::cTargetMasterTune, 0.01f);
  }
  alignas(16) float left[kQuantum];
  alignas(16) float right[kQuantum];
  float* outs[2] = {left, right};
  // A note played and released long ago: the voices have rendered and
  // fallen silent, as after a song.
  MidiMessage m;
  m.status = 0x90;
  m.data1 = 60;
  m.data2 = 100;
  p.receiveMidiMessage(m);
  render(p, outs, 64);
  if (state.range(1) == 1 && p.getLfo(0)->waveForm.get() != ModulationGenerator::cSine)
    state.SkipWithError("LFO 1 is no sine");
  m.data2 = 0;
  p.receiveMidiMessage(m);
  render(p, outs, 44100 / kQuantum * 4);

  for (auto _ : state) {
    render(p, outs, 16);
    benchmark::DoNotOptimize(left[0]);
  }
  const double samples = static_cast<double>(state.iterations()) * 16.0 * kQuantum;
  state.counters["realtime"] = benchmark::Counter(samples / 44100.0, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_ZarnPlugin)
    ->ArgNames({"voices", "unison", "patch"})
    ->ArgsProduct({{1, 8, 32}, {1, 4}, {0, 1, 2}})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_ZarnPluginIdle)
    ->ArgNames({"voices", "patch"})
    ->ArgsProduct({{16, 32}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);
