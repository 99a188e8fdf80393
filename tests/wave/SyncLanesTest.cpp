// Synced oscillators of several voices rendered in one pass must sound as
// each one alone: every member against a twin that renders on its own,
// bit for bit, while voices fall silent, are skipped after all, switch to
// the pulse or to another wave, leave sync and come back to it, and fade
// into a restarted phase.

#include "wave/SyncLanes.h"
#include "tests/wave/OscillatorTestSupport.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <memory>
#include <vector>

using namespace osctest;

namespace {

struct FakeVoice : wave::MuteController {
  bool mute = false;
  bool mayMute = false;
  bool isMute() override { return mute; }
  bool mayMuteWhenPulled() override { return mayMute; }
};

// A sync input swept per sample, or off (a constant block of 0) in the
// blocks that off says.
class SyncSignal : public wave::Source {
public:
  SyncSignal(wave::Environment* env, float base, float depth, float rate)
      : wave::Source(env), base(base), depth(depth), rate(rate) {}
  void produce(wave::Block* block, int n, int flags) override {
    if (flags & wave::cMuteCall) return;
    constantBlock = off;
    for (int i = 0; i < n; ++i, ++t)
      block->data[i] = off ? 0.0f : base + depth * std::sin(rate * static_cast<float>(t));
  }
  float base, depth, rate;
  bool off = false;
  int t = 0;
};

TEST(SyncLanesTest, VoicesInOnePassSoundAsEachAlone) {
  if (!syncLanesAvailable()) GTEST_SKIP() << "no 256-bit vector unit";
  BuiltStyle built(cSynthSquare[1], 0.02f);
  wave::Environment env(128);
  env.setSampleRate(44100.0f);
  constexpr int L = SyncLanes::cLanes;
  SyncLanes lanes(&env);
  FakeVoice voices[L];
  std::vector<std::unique_ptr<Oscillator>> grouped, alone;
  std::vector<std::unique_ptr<ControlSignal>> pitches;
  std::vector<std::unique_ptr<SyncSignal>> syncs;
  for (int l = 0; l < L; ++l) {
    std::vector<float> pitch(20000);
    for (size_t i = 0; i < pitch.size(); ++i)
      pitch[i] = noteToPitch(36 + 7 * l) + (l % 2 ? 0.01f * std::sin(0.001f * static_cast<float>(i)) : 0.0f);
    pitches.push_back(std::make_unique<ControlSignal>(&env, pitch, l % 2 == 0));
    syncs.push_back(std::make_unique<SyncSignal>(&env, 0.3f + 0.2f * static_cast<float>(l),
                                                 0.15f * static_cast<float>(l % 3),
                                                 0.0005f * static_cast<float>(l + 1)));
    for (auto* list : {&grouped, &alone}) {
      list->push_back(std::make_unique<Oscillator>(built.style.get(), &env));
      Oscillator& o = *list->back();
      o.frequency.setController(pitches.back().get());
      o.sync.setController(syncs.back().get());
      o.waveForm = Oscillator::Sawtooth;
      o.kernelState.phase = o.kernelState.syncPhase = static_cast<float>(5 * l);
      o.seedNoise(100u + static_cast<uint32_t>(l));
    }
    lanes.setMember(l, grouped[l].get());
    grouped[l]->setMuteController(&voices[l]);
  }
  int passes = 0;
  const int counts[4] = {32, 17, 100, 5}; // 100: two chunks of the decimator
  for (int b = 0; b < 300; ++b) {
    const int n = counts[b % 4];
    env.beginBlock();
    voices[7].mute = b % 10 < 3;         // silent: pulled by nobody
    const bool skipped = b % 7 == 2;     // sounds, but lane 5 is not pulled after all
    voices[4].mayMute = b % 9 == 0;      // may fall silent: renders alone
    syncs[6]->off = b >= 100 && b < 130; // leaves sync and comes back
    const auto form2 = b >= 40 && b < 60   ? Oscillator::Square
                       : b >= 60 && b < 80 ? Oscillator::Triangle
                                           : Oscillator::Sawtooth;
    grouped[2]->waveForm = form2;
    alone[2]->waveForm = form2;
    // A restart of its phase: the member fades into it alone.
    if (b % 50 == 25) {
      grouped[3]->fadeToPhase(0.3f);
      alone[3]->fadeToPhase(0.3f);
    }
    for (int k = 0; k < L; ++k) {
      const int l = (k + b) % L; // each lane in turn is the first pulled
      if (voices[l].mute || (l == 5 && skipped)) continue;
      const wave::Block* got = grouped[l]->pull(n);
      const wave::Block* want = alone[l]->pull(n);
      for (int i = 0; i < n; ++i)
        ASSERT_EQ(std::bit_cast<uint32_t>(got->data[i]), std::bit_cast<uint32_t>(want->data[i]))
            << "block " << b << " lane " << l << " sample " << i;
    }
    if (lanes.getLastPassLanes() >= SyncLanes::cMinLanes) ++passes;
    env.endBlock(n);
  }
  // Most blocks went through the lanes (else the comparison proved nothing).
  EXPECT_GT(passes, 200);
}

} // namespace
