// The preset context belongs to the main thread: presets that MIDI program
// changes load on the render thread, and parameter changes made there,
// reach it only when the main thread applies them, whole and in order,
// while the main thread keeps reading it.

#include "tests/plugin/GenericPluginTestDriver.h"
#include "tests/plugin/PresetFileBytes.h"

#include "base/PresetContext.h"
#include "base/PresetManager.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

using namespace genericplugintest;
using namespace presettest;

namespace {

constexpr int cPresets = 20;

std::string presetName(int program) {
  char name[8];
  std::snprintf(name, sizeof name, "P%02d", program);
  return name;
}

// A library of numbered presets in a sub-folder: program i is "P<i>" with
// the cutoff 100 + i.
class NumberedLibrary {
public:
  NumberedLibrary() {
    for (int i = 0; i < cPresets; ++i)
      dir.write("A/" + presetName(i) + ".qvp",
                presetBytes("QTst", 1, {0.5f, 100.0f + static_cast<float>(i), 0.0f, 0.25f}));
    GenericPlugin::sPresetManager->initialize(dir.path() + "/");
  }
  ~NumberedLibrary() { GenericPlugin::sPresetManager->initialize(""); }
  NumberedLibrary(const NumberedLibrary&) = delete;
  NumberedLibrary& operator=(const NumberedLibrary&) = delete;

  zarn::test::TempDir dir{"zarn-library"};
};

// Notes on which thread each property notification arrives.
class ThreadCheckingOwner : public PropertyOwner {
public:
  void propertyChange(const AbstractProperty*) override {
    if (std::this_thread::get_id() != mainThread) offMain.fetch_add(1);
    changes.fetch_add(1);
  }
  std::thread::id mainThread = std::this_thread::get_id();
  std::atomic<int> offMain{0};
  std::atomic<int> changes{0};
};

// Runs f on a thread of its own, as the host's render thread.
template <class F>
void onRenderThread(F f) {
  std::thread render(f);
  render.join();
}

TEST(PresetContextThreadTest, TheMainThreadReadsWholeContextsWhileTheRenderThreadLoads) {
  TestProduct player; // made first: its initialize makes the shared library
  NumberedLibrary library;
  ThreadCheckingOwner owner;
  PresetContext* context = player.getPresetContext();
  context->presetName.setOwner(&owner);
  context->presetPath.setOwner(&owner);
  context->presetModified.setOwner(&owner);

  std::atomic<bool> done{false};
  std::atomic<int> loads{0};
  std::thread render([&] {
    for (int round = 0; round < 1500; ++round) {
      player.send(0xC0, static_cast<unsigned char>((round * 7) % cPresets), 0, 0);
      player.render(32);
      if (player.cutoff.getValue() == 100.0f + static_cast<float>((round * 7) % cPresets)) loads.fetch_add(1);
      // A change made on the render thread, as MIDI makes them.
      if (round % 5 == 0) player.gain.setValue(static_cast<float>(round % 100) / 100.0f, 0);
    }
    player.send(0xC0, 3, 0, 0);
    player.render(32);
    player.gain.setValue(0.125f, 0);
    done = true;
  });

  int reads = 0, mismatched = 0;
  auto check = [&] {
    const PresetContext* c = player.getPresetContext();
    const std::string name = c->presetName.get();
    const std::string path = c->presetPath.get();
    if (!(name.empty() && path.empty()) && path != "A/" + name + ".qvp") ++mismatched;
    ++reads;
  };
  while (!done.load()) check();
  render.join();
  check();

  EXPECT_EQ(loads.load(), 1500);
  EXPECT_EQ(mismatched, 0);
  EXPECT_GT(reads, 0);
  // Once applied, the context holds the last preset loaded, modified by the
  // change after it.
  EXPECT_EQ(context->presetName.get(), "P03");
  EXPECT_EQ(context->presetPath.get(), "A/P03.qvp");
  EXPECT_TRUE(context->presetModified.get());
  EXPECT_GT(owner.changes.load(), 0);
  EXPECT_EQ(owner.offMain.load(), 0);
}

TEST(PresetContextThreadTest, TheRenderThreadLeavesTheContextToTheMainThread) {
  TestProduct player;
  NumberedLibrary library;
  ThreadCheckingOwner owner;
  PresetContext& context = *player.getPresetContext();
  context.presetName.setOwner(&owner);
  context.presetModified.setOwner(&owner);

  onRenderThread([&] {
    ASSERT_TRUE(player.receiveProgramChange(0, 5));
    // The render thread's own view is left alone.
    EXPECT_EQ(player.getPresetContext()->presetName.get(), "");
  });
  EXPECT_EQ(owner.changes.load(), 0);
  // The bridge applies at idle time; any main-thread reader applies too.
  player.applyPendingPresetContext();
  EXPECT_EQ(context.presetName.get(), "P05");
  EXPECT_EQ(context.presetPath.get(), "A/P05.qvp");
  EXPECT_FALSE(context.presetModified.get());
  EXPECT_EQ(owner.changes.load(), 1); // the name; the flag did not change
  EXPECT_EQ(owner.offMain.load(), 0);

  // Changed on the render thread, then a preset loaded there: not modified.
  onRenderThread([&] {
    player.gain.setValue(0.9f, 0);
    ASSERT_TRUE(player.receiveProgramChange(0, 6));
  });
  EXPECT_EQ(player.getPresetContext()->presetName.get(), "P06");
  EXPECT_FALSE(context.presetModified.get());

  // Loaded, then changed: modified, told once on the main thread.
  onRenderThread([&] {
    ASSERT_TRUE(player.receiveProgramChange(0, 7));
    player.gain.setValue(0.8f, 0);
    player.gain.setValue(0.7f, 0);
  });
  const int before = owner.changes.load();
  EXPECT_TRUE(player.getPresetContext()->presetModified.get());
  EXPECT_EQ(context.presetName.get(), "P07");
  EXPECT_EQ(owner.changes.load(), before + 2);

  // What the main thread sets itself stays: nothing older comes back.
  context.presetModified = false;
  EXPECT_FALSE(player.getPresetContext()->presetModified.get());
  EXPECT_EQ(player.getPresetContext()->presetName.get(), "P07");
  EXPECT_EQ(owner.offMain.load(), 0);
}

TEST(PresetContextThreadTest, AnOlderRenderThreadChangeNeverUndoesALaterMainThreadOne) {
  TestProduct player;
  NumberedLibrary library;
  PresetContext* context = player.getPresetContext();

  // Loaded on the render thread, not yet applied; then the main thread
  // loads another preset: the main thread's load is the current one.
  onRenderThread([&] { ASSERT_TRUE(player.receiveProgramChange(0, 1)); });
  ASSERT_TRUE(player.loadPresetWithName("P02"));
  EXPECT_EQ(player.getPresetContext()->presetName.get(), "P02");
  EXPECT_EQ(context->presetPath.get(), "A/P02.qvp");
  player.applyPendingPresetContext();
  EXPECT_EQ(context->presetName.get(), "P02");

  // A load on the render thread clears the flag; a change on the main
  // thread after it sets it again and keeps it set.
  onRenderThread([&] { ASSERT_TRUE(player.receiveProgramChange(0, 4)); });
  player.cutoff.setValue(3000.0f, 0);
  EXPECT_TRUE(context->presetModified.get());
  EXPECT_EQ(player.getPresetContext()->presetName.get(), "P04");
  EXPECT_TRUE(player.getPresetContext()->presetModified.get());
}

} // namespace
