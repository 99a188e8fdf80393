#include "wave/ValueCurves.h"

#include "wave/FunctionTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(ValueCurvesTest, TranslateRange) {
  const float xs[] = {0.0f, 1.0f, 3.0f};
  const float ys[] = {10.0f, 20.0f, 0.0f};
  EXPECT_EQ(10.0f, translateRange(-5.0f, xs, ys, 3));
  EXPECT_EQ(10.0f, translateRange(0.0f, xs, ys, 3));
  EXPECT_EQ(10.0f, translateRange(kNaN, xs, ys, 3));
  EXPECT_EQ(15.0f, translateRange(0.5f, xs, ys, 3));
  EXPECT_EQ(20.0f, translateRange(1.0f, xs, ys, 3));
  EXPECT_EQ(10.0f, translateRange(2.0f, xs, ys, 3));
  EXPECT_EQ(0.0f, translateRange(3.0f, xs, ys, 3));
  EXPECT_EQ(0.0f, translateRange(1e9f, xs, ys, 3));
  // A single breakpoint is a constant.
  EXPECT_EQ(10.0f, translateRange(7.0f, xs, ys, 1));
  EXPECT_EQ(0.0f, translateRange(7.0f, xs, ys, 0));
}

TEST(ValueCurvesTest, PotMeterCurveIsOddAndInvertible) {
  EXPECT_FLOAT_EQ(0.16f, potMeterCurve(0.5f));
  EXPECT_FLOAT_EQ(-0.16f, potMeterCurve(-0.5f));
  EXPECT_EQ(1.0f, potMeterCurve(2.0f));
  EXPECT_EQ(-1.0f, potMeterCurve(-2.0f));
  EXPECT_EQ(0.0f, potMeterCurve(0.0f));
  EXPECT_FLOAT_EQ(0.105f, potMeterCurve(0.375f)); // halfway between 0.05 and 0.16
  for (float x : {0.0f, 0.1f, 0.25f, 0.5f, 0.7f, 0.9f, 1.0f}) {
    EXPECT_FLOAT_EQ(x, potMeterCurveInverse(potMeterCurve(x))) << x;
    EXPECT_FLOAT_EQ(-x, potMeterCurveInverse(potMeterCurve(-x))) << x;
  }
  EXPECT_EQ(1.0f, potMeterCurveInverse(3.0f));
}

TEST(ValueCurvesTest, DetuneCurve) {
  EXPECT_EQ(0.0f, detuneCurve(0.0f));
  EXPECT_FLOAT_EQ(0.05f, detuneCurve(0.3f));
  EXPECT_FLOAT_EQ(-0.05f, detuneCurve(-0.3f));
  EXPECT_EQ(-1.0f, detuneCurve(-5.0f));
  EXPECT_EQ(1.0f, detuneCurve(5.0f));
  EXPECT_FLOAT_EQ(1.0f / 60.0f, detuneCurve(0.2f));
  for (float x : {-1.0f, -0.7f, -0.4f, -0.2f, 0.1f, 0.2f, 0.4f, 0.8f, 1.0f})
    EXPECT_NEAR(x, detuneCurveInverse(detuneCurve(x)), 2e-6) << x;
  EXPECT_EQ(-1.0f, detuneCurveInverse(-2.0f));
}

TEST(ValueCurvesTest, ExponentialCurvesOverTheUnitInterval) {
  EXPECT_EQ(1.0f, extremeExponentialCurve(0.99f));
  EXPECT_EQ(1.0f, extremeExponentialCurve(0.98f));
  EXPECT_FLOAT_EQ(0.3f, extremeExponentialCurve(0.9f));
  EXPECT_EQ(0.98f, extremeExponentialCurveInverse(5.0f));
  EXPECT_FLOAT_EQ(0.9f, extremeExponentialCurveInverse(0.3f));
  EXPECT_FLOAT_EQ(0.1f, EGTimeCurve(0.5f));
  EXPECT_FLOAT_EQ(0.0269f, veryExponentialCurve(0.5f));

  // Each rises from 0 to its top without a step back.
  for (auto curve : {EGTimeCurve, veryExponentialCurve, extremeExponentialCurve}) {
    EXPECT_EQ(0.0f, curve(0.0f));
    EXPECT_EQ(0.0f, curve(-1.0f));
    EXPECT_EQ(1.0f, curve(1.0f));
    float previous = 0.0f;
    for (int i = 1; i <= 1000; ++i) {
      const float y = curve(i / 1000.0f);
      ASSERT_GE(y, previous) << i;
      previous = y;
    }
  }
}

TEST(ValueCurvesTest, RatioCurve) {
  EXPECT_FLOAT_EQ(1.75f / 99.0f, ratioCurve(0.5f));
  EXPECT_FLOAT_EQ(9.0f / 99.0f, ratioCurve(0.9f));
  EXPECT_NEAR(9.0f / 99.0f + potMeterCurve(0.5f) * 90.0f / 99.0f, ratioCurve(0.95f), 1e-6);
  EXPECT_EQ(1.0f, ratioCurve(1.0f));
  EXPECT_EQ(1.0f, ratioCurve(2.0f));
  EXPECT_EQ(0.0f, ratioCurve(0.0f));
  EXPECT_FLOAT_EQ(0.1f / 99.0f, ratioCurve(0.1f));
}

TEST(ValueCurvesTest, PitchConversions) {
  EXPECT_FLOAT_EQ(std::log2(440.0f), noteNumberToExpFreq(69.0f));
  EXPECT_FLOAT_EQ(std::log2(440.0f) + 1.0f, noteNumberToExpFreq(81.0f));
  EXPECT_NEAR(880.0f, expFreqToFreq(noteNumberToExpFreq(81.0f)), 880.0f * 4e-7f);
  EXPECT_NEAR(440.0f, expFreqToFreq(noteNumberToExpFreq(69.0f)), 440.0f * 4e-7f);
  EXPECT_NEAR(261.6256f, expFreqToFreq(noteNumberToExpFreq(60.0f)), 1e-3);
  EXPECT_FLOAT_EQ(std::log2(440.0f), freqToExpFreq(440.0f));
  EXPECT_FLOAT_EQ(0.0f, freqToExpFreq(1.0f));
  EXPECT_FLOAT_EQ(1024.0f, expFreqToFreq(10.0f));
  EXPECT_FLOAT_EQ(44100.0f, expFreqToFreq(freqToExpFreq(44100.0f)));
}

TEST(ValueCurvesTest, DecibelConversions) {
  EXPECT_EQ(-180.0f, amplitudeToDB(0.0f));
  EXPECT_EQ(-180.0f, amplitudeToDB(-1.0f));
  EXPECT_EQ(-180.0f, amplitudeToDB(1e-10f));
  EXPECT_EQ(-180.0f, amplitudeToDB(kNaN));
  EXPECT_EQ(0.0f, amplitudeToDB(1.0f));
  EXPECT_NEAR(-6.0206f, amplitudeToDB(0.5f), 1e-4);
  EXPECT_FLOAT_EQ(20.0f, amplitudeToDB(10.0f));
  EXPECT_FLOAT_EQ(10.802f, amplitudeToDisplayDB(1.0f));
  EXPECT_EQ(-180.0f, amplitudeToDisplayDB(0.0f));
  EXPECT_FLOAT_EQ(1.0f, dBToAmplitude(0.0f));
  EXPECT_FLOAT_EQ(0.1f, dBToAmplitude(-20.0f));
  EXPECT_NEAR(0.5f, dBToAmplitude(amplitudeToDB(0.5f)), 1e-6);

  EXPECT_EQ("-INF", dBToStr(-180.0f));
  EXPECT_EQ("-INF", dBToStr(-500.0f));
  EXPECT_EQ("-6.00", dBToStr(-6.0f));
  EXPECT_EQ("10.80", dBToStr(amplitudeToDisplayDB(1.0f)));
  EXPECT_EQ("-179.99", dBToStr(-179.99f));
}

TEST(ValueCurvesTest, GainAndSpread) {
  EXPECT_FLOAT_EQ(1.0f, convertGain(1.0f));
  EXPECT_FLOAT_EQ(std::pow(10.0f, -1.62f), convertGain(0.1f));
  EXPECT_EQ(0.0f, convertGain(0.0f));
  // The two branches meet at 0.1.
  EXPECT_NEAR(convertGain(0.1f), convertGain(std::nextafter(0.1f, 1.0f)), 1e-6);
  EXPECT_FLOAT_EQ(0.5f * std::pow(10.0f, -1.62f), convertGain(0.05f));

  EXPECT_EQ(1.5f, stereoSpreadCurve(2.0f));
  EXPECT_EQ(0.5f, stereoSpreadCurve(0.5f));
  EXPECT_EQ(1.0f, stereoSpreadCurve(1.0f));

  EXPECT_EQ(-1.0f, calculateSpreadingFactor(0, 3));
  EXPECT_EQ(0.0f, calculateSpreadingFactor(1, 3));
  EXPECT_EQ(1.0f, calculateSpreadingFactor(2, 3));
  EXPECT_EQ(0.0f, calculateSpreadingFactor(0, 1));
  EXPECT_FLOAT_EQ(-1.0f / 3.0f, calculateSpreadingFactor(1, 4));
}

TEST(ValueCurvesTest, EnvelopeDefaultCurvesTabulateAsRamps) {
  const EnvelopeDefaultUpCurve up;
  const EnvelopeDefaultDownCurve down;
  EXPECT_EQ(0.25, up(0.25));
  EXPECT_EQ(0.75, down(0.25));
  FunctionTable<float> upTable, downTable;
  upTable.initialize(4096, up, 0.0f, 1.0f);
  downTable.initialize(4096, down, 0.0f, 1.0f);
  EXPECT_EQ(0.0f, upTable.getValues()[0]);
  EXPECT_EQ(1.0f, upTable.getValues()[4096]);
  EXPECT_EQ(1.0f, downTable.getValues()[0]);
  EXPECT_EQ(0.0f, downTable.getValues()[4096]);
  EXPECT_NEAR(0.3f, readFunctionTable(upTable, 0.3f), 1e-6);
  EXPECT_NEAR(0.7f, readFunctionTable(downTable, 0.3f), 1e-6);
}

} // namespace
