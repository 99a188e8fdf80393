#include "tests/wave/FilterFft.h"
#include "wave/BiQuadFilter.h"
#include "wave/Environment.h"
#include "wave/ValueCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using zarn::test::Response;
using zarn::test::responseOf;

namespace {

constexpr float kRate = 48000.0f;

struct Rig {
  Rig() : env(256), unit(&env) { env.setSampleRate(kRate); }
  // The unit's output for in, with one cut-off (Hz) and peak throughout.
  std::vector<float> run(const std::vector<float>& in, float hz, float peak) {
    const int n = static_cast<int>(in.size());
    std::vector<float> out(in.size()), fr(in.size(), freqToExpFreq(hz)), pk(in.size(), peak);
    unit.filter(in.data(), out.data(), fr.data(), pk.data(), nullptr, n, true);
    return out;
  }
  Response measure(float hz, float peak) {
    std::vector<float> in(16384, 0.0f);
    in[0] = 1.0f;
    return responseOf(run(in, hz, peak), 1.0, kRate);
  }
  wave::Environment env;
  BiQuadFilter unit;
};

} // namespace

TEST(BiQuadFilterTest, WithoutPeakItIsAButterworthLowPass) {
  Rig r;
  EXPECT_TRUE(r.unit.isResponseSupported(GenericFilter::cLowPass));
  EXPECT_FALSE(r.unit.isResponseSupported(GenericFilter::cHighPass));
  EXPECT_TRUE(r.unit.isSlopeSupported(GenericFilter::c12dB));
  EXPECT_FALSE(r.unit.isSlopeSupported(GenericFilter::c24dB));
  Response m = r.measure(1000.0f, 0.0f);
  EXPECT_NEAR(m.dBAt(1000.0), -3.0103, 0.02);
  EXPECT_NEAR(m.dBAt(50.0), 0.0, 0.01);
  EXPECT_LE(m.peak(), 1.0001); // maximally flat: no bump
  EXPECT_NEAR(m.dBAt(4000.0) - m.dBAt(8000.0), 12.0, 1.5);
}

TEST(BiQuadFilterTest, HighPassResponseMirrorsIt) {
  Rig r;
  r.unit.response = GenericFilter::cHighPass;
  Response m = r.measure(1000.0f, 0.0f);
  EXPECT_NEAR(m.dBAt(1000.0), -3.0103, 0.02);
  EXPECT_NEAR(m.dBAt(20000.0), 0.0, 0.05);
  EXPECT_NEAR(m.dBAt(250.0) - m.dBAt(125.0), 12.0, 0.5);
}

TEST(BiQuadFilterTest, PeakOneResonatesAtTheCutOff) {
  Rig r;
  Response m = r.measure(2000.0f, 1.0f);
  // Damping 0.02: a peak of 1 / 0.02 at the cut-off.
  EXPECT_NEAR(20.0 * std::log10(m.peak()), 20.0 * std::log10(50.0), 0.5);
  EXPECT_NEAR(m.peakFrequency() / 2000.0, 1.0, 0.01);
}

TEST(BiQuadFilterTest, CutOffIsHeldBetween16HzAnd10kHz) {
  std::vector<float> in(512);
  for (size_t i = 0; i < in.size(); ++i) in[i] = std::sin(0.37f * static_cast<float>(i));
  Rig a, b, c, d;
  // Both sides of each limit, well clear of it (the log2 round trip of the
  // limit itself may land a hair inside).
  EXPECT_EQ(a.run(in, 3.0f, 0.3f), b.run(in, 12.0f, 0.3f));
  EXPECT_EQ(c.run(in, 15000.0f, 0.3f), d.run(in, 12000.0f, 0.3f));
  Rig e;
  EXPECT_NE(e.run(in, 9000.0f, 0.3f), c.run(in, 15000.0f, 0.3f));
}

TEST(BiQuadFilterTest, CoefficientsComeFromTheFirstSampleAndStatesCarryOver) {
  std::vector<float> in(200);
  for (size_t i = 0; i < in.size(); ++i) in[i] = std::sin(0.11f * static_cast<float>(i));
  Rig whole;
  const std::vector<float> ref = whole.run(in, 700.0f, 0.4f);

  Rig split;
  std::vector<float> out(200), fr(200, freqToExpFreq(700.0f)), pk(200, 0.8f), scale(200, 0.5f);
  // Later samples of the cut-off and peak are not read within a block.
  for (int i = 1; i < 200; ++i) fr[i] = 3.0f;
  split.unit.filter(in.data(), out.data(), fr.data(), pk.data(), scale.data(), 120, false);
  split.unit.filter(in.data() + 120, out.data() + 120, fr.data(), pk.data(), scale.data(), 80, false);
  for (int i = 0; i < 200; ++i) ASSERT_FLOAT_EQ(out[i], ref[i]) << i;
}
