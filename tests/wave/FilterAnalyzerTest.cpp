#include "wave/Environment.h"
#include "wave/FilterAnalyzer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kBlock = 480;

struct Rig {
  Rig() : env(kBlock), analyzer(&env), in(&env, 1), out(&env, 1) { env.setSampleRate(48000.0f); }
  // Filters n samples of the constant x; returns the last output.
  float run(float x, int n) {
    float last = 0.0f;
    while (n > 0) {
      const int m = n < kBlock ? n : kBlock;
      for (int i = 0; i < m; ++i) in.data[i] = x;
      analyzer.filter(&in, &out, m, 0);
      last = out.data[m - 1];
      n -= m;
    }
    return last;
  }
  wave::Environment env;
  FilterAnalyzer analyzer;
  wave::Block in;
  wave::Block out;
};

} // namespace

TEST(FilterAnalyzerTest, LevelAtOrAboveTheThresholdReadsOne) {
  Rig r;
  EXPECT_LT(r.run(0.01f, 1), 1.0f);
  EXPECT_EQ(r.run(0.01f, 48000), 1.0f);
  EXPECT_EQ(r.run(0.005f, 48000), 1.0f); // settles at the threshold itself
}

TEST(FilterAnalyzerTest, LevelBelowTheThresholdIsScaledByIt) {
  Rig r;
  EXPECT_NEAR(r.run(0.0025f, 48000), 0.5f, 1e-4);
  r.analyzer.threshold = 0.01f;
  EXPECT_NEAR(r.run(0.0025f, 48000), 0.25f, 1e-4);
}

TEST(FilterAnalyzerTest, FollowsWithItsTimeConstant) {
  // 20 ms at 48 kHz: after 960 samples a step has come 1 - 1/e of the way.
  Rig r;
  EXPECT_NEAR(r.run(0.004f, 960), (1.0f - std::exp(-1.0f)) * 0.8f, 2e-3);
  // The level carries from block to block; a reset clears it.
  Rig whole;
  whole.run(0.004f, 960);
  Rig split;
  split.run(0.004f, 300);
  split.run(0.004f, 660);
  EXPECT_FLOAT_EQ(split.analyzer.getLevel(), whole.analyzer.getLevel());
  split.env.reset();
  EXPECT_EQ(split.analyzer.getLevel(), 0.0f);
}

TEST(FilterAnalyzerTest, ShortTimeFollowsAtOnceAndMuteCallsDoNothing) {
  Rig r;
  r.analyzer.time = 0.0f;
  EXPECT_FLOAT_EQ(r.run(0.002f, 1), 0.4f);
  r.analyzer.time = 0.001f; // shorter than a sample
  EXPECT_FLOAT_EQ(r.run(0.003f, 1), 0.6f);
  const float level = r.analyzer.getLevel();
  r.analyzer.filter(&r.in, &r.out, 16, wave::cMuteCall);
  EXPECT_EQ(r.analyzer.getLevel(), level);
}
