#include "wave/TableKernels.h"

#include "wave/FunctionTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>
#include <xmmintrin.h>

namespace {

uint32_t bits(float x) {
  uint32_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

float guardValue() {
  const uint32_t b = 0x7fa5a5a5u;
  float x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}

int roundUp4(int n) { return n <= 0 ? 0 : (n + 3) / 4 * 4; }

// --- playing a stretch of a table -----------------------------------------

const float kRamp[] = {0.0f, 1.0f, 2.0f, 3.0f, 4.0f};

TEST(TableKernelsTest, ConvertRangePlaysToTheEndAndHolds) {
  float out[8];
  float position = 1.5f;
  EXPECT_TRUE(vectorConvertRangeCpp(kRamp, 0.0f, 1.0f, 4, position, 0.5f, out, 8, 0.0f, 1.0f));
  const float expected[8] = {1.5f, 2.0f, 2.5f, 3.0f, 3.5f, 4.0f, 4.0f, 4.0f};
  for (int k = 0; k < 8; ++k) EXPECT_EQ(expected[k], out[k]) << k;
  EXPECT_EQ(4.0f, position);

  position = 1.5f;
  EXPECT_FALSE(vectorConvertRangeCpp(kRamp, 0.0f, 1.0f, 4, position, 0.5f, out, 2, 0.0f, 1.0f));
  EXPECT_EQ(1.5f, out[0]);
  EXPECT_EQ(2.0f, out[1]);
  EXPECT_EQ(2.5f, position);

  // Carrying on from there continues the stretch.
  EXPECT_FALSE(vectorConvertRangeCpp(kRamp, 0.0f, 1.0f, 4, position, 0.5f, out, 2, 0.0f, 1.0f));
  EXPECT_EQ(2.5f, out[0]);
  EXPECT_EQ(3.0f, out[1]);
  EXPECT_EQ(3.5f, position);
}

TEST(TableKernelsTest, ConvertRangeWithoutSamplesOnlyClampsThePosition) {
  float position = 2.25f;
  EXPECT_FALSE(vectorConvertRangeCpp(kRamp, 0.0f, 1.0f, 4, position, 0.5f, nullptr, 0, 0.0f, 1.0f));
  EXPECT_EQ(2.25f, position);

  position = 9.0f;
  EXPECT_TRUE(vectorConvertRangeCpp(kRamp, 0.0f, 1.0f, 4, position, 0.5f, nullptr, 0, 0.0f, 1.0f));
  EXPECT_EQ(4.0f, position);

  // start 10, 2 entries per unit: the table's end is at argument 12.
  position = 13.0f;
  EXPECT_TRUE(vectorConvertRangeCpp(kRamp, 10.0f, 2.0f, 4, position, 0.5f, nullptr, -3, 0.0f, 1.0f));
  EXPECT_EQ(12.0f, position);
}

TEST(TableKernelsTest, ConvertRangeAppliesStartScaleGainAndOffset) {
  float out[4];
  // Argument 10.5 is entry 1 at 2 entries per unit; a step of 0.25 is half an
  // entry. Outputs are 2 v - 1.
  float position = 10.5f;
  EXPECT_FALSE(vectorConvertRangeCpp(kRamp, 10.0f, 2.0f, 4, position, 0.25f, out, 4, -1.0f, 2.0f));
  const float expected[4] = {1.0f, 2.0f, 3.0f, 4.0f};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(expected[k], out[k]) << k;
  EXPECT_EQ(11.5f, position);
  // At the end the held value goes through the same gain and offset.
  position = 12.0f;
  EXPECT_TRUE(vectorConvertRangeCpp(kRamp, 10.0f, 2.0f, 4, position, 0.25f, out, 2, -1.0f, 2.0f));
  EXPECT_EQ(7.0f, out[0]);
  EXPECT_EQ(7.0f, out[1]);
}

TEST(TableKernelsTest, ConvertRangeStaysInsideTheTable) {
  // A table with sentinels around it: any read outside gives 1000.
  const float padded[] = {1000.0f, 0.0f, 1.0f, 2.0f, 3.0f, 4.0f, 1000.0f};
  const float* table = padded + 1;
  float out[6];

  // Below the start the first value is read while the position walks on.
  float position = -2.0f;
  EXPECT_FALSE(vectorConvertRangeCpp(table, 0.0f, 1.0f, 4, position, 1.0f, out, 4, 0.0f, 1.0f));
  const float expected[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(expected[k], out[k]) << k;
  EXPECT_EQ(2.0f, position);

  // A step far past the end holds the last value.
  position = 0.0f;
  EXPECT_TRUE(vectorConvertRangeCpp(table, 0.0f, 1.0f, 4, position, 1e30f, out, 3, 0.0f, 1.0f));
  EXPECT_EQ(0.0f, out[0]);
  EXPECT_EQ(4.0f, out[1]);
  EXPECT_EQ(4.0f, out[2]);
  EXPECT_EQ(4.0f, position);

  // A position that is not a number ends the stretch.
  position = std::numeric_limits<float>::quiet_NaN();
  EXPECT_TRUE(vectorConvertRangeCpp(table, 0.0f, 1.0f, 4, position, 1.0f, out, 2, 0.0f, 1.0f));
  EXPECT_EQ(4.0f, out[0]);
  EXPECT_EQ(4.0f, position);
}

// The stretch one sample at a time, positions summed in double: what the
// kernel's four-sample groups must give to the bit.
bool rangeModel(const float* table, float start, float scale, int last, float& position, float step, float* out,
                int n, float offset, float gain) {
  auto index = [last](double p) { return !(p < last) ? last : (p < 0.0 ? 0 : static_cast<int>(p)); };
  double p = (position - start) * scale;
  const double d = scale * step;
  int i = index(p);
  for (int k = 0; k < n; ++k) {
    if (i < last) {
      const float f = p > 0.0 ? static_cast<float>(p - i) : 0.0f;
      out[k] = (table[i] + f * (table[i + 1] - table[i])) * gain + offset;
      p += d;
      i = index(p);
    } else {
      out[k] = gain * table[last] + offset;
    }
  }
  const float pF = static_cast<float>(p);
  position = start + (pF < static_cast<float>(last) ? pF : static_cast<float>(last)) / scale;
  return last <= i;
}

TEST(TableKernelsTest, ConvertRangeGivesTheOneSampleWalksBits) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  std::vector<float> table(4098);
  for (float& v : table) v = unit(rng) * 2.0f - 1.0f;
  for (int trial = 0; trial < 20000; ++trial) {
    const int last = trial % 50 == 0 ? 1 + static_cast<int>(unit(rng) * 3) : 4096;
    const float start = unit(rng) * 4.0f - 2.0f;
    const float scale = last / (0.5f + unit(rng) * 4.0f);
    const float span = last / scale;
    // From a little below the start to past the end; steps that cross the
    // end within a block, walk backwards, or stand still.
    const float position = start + span * (unit(rng) * 1.2f - 0.1f);
    const int kind = trial % 4;
    const float step = kind == 0   ? span * unit(rng) / 16.0f
                       : kind == 1 ? span * unit(rng) * 1e-4f
                       : kind == 2 ? -span * unit(rng) / 64.0f
                                   : 0.0f;
    const int n = static_cast<int>(unit(rng) * 70.0f);
    const float offset = unit(rng) - 0.5f, gain = unit(rng) * 3.0f;
    float a[72], b[72];
    float pa = position, pb = position;
    const bool ea = vectorConvertRangeCpp(table.data(), start, scale, last, pa, step, a, n, offset, gain);
    const bool eb = rangeModel(table.data(), start, scale, last, pb, step, b, n, offset, gain);
    ASSERT_EQ(eb, ea) << trial;
    ASSERT_EQ(bits(pb), bits(pa)) << trial;
    for (int k = 0; k < n; ++k) ASSERT_EQ(bits(b[k]), bits(a[k])) << trial << " sample " << k;
  }
}

// --- the periodic block kernel ---------------------------------------------

TEST(TableKernelsTest, BlockScaledReadsAPeriodicTable) {
  // 8 points of j^2 and the guard entry that repeats the last point.
  const float table[9] = {0, 1, 4, 9, 16, 25, 36, 49, 49};
  const float a[6] = {2.5f, 10.5f, -5.5f, 1.25f, 9.25f, 0.0f};
  const float b[6] = {1.0f, 1.0f, 1.0f, 2.0f, 2.0f, 1.0f};
  const float c[6] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 3.0f};
  float out[6];
  vectorConvertBlockScaledCpp(table, 0.0f, 0, 1.0f, 7u, a, b, c, out, 6);
  EXPECT_EQ(6.5f, out[0]);
  EXPECT_EQ(out[0], out[1]); // one period beyond
  EXPECT_EQ(out[0], out[2]); // one period before
  EXPECT_EQ(out[0], out[3]); // a x b = 2.5
  EXPECT_EQ(out[0], out[4]); // 18.5 = 2.5 + two periods
  EXPECT_EQ(0.0f, out[5]);

  // Scale and offsets of a function table: identity over [-4, 4] in 8
  // points, read at 1.
  const float ramp[9] = {-4.0f, -4.0f + 8.0f / 7, -4.0f + 16.0f / 7, -4.0f + 24.0f / 7,
                         -4.0f + 32.0f / 7, -4.0f + 40.0f / 7, -4.0f + 48.0f / 7, 4.0f, 4.0f};
  const float one = 1.0f;
  float y;
  // offset = 7 x -4 / 8 = -3.5
  vectorConvertBlockScaledCpp(ramp, -0.5f, -3, 7.0f / 8.0f, 7u, &one, &one, &one, &y, 1);
  EXPECT_NEAR(1.0f, y, 1e-6);
}

// --- the runs kernels --------------------------------------------------------

struct Atan : FunctionTableFunction {
  double operator()(double x) const override { return std::atan(x); }
};

constexpr int kMax = 40;
constexpr int kCap = 56;

struct alignas(16) Buf {
  float v[kCap];
};

class RunsKernelTest : public ::testing::Test {
protected:
  void SetUp() override { clip.initialize(8192, Atan(), -40.0f, 40.0f); }

  void fast(const float* in, const float* scales, const float* gains, const int* runs, float* out, int n) {
    vectorConvertBlockScaledRunsFast(clip.getValues(), clip.getFracOffset(), clip.getIntOffset(), clip.getScale(),
                                     clip.getMask(), in, scales, gains, runs, out, n);
  }
  void cpp(const float* in, const float* scales, const float* gains, const int* runs, float* out, int n) {
    vectorConvertBlockScaledRunsCpp(clip.getValues(), clip.getFracOffset(), clip.getIntOffset(), clip.getScale(),
                                    clip.getMask(), in, scales, gains, runs, out, n);
  }

  static void fillInput(Buf& in, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-300.0f, 300.0f);
    for (float& x : in.v) x = dist(rng);
  }

  FunctionTable<float> clip;
};

// Run lengths in multiples of four (with empty runs among them) and a last
// run that makes up n: both forms agree, Fast writing the rounded count.
TEST_F(RunsKernelTest, FastMatchesCppInAndOutOfPlace) {
  std::mt19937 rng(7);
  for (int n = 0; n <= kMax; ++n) {
    SCOPED_TRACE(n);
    std::vector<int> runs;
    std::vector<float> scales, gains;
    int total = 0;
    while (total < n) {
      int len = 4 * static_cast<int>(rng() % 4);
      if (len > n - total) len = n - total;
      runs.push_back(len);
      total += len;
    }
    for (size_t r = 0; r < runs.size(); ++r) {
      scales.push_back(0.05f + 0.05f * static_cast<float>(rng() % 5));
      gains.push_back(0.5f + static_cast<float>(rng() % 4));
    }
    std::vector<int> roundedRuns = runs;
    if (!roundedRuns.empty()) roundedRuns.back() += roundUp4(n) - n;

    Buf in;
    fillInput(in, 100u + static_cast<unsigned>(n));
    Buf ref;
    cpp(in.v, scales.data(), gains.data(), roundedRuns.data(), ref.v, roundUp4(n));

    Buf outFast, outCpp;
    for (int j = 0; j < kCap; ++j) outFast.v[j] = outCpp.v[j] = guardValue();
    fast(in.v, scales.data(), gains.data(), runs.data(), outFast.v, n);
    cpp(in.v, scales.data(), gains.data(), runs.data(), outCpp.v, n);
    Buf inPlace = in;
    fast(inPlace.v, scales.data(), gains.data(), runs.data(), inPlace.v, n);
    Buf inPlaceCpp = in;
    cpp(inPlaceCpp.v, scales.data(), gains.data(), runs.data(), inPlaceCpp.v, n);

    for (int j = 0; j < kCap; ++j) {
      if (j < roundUp4(n)) {
        ASSERT_EQ(bits(ref.v[j]), bits(outFast.v[j])) << j;
        ASSERT_EQ(bits(ref.v[j]), bits(inPlace.v[j])) << j;
      } else {
        ASSERT_EQ(bits(guardValue()), bits(outFast.v[j])) << j;
        ASSERT_EQ(bits(in.v[j]), bits(inPlace.v[j])) << j;
      }
      if (j < n) {
        ASSERT_EQ(bits(ref.v[j]), bits(outCpp.v[j])) << j;
        ASSERT_EQ(bits(ref.v[j]), bits(inPlaceCpp.v[j])) << j;
      } else {
        ASSERT_EQ(bits(guardValue()), bits(outCpp.v[j])) << j;
        ASSERT_EQ(bits(in.v[j]), bits(inPlaceCpp.v[j])) << j;
      }
    }
  }
}

TEST_F(RunsKernelTest, FastTakesEachGroupWithTheRunOfItsFirstSample) {
  alignas(16) float in[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const float scales[2] = {1.0f, 0.5f};
  const float gains[2] = {1.0f, 2.0f};
  const int runs[2] = {3, 5};
  const int fourFour[2] = {4, 4};
  alignas(16) float outCpp[8], outFast[8], outGroups[8];
  cpp(in, scales, gains, runs, outCpp, 8);
  fast(in, scales, gains, runs, outFast, 8);
  cpp(in, scales, gains, fourFour, outGroups, 8);
  for (int j = 0; j < 8; ++j) EXPECT_EQ(outGroups[j], outFast[j]) << j;
  EXPECT_NE(outCpp[3], outFast[3]); // sample 3 belongs to the second run
  for (int j = 0; j < 8; ++j) {
    if (j != 3) {
      EXPECT_EQ(outCpp[j], outFast[j]) << j;
    }
  }

  // Any run lengths: each group of four takes its first sample's run; runs
  // lying wholly inside a group have no effect.
  std::mt19937 rng(11);
  for (int trial = 0; trial < 200; ++trial) {
    SCOPED_TRACE(trial);
    const int n = 1 + static_cast<int>(rng() % kMax);
    std::vector<int> lens;
    std::vector<float> sc, gn;
    for (int total = 0; total < n;) {
      int len = static_cast<int>(rng() % 7);
      if (len > n - total) len = n - total;
      lens.push_back(len);
      sc.push_back(0.02f * static_cast<float>(1 + rng() % 9));
      gn.push_back(static_cast<float>(1 + rng() % 5));
      total += len;
    }
    Buf buf;
    fillInput(buf, static_cast<unsigned>(trial));
    Buf out;
    fast(buf.v, sc.data(), gn.data(), lens.data(), out.v, n);
    const int four = 4;
    for (int g = 0; g < n; g += 4) {
      size_t r = 0;
      for (int start = 0; start + lens[r] <= g; ++r) start += lens[r];
      float expected[4];
      cpp(buf.v + g, &sc[r], &gn[r], &four, expected, 4);
      for (int j = 0; j < 4; ++j) ASSERT_EQ(bits(expected[j]), bits(out.v[g + j])) << "sample " << g + j;
    }
  }
}

TEST_F(RunsKernelTest, MapsThroughTheTableWithScaleAndGain) {
  // The filter's output clip: 10 atan(0.1 y).
  Buf in;
  for (int j = 0; j < kCap; ++j) in.v[j] = -300.0f + 600.0f * j / (kCap - 1);
  const float scale = 0.1f, gain = 10.0f;
  const int runs = kCap;
  Buf outFast, outCpp;
  fast(in.v, &scale, &gain, &runs, outFast.v, kCap);
  cpp(in.v, &scale, &gain, &runs, outCpp.v, kCap);
  for (int j = 0; j < kCap; ++j) {
    const double expected = 10.0 * std::atan(0.1 * in.v[j]);
    EXPECT_NEAR(expected, outFast.v[j], 1e-4) << in.v[j];
    EXPECT_NEAR(expected, outCpp.v[j], 1e-4) << in.v[j];
  }
}

// The clip table is not periodic: past its ends a wrap would turn a loud
// sample into one of the opposite sign. The ends are held instead.
TEST_F(RunsKernelTest, InputsBeyondTheTableHoldItsEnds) {
  const float inf = std::numeric_limits<float>::infinity();
  alignas(16) float in[8] = {401.0f, 1e9f, inf, -401.0f, -1e9f, -inf, std::numeric_limits<float>::quiet_NaN(), 0};
  const float scale = 0.1f, gain = 1.0f;
  const int runs = 8;
  const float top = clip.getValues()[clip.getPoints() - 1];
  const float bottom = clip.getValues()[0];
  EXPECT_NEAR(std::atan(40.0), top, 1e-6);
  alignas(16) float out[8];
  for (int form = 0; form < 2; ++form) {
    SCOPED_TRACE(form);
    if (form == 0)
      fast(in, &scale, &gain, &runs, out, 8);
    else
      cpp(in, &scale, &gain, &runs, out, 8);
    EXPECT_EQ(top, out[0]);
    EXPECT_EQ(top, out[1]);
    EXPECT_EQ(top, out[2]);
    EXPECT_EQ(bottom, out[3]);
    EXPECT_EQ(bottom, out[4]);
    EXPECT_EQ(bottom, out[5]);
    EXPECT_EQ(bottom, out[6]); // not a number: the lower end
    EXPECT_NEAR(0.0f, out[7], 1e-6);
  }
}

TEST_F(RunsKernelTest, NothingIsWrittenBeyondTheCount) {
  Buf in, outFast, outCpp;
  fillInput(in, 3);
  for (int j = 0; j < kCap; ++j) outFast.v[j] = outCpp.v[j] = guardValue();
  const float scale = 0.1f, gain = 1.0f;
  // No count: the run arrays are not even read.
  fast(in.v, nullptr, nullptr, nullptr, outFast.v, 0);
  cpp(in.v, nullptr, nullptr, nullptr, outCpp.v, -4);
  // A run longer than the count is cut at the count.
  const int longRun = 1000;
  fast(in.v, &scale, &gain, &longRun, outFast.v, 6);
  cpp(in.v, &scale, &gain, &longRun, outCpp.v, 6);
  for (int j = 0; j < kCap; ++j) {
    if (j >= 8) {
      EXPECT_EQ(bits(guardValue()), bits(outFast.v[j])) << j;
    }
    if (j >= 6) {
      EXPECT_EQ(bits(guardValue()), bits(outCpp.v[j])) << j;
    }
  }
  EXPECT_EQ(outCpp.v[5], outFast.v[5]);
}

// The floor needs no change of rounding mode: the control register is as the
// caller left it, whatever that was, and the floor is right in every mode.
TEST_F(RunsKernelTest, FloatingPointControlStateIsLeftAsFound) {
  const unsigned original = _mm_getcsr();
  const unsigned flags = 0x3f; // exception flags, which arithmetic may raise
  const unsigned modes[] = {_MM_ROUND_NEAREST, _MM_ROUND_DOWN, _MM_ROUND_UP, _MM_ROUND_TOWARD_ZERO};
  Buf in;
  fillInput(in, 5);
  in.v[0] = -0.5f; // negative fractions: where a truncation is not a floor
  in.v[1] = -10.25f;
  const float scale = 1.0f, gain = 1.0f;
  const int runs = kMax;
  for (unsigned ftz : {0u, 0x8040u}) {
    for (unsigned mode : modes) {
      SCOPED_TRACE(mode | ftz);
      const unsigned control = ((original & ~(0x6000u | 0x8040u)) | mode | ftz) & ~flags;
      Buf outFast, outCpp;
      _mm_setcsr(control);
      fast(in.v, &scale, &gain, &runs, outFast.v, kMax);
      const unsigned after = _mm_getcsr();
      cpp(in.v, &scale, &gain, &runs, outCpp.v, kMax);
      _mm_setcsr(original);
      EXPECT_EQ(control, after & ~flags);
      for (int j = 0; j < kMax; ++j) ASSERT_EQ(bits(outCpp.v[j]), bits(outFast.v[j])) << j;
      EXPECT_NEAR(std::atan(-0.5), outFast.v[0], 1e-4);
      EXPECT_NEAR(std::atan(-10.25), outFast.v[1], 1e-4);
    }
  }
}

} // namespace
