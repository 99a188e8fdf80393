#include "wave/FunctionTable.h"

#include "base/Spline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct Identity : FunctionTableFunction {
  double operator()(double x) const override { return x; }
};

struct Sine : FunctionTableFunction {
  double operator()(double x) const override { return std::sin(x); }
};

// Counts its evaluations and records the last argument.
struct Recorder : FunctionTableFunction {
  mutable int calls = 0;
  mutable double lastArgument = 0.0;
  double operator()(double x) const override {
    ++calls;
    lastArgument = x;
    return x;
  }
};

TEST(FunctionTableTest, EmptyUntilInitialized) {
  FunctionTable<float> t;
  EXPECT_EQ(0, t.getPoints());
  EXPECT_EQ(0, t.getValueCount());
  EXPECT_EQ(0.0f, t.getScale());
  EXPECT_EQ(0.0, t.getOffset());
  EXPECT_EQ(0.0f, readFunctionTable(t, 0.5f));
}

TEST(FunctionTableTest, PointsAreAPowerOfTwoWithAGuardEntry) {
  const Identity f;
  FunctionTable<float> t;
  const struct {
    int requested, points;
  } cases[] = {{4096, 4096}, {4097, 8192}, {4906, 8192}, {5, 8}, {3, 4}, {2, 2}, {1, 2}, {0, 2}, {-7, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.requested);
    t.initialize(c.requested, f, 0.0f, 1.0f);
    EXPECT_EQ(c.points, t.getPoints());
    EXPECT_EQ(static_cast<uint32_t>(c.points - 1), t.getMask());
    ASSERT_EQ(c.points + 1, t.getValueCount());
    EXPECT_EQ(t.getValues()[c.points - 1], t.getValues()[c.points]);
    EXPECT_EQ(1.0f, t.getValues()[c.points]);
    EXPECT_EQ(0.0f, t.getValues()[0]);
  }
}

TEST(FunctionTableTest, IdentityOverTheUnitInterval) {
  const Identity f;
  FunctionTable<float> t;
  t.initialize(5, f, 0.0f, 1.0f);
  ASSERT_EQ(8, t.getPoints());
  for (int i = 0; i < 7; ++i) EXPECT_NEAR(i / 7.0, t.getValues()[i], 1e-7) << i;
  EXPECT_EQ(1.0f, t.getValues()[7]);
  EXPECT_EQ(1.0f, t.getValues()[8]);
  EXPECT_FLOAT_EQ(7.0f, t.getScale());
  EXPECT_EQ(0.0f, t.getMinArgument());
  EXPECT_EQ(1.0f, t.getMaxArgument());
  EXPECT_NEAR(0.5f, readFunctionTable(t, 0.5f), 1e-6);
  EXPECT_NEAR(0.3f, readFunctionTable(t, 0.3f), 1e-6);
  EXPECT_FLOAT_EQ(1.0f, readFunctionTable(t, 1.0f));
}

TEST(FunctionTableTest, ReversedBoundsBuildTheSameTable) {
  const Sine f;
  FunctionTable<float> ab, ba;
  ab.initialize(100, f, -1.0f, 2.5f);
  ba.initialize(100, f, 2.5f, -1.0f);
  EXPECT_EQ(-1.0f, ba.getMinArgument());
  EXPECT_EQ(2.5f, ba.getMaxArgument());
  EXPECT_EQ(ab.getScale(), ba.getScale());
  EXPECT_EQ(ab.getOffset(), ba.getOffset());
  EXPECT_EQ(ab.getIntOffset(), ba.getIntOffset());
  EXPECT_EQ(ab.getFracOffset(), ba.getFracOffset());
  ASSERT_EQ(ab.getValueCount(), ba.getValueCount());
  for (int i = 0; i < ab.getValueCount(); ++i) EXPECT_EQ(ab.getValues()[i], ba.getValues()[i]) << i;
}

TEST(FunctionTableTest, OffsetSplitsIntoIntegerAndSignedFraction) {
  const Identity f;
  FunctionTable<float> t;
  t.initialize(8192, f, -30.0f, 20.0f);
  EXPECT_NEAR(-4914.6, t.getOffset(), 1e-9);
  EXPECT_EQ(-4914, t.getIntOffset());
  EXPECT_NEAR(-0.6f, t.getFracOffset(), 1e-6);
  // An argument maps to index x x scale - offset: the minimum to 0, the
  // maximum to the last point.
  EXPECT_NEAR(0.0, -30.0 * t.getScale() - t.getOffset(), 1e-3);
  EXPECT_NEAR(8191.0, 20.0 * t.getScale() - t.getOffset(), 1e-3);
}

TEST(FunctionTableTest, LastPointIsEvaluatedAtTheExactEnd) {
  Recorder f;
  FunctionTable<float> t;
  t.initialize(4096, f, 0.0f, 0.1f);
  // N - 1 running-sum arguments and one at the end.
  EXPECT_EQ(4096, f.calls);
  EXPECT_EQ(static_cast<double>(0.1f), f.lastArgument);
  EXPECT_EQ(0.1f, t.getValues()[4095]);
  EXPECT_EQ(0.1f, t.getValues()[4096]);
}

TEST(FunctionTableTest, ReinitializeResizes) {
  const Identity f;
  FunctionTable<float> t;
  t.initialize(1024, f, 0.0f, 1.0f);
  t.initialize(16, f, 2.0f, 4.0f);
  EXPECT_EQ(16, t.getPoints());
  EXPECT_EQ(17, t.getValueCount());
  EXPECT_EQ(2.0f, t.getValues()[0]);
  EXPECT_EQ(4.0f, t.getValues()[16]);
  EXPECT_NEAR(3.0f, readFunctionTable(t, 3.0f), 1e-5);
}

TEST(FunctionTableTest, InterpolatedReadsFollowTheFunction) {
  const Sine f;
  FunctionTable<float> t;
  t.initialize(1024, f, -3.0f, 3.0f);
  // Linear interpolation error is at most h^2 / 8 x max|f''|, h = 6 / 1023.
  for (int i = 0; i <= 600; ++i) {
    const float x = -3.0f + i * 0.01f;
    EXPECT_NEAR(std::sin(x), readFunctionTable(t, x), 1e-5) << x;
  }
}

TEST(FunctionTableTest, TabulatesASpline) {
  const Spline s(0.0, 0.0, 0.2, 0.8, 0.6, 1.0, 1.0, 1.0, 0.0001);
  FunctionTable<float> t;
  t.initialize(512, s, 0.0f, 1.0f);
  for (float x : {0.0f, 0.1f, 0.37f, 0.5f, 0.9f, 1.0f}) EXPECT_NEAR(s(x), readFunctionTable(t, x), 2e-4) << x;
}

// The tables read this way are not periodic: a masked wrap would read the far
// end (a cut-off below the frequency table would give the highest
// coefficient). Outside the interval the nearer end's value is held.
TEST(FunctionTableTest, ReadsOutsideTheIntervalHoldTheEndValues) {
  const Identity f;
  FunctionTable<float> t;
  t.initialize(8192, f, -30.0f, 20.0f);
  EXPECT_EQ(-30.0f, readFunctionTable(t, -31.0f));
  EXPECT_EQ(-30.0f, readFunctionTable(t, -1e30f));
  EXPECT_EQ(-30.0f, readFunctionTable(t, -std::numeric_limits<float>::infinity()));
  EXPECT_EQ(20.0f, readFunctionTable(t, 21.0f));
  EXPECT_EQ(20.0f, readFunctionTable(t, 1e30f));
  EXPECT_EQ(-30.0f, readFunctionTable(t, std::numeric_limits<float>::quiet_NaN()));
  EXPECT_NEAR(-12.5f, readFunctionTable(t, -12.5f), 1e-3);
}

TEST(FunctionTableTest, EmptyIntervalIsHarmless) {
  const Identity f;
  FunctionTable<float> t;
  t.initialize(16, f, 1.0f, 1.0f);
  EXPECT_EQ(0.0f, t.getScale());
  EXPECT_FALSE(std::isfinite(t.getOffset()));
  EXPECT_EQ(0, t.getIntOffset());
  EXPECT_EQ(1.0f, t.getValues()[0]);
  EXPECT_EQ(1.0f, t.getValues()[16]);
  // What a read gives is not fixed, but it stays inside the table (whose
  // entries are all f(1)).
  EXPECT_EQ(1.0f, readFunctionTable(t, 1.0f));
  EXPECT_EQ(1.0f, readFunctionTable(t, -5.0f));
}

} // namespace
