#include "plugin/ControllerMapping.h"
#include "plugin/DefaultEventReceiver.h"
#include "plugin/MidiDecoder.h"

#include "tests/plugin/RecordingReceiver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using zarn::test::midi;
using zarn::test::RecordingChannelReceiver;
using zarn::test::SlotReceiver;
using Calls = std::vector<std::string>;

namespace {

struct MidiLearnTest : ::testing::Test {
  ControllerMapping mapping;
  SlotReceiver tree{&mapping};
  RecordingChannelReceiver receiver{&mapping};
  MidiDecoder decoder{&tree};

  void SetUp() override { tree.setChannelReceiver(0, &receiver); }
  void controller(int number, int value, int channel = 1) {
    decoder.receiveMidiMessage(midi(0xB0 + channel - 1, number, value));
  }
};

} // namespace

TEST_F(MidiLearnTest, ArmedParameterTakesTheNextControllerAndMovesAtOnce) {
  receiver.learn(5);
  EXPECT_EQ(5, receiver.getLearnTarget());
  controller(7, 127);
  EXPECT_EQ(5, mapping.getParameterIndex(7));
  EXPECT_EQ(-1, receiver.getLearnTarget());
  EXPECT_EQ((Calls{"controller 7 127 1", "parameter 5 1"}), receiver.calls);

  // Disarmed now: the next controller only moves what it is mapped to.
  receiver.calls.clear();
  controller(7, 0);
  controller(8, 64);
  EXPECT_EQ((Calls{"controller 7 0 0", "parameter 5 0", "controller 8 64 0.503937"}), receiver.calls);
  EXPECT_EQ(-1, mapping.getParameterIndex(8));
}

TEST_F(MidiLearnTest, LearningAgainMovesTheParameterAndTakesTheController) {
  receiver.learn(5);
  controller(7, 10);
  receiver.learn(5);
  controller(10, 0); // any value completes a learn
  EXPECT_EQ(-1, mapping.getParameterIndex(7));
  EXPECT_EQ(5, mapping.getParameterIndex(10));

  receiver.learn(6);
  controller(10, 20);
  EXPECT_EQ(6, mapping.getParameterIndex(10));
  EXPECT_EQ(-1, mapping.getControllerNumber(5));
}

TEST_F(MidiLearnTest, CancelledLearnMapsNothing) {
  receiver.learn(5);
  receiver.learn(-1);
  EXPECT_EQ(-1, receiver.getLearnTarget());
  controller(7, 100);
  EXPECT_EQ(-1, mapping.getParameterIndex(7));
  EXPECT_EQ((Calls{"controller 7 100 0.7874016"}), receiver.calls);

  receiver.learn(-7); // any negative index disarms
  EXPECT_EQ(-1, receiver.getLearnTarget());
}

TEST_F(MidiLearnTest, ControllersTheDecoderConsumesOrCannotStoreLeaveLearningArmed) {
  receiver.learn(5);
  controller(0, 1);
  controller(32, 1);
  controller(123, 0);
  controller(127, 0);
  EXPECT_EQ(5, receiver.getLearnTarget());
  EXPECT_EQ((Calls{"allNotesOff"}), receiver.calls);

  // Called directly, a controller without table entry is ignored as well.
  receiver.AbstractChannelEventReceiver::receiveControllerMessage(127, 5, 0.5f);
  receiver.AbstractChannelEventReceiver::receiveControllerMessage(-1, 5, 0.5f);
  EXPECT_EQ(5, receiver.getLearnTarget());
  EXPECT_EQ(-1, mapping.getControllerNumber(5));

  controller(1, 64);
  EXPECT_EQ(5, mapping.getParameterIndex(1));
}

TEST_F(MidiLearnTest, IndexesThatNameNothingNeverBecomeParameterMessages) {
  // As a stored map could hold them.
  mapping.setConnection(20, 77);
  mapping.setConnection(21, 0x100005);
  mapping.setConnection(22, 0x100000);
  mapping.setIndexLimits(10, 1);

  controller(20, 127);
  controller(21, 127);
  controller(22, 127);
  EXPECT_EQ((Calls{"controller 20 127 1", "controller 21 127 1", "controller 22 127 1", "parameter 1048576 1"}),
            receiver.calls);

  // Learning such an index makes no connection, and the learn is not
  // lost: it stays armed until an instance has that index.
  receiver.calls.clear();
  receiver.learn(11);
  controller(30, 127);
  EXPECT_EQ(11, receiver.getLearnTarget());
  EXPECT_EQ(-1, mapping.getParameterIndex(30));
  EXPECT_EQ((Calls{"controller 30 127 1"}), receiver.calls);
  int instance = 0;
  mapping.setIndexLimits(&instance, 12, 0);
  controller(31, 127);
  EXPECT_EQ(-1, receiver.getLearnTarget());
  EXPECT_EQ(11, mapping.getParameterIndex(31));
  mapping.removeIndexLimits(&instance);
}

TEST_F(MidiLearnTest, LearnHappensOnTheReceiverThatHearsTheController) {
  RecordingChannelReceiver ch2(&mapping);
  tree.setChannelReceiver(2, &ch2);
  ch2.learn(4);
  controller(9, 50, 3); // channel 3: slot 0 only
  EXPECT_EQ(4, ch2.getLearnTarget());
  controller(9, 50, 2);
  EXPECT_EQ(-1, ch2.getLearnTarget());
  EXPECT_EQ(4, mapping.getParameterIndex(9));
  // Slot 0 heard that message first, before the learn; it moves the
  // parameter from the next one on.
  EXPECT_EQ("controller 9 50 0.3937008", receiver.calls.back());
  controller(9, 127, 2);
  EXPECT_EQ("parameter 4 1", receiver.calls.back());
}
