#include "base/Preset.h"
#include "base/PresetManager.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

using zarn::test::TempDir;

namespace {

// Presets named after their place in the library order: "N0007" is the
// eighth preset, spread over sub-folders so that the post-order walk and
// the numbering both matter.
void writeLibrary(const TempDir& dir, int count, int perFolder) {
  char name[64];
  for (int i = 0; i < count; ++i) {
    std::snprintf(name, sizeof name, "F%03d/N%04d.qvp", i / perFolder, i);
    dir.write(name, "");
  }
}

int nameNumber(const std::string& name) { return std::stoi(name.substr(1)); }

} // namespace

// A render-like thread answers program changes while other threads rescan
// the library between two roots. The render thread never waits: it is
// refused while trees are swapped, and whatever it is granted must be a
// whole, numbered, live tree.
TEST(PresetManagerThreadTest, ProgramChangesDuringRescansSeeWholeTrees) {
  TempDir big, small;
  writeLibrary(big, 300, 40);
  writeLibrary(small, 60, 7);
  PresetManager manager("", ".qvp");
  manager.initialize(big.path());

  std::atomic<bool> stop{false};
  std::atomic<int> granted{0}, refused{0}, found{0}, wrong{0};
  std::thread render([&] {
    int step = 0;
    while (!stop.load()) {
      const int index = (step++ * 37) % 320;
      const int bank = index / 128, program = index % 128;
      PresetManager::ReadAccess access(manager, PresetManager::ReadAccess::tryOnly);
      if (!access) {
        ++refused;
        continue;
      }
      ++granted;
      Preset* preset = manager.findPresetByBankAndProgram(bank, program);
      if (!preset) continue;
      ++found;
      // The tree the preset came from was numbered before anyone saw it.
      if (preset->getBank() != bank || preset->getProgram() != program || nameNumber(preset->getName()) != index)
        ++wrong;
      const std::string relative = manager.getPresetPath(preset);
      if (relative.size() != 14 || relative.compare(5, 5, preset->getName()) != 0) ++wrong;
      if (manager.findPresetByPath(relative, PresetManager::findAt) != preset) ++wrong;

      Preset copy("");
      std::string copiedPath;
      if (manager.tryFindPresetByBankAndProgram(bank, program, copy, copiedPath) == PresetManager::found &&
          (copy.getName() != preset->getName() || copiedPath != relative))
        ++wrong;
    }
  });
  // A host thread that may wait, looking presets up by name.
  std::thread host([&] {
    while (!stop.load()) {
      PresetManager::ReadAccess access(manager, PresetManager::ReadAccess::wait);
      EXPECT_TRUE(access.isGranted());
      if (Preset* preset = manager.findPresetByName("N0042"))
        if (manager.getPresetPath(preset) != "F001/N0042.qvp" && manager.getPresetPath(preset) != "F006/N0042.qvp")
          ++wrong;
    }
  });
  // Two threads rescanning at once must not tear the tree either.
  std::thread rescanner([&] {
    for (int i = 0; i < 40; ++i) manager.initialize(i % 2 ? small.path() : big.path());
  });
  // At least 40 rescans, and on until the reader has met some presets (a
  // loaded machine may not run it at all during the first 40).
  for (int i = 0; i < 40 || (found.load() < 20 && i < 4000); ++i) {
    manager.initialize(i % 2 ? big.path() : small.path());
    if (i % 10 == 9) manager.clear();
  }
  rescanner.join();
  stop.store(true);
  render.join();
  host.join();

  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(granted.load(), 0);
  EXPECT_GT(found.load(), 0);
  RecordProperty("refused", refused.load());
}

// A rescan does not delete the tree a reader holds: it waits for the
// reader, and meanwhile refuses new readers instead of blocking them.
TEST(PresetManagerThreadTest, RescanWaitsForReadersAndRefusesNewOnes) {
  TempDir first, second;
  writeLibrary(first, 3, 10);
  writeLibrary(second, 5, 10);
  PresetManager manager("", ".qvp");
  manager.initialize(first.path());

  auto held = std::make_unique<PresetManager::ReadAccess>(manager);
  ASSERT_TRUE(held->isGranted());
  Preset* preset = manager.findPresetByBankAndProgram(0, 2);
  ASSERT_NE(preset, nullptr);

  std::atomic<bool> rescanned{false};
  std::thread rescan([&] {
    manager.initialize(second.path());
    rescanned.store(true);
  });

  // Wait (bounded) until the rescan is swapping and refuses readers.
  bool sawRefusal = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!sawRefusal && std::chrono::steady_clock::now() < deadline) {
    PresetManager::ReadAccess probe(manager);
    sawRefusal = !probe.isGranted();
    if (!sawRefusal) std::this_thread::yield();
  }
  EXPECT_TRUE(sawRefusal);
  Preset copy("");
  std::string relative;
  if (sawRefusal) {
    EXPECT_EQ(manager.tryFindPresetByBankAndProgram(0, 0, copy, relative), PresetManager::busy);
  }
  EXPECT_FALSE(rescanned.load());
  // The held preset is still alive and unchanged.
  EXPECT_EQ(preset->getName(), "N0002");
  EXPECT_EQ(preset->getProgramName(), "(0/2) N0002");

  held.reset();
  rescan.join();
  EXPECT_TRUE(rescanned.load());
  PresetManager::ReadAccess after(manager);
  ASSERT_TRUE(after.isGranted());
  ASSERT_NE(manager.findPresetByBankAndProgram(0, 4), nullptr);
  EXPECT_EQ(manager.getFolderPath(), second.path() + "/");
}
