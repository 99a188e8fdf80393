// The voice manager and the mixers rendering N sounding voices of a cheap
// test voice: each voice sums two oscillators of U unison copies through
// UnisonMixers and a StaticMixer per side, the manager sums the voices and a
// stereo spread follows. The oscillators only write a ramp, so the figures
// are the cost of the summing and mixing itself; with released set, every
// voice is in its release and the manager measures each of its blocks for
// it (NoteVoice::measureRelease). Counters: time per voice
// and 32-sample block, and the real-time factor at 44.1 kHz (seconds of
// audio per CPU second).

#include "wave/Environment.h"
#include "wave/FloatParameter.h"
#include "wave/StaticMixer.h"
#include "wave/StereoSpread.h"
#include "wave/UnisonMixer.h"
#include "wave/VoiceManager.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

constexpr int kBlock = 32;
constexpr int kMaxBlock = 1024;

class Ramp : public wave::Source {
public:
  Ramp(wave::Environment* env, float step) : wave::Source(env), step(step) {}
  void produce(wave::Block* block, int n, int flags) override {
    if (flags & wave::cMuteCall) return;
    float* out = block->data;
    for (int i = 0; i < n; ++i) {
      out[i] = phase;
      phase += step;
      if (phase >= 1.0f) phase -= 2.0f;
    }
  }
  float step;
  float phase = 0.0f;
};

class BenchVoice : public NoteVoice {
public:
  BenchVoice(wave::Environment* env, int unison)
      : envelope(env, 0.8f), level(env, 0.7f), silent(env, 0.0f), gain(env), left(env, 2), right(env, 2) {
    for (int i = 0; i < gain.size; ++i) gain.data[i] = 0.5f;
    for (int osc = 0; osc < 2; ++osc) {
      mixers.push_back(std::make_unique<UnisonMixer>(env, 32));
      for (int k = 0; k < 32; ++k) {
        ramps.push_back(std::make_unique<Ramp>(env, 0.01f + 0.0001f * static_cast<float>(k + osc * 32)));
        float pan = unison > 1 ? 2.0f * static_cast<float>(k) / static_cast<float>(unison - 1) - 1.0f : 0.0f;
        // Copies past the unison count stay registered but silent, as the
        // synthesizer leaves them: they must cost nothing.
        wave::Producer* g = k < unison ? static_cast<wave::Producer*>(&level) : &silent;
        mixers.back()->addSource(ramps.back().get(), g, g, pan);
      }
    }
    left.setInput(0, mixers[0]->getOutput(0), 1.0f);
    left.setInput(1, mixers[1]->getOutput(0), 0.5f);
    right.setInput(0, mixers[0]->getOutput(1), 1.0f);
    right.setInput(1, mixers[1]->getOutput(1), 0.5f);
  }
  bool isMute() override { return mute; }
  wave::Producer* getEnvelope() override { return &envelope; }
  float* getGainSamples(int, int) override {
    releasing = released;
    return gain.data;
  }
  wave::Producer* getOutput(int channel) override { return channel == 0 ? &left : &right; }
  bool isKeyDown() override { return down; }
  void keyDown(float, int, float) override {
    down = true;
    mute = false;
  }
  void keyUp(float) override { down = false; }

  wave::FloatParameterSource envelope, level, silent;
  wave::Block gain;
  std::vector<std::unique_ptr<Ramp>> ramps;
  std::vector<std::unique_ptr<UnisonMixer>> mixers;
  StaticMixer left, right;
  bool mute = true;
  bool down = false;
  bool released = false;
};

void BM_voices(benchmark::State& state) {
  const int voices = static_cast<int>(state.range(0));
  const int unison = static_cast<int>(state.range(1));
  const bool released = state.range(2) != 0;
  wave::Environment env(kMaxBlock);
  VoiceManager manager(&env, 2);
  std::vector<std::unique_ptr<BenchVoice>> pool;
  for (int i = 0; i < 32; ++i) {
    pool.push_back(std::make_unique<BenchVoice>(&env, unison));
    manager.registerNoteVoice(pool.back().get());
  }
  manager.numVoices = 32;
  StereoSpread spread(&env);
  spread.setInputs(manager.getOutput(0), manager.getOutput(1));
  spread.spread.getParameter().setLimits(0.0f, 2.0f);
  spread.spread.getParameter().setInterpolated(1.3f, 0.0f);
  for (int i = 0; i < voices; ++i) manager.keyDown(40 + i, 1.0f);
  for (auto& v : pool) v->released = released;

  for (auto _ : state) {
    env.beginBlock();
    benchmark::DoNotOptimize(spread.getOutput(0)->pull(kBlock, 0)->data[0]);
    benchmark::DoNotOptimize(spread.getOutput(1)->pull(kBlock, 0)->data[0]);
    env.endBlock(kBlock);
  }
  const double blocks = static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * kBlock);
  // CPU time per voice and block (printed in seconds with an SI prefix).
  state.counters["per_voice_block"] = benchmark::Counter(blocks * (voices > 0 ? voices : 1),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["realtime_factor"] =
      benchmark::Counter(blocks * kBlock / 44100.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_voices)
    ->ArgNames({"voices", "unison", "released"})
    ->Args({1, 1, 0})
    ->Args({8, 1, 0})
    ->Args({32, 1, 0})
    ->Args({32, 1, 1})
    ->Args({8, 4, 0})
    ->Args({32, 4, 0})
    ->Args({8, 16, 0});

} // namespace
