// MIDI program changes load presets on the render thread while the main
// thread rescans the shared library and saves presets into it.

#include "tests/plugin/GenericPluginTestDriver.h"
#include "tests/plugin/PresetFileBytes.h"

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "base/PresetManager.h"
#include "platform/Alerts.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace genericplugintest;
using namespace presettest;

TEST(PresetProgramChangeThreadTest, ProgramChangesLoadTheRightPresetWhileTheLibraryIsRescanned) {
  constexpr int cPresets = 40;
  constexpr int cRounds = 3000;
  constexpr int cRescans = 300;
  zarn::test::TempDir dir("zarn-library");
  const std::string root = dir.path() + "/";
  // The numbered presets live in a sub-folder, which comes first in library
  // order; what the main thread saves lands in the root after them, so the
  // numbering of these stays put.
  char name[32];
  for (int i = 0; i < cPresets; ++i) {
    std::snprintf(name, sizeof name, "A/P%02d.qvp", i);
    dir.write(name, presetBytes("QTst", 1, {0.5f, 100.0f + static_cast<float>(i), 0.0f, 0.25f}));
  }

  TestProduct player;  // answers program changes on its render thread
  TestProduct editor;  // saves presets on the main thread
  RecordingAdapter adapter;
  player.registerPluginAdapter(&adapter);
  GenericPlugin::sPresetManager->initialize(root);

  std::atomic<bool> done{false};
  std::atomic<int> rescans{0};
  int rounds = 0, loaded = 0, dropped = 0, wrong = 0, lastLoaded = -1;
  std::thread render([&] {
    // At least cRounds program changes, and on until the main thread has
    // rescanned often enough for the two to have met many times.
    for (int round = 0; round < cRounds || (rescans.load() < cRescans && round < 100 * cRounds); ++round) {
      ++rounds;
      const int program = (round * 7) % cPresets;
      // A value no preset holds: what stays of it shows a dropped change.
      player.cutoff.setValue(-1.0f, 0);
      player.send(0xC0, static_cast<unsigned char>(program), 0, 0);
      player.render(32);
      const float cutoff = player.cutoff.getValue();
      if (cutoff == -1.0f)
        ++dropped;
      else if (cutoff == 100.0f + static_cast<float>(program)) {
        ++loaded;
        lastLoaded = program;
      } else
        ++wrong;
    }
    done = true;
  });

  int saves = 0;
  while (!done.load()) {
    GenericPlugin::sPresetManager->initialize(root);
    rescans.fetch_add(1);
    if (saves < 30) {
      std::snprintf(name, sizeof name, "Saved%02d.qvp", saves);
      Preset preset(root + name);
      editor.cutoff.setValue(5000.0f + static_cast<float>(saves), 0);
      EXPECT_TRUE(editor.savePreset(&preset));
      ++saves;
    }
  }
  render.join();
  RecordProperty("loaded", loaded);
  RecordProperty("dropped", dropped);
  RecordProperty("rescans", rescans.load());

  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(loaded + dropped, rounds);
  // A change is dropped only while the trees are swapped; how often that
  // is depends on the machine's load, so only that both happened is
  // asserted, not a proportion.
  EXPECT_GT(loaded, 0);
  // The render thread leaves the preset context to the main thread, which
  // sees the last preset loaded.
  ASSERT_GE(lastLoaded, 0);
  EXPECT_EQ(player.getPresetContext()->presetPath.get(),
            "A/P" + std::to_string(lastLoaded / 10) + std::to_string(lastLoaded % 10) + ".qvp");
  EXPECT_FALSE(player.getPresetContext()->presetModified.get());
  EXPECT_EQ(adapter.presetChanges.load(), loaded);
  EXPECT_GT(rescans.load(), 0);
  EXPECT_NE(GenericPlugin::sPresetManager->findPresetByName("Saved00"), nullptr);
  GenericPlugin::sPresetManager->initialize("");
}

// A program change meets a damaged preset on the render thread: the song
// plays on with the sound it had, and the main thread (not the render
// thread) tells the user which file could not be loaded and why, once.
TEST(PresetProgramChangeThreadTest, ADamagedPresetIsReportedOnTheMainThreadOnce) {
  zarn::test::TempDir dir("zarn-library");
  const std::string root = dir.path() + "/";
  dir.write("A Good.qvp", presetBytes("QTst", 1, {0.5f, 300.0f, 0.0f, 0.25f}));
  const std::string whole = presetBytes("QTst", 1, {0.5f, 900.0f, 0.0f, 0.25f});
  dir.write("B Cut.qvp", whole.substr(0, whole.size() - 3));

  std::mutex lock;
  std::vector<std::string> alerts;
  std::vector<std::thread::id> alertThreads;
  platform::setAlertHandler([&](const std::string& m) {
    std::lock_guard<std::mutex> guard(lock);
    alerts.push_back(m);
    alertThreads.push_back(std::this_thread::get_id());
  });
  TestProduct player;
  GenericPlugin::sPresetManager->initialize(root);

  auto programChangeOnTheRenderThread = [&](unsigned char program) {
    std::thread render([&] {
      player.send(0xC0, program, 0, 0);
      player.render(32);
    });
    render.join();
  };
  programChangeOnTheRenderThread(0);
  EXPECT_FLOAT_EQ(player.cutoff.getValue(), 300.0f);
  programChangeOnTheRenderThread(1);
  EXPECT_FLOAT_EQ(player.cutoff.getValue(), 300.0f); // the previous sound plays on
  {
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_TRUE(alerts.empty()); // nothing is shown from the render thread
  }
  player.applyPendingPresetContext(); // the host's idle time
  programChangeOnTheRenderThread(1);
  player.applyPendingPresetContext();
  platform::setAlertHandler(nullptr);

  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alertThreads[0], std::this_thread::get_id());
  EXPECT_EQ(alerts[0], "The preset \"B Cut\" could not be loaded from " + root +
                           "B Cut.qvp: it is cut short before the last of its 4 values.");
  EXPECT_EQ(player.getPresetContext()->presetName.get(), "A Good");
  GenericPlugin::sPresetManager->initialize("");
}
