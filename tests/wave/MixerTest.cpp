#include "tests/support/AllocationCounter.h"
#include "tests/wave/CountingProducers.h"
#include "wave/EffectMixer.h"
#include "wave/Environment.h"
#include "wave/Mixer.h"
#include "wave/StaticMixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

using zarn::test::AllocationCounter;
using zarn::test::CountingSource;

namespace {

constexpr int cBlock = 16;

wave::Block* render(wave::Environment& env, wave::Producer& p, int n = cBlock) {
  return zarn::test::renderOne(env, p, n);
}

} // namespace

// ---- StaticMixer ----

TEST(StaticMixerTest, ALoneUnityInputIsPassedThroughByReference) {
  wave::Environment env(cBlock);
  CountingSource a(&env, 0.75f);
  StaticMixer mixer(&env, 3);
  mixer.setInput(1, &a, 1.0f);
  EXPECT_EQ(render(env, mixer), a.ownBlock);
  EXPECT_TRUE(mixer.isProduced());

  mixer.setInput(1, &a, 0.5f);
  wave::Block* out = render(env, mixer);
  EXPECT_EQ(out, mixer.ownBlock);
  for (int i = 0; i < cBlock; ++i) EXPECT_FLOAT_EQ(out->data[i], 0.375f);
}

TEST(StaticMixerTest, SumsInIndexOrderWhateverTheGains) {
  wave::Environment env(cBlock);
  CountingSource a(&env, 1.0f), b(&env, 2.0f), c(&env, 4.0f);
  StaticMixer mixer(&env, 3);
  mixer.setInput(0, &a, 1.0f);
  mixer.setInput(1, &b, 1.0f);
  wave::Block* out = render(env, mixer);
  EXPECT_EQ(out, mixer.ownBlock);
  EXPECT_FLOAT_EQ(out->data[cBlock - 1], 3.0f);
  // held unity input, then a scaled one
  mixer.setInput(1, &b, 0.25f);
  EXPECT_FLOAT_EQ(render(env, mixer)->data[0], 1.5f);
  // scaled first, then unity, then scaled
  mixer.setInput(0, &a, 2.0f);
  mixer.setInput(1, &b, 1.0f);
  mixer.setInput(2, &c, -0.5f);
  EXPECT_FLOAT_EQ(render(env, mixer)->data[3], 2.0f);
}

// More slots than the mixer keeps inside itself: every slot is summed, the
// last one included.
TEST(StaticMixerTest, ManySlotsAreAllSummed) {
  wave::Environment env(cBlock);
  for (int count : {4, 5, 9}) {
    StaticMixer mixer(&env, count);
    std::vector<std::unique_ptr<CountingSource>> sources;
    float expected = 0.0f;
    for (int k = 0; k < count; ++k) {
      sources.push_back(std::make_unique<CountingSource>(&env, static_cast<float>(1 << k)));
      mixer.setInput(k, sources.back().get(), 0.5f);
      expected += 0.5f * static_cast<float>(1 << k);
    }
    wave::Block* out = render(env, mixer);
    EXPECT_EQ(out->data[cBlock - 1], expected) << count << " slots";
    for (const auto& s : sources) EXPECT_EQ(s->calls, 1) << count << " slots";
  }
}

TEST(StaticMixerTest, EmptyMixersOutputTheSilentBlock) {
  wave::Environment env(cBlock);
  StaticMixer none(&env, 0), unset(&env, 2);
  EXPECT_EQ(render(env, none), env.silentBlock);
  EXPECT_EQ(render(env, unset), env.silentBlock);
}

TEST(StaticMixerTest, AZeroGainSlotIsStillPulled) {
  wave::Environment env(cBlock);
  CountingSource a(&env, 9.0f);
  StaticMixer mixer(&env, 1);
  mixer.setInput(0, &a, 0.0f);
  wave::Block* out = render(env, mixer);
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(out, mixer.ownBlock);
  EXPECT_EQ(out->data[0], 0.0f);
}

TEST(StaticMixerTest, UnityIsJudgedWithinTheSinglePrecisionEpsilon) {
  wave::Environment env(cBlock);
  CountingSource a(&env, 1.0f);
  StaticMixer mixer(&env, 1);
  mixer.setInput(0, &a, 1.0000001f);
  EXPECT_EQ(render(env, mixer), a.ownBlock);
  mixer.setInput(0, &a, 1.000001f);
  EXPECT_EQ(render(env, mixer), mixer.ownBlock);
}

TEST(StaticMixerTest, AMuteCallPullsNothing) {
  wave::Environment env(cBlock);
  CountingSource a(&env, 1.0f);
  StaticMixer mixer(&env, 1);
  mixer.setInput(0, &a, 0.5f);
  env.beginBlock();
  mixer.produce(mixer.ownBlock, cBlock, wave::cMuteCall);
  env.endBlock(cBlock);
  EXPECT_EQ(a.calls, 0);
}

// ---- Mixer ----

TEST(MixerTest, InputCountCreatesAndDeletesInputs) {
  wave::Environment env(cBlock);
  Mixer mixer(&env, 3);
  ASSERT_EQ(mixer.inputs.size(), 3u);
  EXPECT_EQ(mixer.inputs[2]->gain.getParameter().getTarget(), 1.0f);
  EXPECT_FALSE(Mixer::inputSet(mixer.inputs[0]));
  mixer.inputCount = 1;
  EXPECT_EQ(mixer.inputs.size(), 1u);
  mixer.inputCount = 4;
  EXPECT_EQ(mixer.inputs.size(), 4u);
  mixer.mode = 3; // no owner: nothing to do
  EXPECT_EQ(mixer.inputs.size(), 4u);
}

TEST(MixerTest, SumModeSkipsConstantZeroGainsAndPassesALoneUnityInput) {
  wave::Environment env(cBlock);
  CountingSource a(&env, 0.5f), b(&env, 2.0f);
  Mixer mixer(&env, 3);
  mixer.inputs[0]->source = &a;
  mixer.inputs[2]->source = &b;
  mixer.inputs[2]->gain.getParameter().setInterpolated(0.0f, 0.0f);
  EXPECT_EQ(render(env, mixer), a.ownBlock);
  EXPECT_EQ(b.calls, 0);

  mixer.inputs[2]->gain.getParameter().setInterpolated(0.5f, 0.0f);
  wave::Block* out = render(env, mixer);
  EXPECT_EQ(out, mixer.ownBlock);
  EXPECT_FLOAT_EQ(out->data[0], 1.5f);
  // Nothing set: silence.
  mixer.inputs[0]->source = nullptr;
  mixer.inputs[2]->source = nullptr;
  EXPECT_EQ(render(env, mixer), env.silentBlock);
}

TEST(MixerTest, SumModeFollowsAGlidingGainSampleBySample) {
  wave::Environment env(cBlock);
  CountingSource a(&env, 1.0f), b(&env, 1.0f);
  Mixer mixer(&env, 2);
  mixer.inputs[0]->source = &a;
  mixer.inputs[1]->source = &b;
  env.setSampleRate(1000.0f);
  render(env, mixer); // glides start once the clock runs
  // From 1 to 0 over 8 samples (8 ms at 1 kHz): the second input glides.
  mixer.inputs[1]->gain.getParameter().setInterpolated(0.0f, 8.0f);
  wave::Block* out = render(env, mixer);
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(out->data[i], 1.0f + (1.0f - i / 8.0f), 1e-6f) << i;
  for (int i = 8; i < cBlock; ++i) EXPECT_FLOAT_EQ(out->data[i], 1.0f) << i;
  // A gliding first input is scaled sample by sample too.
  mixer.inputs[1]->source = nullptr;
  mixer.inputs[0]->gain.getParameter().setInterpolated(0.0f, 8.0f);
  out = render(env, mixer);
  EXPECT_NEAR(out->data[4], 0.5f, 1e-6f);
}

TEST(MixerTest, DifferencePeakProductAndFirstOnlyModes) {
  wave::Environment env(cBlock);
  CountingSource a(&env, 0.5f), b(&env, -0.8f), c(&env, 0.25f);
  Mixer mixer(&env, 3);
  mixer.inputs[0]->source = &a;
  mixer.inputs[1]->source = &b;
  mixer.inputs[2]->source = &c;
  mixer.inputs[2]->gain.getParameter().setInterpolated(0.5f, 0.0f);
  struct Case {
    int mode;
    float expected;
  } cases[] = {{1, 0.5f + 0.8f - 0.125f}, {2, 0.8f}, {3, 0.5f * -0.8f * 0.125f}, {7, 0.5f}, {-1, 0.5f}};
  for (const Case& k : cases) {
    mixer.mode = k.mode;
    wave::Block* out = render(env, mixer, 5);
    for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(out->data[i], k.expected) << "mode " << k.mode;
  }
}

TEST(MixerTest, RatioModeIsLimitedToTheUnitRange) {
  wave::Environment env(cBlock);
  CountingSource a(&env, 0.5f), b(&env, 0.25f);
  Mixer mixer(&env, 2);
  mixer.mode = Mixer::cRatio;
  mixer.inputs[0]->source = &a;
  mixer.inputs[1]->source = &b;
  EXPECT_FLOAT_EQ(render(env, mixer)->data[0], 1.0f); // 2 limited to 1
  b.value = 1.0f;
  EXPECT_FLOAT_EQ(render(env, mixer)->data[0], 0.5f);
  b.value = -2.0f; // magnitudes only
  EXPECT_FLOAT_EQ(render(env, mixer)->data[0], 0.25f);
  b.value = 0.0f;
  EXPECT_EQ(render(env, mixer)->data[0], 0.0f);
  b.value = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(render(env, mixer)->data[0], 0.0f);
  a.value = -0.5f; // the first input counts by its magnitude too
  b.value = 1.0f;
  EXPECT_FLOAT_EQ(render(env, mixer)->data[0], 0.5f);
}

TEST(MixerTest, OtherModesWithoutInputsOutputSilence) {
  wave::Environment env(cBlock);
  Mixer mixer(&env, 2);
  for (int m = 1; m <= 5; ++m) {
    mixer.mode = m;
    EXPECT_EQ(render(env, mixer), env.silentBlock) << m;
  }
}

TEST(MixerTest, AMuteCallPullsNothingInAnyMode) {
  wave::Environment env(cBlock);
  CountingSource a(&env, 1.0f);
  Mixer mixer(&env, 1);
  mixer.inputs[0]->source = &a;
  for (int m = 0; m <= 4; ++m) {
    mixer.mode = m;
    env.beginBlock();
    mixer.produce(mixer.ownBlock, cBlock, wave::cMuteCall);
    env.endBlock(cBlock);
  }
  EXPECT_EQ(a.calls, 0);
  EXPECT_FALSE(mixer.inputs[0]->gain.output->isProduced());
}

TEST(MixerTest, RenderingNeverAllocates) {
  wave::Environment env(cBlock);
  CountingSource a(&env, 1.0f), b(&env, 2.0f);
  Mixer mixer(&env, 2);
  mixer.inputs[0]->source = &a;
  mixer.inputs[1]->source = &b;
  render(env, mixer);
  AllocationCounter counter;
  for (int m = 0; m <= 5; ++m) {
    mixer.mode = m;
    mixer.inputs[1]->gain.getParameter().setInterpolated(0.1f * static_cast<float>(m), 5.0f);
    render(env, mixer);
  }
  EXPECT_EQ(counter.count(), 0);
}

// ---- EffectMixer ----

TEST(EffectMixerTest, BalanceCrossfadesTheTwoInputs) {
  wave::Environment env(cBlock);
  CountingSource a(&env, 1.0f), b(&env, 10.0f);
  EffectMixer mixer(&env, &a, &b);
  struct Case {
    float balance, expected;
  } cases[] = {{0.0f, 11.0f}, {0.5f, 0.5f + 10.0f}, {-0.5f, 1.0f + 5.0f}, {1.0f, 10.0f}, {-1.0f, 1.0f}, {3.0f, 10.0f}};
  for (const Case& c : cases) {
    mixer.balance.getParameter().setInterpolated(c.balance, 0.0f);
    wave::Block* out = render(env, mixer, 9);
    for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(out->data[i], c.expected) << "balance " << c.balance;
  }
}

TEST(EffectMixerTest, AMissingInputIsSilenceAndGainsAreIgnored) {
  wave::Environment env(cBlock);
  CountingSource a(&env, 1.0f);
  EffectMixer mixer(&env, &a, nullptr);
  mixer.inputs[0]->gain.getParameter().setInterpolated(0.0f, 0.0f);
  mixer.mode = Mixer::cProduct;
  EXPECT_FLOAT_EQ(render(env, mixer)->data[0], 1.0f);
}

TEST(EffectMixerTest, AMuteCallOutputsSilenceWithoutPulling) {
  wave::Environment env(cBlock);
  CountingSource a(&env, 1.0f), b(&env, 1.0f);
  EffectMixer mixer(&env, &a, &b);
  env.beginBlock();
  mixer.current = mixer.ownBlock;
  mixer.produce(mixer.ownBlock, cBlock, wave::cMuteCall);
  EXPECT_EQ(mixer.current, env.silentBlock);
  EXPECT_TRUE(mixer.isProduced());
  env.endBlock(cBlock);
  EXPECT_EQ(a.calls + b.calls, 0);
  EXPECT_FALSE(mixer.balance.output->isProduced());
}
