// Indexed parameters: steps, value tables, names, versions, and input that
// lies outside every step.

#include "plugin/IndexedPluginParameter.h"

#include "tests/plugin/RecordingParameterOwner.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

using namespace parametertest;

namespace {

constexpr float cNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float cInf = std::numeric_limits<float>::infinity();

enum Shape { Sine, Saw, Square, Noise };

class IndexedPluginParameterTest : public ::testing::Test {
protected:
  IndexedPluginParameterTest() { steps.configure(0, 4, 0, ""); }

  RecordingParameterOwner owner;
  IndexedPluginParameter<int> steps{&owner, "Steps"};
};

} // namespace

TEST_F(IndexedPluginParameterTest, BeforeSetUpItIsAnIndexedRangeOfTwoSteps) {
  IndexedPluginParameter<int> fresh(&owner, "Fresh");
  EXPECT_EQ(fresh.getIndex(), 1);
  EXPECT_EQ(fresh.getType(), AbstractPluginParameter::cIndexed);
  EXPECT_EQ(fresh.getMin(), 0.0f);
  EXPECT_EQ(fresh.getMax(), 1.0f);
  EXPECT_EQ(fresh.getValue(), 0.0f);
  EXPECT_EQ(fresh.getDefault(), 0.0f);
}

TEST_F(IndexedPluginParameterTest, ValuesAreTruncatedAndClampedToTheSteps) {
  EXPECT_EQ(steps.getMax(), 4.0f);
  steps.setValue(2.9f, 0);
  EXPECT_EQ(steps.getValue(), 2.0f);
  EXPECT_EQ(steps.getTypedValue(), 2);
  steps.setValue(7.0f, cParameterChangeFromHost);
  EXPECT_EQ(steps.getCurrentIndex(), 4);
  steps.setValue(-1.0f, 0);
  EXPECT_EQ(steps.getValue(), 0.0f);
  ASSERT_EQ(owner.reports.size(), 3u);
  EXPECT_EQ(owner.reports[0].index, 0);
  EXPECT_EQ(owner.reports[0].value, 2.0f);
  EXPECT_EQ(owner.reports[1].value, 4.0f);
  EXPECT_EQ(owner.reports[1].flags, cParameterChangeFromHost);
  EXPECT_EQ(owner.reports[2].value, 0.0f);

  // The current step, however it is reached, reports nothing; truncation is
  // toward zero.
  steps.setValue(0.0f, 0);
  steps.setValue(-0.9f, 0);
  steps.setValue(0.99f, 0);
  steps.setValue(-5.0f, 0);
  EXPECT_EQ(owner.reports.size(), 3u);

  // Finite values far outside the int range clamp like any other.
  steps.setValue(1e20f, 0);
  EXPECT_EQ(steps.getValue(), 4.0f);
  steps.setValue(-1e20f, 0);
  EXPECT_EQ(steps.getValue(), 0.0f);
}

TEST_F(IndexedPluginParameterTest, ValuesThatAreNotFiniteNumbersLeaveTheParameterAlone) {
  steps.setValue(3.0f, 0);
  owner.reports.clear();
  steps.setValue(cNaN, 0);
  steps.setValue(cInf, 0);
  steps.setValue(-cInf, cParameterChangeFromHost);
  steps.setNormalizedValue(cNaN, 0);
  steps.setVersionedValue(cNaN, 0, 0);
  steps.addVersion(2, 1);
  steps.setVersionedValue(cNaN, 1, 0);
  EXPECT_EQ(steps.getValue(), 3.0f);
  EXPECT_TRUE(owner.reports.empty());

  float natural = 1.0f;
  EXPECT_FALSE(steps.convertVersionedToNatural(cNaN, 1, natural));
  EXPECT_EQ(steps.convertValueToString(cInf), "INF");
  EXPECT_NO_THROW(steps.convertValueToString(cNaN));
}

TEST_F(IndexedPluginParameterTest, NormalizedValuesSpreadEvenlyOverTheSteps) {
  EXPECT_EQ(steps.convertNormalizedToNatural(0.5f), 2.0f);
  EXPECT_EQ(steps.convertNaturalToNormalized(3.0f), 0.75f);
  EXPECT_EQ(steps.convertNaturalToNormalized(3.7f), 0.75f);
  // Not clamped on the way out, clamped on the way in.
  EXPECT_EQ(steps.convertNaturalToNormalized(6.0f), 1.5f);
  EXPECT_EQ(steps.convertNormalizedToNatural(-0.5f), 0.0f);
  EXPECT_EQ(steps.convertNormalizedToNatural(1.5f), 4.0f);
  // Half a step rounds up.
  EXPECT_EQ(steps.convertNormalizedToNatural(0.374f), 1.0f);
  EXPECT_EQ(steps.convertNormalizedToNatural(0.375f), 2.0f);
  for (int i = 0; i <= 4; ++i)
    EXPECT_EQ(steps.convertNormalizedToNatural(steps.convertNaturalToNormalized(static_cast<float>(i))),
              static_cast<float>(i));

  steps.setNormalizedValue(1.0f, 0);
  EXPECT_EQ(steps.getTypedValue(), 4);
  EXPECT_EQ(steps.getNormalizedValue(), 1.0f);
}

TEST_F(IndexedPluginParameterTest, NamesFollowTheFirstValue) {
  IndexedPluginParameter<int> octave(&owner, "Octave");
  octave.configure(-1, 2, 0, "Low,Mid,High,Top");
  EXPECT_EQ(octave.getMin(), -1.0f);
  EXPECT_EQ(octave.getMax(), 2.0f);
  EXPECT_EQ(octave.getValue(), 0.0f);
  EXPECT_EQ(octave.getDefault(), 0.0f);
  EXPECT_EQ(octave.getNames().size(), 4u);
  EXPECT_EQ(octave.convertValueToString(-1.0f), "Low");
  EXPECT_EQ(octave.convertValueToString(2.0f), "Top");
  EXPECT_EQ(octave.getValueAsString(), "Mid");
  EXPECT_EQ(octave.convertNaturalToNormalized(-1.0f), 0.0f);
  EXPECT_EQ(octave.convertNaturalToNormalized(2.0f), 1.0f);
  EXPECT_EQ(octave.convertNormalizedToNatural(0.0f), -1.0f);
  octave.setValue(-1.0f, 0);
  EXPECT_EQ(octave.getTypedValue(), -1);

  // Values without a name show their number instead of failing.
  EXPECT_EQ(octave.convertValueToString(3.0f), "3");
  EXPECT_EQ(octave.convertValueToString(-2.0f), "-2");
  EXPECT_EQ(octave.convertValueToString(1e20f), "2147483647");

  // Without names every value is its number.
  EXPECT_TRUE(steps.getNames().empty());
  EXPECT_EQ(steps.convertValueToString(3.0f), "3");
  EXPECT_EQ(steps.convertValueToString(3.9f), "3");
}

TEST_F(IndexedPluginParameterTest, ConfigureStartsOverWithoutNotifying) {
  steps.setValue(3.0f, 0);
  steps.configure(1, 3, 2, "A,B,C");
  EXPECT_EQ(steps.getValue(), 2.0f);
  EXPECT_EQ(steps.getDefault(), 2.0f);
  EXPECT_EQ(steps.getFirstValue(), 1);
  EXPECT_EQ(steps.getLastValue(), 3);
  EXPECT_EQ(steps.getNames(), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(owner.reports.size(), 1u);
  steps.configure(0, 1, 0, "");
  EXPECT_TRUE(steps.getNames().empty());
  steps.setValue(3.0f, 0);
  steps.setToDefault();
  EXPECT_EQ(steps.getValue(), 0.0f);
}

TEST_F(IndexedPluginParameterTest, ATableGivesTheValueOfEachStep) {
  static const Shape table[] = {Square, Sine, Saw};
  IndexedPluginParameter<Shape> shape(&owner, "Shape");
  shape.setValueTable(table, 3, 1);
  shape.configure(0, 3, Sine, "Sine,Saw,Square,Noise");
  EXPECT_EQ(shape.getMin(), 1.0f);
  EXPECT_EQ(shape.getMax(), 3.0f);
  EXPECT_EQ(shape.getValue(), 2.0f);
  EXPECT_EQ(shape.getDefault(), 2.0f);
  EXPECT_EQ(shape.getValueAsString(), "Sine");

  shape.setValue(1.0f, 0);
  EXPECT_EQ(shape.getTypedValue(), Square);
  EXPECT_EQ(shape.getValue(), 1.0f);
  shape.setValue(0.0f, 0); // below the first step: step 1, already there
  shape.setValue(3.0f, 0);
  EXPECT_EQ(shape.getTypedValue(), Saw);
  shape.setValue(8.0f, 0);
  EXPECT_EQ(owner.reports.size(), 2u);

  // Texts read the table clamped to its ends.
  EXPECT_EQ(shape.convertValueToString(1.0f), "Square");
  EXPECT_EQ(shape.convertValueToString(3.0f), "Saw");
  EXPECT_EQ(shape.convertValueToString(0.0f), "Square");
  EXPECT_EQ(shape.convertValueToString(9.0f), "Saw");

  // A value the table does not hold stands at the table's first step.
  EXPECT_EQ(shape.indexOf(Noise), 1);
  IndexedPluginParameter<Shape> odd(&owner, "Odd");
  odd.setValueTable(table, 3, 1);
  odd.configure(0, 3, Noise, "Sine,Saw,Square,Noise");
  EXPECT_EQ(odd.getValue(), 1.0f);
  EXPECT_EQ(odd.getDefault(), 1.0f);
  const size_t before = owner.reports.size();
  odd.setValue(1.0f, 0);
  EXPECT_EQ(odd.getTypedValue(), Noise);
  EXPECT_EQ(owner.reports.size(), before);
  odd.setValue(2.0f, 0);
  EXPECT_EQ(odd.getTypedValue(), Sine);

  // An empty table is no table.
  IndexedPluginParameter<Shape> plain(&owner, "Plain");
  plain.setValueTable(table, 0, 1);
  plain.configure(0, 3, Saw, "Sine,Saw,Square,Noise");
  EXPECT_EQ(plain.getMin(), 0.0f);
  EXPECT_EQ(plain.getMax(), 3.0f);
  plain.setValue(3.0f, 0);
  EXPECT_EQ(plain.getTypedValue(), Noise);
}

TEST_F(IndexedPluginParameterTest, SwitchesAreBoolSteps) {
  IndexedPluginParameter<bool> enabled(&owner, "Enabled");
  enabled.configure(0, 1, true, "Off,On");
  EXPECT_TRUE(enabled.getTypedValue());
  EXPECT_EQ(enabled.getValue(), 1.0f);
  EXPECT_EQ(enabled.getValueAsString(), "On");
  enabled.setNormalizedValue(0.2f, 0);
  EXPECT_FALSE(enabled.getTypedValue());
  EXPECT_EQ(enabled.convertValueToString(0.0f), "Off");
  EXPECT_EQ(owner.reports.size(), 1u);
}

TEST_F(IndexedPluginParameterTest, VersionsBoundTheStepsEachVersionHad) {
  steps.configure(0, 6, 0, "");
  int lo = -9, hi = -9;
  bool first = false;
  EXPECT_FALSE(steps.getVersionedLimits(1, lo, hi, first));
  EXPECT_EQ(steps.getIndexedMaxForVersion(1), -1);

  steps.addVersion(2, 1);
  steps.addVersion(4, 2);
  ASSERT_TRUE(steps.getVersionedLimits(1, lo, hi, first));
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 2);
  EXPECT_TRUE(first);
  ASSERT_TRUE(steps.getVersionedLimits(2, lo, hi, first));
  EXPECT_EQ(lo, 2);
  EXPECT_EQ(hi, 4);
  EXPECT_FALSE(first);
  ASSERT_TRUE(steps.getVersionedLimits(3, lo, hi, first));
  EXPECT_EQ(lo, 4);
  EXPECT_EQ(hi, 6);
  EXPECT_FALSE(first);
  ASSERT_TRUE(steps.getVersionedLimits(0, lo, hi, first));
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 2);
  EXPECT_EQ(steps.getIndexedMaxForVersion(2), 4);
  EXPECT_EQ(steps.getIndexedMaxForVersion(1), 2);
  EXPECT_EQ(steps.getIndexedMaxForVersion(5), -1);
}

TEST_F(IndexedPluginParameterTest, VersionedValuesSpreadOverTheVersionsOwnSteps) {
  steps.configure(0, 6, 0, "");
  steps.addVersion(2, 1);
  steps.addVersion(4, 2);

  // Version 2 had steps 2..4, of which 2 was the highest of version 1.
  EXPECT_EQ(steps.convertNaturalToVersioned(3.0f, 2), 0.5f);
  EXPECT_EQ(steps.convertNaturalToVersioned(4.0f, 2), 1.0f);
  EXPECT_EQ(steps.convertNaturalToVersioned(3.5f, 2), 0.5f);
  // Steps the version did not have read as its lowest step.
  EXPECT_EQ(steps.convertNaturalToVersioned(5.0f, 2), 0.0f);
  EXPECT_EQ(steps.convertNaturalToVersioned(2.0f, 2), 0.0f);
  EXPECT_EQ(steps.convertNaturalToVersioned(1.0f, 2), 0.0f);
  // Version 1 starts at the parameter's own first step.
  EXPECT_EQ(steps.convertNaturalToVersioned(1.0f, 1), 0.5f);
  EXPECT_EQ(steps.convertNaturalToVersioned(0.0f, 1), 0.0f);

  float natural = -1.0f;
  EXPECT_TRUE(steps.convertVersionedToNatural(0.5f, 2, natural));
  EXPECT_EQ(natural, 3.0f);
  EXPECT_TRUE(steps.convertVersionedToNatural(1.0f, 2, natural));
  EXPECT_EQ(natural, 4.0f);
  // The lowest step of a later version is the previous version's: not read.
  EXPECT_FALSE(steps.convertVersionedToNatural(0.0f, 2, natural));
  EXPECT_EQ(natural, 2.0f);
  EXPECT_TRUE(steps.convertVersionedToNatural(0.0f, 1, natural));
  EXPECT_EQ(natural, 0.0f);
  EXPECT_TRUE(steps.convertVersionedToNatural(1.0f, 3, natural));
  EXPECT_EQ(natural, 6.0f);

  for (int s = 3; s <= 4; ++s) {
    ASSERT_TRUE(steps.convertVersionedToNatural(steps.convertNaturalToVersioned(static_cast<float>(s), 2), 2, natural));
    EXPECT_EQ(natural, static_cast<float>(s));
  }

  steps.setValue(5.0f, 0);
  steps.setVersionedValue(0.0f, 2, 0);
  EXPECT_EQ(steps.getValue(), 5.0f);
  steps.setVersionedValue(1.0f, 1, 0);
  EXPECT_EQ(steps.getValue(), 2.0f);
  EXPECT_EQ(steps.getVersionedValue(1), 1.0f);
}

TEST_F(IndexedPluginParameterTest, OneStepRangesNeverDivideByZero) {
  IndexedPluginParameter<int> only(&owner, "Only");
  only.configure(3, 3, 3, "Only");
  EXPECT_EQ(only.convertNaturalToNormalized(3.0f), 0.0f);
  EXPECT_EQ(only.convertNaturalToNormalized(5.0f), 0.0f);
  EXPECT_EQ(only.getNormalizedValue(), 0.0f);
  EXPECT_EQ(only.convertNormalizedToNatural(0.8f), 3.0f);
  EXPECT_EQ(only.getValueAsString(), "Only");
  only.setNormalizedValue(1.0f, 0);
  EXPECT_EQ(only.getValue(), 3.0f);

  only.addVersion(3, 1);
  float natural = 0.0f;
  EXPECT_TRUE(only.convertVersionedToNatural(0.7f, 1, natural));
  EXPECT_EQ(natural, 3.0f);
  EXPECT_EQ(only.convertNaturalToVersioned(3.0f, 1), 0.0f);
  EXPECT_FALSE(only.convertVersionedToNatural(0.7f, 2, natural));

  static const int single[] = {7};
  IndexedPluginParameter<int> table(&owner, "Table");
  table.setValueTable(single, 1, 0);
  table.configure(7, 7, 7, "");
  EXPECT_EQ(table.getMin(), 0.0f);
  EXPECT_EQ(table.getMax(), 0.0f);
  EXPECT_EQ(table.getNormalizedValue(), 0.0f);
  EXPECT_EQ(table.convertValueToString(0.0f), "7");
  EXPECT_TRUE(owner.reports.empty());
}
