#include "tests/wave/FilterFft.h"
#include "wave/Environment.h"
#include "wave/FunctionTable.h"
#include "wave/StateVariableFilter.h"
#include "wave/TableKernels.h"
#include "wave/ValueCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>
#include <vector>
#include <xmmintrin.h>

using zarn::test::Response;
using zarn::test::responseOf;

namespace {

constexpr float kRate = 48000.0f;
constexpr int kBlock = 512;
// Small enough that the soft clipper and the state limits stay linear.
constexpr float kImpulse = 0.01f;

// What a characteristic with damping input above 1 does: negative damping,
// so the filter oscillates on its own, held by the state limits.
class OscillatingFilter : public StateVariableFilter {
public:
  using StateVariableFilter::StateVariableFilter;
  void customize(float, float, float& dampInput, float& cubicDamping, float& clipScale) override {
    dampInput = 1.5f;
    cubicDamping = 0.0f;
    clipScale = 0.1f;
  }
};

// Records what every coefficient update was asked for.
class RecordingFilter : public StateVariableFilter {
public:
  explicit RecordingFilter(wave::Environment* env) : StateVariableFilter(env) { calls.reserve(4096); }
  struct Call {
    float frequency;
    float peak;
  };
  void customize(float frequency, float peak, float& dampInput, float& cubicDamping, float& clipScale) override {
    calls.push_back({frequency, peak});
    StateVariableFilter::customize(frequency, peak, dampInput, cubicDamping, clipScale);
  }
  std::vector<Call> calls;
};

struct Rig {
  Rig() : env(kBlock) { env.setSampleRate(kRate); }
  wave::Environment env;
};

// The linear response of a filter at one cut-off and peak: the impulse
// response, less what the filter puts out for silence (the soft clipper's
// table carries a tiny offset at 0).
template <class F = StateVariableFilter>
Response measure(GenericFilter::Response response, GenericFilter::Slope slope, float hz, float peak,
                 int n = 16384) {
  Rig rig;
  F filter(&rig.env);
  F rest(&rig.env);
  for (F* f : {&filter, &rest}) {
    f->response = response;
    f->slope = slope;
  }
  std::vector<float> in(n, 0.0f), out(n), base(n), fr(n, freqToExpFreq(hz)), pk(n, peak);
  rest.filter(in.data(), base.data(), fr.data(), pk.data(), nullptr, n, true);
  in[0] = kImpulse;
  filter.filter(in.data(), out.data(), fr.data(), pk.data(), nullptr, n, true);
  for (int i = 0; i < n; ++i) out[i] -= base[i];
  return responseOf(out, kImpulse, kRate);
}

const char* responseName(int r) { return r == 0 ? "low pass" : (r == 1 ? "high pass" : "band pass"); }

double rms(const std::vector<float>& x, size_t from, size_t to) {
  double s = 0.0;
  for (size_t i = from; i < to; ++i) s += static_cast<double>(x[i]) * x[i];
  return std::sqrt(s / static_cast<double>(to - from));
}

bool isSubnormal(float x) { return std::fpclassify(x) == FP_SUBNORMAL; }

// Runs a test body with denormals neither flushed nor treated as zero, so
// that only the filter's own measures keep them away.
class PlainFloatingPoint {
public:
  PlainFloatingPoint() : saved(_mm_getcsr()) { _mm_setcsr(0x1f80u); }
  ~PlainFloatingPoint() { _mm_setcsr(saved); }

private:
  unsigned saved;
};

} // namespace

// ---------------------------------------------------------------------------
// Frequency responses

TEST(StateVariableFilterResponseTest, ResonanceSitsAtTheRequestedCutOff) {
  for (float hz : {250.0f, 1000.0f, 4000.0f})
    for (int slope : {1, 2})
      for (int r : {0, 1, 2}) {
        Response m = measure(GenericFilter::Response(r), GenericFilter::Slope(slope), hz, 0.9f);
        EXPECT_NEAR(m.peakFrequency() / hz, 1.0, 0.02) << responseName(r) << " slope " << slope << " at " << hz;
      }
}

TEST(StateVariableFilterResponseTest, LowPassWithoutResonanceCrossesItsDampingLevelAtTheCutOff) {
  // Peak 0 gives damping 2 in every stage: an analogue two-pole section is
  // down to 1/2 at its cut-off, so one stage crosses 0.5 there, two 0.25.
  for (float hz : {250.0f, 1000.0f, 4000.0f}) {
    Response one = measure(GenericFilter::cLowPass, GenericFilter::c12dB, hz, 0.0f);
    Response two = measure(GenericFilter::cLowPass, GenericFilter::c24dB, hz, 0.0f);
    EXPECT_NEAR(one.crossing(0.5) / hz, 1.0, 0.02) << hz;
    EXPECT_NEAR(two.crossing(0.25) / hz, 1.0, 0.02) << hz;
    EXPECT_NEAR(one.dBAt(hz / 16.0), 0.0, 0.1) << "pass band at " << hz;
    EXPECT_NEAR(two.dBAt(hz / 16.0), 0.0, 0.1) << "pass band at " << hz;
  }
}

TEST(StateVariableFilterResponseTest, SlopesFollowTheNumberOfStages) {
  for (int slope : {1, 2}) {
    const double perOctave = 12.0 * slope;
    const auto s = GenericFilter::Slope(slope);
    // An octave well inside each stop band.
    Response lp = measure(GenericFilter::cLowPass, s, 500.0f, 0.0f);
    EXPECT_NEAR(lp.dBAt(2000.0) - lp.dBAt(4000.0), perOctave, 1.5) << "low pass, slope " << slope;
    Response hp = measure(GenericFilter::cHighPass, s, 500.0f, 0.0f);
    EXPECT_NEAR(hp.dBAt(125.0) - hp.dBAt(62.5), perOctave, 1.5) << "high pass, slope " << slope;
    // A band pass falls at half the rate on each side.
    Response bpLow = measure(GenericFilter::cBandPass, s, 1000.0f, 0.0f);
    EXPECT_NEAR(bpLow.dBAt(125.0) - bpLow.dBAt(62.5), perOctave / 2.0, 1.5) << "band pass below, slope " << slope;
    Response bpHigh = measure(GenericFilter::cBandPass, s, 500.0f, 0.0f);
    EXPECT_NEAR(bpHigh.dBAt(4000.0) - bpHigh.dBAt(8000.0), perOctave / 2.0, 1.5)
        << "band pass above, slope " << slope;
  }
}

TEST(StateVariableFilterResponseTest, ResonancePeakRisesWithPeak) {
  for (int r : {0, 1, 2}) {
    double last = 0.0;
    for (float peak : {0.0f, 0.25f, 0.5f, 0.75f, 0.9f, 0.97f}) {
      Response m = measure(GenericFilter::Response(r), GenericFilter::c12dB, 1000.0f, peak);
      EXPECT_GT(m.peak(), last * 1.2) << responseName(r) << " at peak " << peak;
      last = m.peak();
    }
    // Near the top the resonance is strong.
    EXPECT_GT(20.0 * std::log10(last), 25.0) << responseName(r);
  }
  // Without peak a low pass has no bump above its pass band.
  EXPECT_LE(measure(GenericFilter::cLowPass, GenericFilter::c12dB, 1000.0f, 0.0f).peak(), 1.001);
}

TEST(StateVariableFilterResponseTest, SelfOscillatesOnlyWhereTheCharacteristicAllowsIt) {
  const int n = 32768;
  const float hz = 4000.0f;
  std::vector<float> in(n, 0.0f), fr(n, freqToExpFreq(hz)), pk(n, 1.0f);
  in[0] = 0.1f;

  // The plain filter caps the damping input below 1: even at peak 1 the
  // ringing dies away (with the least damping it takes a while: about a
  // second at 8 kHz).
  {
    Rig rig;
    StateVariableFilter plain(&rig.env);
    const int m = 2 * n;
    std::vector<float> out(m);
    std::vector<float> in2(m, 0.0f), fr2(m, freqToExpFreq(8000.0f)), pk2(m, 1.0f);
    in2[0] = 0.1f;
    plain.filter(in2.data(), out.data(), fr2.data(), pk2.data(), nullptr, m, true);
    EXPECT_GT(rms(out, 0, 1024), 1e-3);
    EXPECT_LT(rms(out, m - 4096, m), rms(out, 0, 1024) * 1e-3);
  }
  {
    Rig rig;
    StateVariableFilter plain(&rig.env);
    std::vector<float> out(n);
    plain.filter(in.data(), out.data(), fr.data(), pk.data(), nullptr, n, true);
    // It rings towards the end still, but only from the impulse: far below
    // what an oscillating filter puts out.
    EXPECT_LT(rms(out, n - 4096, n), 0.01);
  }
  // Negative damping keeps it going, at the cut-off, with the states held
  // at their limits.
  {
    Rig rig;
    OscillatingFilter osc(&rig.env);
    std::vector<float> out(n);
    osc.filter(in.data(), out.data(), fr.data(), pk.data(), nullptr, n, true);
    EXPECT_GT(rms(out, n - 4096, n), 0.5);
    std::vector<float> tail(out.begin() + (n - 16384), out.end());
    Response m = responseOf(tail, 1.0, kRate);
    EXPECT_NEAR(m.peakFrequency() / hz, 1.0, 0.05);
    EXPECT_LE(std::fabs(osc.getBandState(0)), cVectorFilterBandLimit);
  }
}

// ---------------------------------------------------------------------------
// Limits and loud input

TEST(StateVariableFilterTest, StatesStayBoundedWithLoudInput) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> loud(-100.0f, 100.0f);
  const float outputLimit = 10.0f * std::atan(40.0f) + 1e-3f;
  for (int slope : {1, 2, 3})
    for (int r : {0, 1, 2})
      for (int kind = 0; kind < 2; ++kind) {
        Rig rig;
        StateVariableFilter plain(&rig.env);
        OscillatingFilter osc(&rig.env);
        StateVariableFilter& f = kind == 0 ? plain : osc;
        f.response = GenericFilter::Response(r);
        f.slope = GenericFilter::Slope(slope);
        std::vector<float> in(kBlock), out(kBlock), fr(kBlock), pk(kBlock, 1.0f);
        for (int b = 0; b < 8; ++b) {
          for (int i = 0; i < kBlock; ++i) {
            in[i] = loud(rng);
            fr[i] = 6.0f + 0.02f * static_cast<float>(i + b * kBlock) / 8.0f; // sweeping up
          }
          f.filter(in.data(), out.data(), fr.data(), pk.data(), nullptr, kBlock, false);
          for (int i = 0; i < 16; ++i) {
            ASSERT_LE(std::fabs(f.getBandState(i)), cVectorFilterBandLimit);
            ASSERT_LE(std::fabs(f.getLowState(i)), cVectorFilterLowLimit);
          }
          for (int i = 0; i < kBlock; ++i) {
            ASSERT_TRUE(std::isfinite(out[i]));
            ASSERT_LE(std::fabs(out[i]), outputLimit) << responseName(r) << " slope " << slope;
          }
        }
      }
}

TEST(StateVariableFilterTest, LoudInputSaturatesWithoutFlippingSign) {
  // A high pass hands a step straight on; 1000 at the clip scale 0.1 lies
  // far beyond the clip table's span, and must saturate rather than read
  // the other end of the table.
  for (float level : {1000.0f, -1000.0f, 1e30f, -1e30f}) {
    Rig rig;
    StateVariableFilter f(&rig.env);
    f.response = GenericFilter::cHighPass;
    std::vector<float> in(64, level), out(64), fr(64, freqToExpFreq(1000.0f)), pk(64, 0.0f);
    f.filter(in.data(), out.data(), fr.data(), pk.data(), nullptr, 64, true);
    EXPECT_NEAR(out[0], std::copysign(10.0f * std::atan(40.0f), level), 1e-3) << level;
  }
  const StateVariableFilter::ClipTable& table = StateVariableFilter::sDefaultClipTable;
  alignas(16) float in[8] = {50.0f, -50.0f, 400.0f, -400.0f, 1e6f, -1e6f, 39.0f, -39.0f};
  alignas(16) float out[8];
  const float scales[1] = {1.0f};
  const float gains[1] = {1.0f};
  const int runs[1] = {8};
  table.clip(out, in, scales, gains, runs, 8);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(out[i], std::copysign(std::atan(40.0f), in[i]), 1e-5) << in[i];
  EXPECT_NEAR(out[6], std::atan(39.0f), 1e-5);
  EXPECT_NEAR(out[7], -std::atan(39.0f), 1e-5);
}

TEST(StateVariableFilterTest, ClipTableBalanceShapesThePositiveSide) {
  StateVariableFilter::ClipTable symmetric(1.0f);
  StateVariableFilter::ClipTable leaning(0.3f);
  alignas(16) float in[8] = {5.0f, -5.0f, 0.5f, -0.5f, 20.0f, -20.0f, 0.0f, 0.0f};
  alignas(16) float a[8], b[8];
  const float scales[1] = {1.0f};
  const float gains[1] = {1.0f};
  const int runs[1] = {8};
  symmetric.clip(a, in, scales, gains, runs, 8);
  leaning.clip(b, in, scales, gains, runs, 8);
  for (int i = 0; i < 6; i += 2) {
    EXPECT_NEAR(a[i], -a[i + 1], 1e-4) << in[i];
    EXPECT_NEAR(a[i], std::atan(in[i]), 1e-4) << in[i];
    EXPECT_NEAR(b[i], std::atan(0.3f * in[i]) / 0.3f, 1e-3) << in[i];
    EXPECT_NEAR(b[i + 1], a[i + 1], 1e-5) << in[i + 1];
  }
  EXPECT_GT(b[0], -b[1] * 2.0f); // positive values saturate later
}

TEST(StateVariableFilterTest, ClipMatchesAcrossRunLayoutsAndAlignments) {
  // The clip takes whole groups of four where it can and single samples
  // elsewhere; any layout of runs gives the same samples as one run at a
  // time.
  const StateVariableFilter::ClipTable table(1.0f);
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> dist(-300.0f, 300.0f);
  alignas(16) float in[132];
  for (float& x : in) x = dist(rng);
  const std::vector<std::vector<int>> layouts = {
      {131}, {32, 32, 32, 32, 3}, {5, 30, 1, 95}, {4, 4, 120, 3}, {128, 1, 1, 1}, {1, 1, 1, 128}};
  for (const std::vector<int>& runs : layouts) {
    std::vector<float> scales, gains;
    for (size_t r = 0; r < runs.size(); ++r) {
      scales.push_back(0.05f + 0.03f * static_cast<float>(r));
      gains.push_back(1.0f + static_cast<float>(r));
    }
    for (int shift : {0, 1}) {
      const int count = 131 - shift;
      std::vector<int> cut(runs);
      cut.back() -= shift;
      alignas(16) float out[132];
      table.clip(out + shift, in + shift, scales.data(), gains.data(), cut.data(), count);
      int i = 0;
      for (size_t r = 0; r < cut.size(); ++r)
        for (int j = 0; j < cut[r]; ++j, ++i) {
          float one;
          const int single[1] = {1};
          table.clip(&one, in + shift + i, &scales[r], &gains[r], single, 1);
          ASSERT_EQ(out[shift + i], one) << "run " << r << " sample " << i << " shift " << shift;
        }
    }
  }
}

// ---------------------------------------------------------------------------
// Runs, stages and coefficients

TEST(StateVariableFilterTest, RunsShareCoefficients) {
  Rig rig;
  RecordingFilter f(&rig.env);
  std::vector<float> in(kBlock, 0.1f), out(kBlock), fr(kBlock, 10.0f), pk(kBlock, 0.5f), scale(kBlock, 0.5f);

  // A constant block is one run.
  f.filter(in.data(), out.data(), fr.data(), pk.data(), nullptr, 128, true);
  EXPECT_EQ(f.calls.size(), 1u);
  // With a peak scale it is still split every 32 samples, and the peak is
  // scaled.
  f.calls.clear();
  f.filter(in.data(), out.data(), fr.data(), pk.data(), scale.data(), 128, true);
  ASSERT_EQ(f.calls.size(), 4u);
  EXPECT_FLOAT_EQ(f.calls[0].peak, 0.25f);
  // Not constant: a run every 32 samples, the last one short.
  f.calls.clear();
  f.filter(in.data(), out.data(), fr.data(), pk.data(), nullptr, 100, false);
  EXPECT_EQ(f.calls.size(), 4u);

  // A cut-off move of exactly the epsilon does not start a run; the next
  // larger value does.
  std::vector<float> moving(20, 0.0f);
  for (int i = 5; i < 20; ++i) moving[i] = StateVariableFilter::cUpdateEpsilon;
  f.calls.clear();
  f.filter(in.data(), out.data(), moving.data(), pk.data(), nullptr, 20, false);
  EXPECT_EQ(f.calls.size(), 1u);
  for (int i = 5; i < 20; ++i) moving[i] = std::nextafter(StateVariableFilter::cUpdateEpsilon, 1.0f);
  f.calls.clear();
  f.filter(in.data(), out.data(), moving.data(), pk.data(), nullptr, 20, false);
  ASSERT_EQ(f.calls.size(), 2u);
  EXPECT_EQ(f.calls[1].frequency, moving[5]);

  // Every sample a run of its own, over a full block.
  for (int i = 0; i < kBlock; ++i) fr[i] = static_cast<float>(i % 2);
  f.calls.clear();
  f.filter(in.data(), out.data(), fr.data(), pk.data(), nullptr, kBlock, false);
  EXPECT_EQ(f.calls.size(), static_cast<size_t>(kBlock));
}

TEST(StateVariableFilterTest, EmptyBlockChangesNothing) {
  Rig rig;
  RecordingFilter f(&rig.env);
  std::vector<float> in(64, 0.3f), out(64, 0.0f), fr(64, 10.0f), pk(64, 0.5f);
  f.filter(in.data(), out.data(), fr.data(), pk.data(), nullptr, 64, true);
  const float band = f.getBandState(0), low = f.getLowState(0);
  std::vector<float> sentinel(64, 123.0f);
  f.calls.clear();
  f.filter(in.data(), sentinel.data(), fr.data(), pk.data(), nullptr, 0, true);
  EXPECT_TRUE(f.calls.empty());
  EXPECT_EQ(f.getBandState(0), band);
  EXPECT_EQ(f.getLowState(0), low);
  for (float x : sentinel) EXPECT_EQ(x, 123.0f);
}

TEST(StateVariableFilterTest, SlopeChoosesTheNumberOfStages) {
  {
    Rig rig;
    EXPECT_FALSE(StateVariableFilter(&rig.env).isSlopeSupported(GenericFilter::Slope(0)));
  }
  for (int slope : {1, 2, 3, 7}) {
    Rig rig;
    StateVariableFilter f(&rig.env);
    EXPECT_TRUE(f.isSlopeSupported(GenericFilter::Slope(slope)));
    f.slope = GenericFilter::Slope(slope);
    std::vector<float> in(64, 0.5f), out(64), fr(64, 10.0f), pk(64, 0.2f);
    f.filter(in.data(), out.data(), fr.data(), pk.data(), nullptr, 64, true);
    const int stages = slope == 1 ? 1 : (slope == 2 ? 2 : 4);
    for (int s = 0; s < 4; ++s)
      EXPECT_EQ(f.getLowState(s) != 0.0f, s < stages) << "slope " << slope << " stage " << s;
  }
}

TEST(StateVariableFilterTest, SharedTablesCoverTheirCurves) {
  Rig rig;
  StateVariableFilter f(&rig.env);
  EXPECT_TRUE(StateVariableFilter::sInitialized);
  EXPECT_TRUE(f.isResponseSupported(GenericFilter::cBandPass));
  // Full damping at 0, none at 1, negative above.
  EXPECT_NEAR(readFunctionTable(StateVariableFilter::sDampTable, 0.0f), 2.0f, 1e-6);
  EXPECT_NEAR(readFunctionTable(StateVariableFilter::sDampTable, 1.0f), 0.0f, 1e-3);
  EXPECT_NEAR(readFunctionTable(StateVariableFilter::sDampTable, 5.0f), 2.0 * (1.0 - std::pow(5.0, 0.25)), 1e-4);
  // The peak-1 damping of the plain filter: about 0.0005.
  EXPECT_NEAR(readFunctionTable(StateVariableFilter::sDampTable, 0.999f), 0.0005f, 2e-4);
  // At the frequency cap the damping is held to 2/f - f.
  EXPECT_NEAR(readFunctionTable(StateVariableFilter::sDampLimitTable, 0.95f), 2.0f / 0.95f - 0.95f, 1e-3);
  EXPECT_NEAR(readFunctionTable(StateVariableFilter::sDampLimitTable, 0.005f), 2.0f, 1e-6);
  // Cut-offs at and beyond the sample rate read the cap.
  EXPECT_NEAR(readFunctionTable(StateVariableFilter::sFreqTable, 0.0f), 0.95f, 1e-6);
  EXPECT_NEAR(readFunctionTable(StateVariableFilter::sFreqTable, 19.0f), 0.95f, 1e-6);
  EXPECT_NEAR(readFunctionTable(StateVariableFilter::sFreqTable, -25.0f), 0.0f, 1e-6);
  EXPECT_FLOAT_EQ(StateVariableFilter::sDefaultClipTable.getClipBalance(), 1.0f);
}

TEST(StateVariableFilterTest, TinyBlocksGiveTheSameResult) {
  // Stretches longer than the block size go through block by block; with
  // steady settings that changes nothing, even with all 32 states in use.
  wave::Environment small(8);
  small.setSampleRate(kRate);
  Rig rig;
  StateVariableFilter a(&small), b(&rig.env);
  for (StateVariableFilter* f : {&a, &b}) {
    f->slope = GenericFilter::Slope(4);
    f->response = GenericFilter::cBandPass;
  }
  std::vector<float> in(100), outA(100), outB(100), fr(100, 10.0f), pk(100, 0.6f);
  for (int i = 0; i < 100; ++i) in[i] = std::sin(0.3f * static_cast<float>(i));
  a.filter(in.data(), outA.data(), fr.data(), pk.data(), nullptr, 100, true);
  b.filter(in.data(), outB.data(), fr.data(), pk.data(), nullptr, 100, true);
  EXPECT_EQ(outA, outB);
  EXPECT_NE(a.getLowState(3), 0.0f);
}

TEST(StateVariableFilterTest, ResetClearsEveryState) {
  Rig rig;
  StateVariableFilter f(&rig.env);
  f.slope = GenericFilter::Slope(4);
  std::vector<float> in(64, 0.5f), out(64), fr(64, 10.0f), pk(64, 0.2f);
  f.filter(in.data(), out.data(), fr.data(), pk.data(), nullptr, 64, true);
  f.resetState();
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(f.getBandState(i), 0.0f);
    EXPECT_EQ(f.getLowState(i), 0.0f);
  }
}

// ---------------------------------------------------------------------------
// The four-lane kernels

TEST(StateVariableFilterKernelTest, FourLaneKernelsMatchTheirScalarReference) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> signal(-1.5f, 1.5f);
  std::uniform_real_distribution<float> coefficient(0.01f, 0.9f);
  std::uniform_real_distribution<float> damping(0.05f, 1.5f);
  std::uniform_int_distribution<int> length(1, 40);
  const int count = 203; // not a whole number of groups
  std::vector<int> runs;
  for (int left = count; left > 0;) {
    const int len = std::min(left, length(rng));
    runs.push_back(len);
    left -= len;
  }
  const size_t nr = runs.size();
  std::vector<float> f(4 * nr), q(4 * nr), g(4 * nr);
  for (size_t i = 0; i < 4 * nr; ++i) {
    f[i] = coefficient(rng);
    q[i] = damping(rng);
    g[i] = 0.05f * coefficient(rng);
  }
  struct Lanes {
    alignas(16) float data[4][208];
  };
  Lanes input;
  for (auto& lane : input.data)
    for (float& x : lane) x = signal(rng);

  for (int r : {0, 1, 2})
    for (int drive = 0; drive < 2; ++drive) {
      Lanes fast = input, scalar = input;
      float lowA[4] = {0.1f, -0.2f, 0.0f, 0.3f}, bandA[4] = {0.0f, 0.2f, -0.1f, 0.05f};
      float lowB[4], bandB[4];
      std::copy(lowA, lowA + 4, lowB);
      std::copy(bandA, bandA + 4, bandB);
      const float* inF[4] = {fast.data[0], fast.data[1], fast.data[2], fast.data[3]};
      float* outF[4] = {fast.data[0], fast.data[1], fast.data[2], fast.data[3]};
      const float* inS[4] = {scalar.data[0], scalar.data[1], scalar.data[2], scalar.data[3]};
      float* outS[4] = {scalar.data[0], scalar.data[1], scalar.data[2], scalar.data[3]};
      const auto resp = VectorFilterResponse(r);
      if (drive) {
        vectorFilterDriveParallelFast(inF, 1.7f, f.data(), q.data(), g.data(), runs.data(), lowA, bandA, resp, outF,
                                      count);
        vectorFilterDriveParallelCpp(inS, 1.7f, f.data(), q.data(), g.data(), runs.data(), lowB, bandB, resp, outS,
                                     count);
      } else {
        vectorFilterParallelFast(inF, f.data(), q.data(), runs.data(), lowA, bandA, resp, outF, count);
        vectorFilterParallelCpp(inS, f.data(), q.data(), runs.data(), lowB, bandB, resp, outS, count);
      }
      for (int l = 0; l < 4; ++l) {
        for (int i = 0; i < count; ++i)
          ASSERT_NEAR(fast.data[l][i], scalar.data[l][i], 1e-5) << "lane " << l << " sample " << i;
        // Samples past the count are left alone.
        for (int i = count; i < 208; ++i) ASSERT_EQ(fast.data[l][i], input.data[l][i]);
        EXPECT_NEAR(lowA[l], lowB[l], 1e-5);
        EXPECT_NEAR(bandA[l], bandB[l], 1e-5);
      }

      // The scalar reference reads lane l's coefficients at 4k + l.
      std::vector<float> fl(nr), ql(nr), gl(nr), one(count);
      for (size_t k = 0; k < nr; ++k) {
        fl[k] = f[4 * k + 2];
        ql[k] = q[4 * k + 2];
        gl[k] = g[4 * k + 2];
      }
      float low = 0.0f, band = -0.1f;
      if (drive)
        vectorFilterDriveCpp(input.data[2], 1.7f, fl.data(), ql.data(), gl.data(), runs.data(), low, band, resp,
                             one.data(), count);
      else
        vectorFilterCpp(input.data[2], fl.data(), ql.data(), runs.data(), low, band, resp, one.data(), count);
      for (int i = 0; i < count; ++i) ASSERT_EQ(one[i], scalar.data[2][i]) << i;
    }
}

// The one-pass cascade gives, to the bit, what the stages give run one
// after the other over the whole block: each stage its own damping row and
// states, all of them the frequency and the runs.
TEST(StateVariableFilterKernelTest, OnePassCascadeEqualsTheStagesInTurn) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> signal(-1.5f, 1.5f);
  std::uniform_real_distribution<float> coefficient(0.01f, 0.9f);
  std::uniform_real_distribution<float> damping(0.05f, 1.5f);
  std::uniform_int_distribution<int> length(1, 20);
  const int count = 97;
  std::vector<int> runs;
  for (int left = count; left > 0;) {
    const int len = std::min(left, length(rng));
    runs.push_back(len);
    left -= len;
  }
  const int nr = static_cast<int>(runs.size());
  const int stride = 4 * nr + 8; // rows apart by more than the runs use
  std::vector<float> f(4 * nr), g(4 * nr), q(4 * stride);
  for (float& v : f) v = coefficient(rng);
  for (float& v : g) v = 0.05f * coefficient(rng);
  for (float& v : q) v = damping(rng);
  struct Lanes {
    alignas(16) float data[4][100];
  };
  Lanes input;
  for (auto& lane : input.data)
    for (float& x : lane) x = signal(rng);
  float low0[16], band0[16];
  for (int i = 0; i < 16; ++i) {
    low0[i] = 0.3f * signal(rng);
    band0[i] = 0.2f * signal(rng);
  }

  for (int stages = 1; stages <= 4; ++stages)
    for (int r : {0, 1, 2}) {
      const auto resp = VectorFilterResponse(r);
      Lanes one = input, turn = input;
      float lowA[16], bandA[16], lowB[16], bandB[16];
      std::copy(low0, low0 + 16, lowA);
      std::copy(band0, band0 + 16, bandA);
      std::copy(low0, low0 + 16, lowB);
      std::copy(band0, band0 + 16, bandB);
      const float* inA[4] = {one.data[0], one.data[1], one.data[2], one.data[3]};
      float* outA[4] = {one.data[0], one.data[1], one.data[2], one.data[3]};
      const float* inB[4] = {turn.data[0], turn.data[1], turn.data[2], turn.data[3]};
      float* outB[4] = {turn.data[0], turn.data[1], turn.data[2], turn.data[3]};
      vectorFilterCascadeParallelFast(inA, 1.3f, f.data(), q.data(), stride, g.data(), runs.data(), lowA, bandA,
                                      stages, resp, outA, count);
      vectorFilterDriveParallelFast(inB, 1.3f, f.data(), q.data(), g.data(), runs.data(), lowB, bandB, resp, outB,
                                    count);
      for (int s = 1; s < stages; ++s)
        vectorFilterParallelFast(outB, f.data(), q.data() + s * stride, runs.data(), lowB + 4 * s, bandB + 4 * s,
                                 resp, outB, count);
      for (int l = 0; l < 4; ++l)
        for (int i = 0; i < 100; ++i)
          ASSERT_EQ(one.data[l][i], turn.data[l][i]) << stages << " stages, lane " << l << " sample " << i;
      for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(lowA[i], lowB[i]) << stages << " stages, state " << i;
        EXPECT_EQ(bandA[i], bandB[i]) << stages << " stages, state " << i;
      }
    }
}

// Four lanes of a cascade drawn at random: runs of 1 to 16 samples over
// count, per-run coefficients (the clipper's too), damping rows stride
// apart, channels of 64 samples and states.
struct LaneGroup {
  std::vector<int> runs;
  std::vector<float> f, g, q, s, a;
  alignas(16) float data[4][64];
  float low[16], band[16];

  void draw(std::mt19937& rng, int count, int stride) {
    std::uniform_real_distribution<float> signal(-1.5f, 1.5f);
    std::uniform_real_distribution<float> coefficient(0.01f, 0.9f);
    std::uniform_real_distribution<float> damping(0.05f, 1.5f);
    std::uniform_real_distribution<float> clipScale(0.05f, 8.0f);
    std::uniform_int_distribution<int> length(1, 16);
    for (int left = count; left > 0;) {
      const int len = std::min(left, length(rng));
      runs.push_back(len);
      left -= len;
    }
    f.resize(4 * 64);
    g.resize(4 * 64);
    s.resize(4 * 64);
    a.resize(4 * 64);
    q.resize(4 * static_cast<size_t>(stride));
    for (float& v : f) v = coefficient(rng);
    for (float& v : g) v = 0.05f * coefficient(rng);
    for (float& v : q) v = damping(rng);
    // Every fifth clip scale drives the clipper far past the table's ends.
    for (size_t i = 0; i < s.size(); ++i) s[i] = i % 5 == 2 ? 60.0f : clipScale(rng);
    for (float& v : a) v = 4.0f * coefficient(rng);
    for (auto& lane : data)
      for (float& x : lane) x = signal(rng);
    for (int i = 0; i < 16; ++i) {
      low[i] = 0.3f * signal(rng);
      band[i] = 0.2f * signal(rng);
    }
  }
  VectorFilterLanes lanes() {
    VectorFilterLanes l;
    for (int k = 0; k < 4; ++k) l.in[k] = l.out[k] = data[k];
    l.frequency = f.data();
    l.damping = q.data();
    l.cubicDamping = g.data();
    l.runLength = runs.data();
    l.low = low;
    l.band = band;
    l.clipScale = s.data();
    l.clipGain = a.data();
    return l;
  }
};

// Two groups of four lanes in one pass: each with its own coefficients,
// runs and states, each giving to the bit what it gives alone.
TEST(StateVariableFilterKernelTest, EightLanePassEqualsEachGroupAlone) {
  std::mt19937 rng(23);
  const int count = 61;
  const int stride = 4 * count;
  using Group = LaneGroup;
  Group groups[2];
  for (Group& gr : groups) gr.draw(rng, count, stride);
  auto lanesOf = [](Group& gr) { return gr.lanes(); };
  for (int stages : {1, 2, 4})
    for (int r : {0, 2}) {
      const auto resp = VectorFilterResponse(r);
      Group together[2] = {groups[0], groups[1]};
      VectorFilterLanes both[2] = {lanesOf(together[0]), lanesOf(together[1])};
      vectorFilterCascadeEightLanesFast(both, 0.8f, stride, stages, resp, count);
      for (int h = 0; h < 2; ++h) {
        Group alone = groups[h];
        VectorFilterLanes l = lanesOf(alone);
        vectorFilterCascadeParallelFast(l.in, 0.8f, l.frequency, l.damping, stride, l.cubicDamping, l.runLength,
                                        l.low, l.band, stages, resp, l.out, count);
        for (int k = 0; k < 4; ++k)
          for (int i = 0; i < 64; ++i)
            ASSERT_EQ(together[h].data[k][i], alone.data[k][i]) << "group " << h << " lane " << k << " sample " << i;
        for (int i = 0; i < 16; ++i) {
          EXPECT_EQ(together[h].low[i], alone.low[i]);
          EXPECT_EQ(together[h].band[i], alone.band[i]);
        }
        // Something happened: the output is not the input.
        EXPECT_NE(alone.data[1][10], groups[h].data[1][10]);
      }
    }
}

// The clipper inside the pass (one or two groups, and the 256-bit forms
// where the processor has them) gives to the bit what the cascade followed
// by the scalar clipper on each lane gives: per lane, per run its own scale
// and gain, the groups with runs of their own, arguments far past the
// table's ends, and counts with and without a partial group of four.
TEST(StateVariableFilterKernelTest, ClippedAndWidePassesEqualTheCascadeThenTheClipper) {
  const StateVariableFilter::ClipTable clipper(0.6f);
  const FunctionTable<float>& t = clipper.getTable();
  const VectorFilterClip clip = {t.getValues(), t.getFracOffset(), t.getIntOffset(), t.getScale(), t.getMask()};
  std::mt19937 rng(31);
  using Group = LaneGroup;
  auto lanesOf = [](Group& gr) { return gr.lanes(); };
  auto same = [](const Group& x, const Group& y, const char* what, int count, int stages, int h) {
    for (int k = 0; k < 4; ++k)
      for (int i = 0; i < 64; ++i)
        ASSERT_EQ(x.data[k][i], y.data[k][i])
            << what << ": count " << count << ", " << stages << " stages, group " << h << " lane " << k << " sample "
            << i;
    for (int i = 0; i < 16; ++i) {
      ASSERT_EQ(x.low[i], y.low[i]) << what;
      ASSERT_EQ(x.band[i], y.band[i]) << what;
    }
  };
  const int stride = 4 * 64;
  int saturated = 0;
  for (int count : {3, 61, 64}) {
    Group groups[2];
    for (Group& gr : groups) gr.draw(rng, count, stride);
    for (int stages = 1; stages <= 4; ++stages)
      for (int r : {0, 1, 2}) {
        const auto resp = VectorFilterResponse(r);
        // The reference: each group's cascade alone, then the scalar
        // clipper lane by lane.
        Group filtered[2] = {groups[0], groups[1]};
        Group expected[2];
        for (int h = 0; h < 2; ++h) {
          VectorFilterLanes l = lanesOf(filtered[h]);
          vectorFilterCascadeParallelFast(l.in, 0.8f, l.frequency, l.damping, stride, l.cubicDamping, l.runLength,
                                          l.low, l.band, stages, resp, l.out, count);
          expected[h] = filtered[h];
          Group& e = expected[h];
          const int nr = static_cast<int>(e.runs.size());
          for (int k = 0; k < 4; ++k) {
            std::vector<float> scales(nr), gains(nr);
            for (int j = 0; j < nr; ++j) {
              scales[j] = e.s[4 * j + k];
              gains[j] = e.a[4 * j + k];
            }
            for (int j = 0, i = 0; i < count; i += e.runs[j++])
              for (int n = i; n < i + e.runs[j]; ++n)
                if (std::fabs(e.data[k][n] * scales[j]) > 40.0f) ++saturated;
            vectorConvertBlockScaledRunsCpp(t.getValues(), t.getFracOffset(), t.getIntOffset(), t.getScale(),
                                            t.getMask(), e.data[k], scales.data(), gains.data(), e.runs.data(),
                                            e.data[k], count);
          }
        }

        Group both[2] = {groups[0], groups[1]};
        VectorFilterLanes lanes[2] = {lanesOf(both[0]), lanesOf(both[1])};
        vectorFilterCascadeClippedFast(lanes, 2, 0.8f, stride, stages, resp, clip, count);
        for (int h = 0; h < 2; ++h) same(both[h], expected[h], "two groups", count, stages, h);
        for (int h = 0; h < 2; ++h) {
          Group alone = groups[h];
          VectorFilterLanes l = lanesOf(alone);
          vectorFilterCascadeClippedFast(&l, 1, 0.8f, stride, stages, resp, clip, count);
          same(alone, expected[h], "one group", count, stages, h);
        }
        if (!vectorFilterWideAvailable()) continue;
        Group wide[2] = {groups[0], groups[1]};
        VectorFilterLanes w[2] = {lanesOf(wide[0]), lanesOf(wide[1])};
        vectorFilterCascadeClippedWide(w, 0.8f, stride, stages, resp, clip, count);
        for (int h = 0; h < 2; ++h) same(wide[h], expected[h], "256-bit, clipped", count, stages, h);
        // Two sets of eight lanes side by side, the groups in another order
        // in each: every group gives what it gives alone.
        const int order[4] = {1, 0, 0, 1};
        // On a processor with the 512-bit unit, both of its passes.
        for (const bool allow512 : {true, false}) {
          Group pair[4] = {groups[1], groups[0], groups[0], groups[1]};
          VectorFilterLanes q[4] = {lanesOf(pair[0]), lanesOf(pair[1]), lanesOf(pair[2]), lanesOf(pair[3])};
          vectorFilterCascadeClippedWidePair(q, 0.8f, stride, stages, resp, clip, count, allow512);
          for (int h = 0; h < 4; ++h)
            same(pair[h], expected[order[h]], allow512 ? "pair" : "256-bit pair", count, stages, h);
        }
        Group plain[2] = {groups[0], groups[1]};
        VectorFilterLanes p[2] = {lanesOf(plain[0]), lanesOf(plain[1])};
        vectorFilterCascadeEightLanesWide(p, 0.8f, stride, stages, resp, count);
        for (int h = 0; h < 2; ++h) same(plain[h], filtered[h], "256-bit", count, stages, h);
      }
  }
  // The table's clamped ends were reached.
  EXPECT_GT(saturated, 50);
}

// Two sets of sixteen lanes in one pass, every group with runs and
// coefficients of its own, over blocks that end inside a group of four
// samples and past the pass's chunk: each set gives, to the bit, what the
// sixteen-lane pass gives it alone, in both of the processor's passes.
TEST(StateVariableFilterKernelTest, ThirtyTwoLanePassEqualsEachSetAlone) {
  if (!vectorFilterWideAvailable()) GTEST_SKIP() << "no 256-bit unit";
  const StateVariableFilter::ClipTable clipper(0.6f);
  const FunctionTable<float>& t = clipper.getTable();
  const VectorFilterClip clip = {t.getValues(), t.getFracOffset(), t.getIntOffset(), t.getScale(), t.getMask()};
  std::mt19937 rng(53);
  const int stride = 4 * 64;
  for (int count : {3, 45, 64}) {
    LaneGroup groups[8];
    for (LaneGroup& gr : groups) gr.draw(rng, count, stride);
    for (int stages = 1; stages <= 4; ++stages)
      for (int r : {0, 1, 2}) {
        const auto resp = VectorFilterResponse(r);
        LaneGroup alone[8], both[8];
        VectorFilterLanes a[8], b[8];
        for (int h = 0; h < 8; ++h) {
          alone[h] = groups[h];
          a[h] = alone[h].lanes();
        }
        for (int set = 0; set < 2; ++set)
          vectorFilterCascadeClippedWidePair(a + 4 * set, 0.8f, stride, stages, resp, clip, count);
        for (const bool allow512 : {true, false}) {
          for (int h = 0; h < 8; ++h) {
            both[h] = groups[h];
            b[h] = both[h].lanes();
          }
          vectorFilterCascadeClippedWideQuad(b, 0.8f, stride, stages, resp, clip, count, allow512);
          for (int h = 0; h < 8; ++h) {
            for (int k = 0; k < 4; ++k)
              for (int i = 0; i < count; ++i)
                ASSERT_EQ(both[h].data[k][i], alone[h].data[k][i])
                    << "count " << count << ", " << stages << " stages, response " << r << ", group " << h
                    << " lane " << k << " sample " << i << (allow512 ? "" : ", 256-bit");
            for (int i = 0; i < 4 * stages; ++i) {
              ASSERT_EQ(both[h].low[i], alone[h].low[i]) << "group " << h << " state " << i;
              ASSERT_EQ(both[h].band[i], alone[h].band[i]) << "group " << h << " state " << i;
            }
          }
        }
      }
  }
}

// Runs laid out as held and moving notes give them: whole chunks of 32
// samples (the pass then skips its per-sample run checks and keeps the
// clipper's scale and gain for the chunk), one run over the whole block,
// and one group whose run changes inside the first or the second chunk or
// passes an empty run, beside groups whose runs do not. The sixteen- and
// thirty-two-lane passes, in both of the processor's passes, give every
// group to the bit what the four-lane clipped pass gives it alone, whose
// new run at a chunk's start brings new coefficients, clip scale and gain.
TEST(StateVariableFilterKernelTest, PassesOverWholeChunkRunsEqualEachGroupAlone) {
  if (!vectorFilterWideAvailable()) GTEST_SKIP() << "no 256-bit unit";
  const StateVariableFilter::ClipTable clipper(0.6f);
  const FunctionTable<float>& t = clipper.getTable();
  const VectorFilterClip clip = {t.getValues(), t.getFracOffset(), t.getIntOffset(), t.getScale(), t.getMask()};
  std::mt19937 rng(71);
  const int stride = 4 * 64;
  struct Layout {
    int count;
    std::vector<int> usual; // every group's runs but the odd one's
    int odd;                // the group (of eight) with other runs
    std::vector<int> oddRuns;
  };
  const Layout layouts[] = {
      {64, {32, 32}, 0, {32, 32}},       // every chunk inside one run
      {61, {61}, 0, {61}},               // a run longer than a chunk, a partial group of four
      {64, {32, 32}, 2, {32, 0, 30, 2}}, // an empty run, a change in the last group of four
      {64, {64}, 5, {29, 35}},           // a change late in the first chunk only
      {64, {64}, 7, {1, 63}},            // a change early in the first chunk only
      {45, {32, 13}, 6, {32, 13}},       // a short last chunk with a run of its own
  };
  for (const Layout& lay : layouts) {
    LaneGroup groups[8];
    for (int h = 0; h < 8; ++h) {
      groups[h].draw(rng, lay.count, stride);
      groups[h].runs = h == lay.odd ? lay.oddRuns : lay.usual;
    }
    for (int stages = 1; stages <= 4; ++stages)
      for (int r : {0, 1, 2}) {
        const auto resp = VectorFilterResponse(r);
        LaneGroup alone[8];
        for (int h = 0; h < 8; ++h) {
          alone[h] = groups[h];
          VectorFilterLanes l = alone[h].lanes();
          vectorFilterCascadeClippedFast(&l, 1, 0.8f, stride, stages, resp, clip, lay.count);
        }
        for (const bool allow512 : {true, false})
          for (const bool quad : {false, true}) {
            LaneGroup both[8];
            VectorFilterLanes b[8];
            for (int h = 0; h < 8; ++h) {
              both[h] = groups[h];
              b[h] = both[h].lanes();
            }
            if (quad) {
              vectorFilterCascadeClippedWideQuad(b, 0.8f, stride, stages, resp, clip, lay.count, allow512);
            } else {
              vectorFilterCascadeClippedWidePair(b, 0.8f, stride, stages, resp, clip, lay.count, allow512);
              vectorFilterCascadeClippedWidePair(b + 4, 0.8f, stride, stages, resp, clip, lay.count, allow512);
            }
            for (int h = 0; h < 8; ++h) {
              for (int k = 0; k < 4; ++k)
                for (int i = 0; i < lay.count; ++i)
                  ASSERT_EQ(both[h].data[k][i], alone[h].data[k][i])
                      << "count " << lay.count << ", odd group " << lay.odd << ", " << stages << " stages, response "
                      << r << ", group " << h << " lane " << k << " sample " << i << (quad ? ", 32 lanes" : "")
                      << (allow512 ? "" : ", 256-bit");
              for (int i = 0; i < 4 * stages; ++i) {
                ASSERT_EQ(both[h].low[i], alone[h].low[i]) << "group " << h << " state " << i;
                ASSERT_EQ(both[h].band[i], alone[h].band[i]) << "group " << h << " state " << i;
              }
            }
          }
      }
  }
}

// Sixteen lanes (four groups, each with runs of its own) through the paired
// clipped pass, over blocks longer than the pass works through at once and
// with a partial group of four at the end, against each lane worked out
// sample by sample from the filter's equations and the clipper's linear
// table read, to the bit.
TEST(StateVariableFilterKernelTest, SixteenLanePassEqualsThePlainEquations) {
  const StateVariableFilter::ClipTable clipper(0.6f);
  const FunctionTable<float>& t = clipper.getTable();
  const VectorFilterClip clip = {t.getValues(), t.getFracOffset(), t.getIntOffset(), t.getScale(), t.getMask()};
  constexpr int count = 150;
  constexpr int stride = 4 * count;
  std::mt19937 rng(47);
  std::uniform_real_distribution<float> signal(-1.5f, 1.5f), unit(0.0f, 1.0f);
  std::uniform_int_distribution<int> length(1, 40);
  struct Group {
    std::vector<int> runs;
    std::vector<float> f, q, g, s, a;
    alignas(16) float data[4][152];
    float low[16], band[16];
  };
  Group drawn[4];
  for (Group& gr : drawn) {
    for (int left = count; left > 0; left -= gr.runs.back()) gr.runs.push_back(std::min(left, length(rng)));
    for (auto* v : {&gr.f, &gr.g, &gr.s, &gr.a}) v->resize(4 * count);
    gr.q.resize(4 * stride);
    for (float& v : gr.f) v = 0.01f + 0.89f * unit(rng);
    for (float& v : gr.q) v = 0.05f + 1.45f * unit(rng);
    for (float& v : gr.g) v = 0.05f * unit(rng);
    for (float& v : gr.s) v = 0.05f + 8.0f * unit(rng);
    for (float& v : gr.a) v = 4.0f * unit(rng);
    for (auto& lane : gr.data)
      for (float& x : lane) x = signal(rng);
    for (int i = 0; i < 16; ++i) {
      gr.low[i] = 0.3f * signal(rng);
      gr.band[i] = 0.2f * signal(rng);
    }
  }
  // The clipper: the table read linearly between its points, clamped to
  // its ends.
  auto clipped = [&](float y, float scale, float gain) {
    const float lo = static_cast<float>(t.getIntOffset());
    const float hi = static_cast<float>(static_cast<double>(t.getIntOffset()) + t.getMask());
    float x = t.getScale() * scale * y - t.getFracOffset();
    x = std::min(std::max(x, lo), hi);
    const float k = std::floor(x);
    const int at = (static_cast<int>(k) - t.getIntOffset()) & static_cast<int>(t.getMask());
    const float v0 = t.getValues()[at], v1 = t.getValues()[at + 1];
    return (v0 + (x - k) * (v1 - v0)) * gain;
  };
  for (int stages = 1; stages <= 4; ++stages)
    for (int r : {0, 1, 2}) {
      Group pass[4] = {drawn[0], drawn[1], drawn[2], drawn[3]};
      VectorFilterLanes lanes[4];
      for (int h = 0; h < 4; ++h) {
        Group& gr = pass[h];
        lanes[h] = {{gr.data[0], gr.data[1], gr.data[2], gr.data[3]}, {gr.data[0], gr.data[1], gr.data[2], gr.data[3]},
                    gr.f.data(), gr.q.data(), gr.g.data(), gr.runs.data(), gr.low, gr.band, gr.s.data(), gr.a.data()};
      }
      vectorFilterCascadeClippedWidePair(lanes, 0.8f, stride, stages, VectorFilterResponse(r), clip, count);
      for (int h = 0; h < 4; ++h)
        for (int l = 0; l < 4; ++l) {
          Group gr = drawn[h];
          for (int i = 0, run = 0, end = gr.runs[0]; i < count; ++i) {
            if (i == end) end += gr.runs[++run];
            const int c = 4 * run + l;
            float y = 0.8f * gr.data[l][i];
            for (int st = 0; st < stages; ++st) {
              const float f = gr.f[c], q = gr.q[st * stride + c], g = st == 0 ? gr.g[c] : 0.0f;
              float& low = gr.low[4 * st + l];
              float& band = gr.band[4 * st + l];
              const float b = band;
              const float l1 = low + f * b;
              const float b1 = b + f * ((y - q * b) - l1) - ((g * b) * b) * b;
              const float l2 = l1 + f * b1;
              const float b2 = b1 + f * ((y - q * b1) - l2) - ((g * b1) * b1) * b1;
              const float l3 = l2 + f * b2;
              const float hp = (y - q * b2) - l3;
              band = std::min(std::max(b2 + f * hp - ((g * b2) * b2) * b2, -1.0f), 1.0f);
              low = std::min(std::max(l3, -10.0f), 10.0f);
              y = r == 0 ? low : (r == 1 ? hp : band);
            }
            ASSERT_EQ(pass[h].data[l][i], clipped(y, gr.s[c], gr.a[c]))
                << stages << " stages, response " << r << ", group " << h << " lane " << l << " sample " << i;
          }
          for (int st = 0; st < stages; ++st) {
            EXPECT_EQ(pass[h].low[4 * st + l], gr.low[4 * st + l]);
            EXPECT_EQ(pass[h].band[4 * st + l], gr.band[4 * st + l]);
          }
        }
    }
}

TEST(StateVariableFilterKernelTest, FourLaneKernelsRestoreTheControlState) {
  const unsigned before = _mm_getcsr();
  _mm_setcsr(0x1f80u);
  alignas(16) float a[4][8] = {};
  const float* in[4] = {a[0], a[1], a[2], a[3]};
  float* out[4] = {a[0], a[1], a[2], a[3]};
  const float f[4] = {0.5f, 0.5f, 0.5f, 0.5f}, q[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  const int runs[1] = {8};
  float low[4] = {}, band[4] = {};
  vectorFilterParallelFast(in, f, q, runs, low, band, cVectorFilterLowPass, out, 8);
  EXPECT_EQ(_mm_getcsr() & 0xffc0u, 0x1f80u);
  _mm_setcsr(before);
}

// ---------------------------------------------------------------------------
// Denormals

TEST(StateVariableFilterTest, NoDenormalsAfterSilence) {
  PlainFloatingPoint plain;
  for (int slope : {1, 2})
    for (int r : {0, 1, 2}) {
      Rig rig;
      StateVariableFilter f(&rig.env);
      f.response = GenericFilter::Response(r);
      f.slope = GenericFilter::Slope(slope);
      std::vector<float> in(kBlock), out(kBlock), fr(kBlock, freqToExpFreq(200.0f)), pk(kBlock, 0.6f);
      for (int i = 0; i < kBlock; ++i) in[i] = 0.5f * std::sin(0.05f * static_cast<float>(i));
      f.filter(in.data(), out.data(), fr.data(), pk.data(), nullptr, kBlock, true);
      std::fill(in.begin(), in.end(), 0.0f);
      // Three seconds of silence: long enough for any decay to reach the
      // denormal range.
      for (int b = 0; b < 300; ++b) {
        f.filter(in.data(), out.data(), fr.data(), pk.data(), nullptr, kBlock, true);
        for (float x : out) ASSERT_FALSE(isSubnormal(x));
        for (int s = 0; s < 4; ++s) {
          ASSERT_FALSE(isSubnormal(f.getLowState(s)));
          ASSERT_FALSE(isSubnormal(f.getBandState(s)));
        }
      }
    }
}

// ---------------------------------------------------------------------------
// Shared tables across threads

TEST(StateVariableFilterThreadTest, SharedTablesAreBuiltOnceWhileFiltersAreBuiltAtOnce) {
  // Each test runs in a process of its own, so the tables are built here,
  // by whichever thread comes first, while the others wait for them.
  constexpr int kThreads = 4;
  std::vector<std::vector<float>> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&results, t] {
      Rig rig;
      StateVariableFilter f(&rig.env);
      std::vector<float> in(256, 0.0f), fr(256, freqToExpFreq(800.0f)), pk(256, 0.7f);
      in[0] = 0.5f;
      results[t].resize(256);
      f.filter(in.data(), results[t].data(), fr.data(), pk.data(), nullptr, 256, true);
    });
  for (std::thread& th : threads) th.join();
  EXPECT_GT(rms(results[0], 0, 256), 1e-3);
  for (int t = 1; t < kThreads; ++t) EXPECT_EQ(results[t], results[0]) << t;
}
