// A MIDI program change on the render thread and a preset load on the main
// thread at the same time: the instance ends with every parameter of exactly
// the preset its context names, and the render thread never waits.

#include "tests/plugin/GenericPluginTestDriver.h"
#include "tests/plugin/PresetFileBytes.h"

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "base/PresetManager.h"
#include "tests/support/TempDir.h"
#include "tests/support/Waiting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

using namespace genericplugintest;
using namespace presettest;

namespace {

constexpr int cPresets = 8;

// Preset i sets every parameter to a value no other preset has.
float gainOf(int i) { return 0.05f + 0.1f * static_cast<float>(i); }
float cutoffOf(int i) { return 100.0f + static_cast<float>(i); }
float shapeOf(int i) { return static_cast<float>(i); }
float driveOf(int i) { return 0.9f - 0.1f * static_cast<float>(i); }

std::string nameOf(int i) {
  char name[8];
  std::snprintf(name, sizeof name, "P%02d", i & 0xFF);
  return name;
}

// The presets, numbered 0..cPresets-1 in the library's first bank.
struct Library {
  zarn::test::TempDir dir{"zarn-library"};
  Library() {
    for (int i = 0; i < cPresets; ++i)
      dir.write(nameOf(i) + ".qvp", presetBytes("QTst", 1, {gainOf(i), cutoffOf(i), shapeOf(i), driveOf(i)}));
    GenericPlugin::sPresetManager->initialize(dir.path() + "/");
  }
  ~Library() { GenericPlugin::sPresetManager->initialize(""); }
};

// Which preset the parameters hold, all four of them; -1 for a mixture.
int presetHeld(const TestProduct& p) {
  for (int i = 0; i < cPresets; ++i)
    if (p.gain.getValue() == gainOf(i) && p.cutoff.getValue() == cutoffOf(i) && p.shape.getValue() == shapeOf(i) &&
        p.drive.getValue() == driveOf(i))
      return i;
  return -1;
}

using zarn::test::Baton;

// A product whose preset reader can be held up by the test, as a load from
// a slow disk would be. Held, the reader waits until let go (or the
// deadline passes: a test that never lets go fails, it does not hang).
class SlowLoader : public TestProduct {
public:
  bool doLoadPreset(Preset* preset, PresetLoadFailure& failure) override {
    inside.store(true);
    if (hold.load()) {
      entered.pass(1);
      released.awaitValue(1);
    }
    inside.store(false);
    return TestProduct::doLoadPreset(preset, failure);
  }
  void letGo() { released.pass(1); }
  std::atomic<bool> hold{false};
  Baton entered, released;
  std::atomic<bool> inside{false};
};

} // namespace

TEST(PresetLoadThreadTest, EveryRoundEndsWithExactlyThePresetTheContextNames) {
  TestProduct plugin;
  Library library;
  constexpr int cRounds = 3000;
  // The two threads take turns, blocking while the other's turn lasts; a
  // turn not handed on in time ends the test.
  Baton go(-1), mainDone(-1), flushed(-1);
  std::atomic<bool> renderGaveUp{false};
  std::thread render([&] {
    for (int round = 0; round < cRounds; ++round) {
      if (!go.awaitValue(round)) break;
      plugin.send(0xC0, static_cast<unsigned char>((round * 3) % cPresets), 0, 0);
      plugin.render(32);
      if (!mainDone.awaitValue(round)) break;
      // A program change deferred above is applied here.
      plugin.render(32);
      flushed.pass(round);
      if (round == cRounds - 1) return;
    }
    renderGaveUp.store(true);
  });

  int mixed = 0, mismatched = 0;
  int fromRender = 0, fromMain = 0;
  for (int round = 0; round < cRounds; ++round) {
    go.pass(round);
    const int mine = (round * 5 + 1) % cPresets;
    EXPECT_TRUE(plugin.loadPresetWithName(nameOf(mine)));
    mainDone.pass(round);
    if (!flushed.awaitValue(round)) {
      ADD_FAILURE() << "round " << round << " was not handed back";
      break;
    }
    const int held = presetHeld(plugin);
    const std::string named = plugin.getPresetContext()->presetName.get();
    if (held < 0)
      ++mixed;
    else if (named != nameOf(held))
      ++mismatched;
    else if (held == mine)
      ++fromMain;
    else
      ++fromRender;
  }
  render.join();
  RecordProperty("lastFromMain", fromMain);
  RecordProperty("lastFromRender", fromRender);
  EXPECT_EQ(mixed, 0);
  EXPECT_EQ(mismatched, 0);
  EXPECT_FALSE(renderGaveUp.load());
  EXPECT_EQ(fromMain + fromRender, cRounds);
}

TEST(PresetLoadThreadTest, ABusyLoadDefersTheProgramChangeAndNeverStallsTheRenderThread) {
  SlowLoader plugin;
  Library library;
  plugin.hold.store(true);
  Baton mainDone(0);
  bool renderedWhileLoading = false;
  int heldDuringLoad = -2, heldAfterNextQuantum = -2, heldLater = -2;
  std::thread render([&] {
    if (!plugin.entered.awaitValue(1)) return;
    // The main thread is inside its load. The program change does not wait
    // for it: the quantum renders, and nothing of preset 5 is applied yet.
    plugin.send(0xC0, 5, 0, 0);
    plugin.render(32);
    renderedWhileLoading = plugin.inside.load();
    heldDuringLoad = presetHeld(plugin);
    plugin.letGo();
    if (!mainDone.awaitValue(1)) return;
    // The next quantum takes the deferred change, whole; then it is done.
    plugin.render(32);
    heldAfterNextQuantum = presetHeld(plugin);
    plugin.render(32);
    heldLater = presetHeld(plugin);
  });
  EXPECT_TRUE(plugin.loadPresetWithName(nameOf(2)));
  EXPECT_EQ(presetHeld(plugin), 2);
  mainDone.pass(1);
  render.join();

  EXPECT_TRUE(renderedWhileLoading);
  EXPECT_EQ(heldDuringLoad, -1) << "the main thread's load had not set the parameters yet";
  EXPECT_EQ(heldAfterNextQuantum, 5);
  EXPECT_EQ(heldLater, 5);
  EXPECT_EQ(plugin.getPresetContext()->presetName.get(), nameOf(5));
  EXPECT_FALSE(plugin.getPresetContext()->presetModified.get());
}
