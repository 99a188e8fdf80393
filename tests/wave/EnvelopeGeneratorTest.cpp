#include "tests/support/AllocationCounter.h"
#include "wave/EnvelopeGenerator.h"
#include "wave/Environment.h"
#include "wave/FloatParameter.h"
#include "wave/Trigger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

using namespace wave;

namespace {

constexpr float kEps = 1.1920929e-7f;
constexpr float kPeak = 1.0f - kEps;

// Drives one envelope through whole graph blocks.
struct Rig {
  explicit Rig(EnvelopeGenerator::ParameterHandling handling = EnvelopeGenerator::cSkipParametersWhenMute,
               EnvelopeGenerator::Style* style = nullptr)
      : env(1024), eg(&env, style, handling) {}

  // Jumps a bus to v (no glide).
  static void set(FloatParameterBus& bus, float v) { bus.getParameter().setInterpolated(v, 0.0f); }

  void times(float delay, float attack, float decay, float sustain, float release, float hold = 0.0f) {
    set(eg.delayTime, delay);
    set(eg.attackTime, attack);
    set(eg.decayTime, decay);
    set(eg.sustainLevel, sustain);
    set(eg.releaseTime, release);
    set(eg.holdTime, hold);
  }

  // Pulls n samples in blocks of at most `block` and appends them to out.
  void render(int n, int block = 64) {
    while (n > 0) {
      const int k = std::min(n, block);
      env.beginBlock();
      Block* b = eg.pull(k);
      out.insert(out.end(), b->data, b->data + k);
      env.endBlock(k);
      n -= k;
    }
  }

  // Blocks in which nobody pulls the envelope: it gets mute calls only.
  void skip(int n, int block = 64) {
    while (n > 0) {
      const int k = std::min(n, block);
      env.beginBlock();
      env.endBlock(k);
      n -= k;
    }
  }

  // Index of the first sample at or after from for which pred holds, or -1.
  template <class Pred>
  int find(int from, Pred pred) const {
    for (int i = from; i < static_cast<int>(out.size()); ++i)
      if (pred(out[i])) return i;
    return -1;
  }

  Environment env;
  EnvelopeGenerator eg;
  std::vector<float> out;
};

} // namespace

TEST(EnvelopeGeneratorTest, ValueTextsOfTheRange) {
  EXPECT_STREQ(EnvelopeGenerator::cRangeNames, "Normal,Neutral Sustain");
  EXPECT_EQ(EnvelopeGenerator::cRangeNormal, 0);
  EXPECT_EQ(EnvelopeGenerator::cRangeNeutralSustain, 1);
}

TEST(EnvelopeGeneratorTest, MuteUntilStarted) {
  Rig r;
  EXPECT_TRUE(r.eg.isMute());
  r.eg.start();
  EXPECT_FALSE(r.eg.isMute()); // a pending start counts as sound
  r.render(64);
  EXPECT_FALSE(r.eg.isMute());
  EXPECT_EQ(r.eg.getState(), 1);
}

TEST(EnvelopeGeneratorTest, HalfSecondAttackLastsItsSamplesRoundedUpToFourAndEndsAtThePeak) {
  for (int block : {64, 32, 1024}) {
    Rig r;
    r.times(0.0f, 0.5f, 1.0f, 0.5f, 0.5f);
    r.eg.start();
    r.render(30000, block);
    const int attackSamples = 22052; // 0.5 x 44100 rounded up to a multiple of 4
    EXPECT_EQ(r.out[0], 0.0f) << block;
    for (int i = 1; i < attackSamples - 2; ++i) ASSERT_GT(r.out[i], r.out[i - 1]) << block << " at " << i;
    // The curve reaches its end after 22050 samples and holds the peak for
    // the rest of the stage; the decay then starts at the peak.
    const int firstPeak = r.find(0, [](float v) { return v >= kPeak; });
    EXPECT_GE(firstPeak, 22049) << block;
    EXPECT_LE(firstPeak, 22051) << block;
    EXPECT_EQ(r.out[attackSamples - 1], kPeak) << block;
    EXPECT_FLOAT_EQ(r.out[attackSamples], kPeak) << block;
    EXPECT_LT(r.out[attackSamples + 1], kPeak) << block;
    EXPECT_EQ(*std::max_element(r.out.begin(), r.out.end()), kPeak) << block;
  }
}

TEST(EnvelopeGeneratorTest, DecayReachesTheSustainLevelAfterTheDecayTime) {
  Rig r;
  r.times(0.0f, 0.01f, 0.2f, 0.25f, 0.5f);
  r.eg.start();
  r.render(20000);
  const int attackEnd = 444; // 441 rounded up
  const int reached = r.find(attackEnd, [](float v) { return v <= 0.25f; });
  EXPECT_NEAR(reached - attackEnd, 0.2 * 44100, 2);
  for (int i = attackEnd + 1; i < reached; ++i) ASSERT_LE(r.out[i], r.out[i - 1]);
  for (int i = reached; i < 20000; ++i) ASSERT_EQ(r.out[i], 0.25f);
  EXPECT_FALSE(r.eg.isMute());
}

// Readers take one value from a block marked constant: the mark is set
// exactly when every sample of the block holds one value (the attack and
// decay are not, the sustain is), and it goes again with the release.
TEST(EnvelopeGeneratorTest, ABlockIsMarkedConstantExactlyWhenItHoldsOneValue) {
  Rig r;
  r.times(0.0f, 0.01f, 0.05f, 0.25f, 0.1f);
  r.eg.start();
  int constant = 0, moving = 0;
  auto blocks = [&](int count) {
    for (int k = 0; k < count; ++k) {
      const size_t from = r.out.size();
      r.render(64);
      const bool same = std::all_of(r.out.begin() + static_cast<long>(from), r.out.end(),
                                    [&](float v) { return v == r.out[from]; });
      ASSERT_EQ(r.eg.constantBlock, same) << "block " << from / 64;
      ++(same ? constant : moving);
    }
  };
  blocks(100); // attack, decay, sustain
  r.eg.finish();
  blocks(100); // release, silence
  EXPECT_GT(moving, 100);  // 441 + 2205 samples of attack and decay, 4410 of release
  EXPECT_GT(constant, 80); // the sustain and the silence after the release
}

TEST(EnvelopeGeneratorTest, DelayHoldsTheRestLevelForItsSamplesRoundedUpToFour) {
  Rig r;
  r.times(0.1f, 0.01f, 0.1f, 0.5f, 0.1f);
  r.eg.start();
  r.render(6000);
  const int delaySamples = 4412; // 4410 rounded up
  for (int i = 0; i < delaySamples; ++i) ASSERT_EQ(r.out[i], 0.0f) << i;
  EXPECT_GT(r.out[delaySamples + 1], 0.0f);
}

TEST(EnvelopeGeneratorTest, ChangingTheDelayWhileItRunsKeepsWhatHasPassed) {
  Rig r;
  r.times(1.0f, 0.01f, 0.1f, 0.5f, 0.1f);
  r.eg.start();
  r.render(1024);
  Rig::set(r.eg.delayTime, 0.5f); // read at the next 64-sample read
  r.render(30000);
  const int rise = r.find(0, [](float v) { return v > 0.0f; });
  EXPECT_GE(rise, 22052);
  EXPECT_LE(rise, 22052 + 64 + 4);
  // A delay that is over does not come back.
  Rig::set(r.eg.delayTime, 2.0f);
  r.render(1024);
  EXPECT_GT(r.out.back(), 0.4f);
}

TEST(EnvelopeGeneratorTest, ReleaseDuringTheAttackStartsFromTheValueReached) {
  Rig r;
  r.times(0.0f, 0.5f, 0.5f, 0.5f, 0.1f);
  r.eg.start();
  r.render(1024);
  const float reached = r.out.back();
  ASSERT_GT(reached, 0.0f);
  ASSERT_LT(reached, 0.1f);
  r.eg.finish();
  r.render(8192);
  EXPECT_NEAR(r.out[1024], reached, 1e-4f);
  for (int i = 1025; i < 8192; ++i) ASSERT_LE(r.out[i], r.out[i - 1]);
  // The release takes its time, then rests at 0.
  const int rest = r.find(1024, [](float v) { return v <= 0.0f; });
  EXPECT_NEAR(rest - 1024, 0.1 * 44100, 2);
}

TEST(EnvelopeGeneratorTest, HoldKeepsTheStagesRunningAfterTheKeyIsReleased) {
  Rig r;
  r.times(0.0f, 0.2f, 0.1f, 0.5f, 0.1f, 1.0f);
  r.eg.start();
  r.render(2048);
  r.eg.finish(); // in the middle of the attack
  r.render(60000);
  // The attack and the decay go on for the hold time.
  const int peak = r.find(2048, [](float v) { return v >= kPeak; });
  EXPECT_NEAR(peak, 8820, 4);
  const int sustained = r.find(peak, [](float v) { return v <= 0.5f; });
  EXPECT_NEAR(sustained - 8820, 4410, 4);
  const int holdEnd = 2048 + 44100; // 1 s, a multiple of 4
  for (int i = sustained; i < holdEnd + 1; ++i) ASSERT_EQ(r.out[i], 0.5f) << i;
  EXPECT_LT(r.out[holdEnd + 1], 0.5f);
  const int rest = r.find(holdEnd, [](float v) { return v <= 0.0f; });
  EXPECT_NEAR(rest - holdEnd, 4410, 2);
}

TEST(EnvelopeGeneratorTest, RetriggerWhileReleasingStartsFromTheCurrentLevel) {
  Rig r;
  r.times(0.0f, 0.01f, 0.01f, 0.8f, 0.5f);
  r.eg.start();
  r.render(4096);
  r.eg.finish();
  r.render(4096);
  const float standing = r.out.back();
  ASSERT_GT(standing, 0.2f);
  ASSERT_LT(standing, 0.8f);
  r.eg.start();
  r.render(1024);
  EXPECT_NEAR(r.out[8192], standing, 1e-3f);
  for (int i = 8193; i < 8192 + 440; ++i) ASSERT_GE(r.out[i], r.out[i - 1]);
  EXPECT_EQ(*std::max_element(r.out.begin() + 8192, r.out.end()), kPeak);
}

TEST(EnvelopeGeneratorTest, NeutralSustainShiftsEveryValueDownByTheSustainLevel) {
  Rig r;
  r.eg.range = EnvelopeGenerator::cRangeNeutralSustain;
  r.times(0.0f, 0.01f, 0.05f, 0.3f, 0.05f);
  r.render(64);
  EXPECT_FLOAT_EQ(r.out.back(), -0.3f); // rest
  EXPECT_TRUE(r.eg.isMute());
  EXPECT_FLOAT_EQ(r.eg.getLevel(), -0.3f);
  r.eg.start();
  r.render(8192);
  const float top = *std::max_element(r.out.begin(), r.out.end());
  EXPECT_NEAR(top, 0.7f, 1e-6f);
  EXPECT_EQ(r.out.back(), 0.0f); // sustain
  r.eg.finish();
  r.render(4096);
  EXPECT_FLOAT_EQ(r.out.back(), -0.3f);
  // Back to Normal while mute: the rest level is 0 again.
  r.render(64);
  ASSERT_TRUE(r.eg.isMute());
  r.eg.range = EnvelopeGenerator::cRangeNormal;
  EXPECT_EQ(r.eg.getLevel(), 0.0f);
}

// A held note at its sustain level writes one value per block; in blocks of
// the synthesizer's size and of sizes that cut the read interval unevenly,
// through a change of the level, a release and a new start, every block
// marked constant holds one value and every one that moves is not marked,
// and the sustain blocks hold the level set, exactly.
TEST(EnvelopeGeneratorTest, SustainBlocksHoldTheLevelThroughChangesReleasesAndRestarts) {
  for (int block : {32, 24, 40}) {
    Rig r;
    r.times(0.0f, 0.01f, 0.05f, 0.25f, 0.02f);
    int sustained = 0;
    // Renders count samples and checks each block's mark against its
    // samples; counts the blocks that hold level throughout.
    auto blocks = [&](int count, float level) {
      for (int done = 0; done < count; done += block) {
        const size_t from = r.out.size();
        r.render(block, block);
        const bool same = std::all_of(r.out.begin() + static_cast<long>(from), r.out.end(),
                                      [&](float v) { return v == r.out[from]; });
        ASSERT_EQ(r.eg.constantBlock, same) << block << " at " << from;
        if (same && r.out[from] == level) ++sustained;
      }
    };
    r.eg.start();
    blocks(8000, 0.25f); // attack 441, decay 2205, then the sustain
    EXPECT_EQ(r.out.back(), 0.25f) << block;
    EXPECT_GT(sustained, 4000 / block) << block;
    Rig::set(r.eg.sustainLevel, 0.5f);
    sustained = 0;
    blocks(8000, 0.5f); // read within 64 samples, a rise over 2205
    EXPECT_EQ(r.out.back(), 0.5f) << block;
    EXPECT_GT(sustained, 4000 / block) << block;
    r.eg.finish();
    blocks(4000, 0.0f);
    EXPECT_EQ(r.out.back(), 0.0f) << block;
    r.eg.start();
    sustained = 0;
    blocks(8000, 0.5f);
    EXPECT_EQ(r.out.back(), 0.5f) << block;
    EXPECT_GT(sustained, 4000 / block) << block;
  }
}

TEST(EnvelopeGeneratorTest, AHeldSustainFollowsANewControllerAndAParameterMovedUnderIt) {
  // A note held at its sustain for a long while, then the level's input
  // handed to another source (as the modulation matrix does when a slot
  // gets a target), then that source moved: each reaches the output.
  Rig r;
  r.times(0.0f, 0.01f, 0.02f, 0.5f, 0.02f);
  FloatParameterSource other(&r.env, 0.25f);
  r.eg.start();
  r.render(20000, 32);
  ASSERT_EQ(r.out.back(), 0.5f);
  ASSERT_TRUE(r.eg.constantBlock);
  r.eg.sustainLevel.setController(&other);
  r.render(4000, 32); // a read within 64 samples, then a fall over 882
  EXPECT_EQ(r.out.back(), 0.25f);
  const size_t fallen = r.out.size();
  other.parameter.setInterpolated(0.75f, 0.0f);
  r.render(4000, 32);
  EXPECT_EQ(r.out.back(), 0.75f);
  // The rise starts within one read interval of the change.
  EXPECT_GT(r.out[fallen + EnvelopeGenerator::cParameterReadInterval + 32], 0.25f);
}

TEST(EnvelopeGeneratorTest, RaisingTheSustainLevelRisesAlongTheDecayUpCurve) {
  Rig r;
  r.times(0.0f, 0.01f, 0.1f, 0.3f, 0.1f);
  r.eg.start();
  r.render(8192);
  ASSERT_FLOAT_EQ(r.out.back(), 0.3f);
  Rig::set(r.eg.sustainLevel, 0.8f);
  r.render(8192);
  // Read within 64 samples, then a rise over the decay time.
  const int from = r.find(8192, [](float v) { return v > 0.3f + 1e-6f; });
  ASSERT_GE(from, 8192);
  EXPECT_LE(from, 8192 + 64);
  const int reached = r.find(from, [](float v) { return v >= 0.8f - 1e-6f; });
  EXPECT_NEAR(reached - from, 4410, 4);
  for (int i = from + 1; i <= reached; ++i) ASSERT_GE(r.out[i], r.out[i - 1]);
  EXPECT_NEAR(r.out.back(), 0.8f, 1e-6f);
}

TEST(EnvelopeGeneratorTest, OneMoreBlockIsProducedAfterTheReleaseEndsBeforeItIsMute) {
  Rig r;
  r.times(0.0f, 0.01f, 0.01f, 0.5f, 0.05f);
  r.eg.start();
  r.render(2048);
  r.eg.finish();
  int blocks = 0;
  while (r.eg.getState() == 1 && blocks < 1000) {
    r.render(64);
    ++blocks;
    EXPECT_FALSE(r.eg.isMute());
  }
  ASSERT_EQ(r.eg.getState(), 2); // the release ended in this block
  EXPECT_NEAR(blocks * 64, 0.05 * 44100, 64);
  EXPECT_FALSE(r.eg.isMute());
  r.render(64);
  EXPECT_TRUE(r.eg.isMute());
  EXPECT_EQ(r.out.back(), 0.0f);
}

TEST(EnvelopeGeneratorTest, GeneratorThatNobodyPullsAdvancesThroughMuteCallsAndGoesIdle) {
  // With handling 1 the inputs are read on mute calls too.
  Rig r(EnvelopeGenerator::cReadParametersWhenMute);
  r.times(0.0f, 0.01f, 0.01f, 0.5f, 0.5f);
  r.eg.start();
  r.skip(4096);
  EXPECT_EQ(r.eg.getState(), 1);
  EXPECT_FLOAT_EQ(r.eg.getLevel(), 0.5f);
  r.eg.finish();
  int samples = 0;
  while (!r.eg.isMute() && samples < 100000) {
    r.skip(64);
    samples += 64;
  }
  EXPECT_TRUE(r.eg.isMute());
  EXPECT_NEAR(samples, 0.5 * 44100, 128);
  EXPECT_EQ(r.eg.getLevel(), 0.0f);
}

TEST(EnvelopeGeneratorTest, MuteCallsWithoutParameterReadsKeepTheLastReadTimes) {
  Rig r(EnvelopeGenerator::cSkipParametersWhenMute);
  r.times(0.0f, 0.01f, 0.01f, 0.5f, 0.5f); // never read: nobody pulls
  r.eg.start();
  r.skip(1024);
  EXPECT_FLOAT_EQ(r.eg.getRelease(), EnvelopeGenerator::cMinTime);
  r.eg.finish();
  r.skip(256); // a release of 64 samples ends well within this
  EXPECT_TRUE(r.eg.isMute());
}

TEST(EnvelopeGeneratorTest, PulledAfterMuteCallsTheEnvelopeContinuesWhereTheStagesStand) {
  Rig r;
  r.times(0.0f, 0.1f, 0.1f, 0.5f, 0.1f);
  r.render(64);
  r.eg.start();
  r.render(64);
  r.skip(8192); // attack over, decay counted as done
  r.render(256);
  for (int i = 64 * 2; i < static_cast<int>(r.out.size()); ++i) ASSERT_NEAR(r.out[i], 0.5f, 1e-6f);
}

TEST(EnvelopeGeneratorTest, AnEnvelopeAtRestSkipsItsMuteCallsAndResumesAsIfItHadHadThem) {
  // Twin envelopes; the second is woken before every end of block, so it
  // gets each mute call, as every envelope did before resting ones were
  // passed by. "Neutral Sustain" rests at -sustain, not at 0, so a missed
  // mute call after a reset would show in where the next attack starts.
  Rig rested, woken;
  auto both = [&](auto f) {
    f(rested);
    f(woken);
  };
  auto run = [&](int n, bool pull) {
    for (; n > 0; n -= 64) {
      both([&](Rig& r) { r.env.beginBlock(); });
      if (pull)
        both([&](Rig& r) {
          Block* b = r.eg.pull(64);
          r.out.insert(r.out.end(), b->data, b->data + 64);
        });
      woken.eg.dormant = false;
      both([&](Rig& r) { r.env.endBlock(64); });
      ASSERT_EQ(rested.eg.getLevel(), woken.eg.getLevel());
    }
  };
  both([](Rig& r) {
    r.times(0.0f, 0.01f, 0.02f, 0.6f, 0.05f);
    r.eg.range = EnvelopeGenerator::cRangeNeutralSustain;
  });
  both([](Rig& r) { r.eg.start(); });
  run(1024, true);
  both([](Rig& r) { r.eg.finish(); });
  run(8192, false); // the release ends in mute calls
  EXPECT_TRUE(rested.eg.dormant);
  EXPECT_FLOAT_EQ(rested.eg.getLevel(), -0.6f);

  both([](Rig& r) { r.env.reset(); }); // level 0 until the next mute call
  run(256, false);
  both([](Rig& r) { r.eg.start(); });
  run(1024, true);
  both([](Rig& r) { r.eg.finish(); });
  run(8192, false);
  both([](Rig& r) { r.eg.range = EnvelopeGenerator::cRangeNormal; });
  run(256, false);
  both([](Rig& r) { r.eg.start(); });
  run(1024, true);

  ASSERT_EQ(rested.out.size(), woken.out.size());
  for (size_t i = 0; i < rested.out.size(); ++i) ASSERT_EQ(rested.out[i], woken.out[i]) << i;
  EXPECT_FLOAT_EQ(rested.out[1024], -0.6f); // the second attack starts at rest
}

TEST(EnvelopeGeneratorTest, ZeroTimesFromAControllerAreHeldAtTheShortestTime) {
  // A modulation signal may feed any value into a time input; a stage time
  // of 0 must not divide by zero.
  for (float bad : {0.0f, -1.0f, NAN}) {
    Rig r;
    FloatParameterSource zero(&r.env, bad);
    r.eg.attackTime.setController(&zero);
    r.eg.decayTime.setController(&zero);
    r.eg.releaseTime.setController(&zero);
    r.eg.delayTime.setController(&zero);
    r.eg.holdTime.setController(&zero);
    Rig::set(r.eg.sustainLevel, 0.5f);
    r.eg.start();
    r.render(512);
    for (float v : r.out) ASSERT_TRUE(std::isfinite(v)) << bad;
    EXPECT_FLOAT_EQ(r.eg.getAttack(), EnvelopeGenerator::cMinTime);
    // The attack lasts the shortest time: 64 samples at 44.1 kHz.
    const int peak = r.find(0, [](float v) { return v >= kPeak; });
    EXPECT_GE(peak, 63) << bad;
    EXPECT_LE(peak, 64) << bad;
    EXPECT_FLOAT_EQ(r.out.back(), 0.5f) << bad;
    r.eg.finish();
    r.render(256);
    EXPECT_EQ(r.out.back(), 0.0f) << bad;
    r.render(64);
    EXPECT_TRUE(r.eg.isMute()) << bad;
  }
}

TEST(EnvelopeGeneratorTest, AttackChangedMidwayShortensTheRestOfTheStage) {
  Rig r;
  r.times(0.0f, 1.0f, 0.5f, 0.5f, 0.1f);
  r.eg.start();
  r.render(11025); // a quarter of the attack
  Rig::set(r.eg.attackTime, 0.2f);
  r.render(20000);
  // The position goes on from a quarter at the new speed: 0.75 x 0.2 s.
  const int peak = r.find(0, [](float v) { return v >= kPeak; });
  EXPECT_NEAR(peak, 11025 + 0.75 * 0.2 * 44100, 70);
}

TEST(EnvelopeGeneratorTest, AttackChangedAfterMuteCallsRanPastTheCurveEndStaysInsideTheBlock) {
  // Mute calls advance the attack position by time alone; it passes the end
  // of the curve while the stage count, rounded up to a multiple of 4 at the
  // start, still shows samples left. A new attack time read
  // then must not make the count negative (the decay would be given more
  // samples than the block has).
  Rig r(EnvelopeGenerator::cReadParametersWhenMute);
  r.times(0.0f, 0.0015f, 0.5f, 0.5f, 0.5f);
  r.eg.start();
  r.skip(3 * 40, 3);
  Rig::set(r.eg.attackTime, 50.0f);
  r.skip(3 * 40, 3);
  EXPECT_FLOAT_EQ(r.eg.getAttack(), 50.0f);
  r.render(1024, 64);
  for (float v : r.out) ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v;
}

namespace {

// A time input swept by a 5 Hz sine between lo and hi seconds, as an LFO
// in a modulation slot would drive it.
class Wobble : public Source {
public:
  Wobble(Environment* env, float lo, float hi) : Source(env), lo(lo), hi(hi) {}
  void produce(Block* block, int n, int flags) override {
    if (flags & cMuteCall) return;
    for (int i = 0; i < n; ++i, ++t)
      block->data[i] = lo + (hi - lo) * 0.5f * (1.0f + std::sin(6.2831853f * 5.0f * static_cast<float>(t) / 44100.0f));
  }
  float lo;
  float hi;
  long t = 0;
};

} // namespace

// Parameter inputs glide by the clock alone, so the envelope leaves them
// unrendered in blocks where it reads nothing; what it reads is still the
// value at the moment of each read. Its twin reads the same glides through
// forwarders, which it renders every block: sample for sample the same,
// through changes of every input while the stages run, in blocks of 32 and
// of sizes that cut the read interval unevenly. An input that is not a
// parameter renders every block.
TEST(EnvelopeGeneratorTest, InputsGoUnrenderedOnlyWhereNothingIsReadAndReadTheSame) {
  for (int block : {32, 24, 100}) {
    Environment env(128);
    EnvelopeGenerator skipping(&env), pulling(&env);
    // attack, decay, sustain, release, delay
    FloatParameterSource sources[2][5] = {
        {{&env, 0.01f}, {&env, 0.1f}, {&env, 0.5f}, {&env, 0.2f}, {&env, 0.0f}},
        {{&env, 0.01f}, {&env, 0.1f}, {&env, 0.5f}, {&env, 0.2f}, {&env, 0.0f}}};
    FloatParameterForwarder forwarders[5] = {FloatParameterForwarder(&env), FloatParameterForwarder(&env),
                                             FloatParameterForwarder(&env), FloatParameterForwarder(&env),
                                             FloatParameterForwarder(&env)};
    auto buses = [](EnvelopeGenerator& g) {
      return std::vector<FloatParameterBus*>{&g.attackTime, &g.decayTime, &g.sustainLevel, &g.releaseTime,
                                             &g.delayTime};
    };
    for (int k = 0; k < 5; ++k) {
      buses(skipping)[static_cast<size_t>(k)]->setController(&sources[0][k]);
      forwarders[k].parameter = &sources[1][k].parameter;
      buses(pulling)[static_cast<size_t>(k)]->setController(&forwarders[k]);
    }
    // Changes with glides, at sample times that fall between reads.
    auto change = [&](int k, float v) {
      for (auto& row : sources) row[k].parameter.setInterpolated(v, 7.0f);
    };
    std::vector<float> a, b;
    auto render = [&](int n) {
      for (int done = 0; done < n; done += block) {
        env.beginBlock();
        const float* x = skipping.pull(block)->data;
        const float* y = pulling.pull(block)->data;
        a.insert(a.end(), x, x + block);
        b.insert(b.end(), y, y + block);
        env.endBlock(block);
      }
    };
    skipping.start();
    pulling.start();
    render(3000);
    change(2, 0.7f); // sustain, while the decay runs
    render(2000);
    change(0, 0.3f); // attack and decay times, unread until a new note
    change(1, 0.05f);
    render(9000);
    change(2, 0.4f); // sustain, held
    render(6000);
    skipping.finish();
    pulling.finish();
    change(3, 0.05f); // release time, while it runs
    render(3000);
    skipping.start();
    pulling.start();
    render(20000);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(a[i], b[i]) << block << " at " << i;
    EXPECT_FLOAT_EQ(a.back(), 0.4f) << block;

    // A modulated input (not a parameter) renders in every block.
    Wobble wobble(&env, 0.1f, 0.2f);
    int renders = 0;
    struct Counting : Source {
      Counting(Environment* e, Producer* in, int* count) : Source(e, cNoOwnBlock), in(in), count(count) {}
      void produce(Block*, int n, int flags) override {
        ++*count;
        current = in->pull(n, flags);
      }
      Producer* in;
      int* count;
    } counting(&env, &wobble, &renders);
    skipping.releaseTime.setController(&counting);
    render(20 * block);
    EXPECT_EQ(renders, 20) << block;
  }
}

// A held note whose settled times are not read again still follows every
// kind of change to them, a jump or a glide ended at once, sample for
// sample as an envelope that reads its inputs in every block.
TEST(EnvelopeGeneratorTest, SettledInputsLeftUnreadStillFollowJumpsAndEndedGlides) {
  Environment env(64);
  EnvelopeGenerator settled(&env), reading(&env);
  FloatParameterSource sources[2][3] = {{{&env, 0.01f}, {&env, 0.05f}, {&env, 0.5f}},
                                        {{&env, 0.01f}, {&env, 0.05f}, {&env, 0.5f}}};
  FloatParameterForwarder forwarders[3] = {FloatParameterForwarder(&env), FloatParameterForwarder(&env),
                                           FloatParameterForwarder(&env)};
  FloatParameterBus* a[3] = {&settled.attackTime, &settled.decayTime, &settled.sustainLevel};
  FloatParameterBus* b[3] = {&reading.attackTime, &reading.decayTime, &reading.sustainLevel};
  for (int k = 0; k < 3; ++k) {
    a[k]->setController(&sources[0][k]);
    forwarders[k].parameter = &sources[1][k].parameter;
    b[k]->setController(&forwarders[k]);
  }
  std::vector<float> x, y;
  auto render = [&](int n) {
    for (int done = 0; done < n; done += 32) {
      env.beginBlock();
      const float* p = settled.pull(32)->data;
      const float* q = reading.pull(32)->data;
      x.insert(x.end(), p, p + 32);
      y.insert(y.end(), q, q + 32);
      env.endBlock(32);
    }
  };
  auto sustain = [&](auto change) {
    for (auto& row : sources) change(row[2].parameter);
  };
  settled.start();
  reading.start();
  render(8000);
  sustain([](FloatParameter& s) { s.setInterpolated(0.7f, 0.0f); });
  render(8000);
  const float jumped = x.back();
  sustain([](FloatParameter& s) { s.setInterpolated(0.2f, 50.0f); });
  render(96);
  sustain([](FloatParameter& s) { s.initialize(); });
  render(8000);
  ASSERT_EQ(x.size(), y.size());
  for (size_t i = 0; i < x.size(); ++i) ASSERT_EQ(x[i], y[i]) << "at " << i;
  EXPECT_FLOAT_EQ(jumped, 0.7f);
  EXPECT_FLOAT_EQ(x.back(), 0.2f);
}

TEST(EnvelopeGeneratorTest, ModulatedDecayAndReleaseTimesStillEndTheirStages) {
  // A time that moves at every read only changes the stage's speed: the
  // decay reaches the sustain level, and the release silence, within the
  // longest time the input reaches.
  Rig r;
  r.times(0.0f, 0.01f, 0.0f, 0.3f, 0.0f);
  Wobble decay(&r.env, 0.05f, 0.2f);
  Wobble release(&r.env, 0.05f, 0.2f);
  r.eg.decayTime.setController(&decay);
  r.eg.releaseTime.setController(&release);
  r.eg.start();
  r.render(16384);
  const int attackEnd = 444;
  const int sustained = r.find(attackEnd, [](float v) { return v <= 0.3f + 1e-6f; });
  ASSERT_GT(sustained, attackEnd);
  EXPECT_GT(sustained - attackEnd, 0.05 * 44100);
  EXPECT_LT(sustained - attackEnd, 0.2 * 44100 + 64);
  r.eg.finish();
  int samples = 0;
  while (!r.eg.isMute() && samples < 5 * 44100) {
    r.render(64);
    samples += 64;
  }
  EXPECT_TRUE(r.eg.isMute());
  EXPECT_GT(samples, 0.05 * 44100);
  EXPECT_LE(samples, 0.2 * 44100 + 2 * 64);
  EXPECT_EQ(r.out.back(), 0.0f);
}

TEST(EnvelopeGeneratorTest, ReleaseAndDecayTimesChangedMidwayGoOnFromWhereTheStageStands) {
  // Half way through a 0.2 s release the time doubles: the other half takes
  // 0.2 s, the release 0.3 s in all (not 0.1 s plus a new 0.4 s release).
  Rig r;
  r.times(0.0f, 0.01f, 0.2f, 0.2f, 0.2f);
  r.eg.start();
  r.render(444 + 4410); // the attack, then half the decay
  Rig::set(r.eg.decayTime, 0.4f);
  r.render(8832);
  const int sustained = r.find(444, [](float v) { return v <= 0.2f + 1e-6f; });
  EXPECT_NEAR(sustained, 444 + 0.1 * 44100 + 0.2 * 44100, 64 + 4);
  const int from = static_cast<int>(r.out.size());
  r.eg.finish();
  r.render(4410);
  EXPECT_NEAR(r.out.back(), 0.1f, 0.005f);
  Rig::set(r.eg.releaseTime, 0.4f);
  r.render(22050);
  const int silent = r.find(from, [](float v) { return v <= 0.0f; });
  EXPECT_NEAR(silent - from, 0.3 * 44100, 64 + 4);
}

// Renders the same envelope, events at the same samples, in slices of the
// given sizes (repeated), through delay, attack, decay, hold and release.
std::vector<float> renderSliced(const std::vector<int>& slices, EnvelopeGenerator::ParameterHandling handling,
                                bool pulled) {
  Rig r(handling);
  r.times(0.1f, 0.0503f, 0.0307f, 0.4f, 0.0711f, 0.0123f);
  size_t next = 0;
  auto run = [&](int n) {
    while (n > 0) {
      const int k = std::min(n, slices[next++ % slices.size()]);
      if (pulled)
        r.render(k, k);
      else
        r.skip(k, k);
      n -= k;
    }
  };
  r.eg.start();
  run(12000);
  r.eg.finish();
  run(5000);
  if (!pulled) r.out.push_back(r.eg.getLevel());
  r.out.push_back(r.eg.isMute() ? 1.0f : 0.0f);
  return r.out;
}

TEST(EnvelopeGeneratorTest, StageLengthsDoNotDependOnHowTheBlockIsSliced) {
  // Every MIDI message cuts the block into slices; the envelope must take
  // the same course whatever the cuts.
  const std::vector<float> whole = renderSliced({1024}, EnvelopeGenerator::cSkipParametersWhenMute, true);
  // Where the stages end: the delay (4410 samples rounded up to 4412), the
  // attack (2218 rounded up to 2220), the decay, the hold after the key is
  // released at 12000 (542 samples rounded down to 540) and the release.
  auto stages = [](const std::vector<float>& x) {
    auto first = [&](size_t from, auto pred) {
      for (size_t i = from; i < x.size(); ++i)
        if (pred(x[i])) return i;
      return x.size();
    };
    std::vector<size_t> ends;
    ends.push_back(first(0, [](float v) { return v > 0.0f; }) - 1);
    ends.push_back(first(ends.back(), [](float v) { return v >= kPeak; }));
    ends.push_back(first(ends.back(), [](float v) { return v < kPeak; }));
    ends.push_back(first(ends.back(), [](float v) { return v == 0.4f; }));
    ends.push_back(first(ends.back(), [](float v) { return v != 0.4f; }));
    ends.push_back(first(ends.back(), [](float v) { return v == 0.0f; }));
    return ends;
  };
  const std::vector<size_t> wholeStages = stages(whole);
  ASSERT_EQ(wholeStages[0], 4412u);
  ASSERT_EQ(wholeStages[2], 4412u + 2220u + 1u); // the decay's first sample is still the peak
  ASSERT_EQ(wholeStages[4], 12540u + 1u); // so is the release's
  ASSERT_LT(wholeStages[5], 12540u + 3200u);

  std::mt19937 random(18);
  std::vector<std::vector<int>> slicings = {{1}, {3}, {5}, {7}, {31}, {32}, {5, 27}};
  for (int k = 0; k < 4; ++k) {
    std::vector<int> s;
    for (int i = 0; i < 500; ++i) s.push_back(1 + static_cast<int>(random() % 70));
    slicings.push_back(s);
  }
  for (const std::vector<int>& s : slicings) {
    const std::vector<float> sliced = renderSliced(s, EnvelopeGenerator::cSkipParametersWhenMute, true);
    ASSERT_EQ(sliced.size(), whole.size());
    EXPECT_EQ(stages(sliced), wholeStages) << "slices of " << s[0] << " (" << s.size() << " sizes)";
    // In between, only the rounding of the curve positions differs.
    float worst = 0.0f;
    for (size_t i = 0; i < whole.size(); ++i) worst = std::max(worst, std::fabs(sliced[i] - whole[i]));
    EXPECT_LT(worst, 1e-4f) << "slices of " << s[0] << " (" << s.size() << " sizes)";
  }
  // Mute calls count the stages down the same way.
  const std::vector<float> wholeMute = renderSliced({1024}, EnvelopeGenerator::cReadParametersWhenMute, false);
  for (const std::vector<int>& s : slicings) {
    const std::vector<float> sliced = renderSliced(s, EnvelopeGenerator::cReadParametersWhenMute, false);
    EXPECT_EQ(sliced, wholeMute) << "slices of " << s[0];
  }
}

TEST(EnvelopeGeneratorTest, ResetSilencesAtOnce) {
  Rig r;
  r.times(0.0f, 0.01f, 0.01f, 0.7f, 1.0f);
  r.eg.start();
  r.render(2048);
  r.env.reset();
  EXPECT_TRUE(r.eg.isMute());
  EXPECT_EQ(r.eg.getLevel(), 0.0f);
  EXPECT_FALSE(r.eg.getGate());
  r.render(64);
  EXPECT_EQ(r.out.back(), 0.0f);
}

TEST(EnvelopeGeneratorTest, StyleCurvesShapeTheStages) {
  struct Square : FunctionTableFunction {
    double operator()(double x) const override { return x * x; }
  };
  const Square square;
  const EnvelopeGenerator::DefaultUpCurve up;
  const EnvelopeGenerator::DefaultDownCurve down;
  EnvelopeGenerator::Style style(square, down, up, down);
  Rig r(EnvelopeGenerator::cSkipParametersWhenMute, &style);
  EXPECT_EQ(r.eg.getStyle(), &style);
  r.times(0.0f, 0.1f, 0.1f, 0.5f, 0.1f);
  r.eg.start();
  r.render(4410);
  EXPECT_NEAR(r.out[2205], 0.25f, 1e-3f); // half way up a square curve
  style.setAttackCurve(up);
  Rig r2(EnvelopeGenerator::cSkipParametersWhenMute, &style);
  r2.times(0.0f, 0.1f, 0.1f, 0.5f, 0.1f);
  r2.eg.start();
  r2.render(4410);
  EXPECT_NEAR(r2.out[2205], 0.5f, 1e-3f);
}

TEST(EnvelopeGeneratorTest, RenderingAllocatesNothing) {
  Rig r;
  r.times(0.01f, 0.01f, 0.05f, 0.5f, 0.05f, 0.01f);
  r.out.reserve(1 << 16);
  zarn::test::AllocationCounter counter;
  r.eg.start();
  r.render(4096, 37);
  Rig::set(r.eg.sustainLevel, 0.7f);
  r.render(4096, 64);
  r.eg.finish();
  r.skip(2048);
  r.render(4096, 1024);
  EXPECT_EQ(counter.count(), 0);
}

// --- With a trigger --------------------------------------------------------

namespace {

// Outputs a prepared sequence of samples, block after block.
class Sequence : public Source {
public:
  Sequence(Environment* env, std::vector<float> v) : Source(env), values(std::move(v)) {}
  void produce(Block* block, int n, int) override {
    for (int i = 0; i < n; ++i) block->data[i] = next < values.size() ? values[next++] : 0.0f;
  }
  std::vector<float> values;
  size_t next = 0;
};

struct Counter {
  void changed(void*) { ++calls; }
  int calls = 0;
};

} // namespace

TEST(EnvelopeGeneratorTest, TriggerStartsAndFinishesInsideBlocksAtMultiplesOfFour) {
  Rig r;
  r.times(0.0f, 0.01f, 0.01f, 0.5f, 0.01f);
  std::vector<float> gate(8192, 0.0f);
  for (int i = 130; i < 3000; ++i) gate[i] = 1.0f; // on at 130, off after the hold
  Sequence seq(&r.env, gate);
  Trigger trigger(&r.env);
  trigger.setInput(&seq);
  r.eg.setTrigger(&trigger);
  Counter counter;
  r.eg.gateChanged = NotifyEvent::bind(&counter, &Counter::changed);
  r.render(16384, 256);
  EXPECT_EQ(r.out[127], 0.0f);
  EXPECT_EQ(r.out[128], 0.0f); // the first attack sample
  EXPECT_GT(r.out[129], 0.0f);
  const int offAt = 3000 + trigger.getHoldSamples(); // 15 ms below the release level
  const int released = r.find(1100, [](float v) { return v < 0.5f - 1e-6f; });
  EXPECT_EQ(released, (offAt & ~3) + 1); // the release starts at a multiple of 4
  EXPECT_EQ(r.out.back(), 0.0f);
  // Both gate changes fall within 0.1 s: they are reported once, when 0.1 s
  // have passed.
  EXPECT_EQ(counter.calls, 1);
  // A change long after the last report is reported at the end of its block.
  seq.values.assign(4096, 1.0f);
  seq.next = 0;
  r.render(256, 256);
  EXPECT_EQ(counter.calls, 2);
  EXPECT_TRUE(r.eg.getGate());
  seq.values.assign(1, 0.0f);
  seq.next = 0;
  r.render(1024, 256);
  EXPECT_FALSE(r.eg.getGate());
  EXPECT_EQ(counter.calls, 2); // pending until 0.1 s after the last report
  // A disabled trigger leaves the envelope to start and finish.
  trigger.enabled = 0;
  r.eg.start();
  r.render(1024);
  EXPECT_EQ(r.out.back(), 0.5f);
}
