#include "plugin/AbstractPluginParameter.h"
#include "plugin/ControllerMapping.h"
#include "plugin/DefaultEventReceiver.h"
#include "plugin/GenericPlugin.h"
#include "plugin/MidiDecoder.h"

#include "tests/plugin/RecordingReceiver.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using zarn::test::midi;

namespace {

// A plug-in that is never initialized and records the changes its
// parameters report.
class RecordingPlugin : public GenericPlugin {
public:
  RecordingPlugin() : GenericPlugin(0) {}
  std::string getIdentifier() override { return "Test"; }
  void handleParameterChange(int index, float value, int) override { changes.emplace_back(index, value); }
  std::vector<std::pair<int, float>> changes;
};

// Natural range 0..10, linear.
class TenParameter : public AbstractPluginParameter {
public:
  explicit TenParameter(GenericParameterOwner* owner) : AbstractPluginParameter(owner, cContinuous, "Ten") {}
  float convertNaturalToNormalized(float natural) const override { return natural / 10.0f; }
  float convertNormalizedToNatural(float normalized) const override { return normalized * 10.0f; }
  std::string convertValueToString(float natural) const override { return std::to_string(natural); }
  float getDefault() const override { return 0.0f; }
  float getMax() const override { return 10.0f; }
  float getMin() const override { return 0.0f; }
  float getValue() const override { return value; }
  void setValue(float natural, int flags) override {
    if (natural != value) {
      value = natural;
      handleParameterChange(value, flags);
    }
  }
  float value = 0.0f;
};

} // namespace

TEST(DefaultChannelEventReceiverTest, LearnedControllerSetsThePluginParameter) {
  RecordingPlugin plugin;
  TenParameter first(&plugin), second(&plugin);
  ControllerMapping mapping;
  DefaultEventReceiver receiver(&mapping, &plugin);
  MidiDecoder decoder(&receiver);

  ASSERT_NE(nullptr, dynamic_cast<DefaultChannelEventReceiver*>(receiver.getChannelReceiver(0)));
  EXPECT_EQ(receiver.getChannelEventReceiver(), receiver.getChannelReceiver(0));

  receiver.learn(second.getIndex());
  decoder.receiveMidiMessage(midi(0xB0, 74, 127));
  EXPECT_EQ(second.getIndex(), mapping.getParameterIndex(74));
  EXPECT_NEAR(10.0f, second.value, 1e-5f);
  decoder.receiveMidiMessage(midi(0xB3, 74, 0)); // every channel is heard
  EXPECT_EQ(0.0f, second.value);
  EXPECT_EQ(0.0f, first.value);
  ASSERT_EQ(2u, plugin.changes.size());
  EXPECT_EQ(second.getIndex(), plugin.changes[0].first);

  // A map entry that names no parameter does not reach the plug-in's table.
  mapping.setConnection(75, 999);
  mapping.setConnection(76, ControllerMapping::cMidiOnlyParameterBase + 3);
  decoder.receiveMidiMessage(midi(0xB0, 75, 127));
  decoder.receiveMidiMessage(midi(0xB0, 76, 127));
  EXPECT_EQ(2u, plugin.changes.size());

  // Only the chosen channel once midiChannel names one.
  receiver.midiChannel = 2;
  decoder.receiveMidiMessage(midi(0xB0, 74, 127));
  EXPECT_EQ(0.0f, second.value);
  decoder.receiveMidiMessage(midi(0xB1, 74, 127));
  EXPECT_NEAR(10.0f, second.value, 1e-5f);
}
