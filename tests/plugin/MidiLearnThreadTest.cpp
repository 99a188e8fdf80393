#include "plugin/ControllerMapping.h"
#include "plugin/MidiDecoder.h"

#include "tests/plugin/RecordingReceiver.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

using zarn::test::midi;
using zarn::test::SlotReceiver;

namespace {

// Counts parameter messages and remembers every index it was handed.
class ParameterCounter : public AbstractChannelEventReceiver {
public:
  explicit ParameterCounter(ControllerMapping* mapping) : AbstractChannelEventReceiver(mapping) {}
  void receiveParameterMessage(int index, float) override {
    ++messages;
    if (index < 0 || index >= 64) ++strayIndexes;
  }
  long messages = 0;
  long strayIndexes = 0;
};

} // namespace

// The render thread decodes controllers (mapping and learning) while the
// main thread arms learning, edits, reloads and resets the shared table.
TEST(MidiLearnThreadTest, RenderThreadMapsWhileTheEditorChangesTheTable) {
  zarn::test::TempDir dir;
  ControllerMapping mapping;
  mapping.setIndexLimits(64, 0);
  for (int c = 0; c < 40; ++c) mapping.setConnection(c, c);
  ASSERT_TRUE(mapping.saveToFile(dir.file("map.qvm")));

  SlotReceiver tree(&mapping);
  ParameterCounter channel(&mapping);
  tree.setChannelReceiver(0, &channel);
  MidiDecoder decoder(&tree);

  std::atomic<bool> stop{false};
  std::atomic<long> decoded{0};
  std::thread render([&] {
    int i = 0;
    while (!stop.load()) {
      decoder.receiveMidiMessage(midi(0xB0 + (i & 15), 1 + i % 126, i & 127));
      decoded.store(++i);
    }
  });

  // Both sides keep going until each has done its share.
  for (int round = 0; round < 2000 || decoded.load() < 20000; ++round) {
    channel.learn(round % 64);
    mapping.setConnection(round % 127, (round * 7) % 64);
    mapping.removeConnection((round * 3) % 127);
    (void)mapping.getControllerNumber(round % 64);
    if (round % 100 == 0) mapping.loadFromFile(dir.file("map.qvm"));
    if (round % 500 == 0) mapping.reset();
  }
  channel.learn(-1);
  stop = true;
  render.join();

  EXPECT_GT(channel.messages, 0);
  EXPECT_EQ(0, channel.strayIndexes);
  for (int c = 0; c < ControllerMapping::cControllerCount; ++c) {
    const int index = mapping.getParameterIndex(c);
    EXPECT_TRUE(index == -1 || (index >= 0 && index < 64)) << c << " -> " << index;
  }
}
