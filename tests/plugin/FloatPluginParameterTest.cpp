// The continuous parameter: clamping, the change threshold, limits, the
// linear conversions and their texts, and values that are not numbers.

#include "plugin/FloatPluginParameter.h"
#include "tests/plugin/RecordingParameterOwner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace parametertest;

namespace {

constexpr float cNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float cInf = std::numeric_limits<float>::infinity();

class FloatPluginParameterTest : public ::testing::Test {
protected:
  RecordingParameterOwner owner;
  FloatPluginParameter other{&owner, "Other"};
  FloatPluginParameter parameter{&owner, "Level"};
};

} // namespace

TEST_F(FloatPluginParameterTest, StartsAsAZeroToOneRangeAtZero) {
  EXPECT_EQ(parameter.getIndex(), 1);
  EXPECT_EQ(owner.parameters[1], &parameter);
  EXPECT_EQ(parameter.getType(), AbstractPluginParameter::cContinuous);
  EXPECT_EQ(parameter.getName(), "Level");
  EXPECT_EQ(parameter.getMin(), 0.0f);
  EXPECT_EQ(parameter.getMax(), 1.0f);
  EXPECT_EQ(parameter.getDefault(), 0.0f);
  EXPECT_EQ(parameter.getValue(), 0.0f);
  EXPECT_TRUE(owner.reports.empty());
}

TEST_F(FloatPluginParameterTest, ValuesAreClampedIntoTheRangeAndReportedWithTheCallersFlags) {
  parameter.setValue(5.0f, 0);
  EXPECT_EQ(parameter.getValue(), 1.0f);
  parameter.setValue(-3.0f, cParameterChangeFromHost);
  EXPECT_EQ(parameter.getValue(), 0.0f);
  parameter.setValue(0.25f, 0);
  ASSERT_EQ(owner.reports.size(), 3u);
  EXPECT_EQ(owner.reports[0].index, 1);
  EXPECT_EQ(owner.reports[0].value, 1.0f);
  EXPECT_EQ(owner.reports[0].flags, 0);
  EXPECT_EQ(owner.reports[1].value, 0.0f);
  EXPECT_EQ(owner.reports[1].flags, cParameterChangeFromHost);
  EXPECT_EQ(owner.reports[2].value, 0.25f);

  // Clamped to where it already is: no change.
  parameter.setValue(1.0f, 0);
  parameter.setValue(2.0f, 0);
  parameter.setValue(1.0f, 0);
  EXPECT_EQ(owner.reports.size(), 4u);
  parameter.setValue(0.0f, 0);
  parameter.setValue(-1.0f, 0);
  EXPECT_EQ(owner.reports.size(), 5u);
}

TEST_F(FloatPluginParameterTest, ChangesWithinSinglePrecisionEpsilonAreNoChanges) {
  parameter.setValue(1e-7f, 0);
  EXPECT_EQ(parameter.getValue(), 0.0f);
  EXPECT_TRUE(owner.reports.empty());

  parameter.setValue(2e-7f, 0);
  EXPECT_EQ(parameter.getValue(), 2e-7f);
  ASSERT_EQ(owner.reports.size(), 1u);
  EXPECT_EQ(owner.reports[0].value, 2e-7f);

  // The threshold is an absolute step, not a relative one: at 10 the
  // smallest float step (about 1e-7 of the value) still counts.
  parameter.setLimits(0.0f, 1000.0f, 10.0f);
  owner.reports.clear();
  const float next = std::nextafter(10.0f, 11.0f);
  parameter.setValue(next, 0);
  EXPECT_EQ(parameter.getValue(), next);
  EXPECT_EQ(owner.reports.size(), 1u);
  // From 1 the next float up is exactly epsilon away (the float step above
  // 1 is what epsilon is): still no change.
  parameter.setValue(1.0f, 0);
  owner.reports.clear();
  parameter.setValue(std::nextafter(1.0f, 2.0f), 0);
  EXPECT_EQ(parameter.getValue(), 1.0f);
  EXPECT_TRUE(owner.reports.empty());
}

TEST_F(FloatPluginParameterTest, SetLimitsTakesTheDefaultAsValueAndReportsIt) {
  parameter.setLimits(0.0f, 1.0f, 0.5f);
  EXPECT_EQ(parameter.getValue(), 0.5f);
  EXPECT_EQ(parameter.getDefault(), 0.5f);
  ASSERT_EQ(owner.reports.size(), 1u);
  EXPECT_EQ(owner.reports[0].value, 0.5f);
  EXPECT_EQ(owner.reports[0].flags, 0);

  // A default equal to the value reports nothing.
  other.setLimits(0.0f, 10.0f, 0.0f);
  EXPECT_EQ(owner.reports.size(), 1u);

  parameter.setLimits(20.0f, 20000.0f, 1000.0f);
  EXPECT_EQ(parameter.getMin(), 20.0f);
  EXPECT_EQ(parameter.getMax(), 20000.0f);
  EXPECT_EQ(parameter.getValue(), 1000.0f);

  parameter.setValue(5.0f, 0);
  parameter.setToDefault();
  EXPECT_EQ(parameter.getValue(), 1000.0f);
  EXPECT_EQ(owner.reports.back().flags, 0);
}

TEST_F(FloatPluginParameterTest, NormalizedAndVersionedFormsAreLinearAndNotClamped) {
  parameter.setLimits(20.0f, 20000.0f, 1000.0f);
  EXPECT_FLOAT_EQ(parameter.convertNaturalToNormalized(20.0f), 0.0f);
  EXPECT_FLOAT_EQ(parameter.convertNaturalToNormalized(20000.0f), 1.0f);
  EXPECT_FLOAT_EQ(parameter.convertNaturalToNormalized(10010.0f), 0.5f);
  EXPECT_FLOAT_EQ(parameter.convertNaturalToNormalized(39980.0f), 2.0f);
  EXPECT_FLOAT_EQ(parameter.convertNaturalToNormalized(0.0f), -20.0f / 19980.0f);
  EXPECT_FLOAT_EQ(parameter.convertNormalizedToNatural(0.25f), 5015.0f);
  EXPECT_FLOAT_EQ(parameter.convertNormalizedToNatural(1.5f), 29990.0f);
  EXPECT_FLOAT_EQ(parameter.getNormalizedValue(), 980.0f / 19980.0f);

  parameter.setNormalizedValue(0.5f, 0);
  EXPECT_FLOAT_EQ(parameter.getValue(), 10010.0f);
  parameter.setNormalizedValue(3.0f, 0);
  EXPECT_EQ(parameter.getValue(), 20000.0f);

  // Versioned values are the normalized ones, in every version.
  EXPECT_FLOAT_EQ(parameter.getVersionedValue(0), 1.0f);
  EXPECT_FLOAT_EQ(parameter.getVersionedValue(7), 1.0f);
  parameter.setVersionedValue(0.25f, 2, 0);
  EXPECT_FLOAT_EQ(parameter.getValue(), 5015.0f);
  parameter.setVersionedValue(0.0f, 2, 0);
  EXPECT_EQ(parameter.getValue(), 20.0f);
  EXPECT_EQ(parameter.getIndexedMaxForVersion(0), -1);
}

TEST_F(FloatPluginParameterTest, ValueTextsShowUpToFifteenSignificantDigits) {
  EXPECT_EQ(parameter.convertValueToString(0.5f), "0.5");
  EXPECT_EQ(parameter.convertValueToString(1000.0f), "1000");
  EXPECT_EQ(parameter.convertValueToString(-2.25f), "-2.25");
  // The float's own digits, as a double shows them.
  EXPECT_EQ(parameter.convertValueToString(0.1f), "0.100000001490116");
  EXPECT_EQ(parameter.convertValueToString(1e20f), "1.00000002004088e+20");
  parameter.setValue(0.75f, 0);
  EXPECT_EQ(parameter.getValueAsString(), "0.75");
}

TEST_F(FloatPluginParameterTest, ValuesThatAreNotFiniteNumbersLeaveTheParameterAlone) {
  parameter.setLimits(-10.0f, 10.0f, 2.0f);
  owner.reports.clear();

  parameter.setValue(cNaN, 0);
  parameter.setValue(cInf, 0);
  parameter.setValue(-cInf, cParameterChangeFromHost);
  parameter = cNaN;
  parameter.setNormalizedValue(cNaN, 0);
  parameter.setNormalizedValue(cInf, 0);
  parameter.setVersionedValue(cNaN, 1, 0);
  EXPECT_EQ(parameter.getValue(), 2.0f);
  EXPECT_TRUE(owner.reports.empty());

  // A default that is not a number does not become the value either.
  other.setLimits(0.0f, 1.0f, cNaN);
  EXPECT_EQ(other.getValue(), 0.0f);
  EXPECT_TRUE(owner.reports.empty());
}

TEST_F(FloatPluginParameterTest, AOnePointRangeNeverDividesByZero) {
  parameter.setLimits(5.0f, 5.0f, 5.0f);
  EXPECT_EQ(parameter.getValue(), 5.0f);
  EXPECT_EQ(parameter.convertNaturalToNormalized(5.0f), 0.0f);
  EXPECT_EQ(parameter.convertNaturalToNormalized(9.0f), 0.0f);
  EXPECT_EQ(parameter.getNormalizedValue(), 0.0f);
  EXPECT_EQ(parameter.getVersionedValue(1), 0.0f);
  EXPECT_EQ(parameter.convertNormalizedToNatural(0.7f), 5.0f);
  parameter.setValue(7.0f, 0);
  parameter.setNormalizedValue(1.0f, 0);
  EXPECT_EQ(parameter.getValue(), 5.0f);
}

TEST_F(FloatPluginParameterTest, AssignmentSetsWithFlagsZeroAndYieldsTheValue) {
  const float result = (parameter = 7.0f);
  EXPECT_EQ(result, 7.0f);
  EXPECT_EQ(parameter.getValue(), 1.0f);
  ASSERT_EQ(owner.reports.size(), 1u);
  EXPECT_EQ(owner.reports[0].flags, 0);
}
