// Block-sliced rendering, MIDI at its own sample, and the hand-off of
// parameter changes and notifications, through the test product.

#include "tests/plugin/GenericPluginTestDriver.h"

#include "base/PresetContext.h"
#include "plugin/ControllerMapping.h"
#include "tests/support/AllocationCounter.h"
#include "wave/Environment.h"
#include "wave/Input.h"

#include <gtest/gtest.h>

#include <ios>
#include <vector>
#include <xmmintrin.h>

using namespace genericplugintest;

namespace {

std::vector<int> slicesOf(const TestProduct& plugin) {
  return std::vector<int>(plugin.source->slices, plugin.source->slices + plugin.source->sliceCount);
}

// (kind, number, position) of every decoded message.
std::vector<std::vector<int>> decodedOf(const TestProduct& plugin) {
  std::vector<std::vector<int>> result;
  for (int i = 0; i < plugin.receiver->count.load(); ++i) {
    const PositionReceiver::Entry& e = plugin.receiver->log[i];
    result.push_back({e.kind, e.number, static_cast<int>(e.position)});
  }
  return result;
}

// Host output `out` holds the plug-in's sample positions first..first+count-1
// from frame 0 on.
void expectPositions(const TestProduct& plugin, int out, int count, int first = 0) {
  for (int i = 0; i < count; ++i) {
    ASSERT_EQ(plugin.outputs[out][i], static_cast<float>(first + i)) << "output " << out << " frame " << i;
  }
}

void fill(TestProduct& plugin, float value) {
  for (auto& output : plugin.outputs)
    for (float& sample : output) sample = value;
}

} // namespace

TEST(GenericPluginRenderTest, SlicesNeverExceedTheMaximumBlock) {
  TestProduct plugin;
  plugin.render(1000);
  EXPECT_EQ(slicesOf(plugin), (std::vector<int>{256, 256, 256, 232}));
  // One channel, two host outputs: the channel's samples go to both.
  expectPositions(plugin, 0, 1000);
  expectPositions(plugin, 1, 1000);

  // The next buffer goes on where this one stopped.
  plugin.render(300);
  EXPECT_EQ(slicesOf(plugin), (std::vector<int>{256, 256, 256, 232, 256, 44}));
  expectPositions(plugin, 0, 300, 1000);
}

TEST(GenericPluginRenderTest, SlicesEndAtEachMessage) {
  TestProduct plugin;
  plugin.send(0x90, 60, 100, 100);
  plugin.send(0x90, 64, 100, 100);
  plugin.send(0x80, 60, 0, 400);
  plugin.render(512);
  // 0..99, both messages back to back, then 100..511 in blocks of at most
  // 256 with a cut at 400.
  EXPECT_EQ(slicesOf(plugin), (std::vector<int>{100, 256, 44, 112}));
  EXPECT_EQ(decodedOf(plugin), (std::vector<std::vector<int>>{{0x9, 60, 100}, {0x9, 64, 100}, {0x8, 60, 400}}));
  expectPositions(plugin, 0, 512);

  // A product with something of its own to do at sample 812 (300 into the
  // next buffer) has a slice end there too.
  plugin.cutAt = 812;
  plugin.send(0x90, 60, 100, 100);
  plugin.send(0x80, 60, 0, 400);
  plugin.render(512);
  EXPECT_EQ(slicesOf(plugin), (std::vector<int>{100, 256, 44, 112, 100, 200, 100, 112}));
  expectPositions(plugin, 0, 512, 512);
}

TEST(GenericPluginRenderTest, MessagesAtOrPastTheEndAreDecodedAfterTheBuffer) {
  TestProduct plugin;
  plugin.send(0x90, 60, 100, 600);
  // Queued behind it: decoded after the buffer too, whatever its offset.
  plugin.send(0x90, 61, 100, 50);
  plugin.render(512);
  EXPECT_EQ(slicesOf(plugin), (std::vector<int>{256, 256}));
  EXPECT_EQ(decodedOf(plugin), (std::vector<std::vector<int>>{{0x9, 60, 512}, {0x9, 61, 512}}));

  // An offset equal to the sample count is past the end as well.
  plugin.send(0x90, 62, 100, 128);
  plugin.render(128);
  EXPECT_EQ(decodedOf(plugin).back(), (std::vector<int>{0x9, 62, 640}));
  EXPECT_EQ(slicesOf(plugin).back(), 128);
}

TEST(GenericPluginRenderTest, LateOrNegativeOffsetsAreDecodedWithoutRendering) {
  TestProduct plugin;
  plugin.send(0x90, 1, 100, -5);
  plugin.send(0x90, 2, 100, 200);
  plugin.send(0x90, 3, 100, 100); // before the message ahead of it
  plugin.send(0x90, 4, 100, 0);   // so is this one
  plugin.send(0x90, 5, 100, 300);
  plugin.render(512);
  EXPECT_EQ(slicesOf(plugin), (std::vector<int>{200, 100, 212}));
  EXPECT_EQ(decodedOf(plugin), (std::vector<std::vector<int>>{
                                   {0x9, 1, 0}, {0x9, 2, 200}, {0x9, 3, 200}, {0x9, 4, 200}, {0x9, 5, 300}}));
  expectPositions(plugin, 0, 512);
}

TEST(GenericPluginRenderTest, EmptyBuffersDecodeTheQueueAndRenderNothing) {
  TestProduct plugin;
  plugin.send(0x90, 60, 100, 10);
  plugin.render(0);
  plugin.send(0x90, 61, 100, 10);
  fill(plugin, -1.0f);
  plugin.render(-3);
  EXPECT_EQ(plugin.source->sliceCount, 0);
  EXPECT_EQ(decodedOf(plugin), (std::vector<std::vector<int>>{{0x9, 60, 0}, {0x9, 61, 0}}));
  EXPECT_EQ(plugin.outputs[0][0], -1.0f);
}

TEST(GenericPluginRenderTest, OnlyTheFirstSixteenOutputsAreWritten) {
  TestProduct plugin;
  fill(plugin, -1.0f);
  plugin.render(64, 20);
  for (int out = 0; out < 16; ++out) expectPositions(plugin, out, 64);
  for (int out = 16; out < 20; ++out)
    for (int i = 0; i < 64; ++i) ASSERT_EQ(plugin.outputs[out][i], -1.0f) << "output " << out;
  // Frames past the buffer are never touched.
  EXPECT_EQ(plugin.outputs[0][64], -1.0f);
}

TEST(GenericPluginRenderTest, OutputsWithoutProducerAreSilent) {
  TestProduct::Options options;
  options.buildChannels = false;
  TestProduct plugin(options);
  fill(plugin, -1.0f);
  plugin.render(100, 3);
  for (int out = 0; out < 3; ++out)
    for (int i = 0; i < 100; ++i) ASSERT_EQ(plugin.outputs[out][i], 0.0f);
  EXPECT_EQ(plugin.outputs[3][0], -1.0f);
}

TEST(GenericPluginRenderTest, EffectChannelsReadTheirHostInputs) {
  TestProduct::Options options;
  options.type = 1;
  options.channels = 2;
  options.sideChain = true;
  options.passThrough = true;
  TestProduct plugin(options);

  std::vector<std::vector<float>> in(4, std::vector<float>(300));
  for (int c = 0; c < 4; ++c)
    for (int i = 0; i < 300; ++i) in[c][i] = static_cast<float>(c * 1000 + i);
  float* inputs[4] = {in[0].data(), in[1].data(), in[2].data(), in[3].data()};
  plugin.process(inputs, 4, plugin.outputPointers, 2, 300);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 300; ++i) ASSERT_EQ(plugin.outputs[c][i], in[c][i]);
  // Side-chain input i + channel count goes to channel i.
  EXPECT_EQ(plugin.channels[0]->getSideChainInput()->buffer, in[2].data());
  EXPECT_EQ(plugin.channels[1]->getSideChainInput()->buffer, in[3].data());

  // A host that passes fewer inputs than channels: the missing ones are
  // silence, and nothing past the host's array is read.
  plugin.process(inputs, 1, plugin.outputPointers, 2, 300);
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(plugin.outputs[0][i], in[0][i]);
    ASSERT_EQ(plugin.outputs[1][i], 0.0f);
  }
}

TEST(GenericPluginRenderTest, InstrumentsLeaveTheirInputsAlone) {
  TestProduct::Options options;
  options.type = 0;
  options.passThrough = true;
  TestProduct plugin(options);
  std::vector<float> in(64, 7.0f);
  float* inputs[1] = {in.data()};
  plugin.process(inputs, 1, plugin.outputPointers, 1, 64);
  EXPECT_EQ(plugin.channels[0]->getInput()->buffer, nullptr);
  EXPECT_EQ(plugin.outputs[0][0], 0.0f);
}

TEST(GenericPluginRenderTest, ChannelsPullTheirProducerOncePerBlock) {
  TestProduct plugin;
  GenericPlugin::Channel* channel = plugin.channels[0];
  wave::Environment* env = plugin.getEnvironment();
  env->beginBlock();
  // A mute call does not produce: nothing was ever rendered.
  EXPECT_EQ(channel->retrieveSamples(16, wave::cMuteCall), nullptr);
  const float* first = channel->retrieveSamples(16, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(channel->retrieveSamples(16, 0), first);
  EXPECT_EQ(plugin.source->sliceCount, 1);
  env->endBlock(16);

  channel->setOutput(nullptr);
  EXPECT_EQ(channel->retrieveSamples(16, 0), nullptr);
  EXPECT_EQ(channel->getOutput(), nullptr);
}

TEST(GenericPluginRenderTest, QueuedChangesReachTheEngineAtTheNextBuffer) {
  TestProduct plugin;
  plugin.gain.setValue(0.9f, 0);
  plugin.cutoff.setValue(300.0f, cParameterChangeFromHost);
  plugin.gain.setValue(0.1f, 0);
  EXPECT_EQ(plugin.gain.engineUpdates.load(), 0);
  plugin.render(32);
  // In queue order, each followed by parameterChange.
  EXPECT_FLOAT_EQ(plugin.gain.engineValue.load(), 0.1f);
  EXPECT_EQ(plugin.gain.engineUpdates.load(), 2);
  EXPECT_FLOAT_EQ(plugin.cutoff.engineValue.load(), 300.0f);
  EXPECT_EQ(plugin.channelChanges, 3);

  plugin.shape.setValue(4.0f, 0);
  plugin.processParameterChangeEvents();
  EXPECT_FLOAT_EQ(plugin.shape.engineValue.load(), 4.0f);
}

// While the product holds the changes back (a synthesizer fading voices
// out first), none reaches the engine, however many arrive; when they are
// let through, each parameter that changed reaches it once, with the value
// it holds then: the last of several changes, not the first.
TEST(GenericPluginRenderTest, HeldChangesReachTheEngineOnceWithTheirLatestValues) {
  TestProduct plugin;
  plugin.render(32);
  const int gainUpdates = plugin.gain.engineUpdates.load();
  const int shapeUpdates = plugin.shape.engineUpdates.load();
  plugin.holdChanges = true;
  plugin.gain.setValue(0.1f, 0);
  plugin.cutoff.setValue(500.0f, 0);
  plugin.gain.setValue(0.2f, 0);
  plugin.render(32);
  plugin.gain.setValue(0.3f, 0);
  plugin.cutoff.setValue(700.0f, 0);
  plugin.render(32);
  EXPECT_EQ(plugin.gain.engineUpdates.load(), gainUpdates);
  EXPECT_NE(plugin.cutoff.engineValue.load(), 700.0f);

  plugin.holdChanges = false;
  plugin.render(32);
  EXPECT_FLOAT_EQ(plugin.gain.engineValue.load(), 0.3f);
  EXPECT_FLOAT_EQ(plugin.cutoff.engineValue.load(), 700.0f);
  EXPECT_EQ(plugin.gain.engineUpdates.load(), gainUpdates + 1);
  EXPECT_EQ(plugin.shape.engineUpdates.load(), shapeUpdates);
  // Nothing stays held: a later change comes through alone.
  plugin.gain.setValue(0.4f, 0);
  plugin.render(32);
  EXPECT_FLOAT_EQ(plugin.gain.engineValue.load(), 0.4f);
  EXPECT_EQ(plugin.gain.engineUpdates.load(), gainUpdates + 2);
  EXPECT_FLOAT_EQ(plugin.cutoff.engineValue.load(), 700.0f);
}

TEST(GenericPluginRenderTest, BatchesAnnounceOnceAtTheOutermostEnd) {
  TestProduct plugin;
  RecordingAdapter adapter;
  RecordingListener listener;
  plugin.registerPluginAdapter(&adapter);
  plugin.setListener(&listener);

  plugin.beginParameterUpdate();
  plugin.gain.setValue(0.2f, cParameterChangeFromHost);
  plugin.beginParameterUpdate();
  plugin.cutoff.setValue(200.0f, cParameterChangeFromHost);
  plugin.endParameterUpdate();
  EXPECT_EQ(adapter.calls(), 0);
  EXPECT_EQ(listener.calls(), 0);
  EXPECT_EQ(plugin.getUpdateDepth(), 1);
  plugin.endParameterUpdate();
  // Once for all parameters, even though every change came from the host.
  ASSERT_EQ(adapter.calls(), 1);
  EXPECT_EQ(adapter.indexes[0], -1);
  ASSERT_EQ(listener.calls(), 1);
  EXPECT_EQ(listener.events[0].code, cParameterChangeEvent);
  EXPECT_EQ(listener.events[0].value, -1);
  EXPECT_EQ(plugin.getUpdateDepth(), 0);

  // The changes still reached the engine.
  plugin.render(8);
  EXPECT_FLOAT_EQ(plugin.gain.engineValue.load(), 0.2f);
  EXPECT_FLOAT_EQ(plugin.cutoff.engineValue.load(), 200.0f);

  // A batch without change announces nothing.
  plugin.beginParameterUpdate();
  plugin.gain.setValue(0.2f, 0);
  plugin.endParameterUpdate();
  EXPECT_EQ(adapter.calls(), 1);
  EXPECT_EQ(listener.calls(), 1);

  // An end without a begin leaves the depth at 0, so later changes are
  // still announced one by one.
  plugin.endParameterUpdate();
  EXPECT_EQ(plugin.getUpdateDepth(), 0);
  plugin.gain.setValue(0.3f, 0);
  EXPECT_EQ(adapter.calls(), 2);
  EXPECT_EQ(adapter.indexes[1], plugin.gain.getIndex());
  EXPECT_EQ(listener.countOf(cParameterChangeEvent, plugin.gain.getIndex()), 1);
  plugin.setListener(nullptr);
}

TEST(GenericPluginRenderTest, HostChangesAreNotReportedBackToTheHost) {
  TestProduct plugin;
  RecordingAdapter adapter;
  RecordingListener listener;
  plugin.registerPluginAdapter(&adapter);
  plugin.setListener(&listener);
  plugin.gain.setValue(0.8f, cParameterChangeFromHost);
  plugin.gain.setValue(0.7f, cParameterChangeFromHost | 6); // other bits carry nothing
  EXPECT_EQ(adapter.calls(), 0);
  EXPECT_EQ(listener.countOf(cParameterChangeEvent, plugin.gain.getIndex()), 2);
  plugin.gain.setValue(0.6f, 6);
  EXPECT_EQ(adapter.calls(), 1);
  plugin.setListener(nullptr);
}

TEST(GenericPluginRenderTest, ThePresetIsMarkedModifiedOnce) {
  TestProduct plugin;
  CountingOwner owner;
  plugin.getPresetContext()->presetModified.setOwner(&owner);
  EXPECT_FALSE(plugin.getPresetContext()->presetModified.get());
  plugin.gain.setValue(0.1f, 0);
  EXPECT_TRUE(plugin.getPresetContext()->presetModified.get());
  plugin.gain.setValue(0.2f, cParameterChangeFromHost);
  plugin.beginParameterUpdate();
  plugin.cutoff.setValue(50.0f, 0);
  plugin.endParameterUpdate();
  EXPECT_EQ(owner.changes, 1);
}

TEST(GenericPluginRenderTest, MidiIsQueuedAndAnnouncedUnlessBlocked) {
  TestProduct plugin;
  RecordingListener listener;
  plugin.setListener(&listener);
  plugin.send(0x90, 60, 100, 0);
  EXPECT_EQ(listener.countOf(cMidiReceivedEvent, 0), 1);

  plugin.setMidiBlocked(true);
  plugin.send(0x90, 61, 100, 0);
  EXPECT_EQ(listener.calls(), 1);
  plugin.render(16);
  EXPECT_EQ(decodedOf(plugin), (std::vector<std::vector<int>>{{0x9, 60, 0}}));

  plugin.notifyGeneralChange(42);
  plugin.postEventToListener(7, -7);
  EXPECT_EQ(listener.countOf(cGeneralChangeEvent, 42), 1);
  EXPECT_EQ(listener.countOf(7, -7), 1);
  plugin.setListener(nullptr);
  plugin.notifyGeneralChange(43);
  EXPECT_EQ(listener.calls(), 3);
}

TEST(GenericPluginRenderTest, LearnedControllerMovesItsParameterAtItsSample) {
  TestProduct plugin;
  RecordingAdapter adapter;
  plugin.registerPluginAdapter(&adapter);
  const int index = plugin.cutoff.getIndex();

  plugin.learnMidi(index);
  plugin.send(0xB0, 7, 127, 64);
  plugin.render(128);
  EXPECT_EQ(GenericPlugin::sControllerMapping->getParameterIndex(7), index);
  EXPECT_FLOAT_EQ(plugin.cutoff.getValue(), 20000.0f);
  ASSERT_EQ(adapter.calls(), 1);
  EXPECT_EQ(adapter.indexes[0], index);
  EXPECT_TRUE(plugin.getPresetContext()->presetModified.get());
  EXPECT_EQ(decodedOf(plugin), (std::vector<std::vector<int>>{{0xB, 7, 64}}));
  // Changed on the render thread after the queue was drained: the engine
  // has it from the next buffer on.
  EXPECT_NE(plugin.cutoff.engineValue.load(), 20000.0f);
  plugin.render(16);
  EXPECT_FLOAT_EQ(plugin.cutoff.engineValue.load(), 20000.0f);

  // Cancelled learning leaves the map alone.
  plugin.learnMidi(plugin.gain.getIndex());
  plugin.learnMidi(-1);
  plugin.send(0xB0, 9, 0, 0);
  plugin.render(16);
  EXPECT_EQ(GenericPlugin::sControllerMapping->getControllerNumber(plugin.gain.getIndex()), -1);
}

TEST(GenericPluginRenderTest, ResetResetsTheSignalGraph) {
  TestProduct plugin;
  plugin.render(100);
  plugin.reset();
  EXPECT_EQ(plugin.getEnvironment()->resetTime, 100u);
  // The sample clock runs on.
  plugin.render(10);
  expectPositions(plugin, 0, 10, 100);
}

// process runs in the render state the filter kernels expect (flush-to-zero,
// denormals-are-zero, every exception masked, round-to-nearest), whatever
// state the host calls it in, and hands the host's control state back as it
// was; status flags the host had raised stay raised.
TEST(GenericPluginRenderTest, ProcessRunsInTheRenderStateAndRestoresTheHosts) {
  TestProduct plugin;
  const unsigned before = _mm_getcsr();
  const unsigned controls = 0xffc0u;
  const unsigned masks = 0x1f80u;
  const unsigned hostStates[] = {
      masks,                     // the usual default: no flushing
      masks | 0x6000u,           // round towards zero
      masks | 0x8000u,           // flush-to-zero alone
      masks | 0x0040u | 0x2000u, // denormals-are-zero, round down
      masks | 0x0001u,           // a status flag the host has raised
      0x9fc0u,                   // the render state already
  };
  for (unsigned host : hostStates) {
    _mm_setcsr((before & ~(controls | 0x3fu)) | host);
    const unsigned callerState = _mm_getcsr();
    plugin.source->lastCsr = 0;
    plugin.render(64);
    const unsigned after = _mm_getcsr();
    _mm_setcsr(before);
    EXPECT_EQ(plugin.source->lastCsr & controls, 0x9fc0u) << std::hex << host;
    EXPECT_EQ(after & controls, callerState & controls) << std::hex << host;
    EXPECT_EQ(after & callerState & 0x3fu, callerState & 0x3fu) << std::hex << host;
  }
}

TEST(GenericPluginRenderTest, ProcessAllocatesNothingInSteadyState) {
  TestProduct plugin;
  RecordingAdapter adapter;
  RecordingListener listener;
  plugin.registerPluginAdapter(&adapter);
  plugin.setListener(&listener);
  plugin.learnMidi(plugin.gain.getIndex());
  plugin.send(0xB0, 20, 10, 0);
  plugin.render(1000);

  for (int round = 0; round < 20; ++round) {
    plugin.cutoff.setValue(100.0f + static_cast<float>(round), 0);
    plugin.beginParameterUpdate();
    plugin.shape.setValue(static_cast<float>(round % 8), cParameterChangeFromHost);
    plugin.endParameterUpdate();
    plugin.send(0x90, 60, 100, 10 * round);
    plugin.send(0xB0, 20, static_cast<unsigned char>(round * 5), 300);
    plugin.send(0x80, 60, 0, 2000);
    zarn::test::AllocationCounter counter;
    plugin.render(1000, 20);
    ASSERT_EQ(counter.count(), 0) << "round " << round;
  }
  EXPECT_FLOAT_EQ(plugin.cutoff.engineValue.load(), 119.0f);
  EXPECT_NEAR(plugin.gain.getValue(), 95.0f / 127.0f, 1e-6);
  plugin.setListener(nullptr);
}
