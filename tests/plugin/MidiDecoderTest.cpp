#include "plugin/ControllerMapping.h"
#include "plugin/MidiDecoder.h"
#include "plugin/MidiPitch.h"

#include "tests/plugin/RecordingReceiver.h"
#include "tests/support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using zarn::test::midi;
using zarn::test::RecordingChannelReceiver;
using zarn::test::RecordingSystemReceiver;
using zarn::test::SlotReceiver;
using Calls = std::vector<std::string>;

namespace {

// A decoder on a receiver tree with a recorder in slot 0 only.
struct DecoderFixture : ::testing::Test {
  SlotReceiver tree;
  RecordingChannelReceiver all;
  MidiDecoder decoder{&tree};

  void SetUp() override { tree.setChannelReceiver(0, &all); }
  void send(int status, int data1 = 0, int data2 = 0) { decoder.receiveMidiMessage(midi(status, data1, data2)); }
};

// Writes "<name> <kind>" into a log shared by several receivers, to see the
// order in which the slots are served.
class NamedReceiver : public AbstractChannelEventReceiver {
public:
  NamedReceiver(const char* name, Calls* log) : AbstractChannelEventReceiver(nullptr), name(name), log(log) {}
  void receiveNoteOn(int, float) override { log->push_back(name + " noteOn"); }
  void receiveProgramChange(int bank, int) override { log->push_back(name + " program " + std::to_string(bank)); }

private:
  std::string name;
  Calls* log;
};

// Counts note-offs and keeps the base's all-notes-off.
class NoteOffCounter : public AbstractChannelEventReceiver {
public:
  NoteOffCounter() : AbstractChannelEventReceiver(nullptr) {}
  std::vector<int> notes;
  void receiveNoteOff(int note, float) override { notes.push_back(note); }
};

} // namespace

using MidiDecoderTest = DecoderFixture;

TEST_F(MidiDecoderTest, NotesArriveWithNormalizedVelocityAndVelocityZeroIsANoteOff) {
  send(0x90, 60, 100);
  send(0x80, 60, 64);
  send(0x90, 61, 0);
  send(0x90, 62, 127);
  EXPECT_EQ((Calls{"noteOn 60 0.7874016", "noteOff 60 0.503937", "noteOff 61 0", "noteOn 62 1"}), all.calls);
}

TEST_F(MidiDecoderTest, NoteZeroIsAnOrdinaryKeyAndAllNotesOffHasItsOwnCall) {
  send(0x80, 0, 0);
  send(0x90, 0, 0);
  send(0xB0, 123, 0);
  EXPECT_EQ((Calls{"noteOff 0 0", "noteOff 0 0", "allNotesOff"}), all.calls);

  // A receiver that does not know all-notes-off gets every key released.
  NoteOffCounter plain;
  tree.setChannelReceiver(0, &plain);
  send(0xB5, 123, 0);
  ASSERT_EQ(128u, plain.notes.size());
  for (int n = 0; n < 128; ++n) EXPECT_EQ(n, plain.notes[n]);
}

TEST_F(MidiDecoderTest, PitchWheelRunsFromMinusToPlusHalfWithLowBitsInDataOne) {
  send(0xE0, 0, 0);
  send(0xE0, 127, 127);
  send(0xE0, 0, 64);
  send(0xE0, 127, 0);
  send(0xE0, 0, 1);
  ASSERT_EQ(5u, all.bends.size());
  EXPECT_FLOAT_EQ(-0.5f, all.bends[0]);
  EXPECT_NEAR(0.5f, all.bends[1], 1e-6f);
  // The centre position sits one step above 0.
  EXPECT_GT(all.bends[2], 0.0f);
  EXPECT_NEAR(3.05e-5f, all.bends[2], 1e-6f);
  EXPECT_NEAR(127.0f / 16383.0f - 0.5f, all.bends[3], 1e-6f);
  EXPECT_NEAR(128.0f / 16383.0f - 0.5f, all.bends[4], 1e-6f);
}

TEST_F(MidiDecoderTest, PressuresAndControllers) {
  send(0xA0, 60, 127);
  send(0xD0, 64, 99); // channel pressure carries one data byte
  send(0xB0, 7, 100);
  send(0xB0, 126, 0);
  send(0xB0, 1, 127);
  EXPECT_EQ((Calls{"keyPressure 60 1", "channelPressure 0.503937", "controller 7 100 0.7874016", "controller 126 0 0",
                   "controller 1 127 1"}),
            all.calls);
}

TEST_F(MidiDecoderTest, BankSelectIsConsumedAndPassedWithTheNextProgramChange) {
  send(0xB0, 0, 1);  // MSB
  send(0xB0, 32, 2); // LSB
  EXPECT_TRUE(all.calls.empty());
  send(0xC0, 5);
  send(0xB0, 0, 3); // a new MSB keeps the LSB
  send(0xC0, 6);
  send(0xB0, 32, 127); // a new LSB keeps the MSB
  send(0xC0, 7);
  EXPECT_EQ((Calls{"programChange 130 5", "programChange 386 6", "programChange 511 7"}), all.calls);
}

TEST_F(MidiDecoderTest, ControllerWithoutTableEntryAndBytesWithTheTopBitSetAreDropped) {
  send(0xB0, 127, 0); // mode message without a learn entry
  send(0x90, 200, 100);
  send(0x90, 60, 200);
  send(0xB0, 7, 128);
  send(0xE0, 0x80, 0);
  EXPECT_TRUE(all.calls.empty());
  // Program change and channel pressure carry one byte: the unused second
  // byte is not looked at.
  send(0xC0, 5, 200);
  send(0xD0, 0, 255);
  EXPECT_EQ((Calls{"programChange 0 5", "channelPressure 0"}), all.calls);
}

TEST_F(MidiDecoderTest, SlotZeroHearsEveryChannelBeforeTheChannelsOwnSlot) {
  Calls log;
  NamedReceiver slot0("all", &log), slot1("ch1", &log), slot3("ch3", &log), slot4("ch4", &log), slot16("ch16", &log);
  tree.setChannelReceiver(0, &slot0);
  tree.setChannelReceiver(1, &slot1);
  tree.setChannelReceiver(3, &slot3);
  tree.setChannelReceiver(4, &slot4);
  tree.setChannelReceiver(16, &slot16);
  send(0x92, 60, 100); // channel 3
  send(0x90, 60, 100); // channel 1
  send(0x9F, 60, 100); // channel 16
  send(0x94, 60, 100); // channel 5: no slot of its own
  EXPECT_EQ((Calls{"all noteOn", "ch3 noteOn", "all noteOn", "ch1 noteOn", "all noteOn", "ch16 noteOn", "all noteOn"}),
            log);

  // Only the channel's own slot, when slot 0 is empty.
  log.clear();
  tree.setChannelReceiver(0, nullptr);
  send(0x92, 60, 100);
  send(0x94, 60, 100);
  EXPECT_EQ((Calls{"ch3 noteOn"}), log);
}

TEST_F(MidiDecoderTest, BanksAreKeptPerSlotAndOnlyWhileTheSlotHasAReceiver) {
  Calls log;
  NamedReceiver slot0("all", &log), slot2("ch2", &log), slot3("ch3", &log), slot5("ch5", &log);
  tree.setChannelReceiver(0, &slot0);
  tree.setChannelReceiver(2, &slot2);
  tree.setChannelReceiver(3, &slot3);

  send(0xB1, 0, 1); // channel 2 MSB: slot 0 and slot 2
  send(0xC2, 9);    // program change on channel 3
  send(0xC1, 9);    // and on channel 2
  EXPECT_EQ((Calls{"all program 128", "ch3 program 0", "all program 128", "ch2 program 128"}), log);

  // Channel 5's slot was empty when its bank was selected.
  log.clear();
  send(0xB4, 32, 4);
  tree.setChannelReceiver(5, &slot5);
  send(0xC4, 1);
  EXPECT_EQ((Calls{"all program 132", "ch5 program 0"}), log);
  EXPECT_EQ(0, decoder.getBank(5));
  EXPECT_EQ(132, decoder.getBank(0));
  EXPECT_EQ(0, decoder.getBank(17));
}

TEST_F(MidiDecoderTest, RawHookSeesEverythingAndThereIsNoRunningStatus) {
  RecordingChannelReceiver raw(nullptr, true), ch1(nullptr, true);
  tree.setChannelReceiver(0, &raw);
  tree.setChannelReceiver(1, &ch1);
  send(0x90, 60, 100);
  send(0x3E, 100); // a data byte where a status belongs
  send(0xF8);
  EXPECT_EQ((Calls{"raw 144 60 100", "noteOn 60 0.7874016", "raw 62 100 0", "raw 248 0 0"}), raw.calls);
  // The raw hook is for the all-channels slot only.
  EXPECT_EQ((Calls{"noteOn 60 0.7874016"}), ch1.calls);
}

TEST_F(MidiDecoderTest, SystemResetGoesWholeToTheSystemReceiverOtherSystemMessagesNowhere) {
  RecordingSystemReceiver system;
  send(0xFF); // no system receiver yet
  tree.setSystemReceiver(&system);
  decoder.receiveMidiMessage(midi(0xFF, 1, 2, 33));
  send(0xF0, 0x7E, 0x7F);
  send(0xFE);
  ASSERT_EQ(1u, system.messages.size());
  EXPECT_EQ(0xFF, system.messages[0].status);
  EXPECT_EQ(1, system.messages[0].data1);
  EXPECT_EQ(2, system.messages[0].data2);
  EXPECT_EQ(33, system.messages[0].sampleOffset);
  EXPECT_TRUE(all.calls.empty());
}

TEST_F(MidiDecoderTest, GlobalSwitchAndMissingReceiverDropEverything) {
  RecordingChannelReceiver raw(nullptr, true);
  tree.setChannelReceiver(0, &raw);
  MidiDecoder::setGlobalEnabled(false);
  send(0x90, 60, 100);
  send(0xB0, 0, 5);
  MidiDecoder::setGlobalEnabled(true);
  EXPECT_TRUE(raw.calls.empty());
  EXPECT_EQ(0, decoder.getBank(0));

  MidiDecoder orphan(nullptr);
  orphan.receiveMidiMessage(midi(0x90, 60, 100));
  orphan.setMusicEventReceiver(&tree);
  orphan.receiveMidiMessage(midi(0x90, 61, 100));
  EXPECT_EQ((Calls{"raw 144 61 100", "noteOn 61 0.7874016"}), raw.calls);
}

TEST(MidiDecoderRenderTest, DecodingAndMappingAllocateNothing) {
  ControllerMapping mapping;
  mapping.setConnection(7, 3);
  SlotReceiver tree(&mapping);
  AbstractChannelEventReceiver all(&mapping), ch2(&mapping);
  tree.setChannelReceiver(0, &all);
  tree.setChannelReceiver(2, &ch2);
  MidiDecoder decoder(&tree);
  ch2.learn(4);

  zarn::test::AllocationCounter counter;
  for (int status : {0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0, 0xFF})
    for (int channel = 0; channel < 16; ++channel)
      for (int data1 : {0, 7, 32, 60, 123, 127})
        decoder.receiveMidiMessage(midi(status < 0xF0 ? status + channel : status, data1, 64));
  EXPECT_EQ(0, counter.count());
  EXPECT_EQ(4, mapping.getParameterIndex(7)); // the learn on channel 2 did happen
}

TEST(MidiPitchTest, NoteAndFrequencyConvertBothWays) {
  EXPECT_NEAR(440.0f, noteNumToFreq(69.0f), 440.0f * 1e-6f);
  EXPECT_NEAR(880.0f, noteNumToFreq(81.0f), 880.0f * 1e-6f);
  EXPECT_NEAR(8.175799f, noteNumToFreq(0.0f), 1e-6f);
  EXPECT_NEAR(69.0f, freqToNoteNum(440.0f), 1e-4f);
  EXPECT_NEAR(57.0f, freqToNoteNum(220.0f), 1e-4f);
  for (float note : {0.5f, 21.0f, 60.25f, 127.0f}) EXPECT_NEAR(note, freqToNoteNum(noteNumToFreq(note)), 1e-3f);
  EXPECT_EQ(0.0f, freqToNoteNum(0.0f));
  EXPECT_EQ(0.0f, freqToNoteNum(-100.0f));
}
