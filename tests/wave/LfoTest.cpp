#include "tests/support/AllocationCounter.h"
#include "tests/support/LargestStep.h"
#include "wave/Environment.h"
#include "wave/FloatParameter.h"
#include "wave/ModulationGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

using namespace wave;

using zarn::test::largestStep;

namespace {

struct Rig {
  explicit Rig(float hz = 1.0f) : env(1024), lfo(&env) { setFrequency(hz); }

  void setFrequency(float hz) { lfo.frequency.getParameter().setInterpolated(hz, 0.0f); }

  void render(int n, int block = 512) {
    while (n > 0) {
      const int k = std::min(n, block);
      env.beginBlock();
      Block* b = lfo.pull(k);
      out.insert(out.end(), b->data, b->data + k);
      env.endBlock(k);
      n -= k;
    }
  }

  float min() const { return *std::min_element(out.begin(), out.end()); }
  float max() const { return *std::max_element(out.begin(), out.end()); }
  int argmax(int from, int to) const {
    return static_cast<int>(std::max_element(out.begin() + from, out.begin() + to) - out.begin());
  }

  // Runs of equal samples: (first index, value).
  std::vector<std::pair<int, float>> runs() const {
    std::vector<std::pair<int, float>> r;
    for (int i = 0; i < static_cast<int>(out.size()); ++i)
      if (r.empty() || out[i] != r.back().second) r.push_back({i, out[i]});
    return r;
  }

  Environment env;
  ModulationGenerator lfo;
  std::vector<float> out;
};

struct Counter {
  void changed(void*) { ++calls; }
  int calls = 0;
};

} // namespace

TEST(LfoTest, ValueTextsOfWaveFormAndPolarity) {
  EXPECT_STREQ(ModulationGenerator::cWaveFormNames, "Triangle,Square,Sine,TriangleRandom,SampleHold");
  EXPECT_STREQ(ModulationGenerator::cPolarityNames, "Bi-polar,Mono-polar");
  EXPECT_EQ(ModulationGenerator::cSampleHold, 4);
  EXPECT_EQ(ModulationGenerator::cMonoPolar, 1);
}

TEST(LfoTest, BipolarTriangleAtOneHertzRunsFromMinusOneToOneAndBack) {
  Rig r(1.0f);
  r.render(3 * 44100);
  EXPECT_EQ(r.out[0], -1.0f);
  EXPECT_NEAR(r.out[22050], 1.0f, 1e-4f);
  EXPECT_NEAR(r.out[44100], -1.0f, 1e-4f);
  EXPECT_GE(r.min(), -1.0f);
  EXPECT_LE(r.max(), 1.0f);
  for (int c = 0; c < 3; ++c) {
    const int base = c * 44100;
    EXPECT_NEAR(r.argmax(base, base + 44100), base + 22050, 1) << c;
    for (int i = base + 1; i < base + 22050; ++i) ASSERT_GT(r.out[i], r.out[i - 1]) << i;
    for (int i = base + 22052; i < base + 44099; ++i) ASSERT_LT(r.out[i], r.out[i - 1]) << i;
    EXPECT_NEAR(r.out[base + 11025], 0.0f, 1e-4f);
  }
}

TEST(LfoTest, BalanceSetsTheShareOfTheRisingHalf) {
  Rig r(1.0f);
  r.lfo.balance = 0.25f;
  r.render(2 * 44100);
  EXPECT_NEAR(r.argmax(0, 44100), 11025, 1);
  EXPECT_NEAR(r.argmax(44100, 88200), 44100 + 11025, 1);
  // The falling half takes the other three quarters.
  EXPECT_NEAR(r.out[11025 + 33075 / 2], 0.0f, 1e-3f);
  EXPECT_NEAR(r.out[44100], -1.0f, 1e-3f);
}

TEST(LfoTest, BalanceAtAnEndTurnsTheTriangleIntoARamp) {
  Rig rising(1.0f);
  rising.lfo.balance = 1.0f;
  rising.render(2 * 44100 + 100);
  EXPECT_EQ(rising.out[0], -1.0f);
  for (int i = 1; i < 44099; ++i) ASSERT_GT(rising.out[i], rising.out[i - 1]) << i;
  EXPECT_NEAR(rising.out[44099], 1.0f, 1e-3f);
  EXPECT_NEAR(rising.out[44100], -1.0f, 1e-3f);
  EXPECT_NEAR(rising.out[88200], -1.0f, 1e-3f);

  Rig falling(1.0f);
  falling.lfo.balance = 0.0f;
  falling.render(2 * 44100 + 100);
  EXPECT_EQ(falling.out[0], 1.0f);
  for (int i = 1; i < 44099; ++i) ASSERT_LT(falling.out[i], falling.out[i - 1]) << i;
  EXPECT_NEAR(falling.out[44100], 1.0f, 1e-3f);
  EXPECT_NEAR(falling.out[88200], 1.0f, 1e-3f);
  EXPECT_GE(falling.min(), -1.0f);
}

TEST(LfoTest, SquareIsZeroThenOneInEitherPolarity) {
  for (auto polarity : {ModulationGenerator::cBiPolar, ModulationGenerator::cMonoPolar}) {
    Rig r(2.0f);
    r.lfo.waveForm = ModulationGenerator::cSquare;
    r.lfo.polarity = polarity;
    r.render(44100);
    auto runs = r.runs();
    ASSERT_EQ(runs.size(), 4u) << polarity;
    for (size_t k = 0; k < runs.size(); ++k) {
      EXPECT_EQ(runs[k].second, k % 2 ? 1.0f : 0.0f);
      EXPECT_NEAR(runs[k].first, static_cast<int>(k) * 11025, 1);
    }
  }
}

TEST(LfoTest, SineFollowsTheNegativeCosineInEitherPolarity) {
  Rig bi(1.0f);
  bi.lfo.waveForm = ModulationGenerator::cSine;
  bi.render(44100);
  for (int i = 0; i < 44100; i += 97)
    ASSERT_NEAR(bi.out[i], -std::cos(2.0 * M_PI * i / 44100.0), 1e-4) << i;
  Rig mono(1.0f);
  mono.lfo.waveForm = ModulationGenerator::cSine;
  mono.lfo.polarity = ModulationGenerator::cMonoPolar;
  mono.render(44100);
  for (int i = 0; i < 44100; i += 97)
    ASSERT_NEAR(mono.out[i], 0.5 - 0.5 * std::cos(2.0 * M_PI * i / 44100.0), 1e-4) << i;
}

TEST(LfoTest, MonoPolarTriangleRunsFromZeroToOne) {
  Rig r(1.0f);
  r.lfo.polarity = ModulationGenerator::cMonoPolar;
  r.render(44100 + 10);
  EXPECT_EQ(r.out[0], 0.0f);
  EXPECT_NEAR(r.out[22050], 1.0f, 1e-4f);
  EXPECT_NEAR(r.out[44100], 0.0f, 1e-4f);
  EXPECT_GE(r.min(), 0.0f);
  EXPECT_LE(r.max(), 1.0f);
}

TEST(LfoTest, ResetDuringTheSecondHalfRestartsAtTheFirstHalfMinimum) {
  Rig r(1.0f);
  r.render(30720);
  ASSERT_TRUE(r.lfo.isSecondHalf());
  r.lfo.reset();
  EXPECT_EQ(r.lfo.getPhase(), 0.0);
  EXPECT_FALSE(r.lfo.isSecondHalf());
  r.render(44100);
  EXPECT_EQ(r.out[30720], -1.0f);
  EXPECT_GT(r.out[30721], -1.0f);
  EXPECT_NEAR(r.out[30720 + 22050], 1.0f, 1e-4f);
  EXPECT_GE(r.min(), -1.0f);
  EXPECT_LE(r.max(), 1.0f);
}

namespace {

// Two generators of one setting, run to the same point.
struct Twins {
  Twins(ModulationGenerator::WaveForm form, ModulationGenerator::Polarity polarity, float hz) : a(hz), b(hz) {
    for (Rig* r : {&a, &b}) {
      r->lfo.waveForm = form;
      r->lfo.polarity = polarity;
    }
  }
  void render(int n, int block = 64) {
    a.render(n, block);
    b.render(n, block);
  }
  Rig a, b;
};

} // namespace

// A retrigger (a restart under sounding notes) leaves the value the output
// gave last and reaches the restarted wave, which a reset jumps to, within
// cRetriggerSeconds: a raised cosine over L samples moves at most pi / 2L
// of the way per sample, so no step exceeds the wave's own steepest one
// plus that share of the jump; from then on both play the same samples.
TEST(LfoTest, ARetriggerRampsFromTheLastValueToTheRestartedWave) {
  const int ramp = static_cast<int>(ModulationGenerator::cRetriggerSeconds * 44100.0f);
  ASSERT_GT(ramp, 100); // a few milliseconds
  struct Case {
    ModulationGenerator::WaveForm form;
    ModulationGenerator::Polarity polarity;
  };
  for (const Case c : {Case{ModulationGenerator::cSine, ModulationGenerator::cMonoPolar},
                       Case{ModulationGenerator::cTriangle, ModulationGenerator::cBiPolar},
                       Case{ModulationGenerator::cSquare, ModulationGenerator::cMonoPolar}}) {
    SCOPED_TRACE(testing::Message() << "wave form " << c.form << ", polarity " << c.polarity);
    Twins t(c.form, c.polarity, 3.0f);
    // 0.2 s: 0.6 of a cycle, far from the restart value.
    t.render(8820);
    const size_t at = t.a.out.size();
    const float last = t.a.out.back();
    t.a.lfo.retrigger();
    t.b.lfo.reset();
    EXPECT_EQ(t.a.lfo.getPhase(), 0.0);
    t.render(4 * ramp);
    const std::vector<float>& x = t.a.out;
    const std::vector<float>& y = t.b.out;
    const double jump = std::fabs(double{y[at]} - last);
    const double own = largestStep(y, at + 1, y.size());
    ASSERT_GT(jump, 0.5); // a step worth hiding
    EXPECT_LE(largestStep(x, at, at + ramp + 1), own + jump * 3.14159265358979 / (2.0 * ramp) + 1e-6);
    // The offset only shrinks, and is gone at the end of the ramp.
    for (size_t i = at + 1; i < at + ramp; ++i)
      ASSERT_LE(std::fabs(double{x[i]} - y[i]), std::fabs(double{x[i - 1]} - y[i - 1]) + 1e-6) << i - at;
    for (size_t i = at + ramp; i < x.size(); ++i) ASSERT_EQ(x[i], y[i]) << i - at;
  }
}

// Without a value given yet there is nothing to ramp from, and a reset
// always jumps, also in the middle of a ramp. Two retriggers at the same
// moment ramp from the value before the first; one during a ramp ramps
// from where the output stands.
TEST(LfoTest, RetriggersAndResetsAtTheEdgesOfARamp) {
  {
    Twins t(ModulationGenerator::cSine, ModulationGenerator::cMonoPolar, 3.0f);
    t.a.lfo.retrigger();
    t.b.lfo.reset();
    t.render(1000);
    EXPECT_EQ(t.a.out, t.b.out);
  }
  {
    Twins t(ModulationGenerator::cSine, ModulationGenerator::cMonoPolar, 3.0f);
    t.render(8820);
    t.a.lfo.retrigger();
    t.a.render(64);
    t.a.lfo.reset();
    t.b.render(64);
    t.b.lfo.reset();
    t.render(1000);
    EXPECT_TRUE(std::equal(t.a.out.end() - 1000, t.a.out.end(), t.b.out.end() - 1000));
  }
  {
    Twins t(ModulationGenerator::cTriangle, ModulationGenerator::cBiPolar, 3.0f);
    t.render(8820);
    t.a.lfo.retrigger();
    t.a.lfo.retrigger();
    t.b.lfo.retrigger();
    t.render(1000);
    EXPECT_EQ(t.a.out, t.b.out);
  }
  {
    // 0.6 of a cycle on, the triangle stands near 0.6 and restarts at -1.
    Rig r(3.0f);
    r.render(8820, 64);
    r.lfo.retrigger();
    r.render(100, 64);
    // A second of the way down the ramp the output stands well away from
    // either wave; the next retrigger ramps on from there.
    const size_t at = r.out.size();
    r.lfo.retrigger();
    r.render(1000, 64);
    const int ramp = static_cast<int>(ModulationGenerator::cRetriggerSeconds * 44100.0f);
    const double own = largestStep(r.out, at + ramp, r.out.size());
    EXPECT_LE(largestStep(r.out, at, at + 2), own + 2.0 * 3.14159265358979 / (2.0 * ramp) + 1e-6);
    // Then the restarted triangle: -1 rising by 2 per half cycle.
    for (size_t k = ramp; k < 1000; k += 50) EXPECT_NEAR(r.out[at + k], -1.0 + 4.0 * 3.0 * k / 44100.0, 1e-4) << k;
  }
}

TEST(LfoTest, SampleAndHoldStepsDifferByAtLeastATenthOfTheRangeTwice) {
  for (auto polarity : {ModulationGenerator::cBiPolar, ModulationGenerator::cMonoPolar}) {
    Rig r(10.0f);
    r.lfo.waveForm = ModulationGenerator::cSampleHold;
    r.lfo.polarity = polarity;
    r.render(20 * 44100);
    auto runs = r.runs();
    ASSERT_NEAR(runs.size(), 400u, 2u) << polarity; // two steps per cycle
    for (size_t k = 1; k < runs.size(); ++k) {
      EXPECT_GE(std::fabs(runs[k].second - runs[k - 1].second), 0.2f - 1e-6f) << k;
      if (k + 1 < runs.size()) {
        EXPECT_NEAR(runs[k + 1].first - runs[k].first, 2205, 1) << k;
      }
    }
    const float low = polarity == ModulationGenerator::cBiPolar ? -1.0f : 0.0f;
    EXPECT_GE(r.min(), low);
    EXPECT_LE(r.max(), 1.0f);
    // The steps reach across the whole range: a uniform draw puts 15 % of
    // them in each outer 15 % of it, the rule that keeps steps audible
    // pulls some of those inwards (8-14 % here), a range a fifth short
    // leaves half as many or fewer.
    const float edge = 0.15f * (1.0f - low);
    int bottom = 0, top = 0;
    for (const auto& run : runs) {
      bottom += run.second < low + edge;
      top += run.second > 1.0f - edge;
    }
    EXPECT_GE(bottom, 20) << polarity;
    EXPECT_GE(top, 20) << polarity;
  }
}

TEST(LfoTest, RandomTriangleRampsBetweenRandomValuesWithoutJumps) {
  Rig bi(5.0f);
  bi.lfo.waveForm = ModulationGenerator::cTriangleRandom;
  bi.render(10 * 44100);
  EXPECT_GE(bi.min(), -1.0f - 1e-5f);
  EXPECT_LE(bi.max(), 1.0f + 1e-5f);
  // Within a half the slope is at most 2 per half (4410 samples).
  for (size_t i = 1; i < bi.out.size(); ++i) ASSERT_LE(std::fabs(bi.out[i] - bi.out[i - 1]), 2.0f / 4410 + 1e-5f) << i;
  // Turning points lie in [-0.8, 1.0] after a first half, [-1.0, 0.8] after a second.
  for (int c = 1; c < 49; ++c) {
    const float top = bi.out[c * 8820 + 4410], bottom = bi.out[c * 8820];
    EXPECT_GE(top, -0.8f - 1e-3f);
    EXPECT_LE(bottom, 0.8f + 1e-3f);
  }
  EXPECT_GT(bi.max() - bi.min(), 1.0f); // random, not flat

  Rig mono(5.0f);
  mono.lfo.waveForm = ModulationGenerator::cTriangleRandom;
  mono.lfo.polarity = ModulationGenerator::cMonoPolar;
  mono.render(10 * 44100);
  EXPECT_GE(mono.min(), 0.0f - 1e-5f);
  EXPECT_LE(mono.max(), 1.0f + 1e-5f);
  for (int c = 2; c < 49; ++c) {
    EXPECT_NEAR(mono.out[c * 8820], 0.0f, 1e-3f);       // back to 0 every cycle
    EXPECT_GE(mono.out[c * 8820 + 4410], 0.1f - 1e-3f); // peaks in [0.1, 1]
  }
}

TEST(LfoTest, IndicatorShowsTheSecondHalfOnlyForHalvesLongerThanASixteenthSecond) {
  Rig slow(1.0f);
  Counter n;
  slow.lfo.indicatorChanged = NotifyEvent::bind(&n, &Counter::changed);
  slow.render(22016);
  EXPECT_EQ(slow.lfo.getIndicator(), 0);
  slow.render(512);
  EXPECT_EQ(slow.lfo.getIndicator(), 1);
  slow.render(22528);
  EXPECT_EQ(slow.lfo.getIndicator(), 0);
  EXPECT_EQ(n.calls, 2);

  Rig fast(10.0f); // halves of 0.05 s
  Counter m;
  fast.lfo.indicatorChanged = NotifyEvent::bind(&m, &Counter::changed);
  fast.render(44100);
  EXPECT_EQ(fast.lfo.getIndicator(), 0);
  EXPECT_EQ(m.calls, 0);
}

TEST(LfoTest, OneBarSyncAtOneHundredTwentyBeatsPerMinuteRunsAtHalfAHertz) {
  Rig r(3.0f);
  r.lfo.sync(120.0f, 0.0f, 1.0f);
  EXPECT_FLOAT_EQ(r.lfo.frequency.getParameter().getTarget(), 0.5f);
  EXPECT_EQ(r.lfo.getPhase(), 0.0);
  r.render(44100); // the frequency glides over
  // The same position again: the frequency only.
  const double phase = r.lfo.getPhase();
  r.lfo.sync(120.0f, 0.0f, 1.0f);
  EXPECT_EQ(r.lfo.getPhase(), phase);
  r.out.clear();
  r.render(5 * 44100);
  // Minima of the triangle, one cycle apart.
  std::vector<int> minima;
  for (int i = 1; i + 1 < static_cast<int>(r.out.size()); ++i)
    if (r.out[i] < r.out[i - 1] && r.out[i] <= r.out[i + 1]) minima.push_back(i);
  ASSERT_GE(minima.size(), 2u);
  for (size_t k = 1; k < minima.size(); ++k) EXPECT_NEAR(minima[k] - minima[k - 1], 88200, 1);
}

TEST(LfoTest, SyncSetsThePhaseFromTheSongPosition) {
  Rig r;
  r.lfo.sync(120.0f, 2.0f, 1.0f); // half a bar in
  EXPECT_DOUBLE_EQ(r.lfo.getPhase(), 0.5);
  EXPECT_TRUE(r.lfo.isSecondHalf());
  EXPECT_EQ(r.lfo.getWaveLevel(), 1.0f); // the second half's level at once
  r.lfo.sync(120.0f, 9.0f, 2.0f); // two-bar cycle: 9 beats = 1.125 cycles
  EXPECT_DOUBLE_EQ(r.lfo.getPhase(), 0.125);
  EXPECT_FALSE(r.lfo.isSecondHalf());
  EXPECT_EQ(r.lfo.getWaveLevel(), -1.0f);
  // With balance 0.25 the first quarter of the cycle is the first half.
  r.lfo.balance = 0.25f;
  r.lfo.sync(120.0f, 0.5f, 1.0f); // x = 0.125
  EXPECT_DOUBLE_EQ(r.lfo.getPhase(), 0.25);
  EXPECT_FALSE(r.lfo.isSecondHalf());
  r.lfo.sync(120.0f, 2.5f, 1.0f); // x = 0.625
  EXPECT_DOUBLE_EQ(r.lfo.getPhase(), 0.5 + 0.375 / 0.75 * 0.5);
  // A reset makes the last position the start of the cycle.
  r.lfo.reset();
  r.lfo.sync(120.0f, 3.0f, 1.0f); // x = 0.125 from the reset
  EXPECT_DOUBLE_EQ(r.lfo.getPhase(), 0.125 / 0.25 * 0.5);
  r.lfo.resetSyncPositionOffset();
  r.lfo.sync(120.0f, 4.0f, 1.0f);
  EXPECT_DOUBLE_EQ(r.lfo.getPhase(), 0.0);
}

TEST(LfoTest, SyncedOncePerHostBufferTheOutputFollowsTheHost) {
  Rig r;
  for (int buffer = 0; buffer < 400; ++buffer) {
    const float position = static_cast<float>(buffer * 512 / 44100.0 * 2.0); // beats
    r.lfo.sync(120.0f, position, 1.0f);
    r.render(512);
    const double x = std::fmod(position / 4.0, 1.0);
    const double expected = x < 0.5 ? -1.0 + 4.0 * x : 1.0 - 4.0 * (x - 0.5);
    ASSERT_NEAR(r.out[buffer * 512], expected, 2e-4) << buffer;
  }
}

TEST(LfoTest, GeneratorThatNobodyPullsRunsOn) {
  // Every wave form: the random ones start each half from the last value
  // of the one before, which mute calls must keep too. Equal seeds for the
  // twins come from the same start of rand().
  for (int form = ModulationGenerator::cTriangle; form <= ModulationGenerator::cSampleHold; ++form)
    for (int polarity : {ModulationGenerator::cBiPolar, ModulationGenerator::cMonoPolar}) {
      std::srand(7);
      Rig pulled(3.0f);
      std::srand(7);
      Rig skipped(3.0f);
      // Nobody reads its mute calls' blocks: they need not be written.
      skipped.lfo.writeOnMuteCalls = false;
      for (Rig* r : {&pulled, &skipped}) {
        r->lfo.waveForm = static_cast<ModulationGenerator::WaveForm>(form);
        r->lfo.polarity = static_cast<ModulationGenerator::Polarity>(polarity);
        r->lfo.balance = 0.3f;
      }
      int lit = 0;
      for (int b = 0; b < 200; ++b) {
        // A change of form or polarity after unread blocks starts from the
        // last value they reached (a sine's included).
        for (Rig* r : {&pulled, &skipped}) {
          if (b == 101) r->lfo.waveForm = static_cast<ModulationGenerator::WaveForm>((form + 2) % 5);
          if (b == 152) r->lfo.polarity = static_cast<ModulationGenerator::Polarity>(1 - polarity);
        }
        pulled.env.beginBlock();
        Block* p = pulled.lfo.pull(256);
        pulled.env.endBlock(256);
        skipped.env.beginBlock();
        if (b % 3 == 0) {
          Block* s = skipped.lfo.pull(256);
          for (int i = 0; i < 256; ++i) ASSERT_EQ(s->data[i], p->data[i]) << form << " " << polarity << " " << b;
        }
        skipped.env.endBlock(256); // mute call when not pulled
        // The editor's light moves the same.
        ASSERT_EQ(skipped.lfo.getIndicator(), pulled.lfo.getIndicator()) << form << " " << b;
        lit += skipped.lfo.getIndicator();
      }
      EXPECT_GT(lit, 0);
      EXPECT_LT(lit, 200);
      EXPECT_EQ(skipped.lfo.getPhase(), pulled.lfo.getPhase());
      EXPECT_EQ(skipped.lfo.getPrevious(), pulled.lfo.getPrevious());
    }
}

// An LFO whose frequency another LFO drives, neither pulled: at the end of
// a block the driving one has its mute call first, and the driven one reads
// that block on its own. Its block must hold what a pulled one would.
TEST(LfoTest, AnLfoDrivenByAnotherThatNobodyPullsRunsOnAsIfPulled) {
  struct Pair {
    Environment env{1024};
    ModulationGenerator driven{&env}, driver{&env};
    Pair() {
      driven.frequency.getParameter().setInterpolated(2.0f, 0.0f);
      driver.frequency.getParameter().setInterpolated(0.7f, 0.0f);
      driver.waveForm = ModulationGenerator::cSine;
      driver.polarity = ModulationGenerator::cMonoPolar;
      driven.frequency.setController(&driver);
    }
  };
  Pair pulled, skipped;
  for (int b = 0; b < 400; ++b) {
    pulled.env.beginBlock();
    pulled.driven.pull(256);
    pulled.env.endBlock(256);
    skipped.env.beginBlock();
    if (b % 3 == 0) skipped.driven.pull(256);
    skipped.env.endBlock(256);
  }
  EXPECT_EQ(skipped.driven.getPhase(), pulled.driven.getPhase());
  EXPECT_EQ(skipped.driver.getPhase(), pulled.driver.getPhase());
}

TEST(LfoTest, WaveFormAndPolarityChangesStayInRange) {
  Rig r(4.0f);
  r.lfo.waveForm = ModulationGenerator::cTriangleRandom;
  r.render(10000);
  r.lfo.polarity = ModulationGenerator::cMonoPolar;
  EXPECT_GE(r.lfo.getPrevious(), 0.0f);
  EXPECT_GE(r.lfo.getWaveLevel(), 0.0f);
  const size_t from = r.out.size();
  r.render(44100);
  for (size_t i = from + 11025; i < r.out.size(); ++i) ASSERT_GE(r.out[i], -1e-5f) << i;
  r.lfo.waveForm = ModulationGenerator::cSine;
  EXPECT_EQ(r.lfo.getWaveLevel(), 0.5f);
  EXPECT_EQ(r.lfo.getWaveRange(), 0.5f);
}

TEST(LfoTest, AnyFrequencySignalKeepsTheRenderingBounded) {
  // A modulation signal may deliver frequencies far beyond the parameter's
  // limits, or none at all; the phase carrying must neither hang nor leave
  // the wave's range.
  for (float f : {INFINITY, 1.0e30f, 30000.0f, -5.0f, NAN}) {
    Rig r;
    FloatParameterSource source(&r.env, f);
    r.lfo.frequency.setController(&source);
    r.lfo.balance = 0.3f;
    r.render(4096);
    for (float v : r.out) ASSERT_TRUE(v >= -1.0f && v <= 1.0f) << f << " " << v;
  }
}

TEST(LfoTest, RenderingAllocatesNothing) {
  Rig r(7.0f);
  r.out.reserve(1 << 17);
  zarn::test::AllocationCounter counter;
  for (auto w : {ModulationGenerator::cTriangle, ModulationGenerator::cSquare, ModulationGenerator::cSine,
                 ModulationGenerator::cTriangleRandom, ModulationGenerator::cSampleHold}) {
    r.lfo.waveForm = w;
    r.render(8192, 333);
    r.lfo.sync(100.0f, static_cast<float>(w), 0.5f);
    r.lfo.reset();
  }
  EXPECT_EQ(counter.count(), 0);
}

// Nobody listening, the phase may run on in bigger strides than a sample,
// but it must land on exactly the value that stepping sample by sample
// gives, or the wave heard after the next key differs: at any rate, balance
// and slice size, and at a rate that lands halfway between two doubles.
TEST(LfoTest, UnheardPhaseRunsOnExactlyAsAHeardOne) {
  std::srand(11);
  std::vector<float> rates = {0.001f, 0.0173f, 0.1f, 0.37f, 1.0f, 3.0f, 17.3f, 100.0f, 999.0f, 22050.0f};
  for (int k = 0; k < 6; ++k) rates.push_back(0.001f + 20.0f * static_cast<float>(std::rand()) / RAND_MAX);
  for (float hz : rates)
    for (float balance : {0.0f, 0.01f, 0.3f, 0.5f, 0.97f, 1.0f})
      for (int slice : {32, 5, 512}) {
        Rig heard(hz);
        Rig unheard(hz);
        unheard.lfo.writeOnMuteCalls = false;
        heard.lfo.balance = unheard.lfo.balance = balance;
        for (int b = 0; b < 300; ++b) {
          heard.env.beginBlock();
          heard.lfo.pull(slice);
          heard.env.endBlock(slice);
          unheard.env.beginBlock();
          unheard.env.endBlock(slice);
          ASSERT_EQ(unheard.lfo.getPhase(), heard.lfo.getPhase()) << hz << " " << balance << " " << slice << " " << b;
          ASSERT_EQ(unheard.lfo.isSecondHalf(), heard.lfo.isSecondHalf());
        }
      }
}
