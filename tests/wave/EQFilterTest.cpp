#include "tests/wave/FilterFft.h"
#include "wave/EQFilter.h"
#include "wave/Environment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using zarn::test::Response;
using zarn::test::responseOf;
using zarn::test::SignalSource;

namespace {

constexpr float kRate = 48000.0f;
constexpr int kBlock = 256;
// Small enough that no band shape reaches the output limit.
constexpr float kImpulse = 0.05f;

struct Rig {
  Rig() : env(kBlock), source(&env), eq(&env) {
    env.setSampleRate(kRate);
    eq.setInput(&source);
  }
  void set(int type, float hz, float width, float gain) {
    eq.type = type;
    eq.frequency.getParameter().setInterpolated(hz, 0.0f);
    eq.width.getParameter().setInterpolated(width, 0.0f);
    eq.gain.getParameter().setInterpolated(gain, 0.0f);
  }
  std::vector<float> run(const std::vector<float>& in) {
    source.signal = in;
    source.position = 0;
    std::vector<float> out;
    for (size_t done = 0; done < in.size(); done += kBlock) {
      env.beginBlock();
      const wave::Block* b = eq.pull(kBlock, 0);
      out.insert(out.end(), b->data, b->data + kBlock);
      env.endBlock(kBlock);
    }
    out.resize(in.size());
    return out;
  }
  Response measure(int type, float hz, float width, float gain) {
    set(type, hz, width, gain);
    std::vector<float> in(16384, 0.0f);
    in[0] = kImpulse;
    return responseOf(run(in), kImpulse, kRate);
  }
  wave::Environment env;
  SignalSource source;
  EQFilter eq;
};

} // namespace

TEST(EQFilterTest, PassAndNotchShapes) {
  {
    Rig r;
    Response lp = r.measure(EQFilter::cLowPass, 1000.0f, 1.0f, 0.0f);
    EXPECT_NEAR(lp.dBAt(20.0), 0.0, 0.05);
    EXPECT_NEAR(lp.dBAt(1000.0), 0.0, 1.0); // about Q 1 at width 1
    EXPECT_LT(lp.dBAt(8000.0), -30.0);
  }
  {
    Rig r;
    Response hp = r.measure(EQFilter::cHighPass, 1000.0f, 1.0f, 0.0f);
    EXPECT_LT(hp.dBAt(125.0), -30.0);
    EXPECT_NEAR(hp.dBAt(1000.0), 0.0, 1.0);
    EXPECT_NEAR(hp.dBAt(20000.0), 0.0, 0.1);
  }
  {
    Rig r;
    Response bp = r.measure(EQFilter::cBandPass, 2000.0f, 1.0f, 0.0f);
    EXPECT_NEAR(bp.peakFrequency() / 2000.0, 1.0, 0.03);
    EXPECT_NEAR(20.0 * std::log10(bp.peak()), 0.0, 0.2);
    EXPECT_LT(bp.dBAt(100.0), -20.0);
    // The width also scales the band's height.
    Rig narrow;
    Response half = narrow.measure(EQFilter::cBandPass, 2000.0f, 0.5f, 0.0f);
    EXPECT_NEAR(20.0 * std::log10(half.peak()), -6.02, 0.3);
  }
  {
    Rig r;
    Response notch = r.measure(EQFilter::cNotch, 1000.0f, 1.0f, 0.0f);
    EXPECT_LT(notch.dBAt(1000.0), -30.0);
    EXPECT_NEAR(notch.dBAt(60.0), 0.0, 0.2);
    EXPECT_NEAR(notch.dBAt(16000.0), 0.0, 0.5);
  }
}

TEST(EQFilterTest, GainShapesLiftOrCutByTheirGain) {
  for (float gain : {10.0f, -10.0f}) {
    Rig peaking, low, high;
    Response p = peaking.measure(EQFilter::cPeaking, 1000.0f, 1.0f, gain);
    EXPECT_NEAR(p.dBAt(1000.0), gain, 0.3);
    EXPECT_NEAR(p.dBAt(40.0), 0.0, 0.5);
    EXPECT_NEAR(p.dBAt(20000.0), 0.0, 0.5);
    Response ls = low.measure(EQFilter::cLowShelf, 1000.0f, 1.0f, gain);
    EXPECT_NEAR(ls.dBAt(20.0), gain, 0.2);
    EXPECT_NEAR(ls.dBAt(20000.0), 0.0, 0.2);
    Response hs = high.measure(EQFilter::cHighShelf, 1000.0f, 1.0f, gain);
    EXPECT_NEAR(hs.dBAt(20.0), 0.0, 0.2);
    EXPECT_NEAR(hs.dBAt(20000.0), gain, 0.2);
  }
}

TEST(EQFilterTest, ZeroGainShelvesAndPeakPassTheSignal) {
  std::mt19937 rng(2);
  std::uniform_real_distribution<float> d(-0.9f, 0.9f);
  std::vector<float> in(2048);
  for (float& x : in) x = d(rng);
  for (int type : {EQFilter::cPeaking, EQFilter::cLowShelf, EQFilter::cHighShelf}) {
    Rig r;
    r.set(type, 700.0f, 1.5f, 0.0f);
    const std::vector<float> out = r.run(in);
    for (size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(out[i], in[i], 1e-5) << "type " << type << " sample " << i;
  }
}

TEST(EQFilterTest, OutputStaysWithinOneForLoudInput) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> d(-10.0f, 10.0f);
  std::vector<float> in(4096);
  for (float& x : in) x = d(rng);
  for (int type = 0; type < 7; ++type) {
    Rig r;
    r.set(type, 300.0f, 0.05f, 36.0f);
    for (float y : r.run(in)) ASSERT_LE(std::fabs(y), 1.0f) << "type " << type;
  }
}

TEST(EQFilterTest, FrequencyIsHeldBetween16HzAnd10kHz) {
  std::vector<float> in(1024);
  for (size_t i = 0; i < in.size(); ++i) in[i] = 0.5f * std::sin(0.23f * static_cast<float>(i));
  Rig a, b, c, d;
  a.set(EQFilter::cPeaking, 5.0f, 1.0f, 6.0f);
  b.set(EQFilter::cPeaking, 16.0f, 1.0f, 6.0f);
  c.set(EQFilter::cPeaking, 20000.0f, 1.0f, 6.0f);
  d.set(EQFilter::cPeaking, 10000.0f, 1.0f, 6.0f);
  EXPECT_EQ(a.run(in), b.run(in));
  EXPECT_EQ(c.run(in), d.run(in));
}

TEST(EQFilterTest, UnknownTypeKeepsTheLastCoefficients) {
  Rig r;
  r.set(EQFilter::cPeaking, 1000.0f, 1.0f, 6.0f);
  std::vector<float> in(512, 0.0f);
  r.run(in);
  const float b0 = r.eq.b0, a1 = r.eq.a1, a2 = r.eq.a2;
  r.set(7, 3000.0f, 2.0f, -6.0f);
  r.run(in);
  EXPECT_EQ(r.eq.b0, b0);
  EXPECT_EQ(r.eq.a1, a1);
  EXPECT_EQ(r.eq.a2, a2);
  // Built with an unknown type, the band passes its input.
  Rig fresh;
  fresh.set(9, 1000.0f, 1.0f, 6.0f);
  std::vector<float> x(256, 0.3f);
  for (float y : fresh.run(x)) EXPECT_FLOAT_EQ(y, 0.3f);
}
