// Continuous parameters bound to clamped float properties of the model:
// what the properties receive, when their owners hear of it, and the path
// from a change to the properties through the plug-in's queue.

#include "plugin/LimFloatPropPluginParameter.h"

#include "tests/plugin/GenericPluginTestDriver.h"
#include "tests/plugin/RecordingParameterOwner.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace parametertest;

namespace {

float broken(float x) { return x < 0.5f ? std::sqrt(x - 0.5f) : x; }
float reciprocal(float x) { return 1.0f / x; }

typedef GenericPropPluginParameter<LimitedProperty<float>, FloatPluginParameter> PlainPropParameter;

} // namespace

TEST(LimFloatPropPluginParameterTest, PlainBindingClampsTheValueIntoEachProperty) {
  RecordingParameterOwner owner;
  PropertyLog log;
  LimitedProperty<float> narrow(&log, 0.0f, 10.0f, 0.0f);
  LimitedProperty<float> wide(&log, -100.0f, 100.0f, 0.0f);
  PlainPropParameter parameter(&owner, "Depth");
  parameter.setLimits(-20.0f, 20.0f, 0.0f);
  parameter.addProperty(&narrow);
  parameter.addProperty(&wide);
  ASSERT_EQ(parameter.getProperties().size(), 2u);

  parameter.setValue(12.0f, 0);
  // Nothing reaches the model before the value reaches the engine.
  EXPECT_TRUE(log.changes.empty());
  parameter.updateValue(12.0f);
  EXPECT_EQ(narrow.get(), 10.0f);
  EXPECT_EQ(wide.get(), 12.0f);
  ASSERT_EQ(log.changes.size(), 2u);
  EXPECT_EQ(log.changes[0], &narrow);
  EXPECT_EQ(log.changes[1], &wide);

  // Above the narrow range again: only the wide property changes.
  parameter.setValue(15.0f, 0);
  parameter.updateValue(15.0f);
  EXPECT_EQ(narrow.get(), 10.0f);
  EXPECT_EQ(wide.get(), 15.0f);
  ASSERT_EQ(log.changes.size(), 3u);
  EXPECT_EQ(log.changes[2], &wide);

  parameter.setValue(-4.0f, 0);
  parameter.updateValue(-4.0f);
  EXPECT_EQ(narrow.get(), 0.0f);
  EXPECT_EQ(wide.get(), -4.0f);
  EXPECT_EQ(log.changes.size(), 5u);
}

TEST(LimFloatPropPluginParameterTest, TheStoredValueCountsNotTheQueuedOne) {
  RecordingParameterOwner owner;
  LimitedProperty<float> property(nullptr, 0.0f, 1.0f, 0.0f);
  PlainPropParameter parameter(&owner, "Depth");
  parameter.addProperty(&property);
  parameter.setValue(0.25f, 0);
  parameter.setValue(0.75f, 0);
  parameter.updateValue(0.25f);
  EXPECT_EQ(property.get(), 0.75f);
}

TEST(LimFloatPropPluginParameterTest, TransformedValueIsClampedAndNotifiedOnlyWhenItChanges) {
  RecordingParameterOwner owner;
  PropertyLog log;
  LimitedProperty<float> property(&log, 0.0f, 10.0f, 1.0f);
  LimFloatPropPluginParameter parameter(&owner, "Drive");
  parameter.setLimits(0.0f, 1.0f, 0.0f);
  parameter.getTransform().setRange(0.0f, 24.0f);
  parameter.addProperty(&property);

  parameter.setValue(0.5f, 0); // the transform yields 12
  parameter.updateValue(0.5f);
  EXPECT_EQ(property.get(), 10.0f);
  EXPECT_EQ(log.changes.size(), 1u);
  parameter.updateValue(0.5f);   // 12 once more
  parameter.setValue(0.625f, 0); // 15: still clamped to 10
  parameter.updateValue(0.625f);
  EXPECT_EQ(log.changes.size(), 1u);

  parameter.setValue(0.25f, 0);
  parameter.updateValue(0.25f);
  EXPECT_FLOAT_EQ(property.get(), 6.0f);
  EXPECT_EQ(log.changes.size(), 2u);

  // The text goes through the transform too.
  parameter.getTransform().setDisplayUnit("dB");
  EXPECT_EQ(parameter.convertValueToString(0.5f), "12.000 dB");
  EXPECT_EQ(parameter.getValueAsString(), "6.000 dB");
}

TEST(LimFloatPropPluginParameterTest, ACurveThatYieldsNoNumberWritesNothingAndInfinityIsClamped) {
  RecordingParameterOwner owner;
  PropertyLog log;
  LimitedProperty<float> property(&log, -5.0f, 5.0f, 2.0f);
  LimFloatPropPluginParameter parameter(&owner, "Odd");
  parameter.addProperty(&property);

  parameter.getTransform().setFunction(broken);
  parameter.setValue(0.25f, 0);
  parameter.updateValue(0.25f);
  EXPECT_EQ(property.get(), 2.0f);
  EXPECT_TRUE(log.changes.empty());

  parameter.getTransform().setFunction(reciprocal);
  parameter.setValue(0.0f, 0);
  parameter.updateValue(0.0f);
  EXPECT_EQ(property.get(), 5.0f);
  EXPECT_EQ(log.changes.size(), 1u);
}

TEST(LimFloatPropPluginParameterTest, ChangesReachThePropertiesWhenThePluginAppliesItsQueue) {
  genericplugintest::BareProduct plugin;
  PropertyLog log;
  LimitedProperty<float> property(&log, 0.0f, 100.0f, 0.0f);
  LimFloatPropPluginParameter parameter(&plugin, "Mix");
  parameter.getTransform().setRange(0.0f, 100.0f);
  parameter.addProperty(&property);

  parameter.setValue(0.4f, 0);
  EXPECT_TRUE(log.changes.empty());
  plugin.processParameterChangeEvents();
  EXPECT_FLOAT_EQ(property.get(), 40.0f);
  ASSERT_EQ(log.changes.size(), 1u);
  EXPECT_EQ(log.changes[0], &property);

  // Two changes before the queue is applied: the model sees the last value,
  // and is told once.
  parameter.setValue(0.6f, 0);
  parameter.setValue(0.8f, 0);
  plugin.processParameterChangeEvents();
  EXPECT_FLOAT_EQ(property.get(), 80.0f);
  EXPECT_EQ(log.changes.size(), 2u);

  // A value that is not a number never reaches the model.
  parameter.setNormalizedValue(std::nanf(""), cParameterChangeFromHost);
  plugin.processParameterChangeEvents();
  EXPECT_FLOAT_EQ(property.get(), 80.0f);
  EXPECT_EQ(log.changes.size(), 2u);
}
