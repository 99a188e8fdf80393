// Indexed parameters bound to properties of the model.

#include "plugin/PropPluginParameter.h"

#include "tests/plugin/GenericPluginTestDriver.h"
#include "tests/plugin/RecordingParameterOwner.h"

#include <gtest/gtest.h>

using namespace parametertest;

namespace {

enum class Slope { Gentle, Steep, Steeper };

} // namespace

TEST(PropPluginParameterTest, BoundPropertiesTakeTheValueInBindingOrderAndTellTheirOwners) {
  RecordingParameterOwner owner;
  PropertyLog log;
  Property<int> first(&log, 0);
  Property<int> second(&log, 0);
  Property<int> silent(nullptr, 0);
  PropPluginParameter<int> voices(&owner, "Voices");
  voices.configure(1, 8, 1, "");
  voices.addProperty(&second);
  voices.addProperty(&first);
  voices.addProperty(&silent);
  ASSERT_EQ(voices.getProperties().size(), 3u);

  voices.setValue(6.0f, 0);
  EXPECT_TRUE(log.changes.empty());
  // The stored value counts, not the argument.
  voices.updateValue(2.0f);
  EXPECT_EQ(first.get(), 6);
  EXPECT_EQ(second.get(), 6);
  EXPECT_EQ(silent.get(), 6);
  ASSERT_EQ(log.changes.size(), 2u);
  EXPECT_EQ(log.changes[0], &second);
  EXPECT_EQ(log.changes[1], &first);

  // A property that already holds the value is neither written nor told.
  voices.updateValue(6.0f);
  EXPECT_EQ(log.changes.size(), 2u);
  second = 3;
  log.changes.clear();
  voices.updateValue(6.0f);
  ASSERT_EQ(log.changes.size(), 1u);
  EXPECT_EQ(log.changes[0], &second);
  EXPECT_EQ(second.get(), 6);
}

TEST(PropPluginParameterTest, EnumerationPropertiesTakeTheTableValue) {
  static const Slope table[] = {Slope::Steeper, Slope::Gentle};
  RecordingParameterOwner owner;
  PropertyLog log;
  Property<Slope> slope(&log, Slope::Steep);
  PropPluginParameter<Slope> parameter(&owner, "Slope");
  parameter.setValueTable(table, 2, 0);
  parameter.configure(0, 2, Slope::Gentle, "Gentle,Steep,Steeper");
  parameter.addProperty(&slope);
  parameter.updateValue(parameter.getValue());
  EXPECT_EQ(slope.get(), Slope::Gentle);
  parameter.setValue(0.0f, 0);
  parameter.updateValue(0.0f);
  EXPECT_EQ(slope.get(), Slope::Steeper);
  EXPECT_EQ(parameter.getValueAsString(), "Steeper");
  EXPECT_EQ(log.changes.size(), 2u);
}

TEST(PropPluginParameterTest, ChangesReachThePropertiesWhenThePluginAppliesItsQueue) {
  genericplugintest::BareProduct plugin;
  PropertyLog log;
  Property<int> mode(&log, 0);
  PropPluginParameter<int> parameter(&plugin, "Mode");
  parameter.configure(0, 3, 0, "Mono,Legato,Poly,Unison");
  parameter.addProperty(&mode);

  parameter.setNormalizedValue(1.0f, cParameterChangeFromHost);
  EXPECT_EQ(mode.get(), 0);
  plugin.processParameterChangeEvents();
  EXPECT_EQ(mode.get(), 3);
  ASSERT_EQ(log.changes.size(), 1u);
  EXPECT_EQ(log.changes[0], &mode);

  // Handing every value over again tells nobody: nothing changed.
  plugin.updateParameters();
  EXPECT_EQ(log.changes.size(), 1u);
}
