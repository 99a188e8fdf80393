// MIDI program changes load presets on the host's render thread while the
// host saves its chunks and idles on the main thread: the preset-name chunk
// shows the loaded preset once the main thread has taken it over, and the
// two threads never share the context's texts.

#include "tests/host/bridge/BridgeTestSupport.h"
#include "tools/host/RenderThread.h"

#include "base/PresetContext.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace bridgetest;

namespace {

std::string SavedPresetName(const simhost::SimHost& host, const simhost::Instance& in) {
  for (const auto& [id, data] : SaveState(host, in).chunks)
    if (id == kPresetNameChunk) return PresetNameOf(data);
  return "<no chunk>";
}

TEST(BridgePresetContextThreadTest, TheNameChunkShowsWhatTheRenderThreadLoaded) {
  const std::string one = WritePreset("Race One", 0.25f, BridgeTestProduct::Flat, 0.0f, 0);
  const std::string two = WritePreset("Race Two", 0.75f, BridgeTestProduct::Ramp, 0.5f, 1);
  const int programOne = ProgramNumberOf("Race One");
  const int programTwo = ProgramNumberOf("Race Two");
  ASSERT_GE(programOne, 0);
  ASSERT_GE(programTwo, 0);
  {
    InProcessHost h;
    simhost::Instance* in = h->createInstance();
    BridgeTestProduct* p = Product(*in);

    simhost::RenderThread render(h.host(), *in, 64, 0.0f);
    render.start();
    int unexpected = 0;
    for (int round = 0; round < 60; ++round) {
      h->queueMidi(*in, round % 64, 0xC0, static_cast<uint8_t>(round % 2 ? programTwo : programOne));
      ASSERT_TRUE(render.waitForBlocks(1));
      if (round % 3 == 0) h->idle();
      const std::string name = SavedPresetName(h.host(), *in);
      if (name != "" && name != "Race One" && name != "Race Two") ++unexpected;
    }
    ASSERT_TRUE(render.waitForBlocks(2));
    render.stop();
    EXPECT_EQ(unexpected, 0);

    // The last program change (round 59) loaded "Race Two"; saving shows it
    // without an idle call in between.
    EXPECT_FLOAT_EQ(p->level.getValue(), 0.75f);
    EXPECT_EQ(SavedPresetName(h.host(), *in), "Race Two");
    const PresetContext* context = p->getPresetContext();
    EXPECT_EQ(context->presetName.get(), "Race Two");
    EXPECT_EQ(context->presetPath.get(), "Race Two.qvp");
    EXPECT_FALSE(context->presetModified.get());
  }
  std::remove(one.c_str());
  std::remove(two.c_str());
}

} // namespace
