// The MIDI-only pair control: one controller moves two parameters together,
// keeping their distance; and MIDI-only identifiers reaching their objects
// through the plug-in's MIDI path.

#include "plugin/MidiVirtualPluginParameter.h"

#include "plugin/ControllerMapping.h"
#include "plugin/FloatPluginParameter.h"
#include "plugin/IndexedPluginParameter.h"
#include "tests/plugin/GenericPluginTestDriver.h"

#include <gtest/gtest.h>

#include <limits>

using namespace genericplugintest;

namespace {

constexpr float cTolerance = 1e-6f;

class MidiDuoVirtualPluginParameterTest : public ::testing::Test {
protected:
  MidiDuoVirtualPluginParameterTest() {
    plugin.registerPluginAdapter(&adapter);
    set(0.3f, 0.5f);
  }

  void set(float a, float b) {
    low.setValue(a, cParameterChangeFromHost);
    high.setValue(b, cParameterChangeFromHost);
  }
  void expectPair(float a, float b) {
    EXPECT_NEAR(low.getValue(), a, cTolerance);
    EXPECT_NEAR(high.getValue(), b, cTolerance);
  }

  BareProduct plugin;
  RecordingAdapter adapter;
  FloatPluginParameter low{&plugin, "Low"};
  FloatPluginParameter high{&plugin, "High"};
  MidiDuoVirtualPluginParameter pair{&plugin, "Band", &low, &high};
};

} // namespace

TEST_F(MidiDuoVirtualPluginParameterTest, TheControllerSetsTheCentreOfThePair) {
  EXPECT_EQ(pair.getIdentifier(), 0x100000);
  EXPECT_EQ(pair.getName(), "Band");
  EXPECT_EQ(plugin.getMidiVirtualParameterFromParameterIndex(0x100000), &pair);

  pair.receiveMessage(0.6f);
  expectPair(0.5f, 0.7f);
  EXPECT_NEAR(pair.getSpread(), 0.2f, cTolerance);
  // Both writes are reported as changes the host must hear of.
  ASSERT_EQ(adapter.calls(), 2);
  EXPECT_EQ(adapter.indexes[0], low.getIndex());
  EXPECT_EQ(adapter.indexes[1], high.getIndex());
}

TEST_F(MidiDuoVirtualPluginParameterTest, TheSpreadComesBackAfterAStopAtALimit) {
  pair.receiveMessage(0.6f);
  pair.receiveMessage(0.95f);
  expectPair(0.85f, 1.0f);
  EXPECT_NEAR(high.getValue() - low.getValue(), 0.15f, cTolerance);
  pair.receiveMessage(0.6f);
  expectPair(0.5f, 0.7f);

  pair.receiveMessage(0.0f);
  expectPair(0.0f, 0.1f);
  pair.receiveMessage(0.05f);
  expectPair(0.0f, 0.15f);
  pair.receiveMessage(0.5f);
  expectPair(0.4f, 0.6f);
}

TEST_F(MidiDuoVirtualPluginParameterTest, ADistanceSetElsewhereIsAdopted) {
  pair.receiveMessage(0.6f);
  high.setValue(0.9f, cParameterChangeFromHost);
  pair.receiveMessage(0.5f);
  expectPair(0.3f, 0.7f);
  EXPECT_NEAR(pair.getSpread(), 0.4f, cTolerance);

  // Also after a stop at a limit.
  pair.receiveMessage(1.0f);
  expectPair(0.8f, 1.0f);
  low.setValue(0.9f, cParameterChangeFromHost);
  pair.receiveMessage(0.5f);
  expectPair(0.45f, 0.55f);
}

TEST_F(MidiDuoVirtualPluginParameterTest, ANegativeDistanceIsKept) {
  set(0.6f, 0.4f);
  pair.receiveMessage(0.3f);
  expectPair(0.4f, 0.2f);
  pair.receiveMessage(0.95f);
  expectPair(1.0f, 0.85f);
  pair.receiveMessage(0.5f);
  expectPair(0.6f, 0.4f);
}

TEST_F(MidiDuoVirtualPluginParameterTest, ValuesThatAreNotFiniteNumbersMoveNothing) {
  pair.receiveMessage(std::numeric_limits<float>::quiet_NaN());
  pair.receiveMessage(std::numeric_limits<float>::infinity());
  pair.receiveMessage(-std::numeric_limits<float>::infinity());
  expectPair(0.3f, 0.5f);
  EXPECT_EQ(adapter.calls(), 0);
  pair.receiveMessage(0.4f);
  expectPair(0.3f, 0.5f);
}

TEST_F(MidiDuoVirtualPluginParameterTest, SteppedParametersKeepTheDistanceTheyCanHold) {
  IndexedPluginParameter<int> from(&plugin, "From");
  IndexedPluginParameter<int> to(&plugin, "To");
  from.configure(0, 4, 1, "");
  to.configure(0, 4, 3, "");
  MidiDuoVirtualPluginParameter steps(&plugin, "Steps", &from, &to);
  EXPECT_EQ(steps.getIdentifier(), 0x100001);

  steps.receiveMessage(0.7f); // 0.45 and 0.95 round to steps 2 and 4
  EXPECT_EQ(from.getValue(), 2.0f);
  EXPECT_EQ(to.getValue(), 4.0f);
  steps.receiveMessage(0.9f); // 0.65 and the stop at 1: steps 3 and 4
  EXPECT_EQ(from.getValue(), 3.0f);
  EXPECT_EQ(to.getValue(), 4.0f);
  steps.receiveMessage(0.5f); // the spread of two steps is back
  EXPECT_EQ(from.getValue(), 1.0f);
  EXPECT_EQ(to.getValue(), 3.0f);
}

TEST(MidiDuoVirtualPluginParameterPathTest, LearnedControllersReachMidiOnlyParametersByIdentifier) {
  TestProduct plugin;
  GenericPlugin::sControllerMapping->reset();
  FloatPluginParameter low(&plugin, "Low");
  FloatPluginParameter high(&plugin, "High");
  RecordingVirtualParameter probe(&plugin, "Probe");
  MidiDuoVirtualPluginParameter pair(&plugin, "Band", &low, &high);
  ASSERT_EQ(probe.getIdentifier(), 0x100000);
  ASSERT_EQ(pair.getIdentifier(), 0x100001);
  // These were made after the plug-in read its controller map, which then
  // knew of none of them.
  GenericPlugin::sControllerMapping->setIndexLimits(plugin.getNumParameters(),
                                                    static_cast<int>(plugin.getMidiVirtualParameters().size()));
  low.setValue(0.3f, cParameterChangeFromHost);
  high.setValue(0.5f, cParameterChangeFromHost);

  plugin.learnMidi(pair.getIdentifier());
  plugin.send(0xB0, 20, 76, 0);
  GenericPlugin::sControllerMapping->setConnection(21, probe.getIdentifier());
  plugin.send(0xB0, 21, 76, 8);
  plugin.render(32);

  EXPECT_EQ(GenericPlugin::sControllerMapping->getParameterIndex(20), 0x100001);
  ASSERT_EQ(probe.messages, 1);
  const float v = probe.last;
  EXPECT_NEAR(v, 76.0f / 127.0f, 1e-3f);
  EXPECT_NEAR(low.getValue(), v - 0.1f, cTolerance);
  EXPECT_NEAR(high.getValue(), v + 0.1f, cTolerance);

  // The controller of the pair does not reach the probe, nor the reverse.
  plugin.send(0xB0, 20, 127, 0);
  plugin.render(32);
  EXPECT_EQ(probe.messages, 1);
  EXPECT_NEAR(low.getValue(), 0.9f, cTolerance);
  EXPECT_NEAR(high.getValue(), 1.0f, cTolerance);
  plugin.send(0xB0, 21, 0, 0);
  plugin.render(32);
  EXPECT_EQ(probe.messages, 2);
  EXPECT_EQ(probe.last, 0.0f);
  EXPECT_NEAR(low.getValue(), 0.9f, cTolerance);

  // An identifier past the list reaches nothing and harms nothing.
  plugin.receiveMidiParameterMessage(0x100002, 0.5f);
  EXPECT_EQ(probe.messages, 2);
  EXPECT_NEAR(low.getValue(), 0.9f, cTolerance);
  GenericPlugin::sControllerMapping->reset();
  GenericPlugin::sControllerMapping->setIndexLimits(-1, -1);
}
