// MIDI program changes load presets on the render thread while the main
// thread rescans the shared library and saves presets into it: a change
// that meets a rescan waits for the next quantum, and none is lost. The
// instances of the process read the library once for all of them, and a
// rescan reaches their program changes from whichever thread made it.

#include "tests/plugin/GenericPluginTestDriver.h"
#include "tests/plugin/PresetFileBytes.h"

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "base/PresetFolder.h"
#include "base/PresetManager.h"
#include "platform/Alerts.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/TempDir.h"
#include "tests/support/Waiting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
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
  int rounds = 0, loaded = 0, deferred = 0, late = 0, wrong = 0, lastProgram = -1, pending = -1;
  std::thread render([&] {
    // At least cRounds program changes, and on until the main thread has
    // rescanned often enough for the two to have met many times.
    for (int round = 0; round < cRounds || (rescans.load() < cRescans && round < 100 * cRounds); ++round) {
      ++rounds;
      const int program = (round * 7) % cPresets;
      lastProgram = program;
      // A value no preset holds: what stays of it shows a deferred change.
      player.cutoff.setValue(-1.0f, 0);
      player.send(0xC0, static_cast<unsigned char>(program), 0, 0);
      player.render(32);
      const float cutoff = player.cutoff.getValue();
      if (cutoff == 100.0f + static_cast<float>(program)) {
        ++loaded;
        pending = -1;
      } else if (cutoff == -1.0f) {
        ++deferred;
        pending = program; // a newer change replaces a deferred one
      } else if (pending >= 0 && cutoff == 100.0f + static_cast<float>(pending)) {
        // The change deferred last time came through first, then this one
        // was deferred in turn.
        ++late;
        ++deferred;
        pending = program;
      } else {
        ++wrong;
      }
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
  // One more quantum takes a change still deferred.
  player.render(32);
  RecordProperty("loaded", loaded);
  RecordProperty("deferred", deferred);
  RecordProperty("rescans", rescans.load());

  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(loaded + deferred, rounds);
  // A change is deferred only while the trees are swapped; how often that
  // is depends on the machine's load, so only that loads happened is
  // asserted, not a proportion.
  EXPECT_GT(loaded, 0);
  // No change is lost: the last one sent is the one that stays, and the
  // main thread's context names it.
  ASSERT_GE(lastProgram, 0);
  EXPECT_EQ(player.cutoff.getValue(), 100.0f + static_cast<float>(lastProgram));
  EXPECT_EQ(player.getPresetContext()->presetPath.get(),
            "A/P" + std::to_string(lastProgram / 10) + std::to_string(lastProgram % 10) + ".qvp");
  EXPECT_FALSE(player.getPresetContext()->presetModified.get());
  // Every change was loaded once, or not at all when a newer one replaced
  // it while it waited. (A deferred change that came through just before
  // the round's own shows in no value, so only the bounds are exact.)
  EXPECT_GE(adapter.presetChanges.load(), loaded + late + (pending >= 0 ? 1 : 0));
  EXPECT_LE(adapter.presetChanges.load(), rounds);
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

// A song that changes programs, played on a render thread: every change
// takes its preset's values (or, for a preset whose file holds a value that
// is not a number, keeps the sound it had), and the render thread opens no
// file, allocates nothing and takes no lock while it does. The user hears
// of the refused preset on the main thread, once, with the file and the
// parameter.
TEST(PresetProgramChangeThreadTest, ASongOfProgramChangesOpensNoFileAllocatesNothingAndTakesNoLock) {
  constexpr int cGood = 8;
  constexpr int cChanges = 200;
  zarn::test::TempDir dir("zarn-library");
  const std::string root = dir.path() + "/";
  char name[32];
  for (int i = 0; i < cGood; ++i) {
    std::snprintf(name, sizeof name, "A/P%02d.qvp", i);
    dir.write(name, presetBytes("QTst", 1, {0.5f, 100.0f + static_cast<float>(i), 1.0f, 0.25f}));
  }
  // Program cGood, after the sub-folder's presets.
  dir.write("Broken.qvp", presetBytes("QTst", 1, {0.5f, 900.0f, std::nanf(""), 0.25f}));

  std::vector<std::string> alerts;
  platform::setAlertHandler([&](const std::string& m) { alerts.push_back(m); });
  TestProduct player;
  GenericPlugin::sPresetManager->initialize(root);

  // The program of change k, and the cutoff expected after it.
  auto programOf = [](int k) { return (k * 5) % (cGood + 1); };
  float expected[cChanges];
  float cutoff = player.cutoff.getValue();
  for (int k = 0; k < cChanges; ++k) {
    if (programOf(k) < cGood) cutoff = 100.0f + static_cast<float>(programOf(k));
    expected[k] = cutoff;
  }

  float heard[cChanges] = {};
  long allocations = -1, opens = -1, locks = -1;
  std::thread render([&] {
    player.render(32); // what a first call may set up is not the song's
    zarn::test::AllocationCounter counter;
    for (int k = 0; k < cChanges; ++k) {
      player.send(0xC0, static_cast<unsigned char>(programOf(k)), 0, (k * 11) % 32);
      player.render(32);
      heard[k] = player.cutoff.getValue();
    }
    allocations = counter.count();
    opens = counter.opens();
    locks = counter.locks();
  });
  render.join();
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(opens, 0);
  EXPECT_EQ(locks, 0);
  int wrong = 0;
  for (int k = 0; k < cChanges; ++k)
    if (heard[k] != expected[k]) ++wrong;
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(alerts.empty()); // nothing is shown from the render thread

  player.applyPendingPresetContext(); // the host's idle time
  platform::setAlertHandler(nullptr);
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0], "The preset \"Broken\" could not be loaded from " + root +
                           "Broken.qvp: its value for the parameter \"Shape\" is not a number.");
  const int last = programOf(cChanges - 1) < cGood ? programOf(cChanges - 1) : programOf(cChanges - 2);
  std::snprintf(name, sizeof name, "A/P%02d.qvp", last);
  EXPECT_EQ(player.getPresetContext()->presetPath.get(), name);
  GenericPlugin::sPresetManager->initialize("");
}

namespace {

// Program p of the library is "A/P<p>" with the cutoff base + p.
void writeNumberedPresets(zarn::test::TempDir& dir, int count, float base) {
  char name[32];
  for (int i = 0; i < count; ++i) {
    std::snprintf(name, sizeof name, "A/P%02d.qvp", i);
    dir.write(name, presetBytes("QTst", 1, {0.5f, base + static_cast<float>(i), 0.0f, 0.25f}));
  }
}

// On a render thread of its own: a program change to each program of the
// library in turn, rounds times over, each rendered; how many took the
// cutoff base + program.
int programChangesTaken(TestProduct& player, int programs, int rounds, float base) {
  int taken = 0;
  std::thread render([&] {
    for (int k = 0; k < programs * rounds; ++k) {
      const int program = k % programs;
      player.send(0xC0, static_cast<unsigned char>(program), 0, 0);
      player.render(32);
      if (player.cutoff.getValue() == base + static_cast<float>(program)) ++taken;
    }
  });
  render.join();
  return taken;
}

} // namespace

// Three instances, and the library changes: a rescan opens each preset file
// once, not once per instance, and every instance's program changes take
// the new values from that one reading. An instance made afterwards reads
// no preset at all.
TEST(PresetProgramChangeThreadTest, InstancesShareOneReadingOfTheLibrary) {
  constexpr int cPresets = 24;
  zarn::test::TempDir dir("zarn-library");
  const std::string root = dir.path() + "/";
  writeNumberedPresets(dir, cPresets, 100.0f);
  std::vector<std::unique_ptr<TestProduct>> instances;
  for (int i = 0; i < 3; ++i) instances.push_back(std::make_unique<TestProduct>());
  GenericPlugin::sPresetManager->initialize(root);
  for (auto& instance : instances) EXPECT_EQ(programChangesTaken(*instance, cPresets, 1, 100.0f), cPresets);

  writeNumberedPresets(dir, cPresets, 500.0f);
  long scanning = -1, rescanning = -1;
  {
    // What listing the folders alone opens.
    zarn::test::AllocationCounter counter;
    PresetFolder listing(root, ".qvp", PresetManager::scanBudgetMs);
    scanning = counter.opens();
  }
  {
    zarn::test::AllocationCounter counter;
    GenericPlugin::sPresetManager->initialize(root);
    rescanning = counter.opens();
  }
  EXPECT_EQ(rescanning - scanning, cPresets);
  for (auto& instance : instances) EXPECT_EQ(programChangesTaken(*instance, cPresets, 1, 500.0f), cPresets);

  long opensOfALateInstance = -1;
  {
    zarn::test::AllocationCounter counter;
    TestProduct late;
    opensOfALateInstance = counter.opens();
    EXPECT_EQ(programChangesTaken(late, cPresets, 1, 500.0f), cPresets);
  }
  EXPECT_LT(opensOfALateInstance, cPresets);
  GenericPlugin::sPresetManager->initialize("");
}

// A host that makes its instance on a worker thread, which then never
// comes back to it (no idle time there), while the library is rescanned on
// another thread: every program change on the render thread takes the
// rescanned library's preset, allocating nothing and taking no lock.
TEST(PresetProgramChangeThreadTest, ARescanOnAnotherThreadReachesProgramChangesWithoutTheInstancesIdle) {
  constexpr int cPresets = 20;
  constexpr int cRounds = 50; // 1,000 program changes
  zarn::test::TempDir dir("zarn-library");
  const std::string root = dir.path() + "/";
  writeNumberedPresets(dir, cPresets, 300.0f);

  std::atomic<TestProduct*> made{nullptr};
  std::atomic<bool> done{false};
  // The instance's main thread stays alive, so that no later thread takes
  // its identity.
  std::thread worker([&] {
    TestProduct player;
    made.store(&player);
    done.wait(false);
    made.store(nullptr);
  });
  const auto finish = [&] {
    done.store(true);
    done.notify_all();
    worker.join();
  };
  if (!zarn::test::eventually([&] { return made.load() != nullptr; })) {
    finish();
    FAIL() << "the worker made no instance";
  }
  TestProduct& player = *made.load();
  GenericPlugin::sPresetManager->initialize(root);

  long allocations = -1, locks = -1;
  int taken = 0;
  std::thread render([&] {
    player.render(32);
    zarn::test::AllocationCounter counter;
    for (int k = 0; k < cPresets * cRounds; ++k) {
      const int program = k % cPresets;
      player.send(0xC0, static_cast<unsigned char>(program), 0, 0);
      player.render(32);
      if (player.cutoff.getValue() == 300.0f + static_cast<float>(program)) ++taken;
    }
    allocations = counter.count();
    locks = counter.locks();
  });
  render.join();
  EXPECT_EQ(taken, cPresets * cRounds);
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(locks, 0);

  GenericPlugin::sPresetManager->initialize("");
  finish();
}
