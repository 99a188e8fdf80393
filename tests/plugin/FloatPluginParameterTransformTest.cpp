// The transform of a continuous parameter: linear range, value and display
// curves with their inverses, and value texts.

#include "plugin/FloatPluginParameterTransform.h"

#include "plugin/FloatPluginParameter.h"
#include "tests/plugin/RecordingParameterOwner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace parametertest;

namespace {

float square(float x) { return x * x; }
float root(float x) { return std::sqrt(x); }
float percent(float x) { return x * 100.0f; }
float fromPercent(float x) { return x / 100.0f; }

class FloatPluginParameterTransformTest : public ::testing::Test {
protected:
  RecordingParameterOwner owner;
  FloatPluginParameter parameter{&owner, "Cutoff"};
  FloatPluginParameterTransform transform{&parameter};
};

} // namespace

TEST_F(FloatPluginParameterTransformTest, WithoutSetUpTheEngineValueIsTheNaturalValue) {
  EXPECT_EQ(transform.getParameter(), &parameter);
  EXPECT_EQ(transform.getScale(), 1.0f);
  EXPECT_EQ(transform.getOffset(), 0.0f);
  EXPECT_EQ(transform.getDisplayFormat(), "%.3f");
  EXPECT_EQ(transform.getDisplayUnit(), "");
  parameter.setValue(0.375f, 0);
  EXPECT_EQ(transform.getValue(), 0.375f);
  EXPECT_EQ(transform.getDisplayValue(), 0.375f);
  EXPECT_EQ(transform.invertValue(0.625f), 0.625f);
  EXPECT_EQ(transform.convertValueToString(0.375f), "0.375");
}

TEST_F(FloatPluginParameterTransformTest, RangeTakesTheParametersLimitsToTheGivenValues) {
  transform.setRange(0.2f, 100.0f);
  EXPECT_FLOAT_EQ(transform.getValue(), 0.2f);
  parameter.setValue(1.0f, 0);
  EXPECT_FLOAT_EQ(transform.getValue(), 100.0f);
  parameter.setValue(0.5f, 0);
  EXPECT_FLOAT_EQ(transform.getValue(), 50.1f);
  EXPECT_FLOAT_EQ(transform.invertValue(50.1f), 0.5f);

  // The limits at the time of the call count.
  FloatPluginParameter wide(&owner, "Wide");
  wide.setLimits(20.0f, 220.0f, 20.0f);
  FloatPluginParameterTransform unit(&wide);
  unit.setRange(0.0f, 1.0f);
  EXPECT_FLOAT_EQ(unit.getValue(), 0.0f);
  wide.setValue(120.0f, 0);
  EXPECT_FLOAT_EQ(unit.getValue(), 0.5f);
  EXPECT_FLOAT_EQ(unit.invertValue(0.25f), 70.0f);
  // A falling range.
  unit.setRange(10.0f, -10.0f);
  EXPECT_FLOAT_EQ(unit.getValue(), 0.0f);
  EXPECT_FLOAT_EQ(unit.getValueOf(220.0f), -10.0f);
}

TEST_F(FloatPluginParameterTransformTest, TextsUseTheFormatAndAppendTheUnitAfterOneSpace) {
  transform.setRange(0.2f, 100.0f);
  EXPECT_EQ(transform.convertValueToString(0.5f), "50.100");
  transform.setDisplayUnit("Hz");
  EXPECT_EQ(transform.convertValueToString(0.5f), "50.100 Hz");
  transform.setDisplayFormat("%.0f");
  EXPECT_EQ(transform.convertValueToString(1.0f), "100 Hz");

  // A text function wins over the format; the unit still follows.
  transform.setFloatToStrFunction([](float v) { return v > 50.0f ? std::string("high") : std::string("low"); });
  EXPECT_EQ(transform.convertValueToString(0.75f), "high Hz");
  transform.setDisplayUnit("");
  EXPECT_EQ(transform.convertValueToString(0.25f), "low");
  transform.setFloatToStrFunction(nullptr);
  EXPECT_EQ(transform.convertValueToString(0.25f), "25");
}

TEST_F(FloatPluginParameterTransformTest, CurvesApplyBeforeTheRangeAndInvertThroughTheirInverses) {
  transform.setFunction(square, root);
  transform.setRange(0.0f, 10.0f);
  transform.setDisplayFunction(percent, fromPercent);
  transform.setDisplayUnit("%");
  parameter.setValue(0.5f, 0);
  EXPECT_FLOAT_EQ(transform.getValue(), 2.5f);
  EXPECT_FLOAT_EQ(transform.getDisplayValue(), 250.0f);
  EXPECT_FLOAT_EQ(transform.invertValue(2.5f), 0.5f);
  EXPECT_FLOAT_EQ(transform.invertDisplayValue(250.0f), 0.5f);
  EXPECT_FLOAT_EQ(transform.invertDisplayValue(1000.0f), 1.0f);
  EXPECT_EQ(transform.convertValueToString(0.5f), "250.000 %");

  // A missing inverse is the identity.
  transform.setFunction(square, nullptr);
  EXPECT_FLOAT_EQ(transform.invertValue(2.5f), 0.25f);
  transform.setDisplayFunction(percent, nullptr);
  EXPECT_FLOAT_EQ(transform.invertDisplayValue(2.5f), 0.25f);
  // A missing curve too.
  transform.setFunction(nullptr, nullptr);
  EXPECT_FLOAT_EQ(transform.getValue(), 5.0f);
}

TEST_F(FloatPluginParameterTransformTest, AOnePointParameterMapsToTheBottomOfTheRange) {
  parameter.setLimits(3.0f, 3.0f, 3.0f);
  transform.setRange(10.0f, 20.0f);
  EXPECT_EQ(transform.getScale(), 0.0f);
  EXPECT_EQ(transform.getValue(), 10.0f);
  EXPECT_EQ(transform.invertValue(15.0f), 3.0f);
  EXPECT_EQ(transform.convertValueToString(3.0f), "10.000");

  // A range of one engine value: the bottom of the natural range stands for
  // every natural value.
  FloatPluginParameter wide(&owner, "Wide");
  wide.setLimits(2.0f, 8.0f, 5.0f);
  FloatPluginParameterTransform flat(&wide);
  flat.setRange(7.0f, 7.0f);
  EXPECT_EQ(flat.getValue(), 7.0f);
  EXPECT_EQ(flat.invertValue(7.0f), 2.0f);
}
