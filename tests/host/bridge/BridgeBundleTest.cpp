// The bridge as a host meets it: the test product's bundle loaded by the
// simulated host, identity, controls, rendering, bypass, automation both
// ways and a state saved and restored through the chunks.

#include "tests/host/bridge/BridgeTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace bridgetest;
using simhost::AutomationEvent;

namespace {

constexpr int32_t kOn = 2147483647;
constexpr int32_t kOff = -2147483647 - 1;

class BridgeBundleTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(host.load(BridgeTestBundlePath()), 0); }
  simhost::SimHost host;
};

// A short phrase: two notes, the second across quanta.
void PlayPhrase(simhost::SimHost& host, simhost::Instance& in) {
  host.queueMidi(in, 5, 0x90, 60, 100);
  host.queueMidi(in, 90, 0x80, 60, 0);
  host.queueMidi(in, 100, 0x90, 67, 90);
  host.queueMidi(in, 250, 0x80, 67, 0);
}

} // namespace

TEST_F(BridgeBundleTest, TellsTheHostWhoItIs) {
  EXPECT_EQ(host.groupName(63), "Quorvane BridgeTest");
  EXPECT_EQ(host.manufacturerID(), 0x5176726Eu);
  EXPECT_EQ(host.version(), 3u);
  ASSERT_EQ(host.numProcessTypes(), 1);
  uint32_t id = 0, id2 = 0, category = 0;
  host.processTypeIDs(1, id, id2, category);
  EXPECT_EQ(id, 0x51427274u);
  EXPECT_EQ(category, 0x800u);

  simhost::Instance* in = host.createInstance();
  ASSERT_EQ(host.numControls(*in), 5);
  EXPECT_EQ(host.controlName(*in, kBypass, 31), "Master Bypass");
  EXPECT_EQ(host.controlName(*in, kOctave, 31), "Octave");
  EXPECT_EQ(host.valueString(*in, kMode, ListControl(2, 4), 31), "Alternate");
  // One MIDI node, named after the type.
  EXPECT_EQ(host.midiNodes(*in).size(), 1u);
}

TEST_F(BridgeBundleTest, RendersNotesFromTheirOffsetsAndSilenceWhenBypassed) {
  simhost::Instance* in = host.createInstance();
  ASSERT_EQ(host.setControl(*in, kOctave, ListControl(3, 5)), 0); // one octave up
  ASSERT_EQ(host.setControl(*in, kMode, ListControl(BridgeTestProduct::Ramp, 4)), 0);
  PlayPhrase(host, *in);
  auto out = Render(host, *in, 288);
  for (int i = 0; i < 288; ++i) {
    float expected = 0.0f;
    if (i >= 5 && i < 90)
      expected = BridgeTestProduct::expectedSample(0.5f, 0.0f, BridgeTestProduct::Ramp, 1, 60, i - 5);
    if (i >= 100 && i < 250)
      expected = BridgeTestProduct::expectedSample(0.5f, 0.0f, BridgeTestProduct::Ramp, 1, 67, i - 100);
    ASSERT_EQ(out[0][static_cast<size_t>(i)], expected) << i;
    ASSERT_EQ(out[1][static_cast<size_t>(i)], expected * 0.5f) << i;
  }

  ASSERT_EQ(host.setControl(*in, kBypass, kOn), 0);
  PlayPhrase(host, *in);
  out = Render(host, *in, 288);
  for (const auto& channel : out)
    for (float v : channel) ASSERT_EQ(v, 0.0f);
}

TEST_F(BridgeBundleTest, AutomationAndTheProductsOwnChangesShowInTheHostsLog) {
  const std::string file = WritePreset("Bundle Log", 0.75f, BridgeTestProduct::Steps, -0.5f, -1);
  const int program = ProgramNumberOf("Bundle Log");
  ASSERT_GE(program, 0);
  simhost::Instance* in = host.createInstance();
  host.clearAutomation();

  // The host's automation reaches the sound.
  ASSERT_EQ(host.setControl(*in, kLevel, ContinuousControl(0.25, 0, 1)), 0);
  host.queueMidi(*in, 0, 0x90, 63, 100);
  auto out = Render(host, *in, 32);
  EXPECT_EQ(out[0][0], BridgeTestProduct::expectedSample(0.25f, 0.0f, 0, 0, 63, 0));

  // A program change on the render thread: the host hears of every control
  // at its next idle time, each between a touch and a release.
  host.clearAutomation();
  host.queueMidi(*in, 0, 0xC0, static_cast<uint8_t>(program));
  Render(host, *in, 32);
  EXPECT_TRUE(host.automation().empty());
  host.idle();
  std::vector<AutomationEvent> log = host.automation();
  ASSERT_EQ(log.size(), 12u);
  const int32_t values[] = {ContinuousControl(0.75, 0, 1), ListControl(3, 4), ContinuousControl(-0.5, -1, 1),
                            ListControl(1, 5)};
  for (int32_t i = 0; i < 4; ++i) {
    const size_t at = static_cast<size_t>(3 * i);
    EXPECT_EQ(log[at], (AutomationEvent{AutomationEvent::Touch, in->process(), i + 2, 0}));
    EXPECT_EQ(log[at + 1], (AutomationEvent{AutomationEvent::Value, in->process(), i + 2, values[i]}));
    EXPECT_EQ(log[at + 2], (AutomationEvent{AutomationEvent::Release, in->process(), i + 2, 0}));
    EXPECT_EQ(host.controlValue(*in, i + 2), values[i]);
  }
  std::vector<unsigned char> chunk;
  ASSERT_EQ(host.getChunk(*in, kPresetNameChunk, chunk), 0);
  EXPECT_EQ(PresetNameOf(chunk), "Bundle Log");

  // A control surface's touch and release are counted per control.
  host.clearAutomation();
  EXPECT_EQ(host.touchControl(*in, kMode), 0);
  EXPECT_EQ(host.touchControl(*in, kMode), 0);
  EXPECT_EQ(host.releaseControl(*in, kMode), 0);
  EXPECT_EQ(host.releaseControl(*in, kMode), 0);
  EXPECT_EQ(host.automation(),
            (std::vector<AutomationEvent>{{AutomationEvent::Touch, in->process(), kMode, 0},
                                          {AutomationEvent::Release, in->process(), kMode, 0}}));
  std::remove(file.c_str());
}

// A session that changes programs for hours: the host keeps the most
// recent records of its automation log and counts the others, so that its
// memory stays what it was, and the last changes still read whole.
TEST_F(BridgeBundleTest, ProgramChangesWithoutEndLeaveTheHostsLogBounded) {
  const std::string fileA = WritePreset("Bundle Many A", 0.75f, BridgeTestProduct::Steps, -0.5f, -1);
  const std::string fileB = WritePreset("Bundle Many B", 0.25f, BridgeTestProduct::Ramp, 0.5f, 1);
  const int programA = ProgramNumberOf("Bundle Many A"), programB = ProgramNumberOf("Bundle Many B");
  ASSERT_GE(programA, 0);
  ASSERT_GE(programB, 0);
  simhost::Instance* in = host.createInstance();
  host.clearAutomation();
  // Each change tells the host of the four controls: touch, value, release.
  constexpr size_t kChanges = 2 * simhost::SimHost::kAutomationKept / 12 + 1;
  for (size_t i = 0; i < kChanges; ++i) {
    host.queueMidi(*in, 0, 0xC0, static_cast<uint8_t>(i % 2 ? programB : programA));
    Render(host, *in, 32);
    host.idle();
  }
  EXPECT_EQ(host.automationCount(), 12 * kChanges);
  const std::vector<AutomationEvent> log = host.automation();
  ASSERT_EQ(log.size(), simhost::SimHost::kAutomationKept);
  // The last change was to A (kChanges is odd).
  const int32_t values[] = {ContinuousControl(0.75, 0, 1), ListControl(3, 4), ContinuousControl(-0.5, -1, 1),
                            ListControl(1, 5)};
  for (int32_t i = 0; i < 4; ++i) {
    const size_t at = log.size() - 12 + static_cast<size_t>(3 * i);
    EXPECT_EQ(log[at], (AutomationEvent{AutomationEvent::Touch, in->process(), i + 2, 0}));
    EXPECT_EQ(log[at + 1], (AutomationEvent{AutomationEvent::Value, in->process(), i + 2, values[i]}));
    EXPECT_EQ(log[at + 2], (AutomationEvent{AutomationEvent::Release, in->process(), i + 2, 0}));
  }
  host.clearAutomation();
  EXPECT_EQ(host.automationCount(), 0u);
  EXPECT_TRUE(host.automation().empty());
  std::remove(fileA.c_str());
  std::remove(fileB.c_str());
}

TEST_F(BridgeBundleTest, AStateRestoredFromChunksRendersTheSame) {
  const std::string file = WritePreset("Bundle State", 0.8f, BridgeTestProduct::Ramp, 0.25f, 1);
  const int program = ProgramNumberOf("Bundle State");
  ASSERT_GE(program, 0);
  simhost::Instance* a = host.createInstance();
  host.queueMidi(*a, 0, 0xC0, static_cast<uint8_t>(program));
  Render(host, *a, 32);
  host.idle();
  ASSERT_EQ(host.setControl(*a, kOffset, ContinuousControl(-0.3, -1, 1)), 0);
  ASSERT_EQ(host.setControl(*a, kMode, ListControl(2, 4)), 0);
  const SavedState state = SaveState(host, *a);
  const int32_t controlsOfA[] = {host.controlValue(*a, 1), host.controlValue(*a, 2), host.controlValue(*a, 3),
                                 host.controlValue(*a, 4), host.controlValue(*a, 5)};
  PlayPhrase(host, *a);
  const auto fromA = Render(host, *a, 288);
  // The document is closed and opened again.
  host.deleteInstance(a);

  simhost::Instance* b = host.createInstance();
  RestoreState(host, *b, state);
  std::vector<unsigned char> chunk;
  ASSERT_EQ(host.getChunk(*b, kPresetNameChunk, chunk), 0);
  EXPECT_EQ(PresetNameOf(chunk), "Bundle State");
  for (int32_t k = 1; k <= 5; ++k) EXPECT_EQ(host.controlValue(*b, k), controlsOfA[k - 1]) << k;
  PlayPhrase(host, *b);
  const auto fromB = Render(host, *b, 288);
  EXPECT_EQ(fromA, fromB);
  // Not silence: the restored values sound.
  EXPECT_NE(fromA[0][6], 0.0f);
  std::remove(file.c_str());
}
