// Parameter registration, versions and the base conversions of plug-in
// parameters.

#include "tests/plugin/GenericPluginTestDriver.h"

#include "base/PresetContext.h"
#include "plugin/ParameterCollection.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace genericplugintest;

TEST(GenericPluginParameterTest, RegistrationGivesDenseIndexesInConstructionOrder) {
  BareProduct plugin;
  DriverParameter first(&plugin, "First", 0, 1, 0);
  DriverParameter second(&plugin, "Second", 0, 1, 0);
  DriverParameter third(&plugin, "Third", 0, 1, 0);

  EXPECT_EQ(first.getIndex(), 0);
  EXPECT_EQ(second.getIndex(), 1);
  EXPECT_EQ(third.getIndex(), 2);
  ASSERT_EQ(plugin.getNumParameters(), 3);
  EXPECT_EQ(plugin.getParameter(0), &first);
  EXPECT_EQ(plugin.getParameter(2), &third);
  EXPECT_EQ(plugin.getParameter(3), nullptr);
  EXPECT_EQ(plugin.getParameter(-1), nullptr);
  EXPECT_EQ(first.getName(), "First");
  EXPECT_EQ(first.getHintText(), "");
  EXPECT_EQ(first.getOwner(), &plugin);
  EXPECT_EQ(first.getType(), AbstractPluginParameter::cContinuous);

  // Both lists answer with the new count minus 1.
  EXPECT_EQ(plugin.registerParameter(&second), 3);
  ParameterCollection component(&plugin);
  EXPECT_EQ(component.registerParameter(&third), 0);
  EXPECT_EQ(component.registerParameter(&first), 1);
  EXPECT_EQ(component.size(), 2);
  EXPECT_EQ(component[0], &third);
  EXPECT_EQ(component.get(2), nullptr);
  EXPECT_EQ(component.getPlugin(), &plugin);
}

TEST(GenericPluginParameterTest, MidiOnlyParametersNumberFromTheirOwnBase) {
  BareProduct plugin;
  RecordingVirtualParameter a(&plugin, "Pair A");
  RecordingVirtualParameter b(&plugin, "Pair B");
  EXPECT_EQ(a.getIdentifier(), 0x100000);
  EXPECT_EQ(b.getIdentifier(), 0x100001);
  EXPECT_EQ(a.getName(), "Pair A");
  EXPECT_EQ(plugin.getMidiVirtualParameters().size(), 2u);

  EXPECT_EQ(plugin.getMidiVirtualParameterFromParameterIndex(0x100000), &a);
  EXPECT_EQ(plugin.getMidiVirtualParameterFromParameterIndex(0x100001), &b);
  EXPECT_EQ(plugin.getMidiVirtualParameterFromParameterIndex(0x100002), nullptr);
  EXPECT_EQ(plugin.getMidiVirtualParameterFromParameterIndex(0), nullptr);
  EXPECT_EQ(plugin.getMidiVirtualParameterFromParameterIndex(-1), nullptr);
  EXPECT_EQ(plugin.getMidiVirtualParameterFromParameterIndex(0x7FFFFFFF), nullptr);
}

TEST(GenericPluginParameterTest, VersionsCountTheLeadingParameters) {
  BareProduct plugin;
  std::vector<std::unique_ptr<DriverParameter>> parameters;
  for (int i = 0; i < 25; ++i)
    parameters.push_back(std::make_unique<DriverParameter>(&plugin, "P" + std::to_string(i), 0, 1, 0));

  EXPECT_EQ(plugin.getNumParametersForVersion(0), -1);
  plugin.definePluginVersion(0, *parameters[9]);
  plugin.definePluginVersion(1, *parameters[19]);
  plugin.definePluginVersion(2, *parameters[24]);
  EXPECT_EQ(plugin.getNumParametersForVersion(0), 10);
  EXPECT_EQ(plugin.getNumParametersForVersion(1), 20);
  EXPECT_EQ(plugin.getNumParametersForVersion(2), 25);
  EXPECT_EQ(plugin.getNumParametersForVersion(3), -1);
  EXPECT_EQ(plugin.getNumParametersForVersion(-1), -1);
}

TEST(GenericPluginParameterTest, BaseConversionsGoThroughTheNormalizedForm) {
  BareProduct plugin;
  DriverParameter cutoff(&plugin, "Cutoff", 20.0f, 20020.0f, 1000.0f);
  VersionedDriverParameter drive(&plugin, "Drive", 0.0f, 2.0f, 0.5f);

  cutoff.setNormalizedValue(0.25f, 0);
  EXPECT_FLOAT_EQ(cutoff.getValue(), 5020.0f);
  EXPECT_FLOAT_EQ(cutoff.getNormalizedValue(), 0.25f);
  EXPECT_EQ(cutoff.getValueAsString(), "5020.00");

  // A versioned value is the normalized one, whatever the version.
  EXPECT_FLOAT_EQ(cutoff.getVersionedValue(0), 0.25f);
  EXPECT_FLOAT_EQ(cutoff.getVersionedValue(7), 0.25f);
  cutoff.setVersionedValue(0.5f, 3, 0);
  EXPECT_FLOAT_EQ(cutoff.getValue(), 10020.0f);
  float natural = 0;
  EXPECT_TRUE(cutoff.convertVersionedToNatural(1.0f, 0, natural));
  EXPECT_FLOAT_EQ(natural, 20020.0f);

  for (int version = -1; version < 4; ++version) EXPECT_EQ(cutoff.getIndexedMaxForVersion(version), -1);

  // A value that cannot be read for its version leaves the parameter alone.
  drive.setVersionedValue(1.0f, 0, 0);
  EXPECT_FLOAT_EQ(drive.getValue(), 0.5f);
  drive.setVersionedValue(1.0f, 1, 0);
  EXPECT_FLOAT_EQ(drive.getValue(), 2.0f);

  // The base updateValue does nothing; the owner hands values through it.
  cutoff.setHintText("Brightness");
  EXPECT_EQ(cutoff.getHintText(), "Brightness");
}

TEST(GenericPluginParameterTest, ChangesReachTheOwnerWithTheirFlags) {
  TestProduct plugin;
  RecordingAdapter adapter;
  RecordingListener listener;
  plugin.registerPluginAdapter(&adapter);
  plugin.setListener(&listener);

  plugin.cutoff.setValue(440.0f, cParameterChangeFromHost);
  EXPECT_EQ(adapter.calls(), 0);
  EXPECT_EQ(listener.countOf(cParameterChangeEvent, plugin.cutoff.getIndex()), 1);

  // The default is set with flags 0: the host is told.
  plugin.cutoff.setToDefault();
  EXPECT_FLOAT_EQ(plugin.cutoff.getValue(), 1000.0f);
  ASSERT_EQ(adapter.calls(), 1);
  EXPECT_EQ(adapter.indexes[0], plugin.cutoff.getIndex());
  EXPECT_EQ(listener.countOf(cParameterChangeEvent, plugin.cutoff.getIndex()), 2);

  // Setting the value it holds is no change.
  plugin.cutoff.setToDefault();
  EXPECT_EQ(adapter.calls(), 1);

  // The engine gets the natural values in order at the next buffer.
  plugin.render(16);
  EXPECT_FLOAT_EQ(plugin.cutoff.engineValue.load(), 1000.0f);
  EXPECT_EQ(plugin.cutoff.engineUpdates.load(), 2);
  plugin.setListener(nullptr);
}

TEST(GenericPluginParameterTest, UpdateParametersHandsEveryValueToTheEngine) {
  TestProduct plugin;
  plugin.gain.setValue(0.75f, 0);
  plugin.updateParameters();
  EXPECT_FLOAT_EQ(plugin.gain.engineValue.load(), 0.75f);
  EXPECT_FLOAT_EQ(plugin.cutoff.engineValue.load(), 1000.0f);
  EXPECT_FLOAT_EQ(plugin.shape.engineValue.load(), 0.0f);
  EXPECT_FLOAT_EQ(plugin.drive.engineValue.load(), 0.25f);
  EXPECT_EQ(plugin.channelChanges, 4);
}

TEST(GenericPluginParameterTest, LearnedControllerValuesReachParametersAndMidiOnlyParameters) {
  TestProduct plugin;
  RecordingVirtualParameter pair(&plugin, "Pair");
  RecordingAdapter adapter;
  plugin.registerPluginAdapter(&adapter);

  plugin.receiveMidiParameterMessage(plugin.cutoff.getIndex(), 0.5f);
  EXPECT_FLOAT_EQ(plugin.cutoff.getValue(), 10010.0f);
  // Flags 0: the host is told.
  ASSERT_EQ(adapter.calls(), 1);
  EXPECT_EQ(adapter.indexes[0], plugin.cutoff.getIndex());
  EXPECT_TRUE(plugin.getPresetContext()->presetModified.get());

  plugin.getPresetContext()->presetModified = false;
  plugin.receiveMidiParameterMessage(0x100000, 0.25f);
  EXPECT_FLOAT_EQ(pair.last, 0.25f);
  EXPECT_TRUE(plugin.getPresetContext()->presetModified.get());

  // Indexes that name nothing (a stored map may hold any number) are
  // ignored.
  plugin.getPresetContext()->presetModified = false;
  plugin.receiveMidiParameterMessage(0x100001, 0.5f);
  plugin.receiveMidiParameterMessage(plugin.getNumParameters(), 0.5f);
  plugin.receiveMidiParameterMessage(-7, 0.5f);
  EXPECT_EQ(pair.messages, 1);
  EXPECT_EQ(adapter.calls(), 1);
  EXPECT_FALSE(plugin.getPresetContext()->presetModified.get());
}

TEST(GenericPluginParameterTest, ChangesBeforeInitializationAreSafe) {
  // Products build their parameters before they initialize; a parameter set
  // then has no preset context to mark and no engine to reach yet.
  BareProduct plugin;
  DriverParameter gain(&plugin, "Gain", 0, 1, 0);
  gain.setValue(0.5f, 0);
  gain.setToDefault();
  EXPECT_FLOAT_EQ(gain.getValue(), 0.0f);
  EXPECT_EQ(plugin.getPresetContext(), nullptr);
}
