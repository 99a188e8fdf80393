#include "plugin/ControllerMapping.h"
#include "plugin/DefaultEventReceiver.h"
#include "plugin/MidiDecoder.h"

#include "tests/plugin/RecordingReceiver.h"

#include <gtest/gtest.h>

#include <memory>

using zarn::test::midi;

namespace {

// A channel receiver that counts notes and reports its own deletion.
class CountingReceiver : public AbstractChannelEventReceiver {
public:
  CountingReceiver(ControllerMapping* mapping, int* deleted) : AbstractChannelEventReceiver(mapping), deleted(deleted) {}
  ~CountingReceiver() override { ++*deleted; }
  void receiveNoteOn(int, float) override { ++notes; }
  int notes = 0;

private:
  int* deleted;
};

// A music receiver that brings its own channel receiver, as the
// synthesizer's does.
class OwnReceiver : public DefaultEventReceiver {
public:
  OwnReceiver(ControllerMapping* mapping, AbstractChannelEventReceiver* r) : DefaultEventReceiver(mapping, nullptr, r) {}
};

int slotsHolding(const AbstractMusicEventReceiver& tree, const AbstractChannelEventReceiver* r) {
  int n = 0;
  for (int slot = 0; slot < AbstractMusicEventReceiver::cSlotCount; ++slot)
    if (tree.getChannelReceiver(slot) == r) ++n;
  return n;
}

} // namespace

TEST(DefaultEventReceiverTest, ChannelReceiverFollowsTheMidiChannel) {
  ControllerMapping mapping;
  int deleted = 0;
  auto* channel = new CountingReceiver(&mapping, &deleted);
  OwnReceiver tree(&mapping, channel);
  MidiDecoder decoder(&tree);
  EXPECT_EQ(channel, tree.getChannelReceiver(0));
  EXPECT_EQ(channel, tree.getChannelEventReceiver());

  decoder.receiveMidiMessage(midi(0x93, 60, 100));
  EXPECT_EQ(1, channel->notes); // all channels, decoded once

  tree.midiChannel = 5;
  EXPECT_EQ(nullptr, tree.getChannelReceiver(0));
  EXPECT_EQ(channel, tree.getChannelReceiver(5));
  EXPECT_EQ(1, slotsHolding(tree, channel));
  decoder.receiveMidiMessage(midi(0x93, 60, 100)); // channel 4
  decoder.receiveMidiMessage(midi(0x94, 60, 100)); // channel 5
  EXPECT_EQ(2, channel->notes);

  // A channel outside 1-16 leaves the receiver deaf, and no slot is touched.
  tree.midiChannel = 20;
  EXPECT_EQ(0, slotsHolding(tree, channel));
  tree.midiChannel = 16;
  EXPECT_EQ(channel, tree.getChannelReceiver(16));
  tree.midiChannel = 0;
  EXPECT_EQ(channel, tree.getChannelReceiver(0));
  EXPECT_EQ(1, slotsHolding(tree, channel));
  EXPECT_EQ(0, deleted);
}

TEST(DefaultEventReceiverTest, ReplacingOrDestroyingDeletesTheHeldReceiver) {
  ControllerMapping mapping;
  int deletedFirst = 0, deletedSecond = 0;
  auto* first = new CountingReceiver(&mapping, &deletedFirst);
  auto tree = std::make_unique<OwnReceiver>(&mapping, first);
  tree->midiChannel = 3;

  auto* second = new CountingReceiver(&mapping, &deletedSecond);
  tree->setChannelEventReceiver(second);
  EXPECT_EQ(1, deletedFirst);
  EXPECT_EQ(second, tree->getChannelReceiver(3));
  EXPECT_EQ(1, slotsHolding(*tree, second));

  tree->setChannelEventReceiver(nullptr);
  EXPECT_EQ(1, deletedSecond);
  EXPECT_EQ(nullptr, tree->getChannelReceiver(3));

  int deletedThird = 0;
  auto* third = new CountingReceiver(&mapping, &deletedThird);
  tree->setChannelEventReceiver(third);
  EXPECT_EQ(third, tree->getChannelReceiver(3));
  tree.reset();
  EXPECT_EQ(1, deletedThird);
}
