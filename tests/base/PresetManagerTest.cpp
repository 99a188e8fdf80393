#include "base/Preset.h"
#include "base/PresetManager.h"

#include "tests/support/AllocationCounter.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using zarn::test::TempDir;

namespace {

std::vector<std::string> libraryNames(const PresetManager& manager) {
  std::vector<Preset*> list;
  manager.buildPresetList(list);
  std::vector<std::string> names;
  for (Preset* preset : list) names.push_back(preset->getName());
  return names;
}

// root: Root.qvp, _Fav/F1.qvp, Bass/Deep.qvp, Bass/Sub/Low.qvp, Lead/A.qvp
void writeSmallLibrary(const TempDir& dir) {
  for (const char* name : {"Root.qvp", "_Fav/F1.qvp", "Bass/Deep.qvp", "Bass/Sub/Low.qvp", "Lead/A.qvp"})
    dir.write(name, "");
}

// count presets P000, P001, ... directly in the root.
void writeNumberedLibrary(const TempDir& dir, int count) {
  char name[32];
  for (int i = 0; i < count; ++i) {
    std::snprintf(name, sizeof name, "P%03d.qvp", i);
    dir.write(name, "");
  }
}

} // namespace

TEST(PresetManagerTest, EmptyRootAnswersEveryQueryWithNull) {
  PresetManager manager("", ".qvp");
  manager.initialize("");
  EXPECT_EQ(manager.getFolderCount() + manager.getPresetCount(), 0u);
  EXPECT_TRUE(libraryNames(manager).empty());
  EXPECT_EQ(manager.findPresetByBankAndProgram(0, 0), nullptr);
  EXPECT_EQ(manager.findPresetByName(""), nullptr);
  EXPECT_EQ(manager.findPresetByPath("", PresetManager::findAt), nullptr);
  EXPECT_EQ(manager.getManagerExtension(), ".qvp");
  Preset outside("/x/y.qvp");
  EXPECT_EQ(manager.getPresetPath(&outside), "/x/y.qvp");
}

TEST(PresetManagerTest, LibraryOrderIsPostOrderWithRootPresetsLast) {
  TempDir dir;
  writeSmallLibrary(dir);
  // Constructing scans but does not number.
  PresetManager manager(dir.path(), ".qvp");
  std::vector<Preset*> list{nullptr, nullptr};
  manager.buildPresetList(list);
  ASSERT_EQ(list.size(), 5u);
  for (Preset* preset : list) {
    EXPECT_EQ(preset->getBank(), -1);
    EXPECT_EQ(preset->getProgramName(), "");
  }

  manager.initialize(dir.path());
  EXPECT_EQ(libraryNames(manager), (std::vector<std::string>{"F1", "Low", "Deep", "A", "Root"}));
  manager.buildPresetList(list);
  for (size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i]->getBank(), 0);
    EXPECT_EQ(list[i]->getProgram(), int(i));
  }
  EXPECT_EQ(list[4]->getProgramName(), "(0/4) Root");
}

TEST(PresetManagerTest, NumberingContinuesIntoTheNextBankAfter128) {
  TempDir dir;
  writeNumberedLibrary(dir, 130);
  PresetManager manager("", ".qvp");
  manager.initialize(dir.path());

  Preset* p127 = manager.findPresetByBankAndProgram(0, 127);
  Preset* p128 = manager.findPresetByBankAndProgram(1, 0);
  ASSERT_NE(p127, nullptr);
  ASSERT_NE(p128, nullptr);
  EXPECT_EQ(p127->getName(), "P127");
  EXPECT_EQ(p128->getName(), "P128");
  EXPECT_EQ(p128->getBank(), 1);
  EXPECT_EQ(p128->getProgram(), 0);
  EXPECT_EQ(p128->getProgramName(), "(1/0) P128");
  EXPECT_EQ(manager.findPresetByBankAndProgram(1, 1)->getProgramName(), "(1/1) P129");

  // The position is bank * 128 + program, whatever the two parts are.
  EXPECT_EQ(manager.findPresetByBankAndProgram(0, 128), p128);
  EXPECT_EQ(manager.findPresetByBankAndProgram(1, -1), p127);
  EXPECT_EQ(manager.findPresetByBankAndProgram(1, 2), nullptr);
  EXPECT_EQ(manager.findPresetByBankAndProgram(0, -1), nullptr);
  EXPECT_EQ(manager.findPresetByBankAndProgram(-1, 127), nullptr);
  // A bank so large that 32-bit arithmetic would wrap onto program 5.
  EXPECT_EQ(manager.findPresetByBankAndProgram(1 << 25, 5), nullptr);
}

TEST(PresetManagerTest, FindByPathStepsAndWrapsAround) {
  TempDir dir;
  writeSmallLibrary(dir);
  PresetManager manager("", ".qvp");
  manager.initialize(dir.path());
  auto name = [&](const std::string& path, PresetManager::FindOption option) {
    Preset* preset = manager.findPresetByPath(path, option);
    return preset ? preset->getName() : std::string("(null)");
  };
  EXPECT_EQ(name("Bass/Deep.qvp", PresetManager::findBefore), "Low");
  EXPECT_EQ(name("Bass/Deep.qvp", PresetManager::findAt), "Deep");
  EXPECT_EQ(name("Bass/Deep.qvp", PresetManager::findAfter), "A");
  EXPECT_EQ(name("_Fav/F1.qvp", PresetManager::findBefore), "Root");
  EXPECT_EQ(name("Root.qvp", PresetManager::findAfter), "F1");
  EXPECT_EQ(name("Bass/Missing.qvp", PresetManager::findAt), "(null)");
  EXPECT_EQ(name("bass/deep.qvp", PresetManager::findAt), "(null)");
  // The path is relative to the root; the full path is not found.
  EXPECT_EQ(name(dir.path() + "/Root.qvp", PresetManager::findAt), "(null)");
  EXPECT_EQ(name("Root.qvp", static_cast<PresetManager::FindOption>(3)), "(null)");
  EXPECT_EQ(name("Root.qvp", static_cast<PresetManager::FindOption>(-1)), "(null)");
}

TEST(PresetManagerTest, FindByPathWithASinglePresetReturnsItForEveryOption) {
  TempDir dir;
  dir.write("Only/One.qvp", "");
  PresetManager manager("", ".qvp");
  manager.initialize(dir.path());
  Preset* one = manager.findPresetByPath("Only/One.qvp", PresetManager::findAt);
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(manager.findPresetByPath("Only/One.qvp", PresetManager::findBefore), one);
  EXPECT_EQ(manager.findPresetByPath("Only/One.qvp", PresetManager::findAfter), one);
}

TEST(PresetManagerTest, FindByNameTakesTheFirstExactMatchInLibraryOrder) {
  TempDir dir;
  for (const char* name : {"Deep.qvp", "Bass/Deep.qvp", "Lead/Saw.qvp"}) dir.write(name, "");
  PresetManager manager("", ".qvp");
  manager.initialize(dir.path());
  Preset* deep = manager.findPresetByName("Deep");
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(deep->getPath(), dir.path() + "/Bass/Deep.qvp");
  EXPECT_EQ(manager.findPresetByName("deep"), nullptr);
  EXPECT_EQ(manager.findPresetByName("Sa"), nullptr);
  EXPECT_EQ(manager.findPresetByName("Saw")->getProgram(), 1);
}

TEST(PresetManagerTest, PresetPathIsRelativeOnlyBelowTheRoot) {
  TempDir dir;
  writeSmallLibrary(dir);
  PresetManager manager("", ".qvp");
  manager.initialize(dir.path() + "/");
  Preset* low = manager.findPresetByName("Low");
  ASSERT_NE(low, nullptr);
  EXPECT_EQ(manager.getPresetPath(low), "Bass/Sub/Low.qvp");
  EXPECT_EQ(manager.findPresetByPath(manager.getPresetPath(low), PresetManager::findAt), low);

  // The root's path appearing further inside another path is not the root.
  const std::string elsewhere = "/mirror" + dir.path() + "/Bass/Deep.qvp";
  Preset mirrored(elsewhere);
  EXPECT_EQ(manager.getPresetPath(&mirrored), elsewhere);
  EXPECT_EQ(manager.getPresetPath(nullptr), "");
}

TEST(PresetManagerTest, RescanPicksUpNewFilesAndClearEmptiesTheLibrary) {
  TempDir dir;
  writeSmallLibrary(dir);
  PresetManager manager("", ".qvp");
  manager.initialize(dir.path());
  dir.write("Bass/Another.qvp", "");
  EXPECT_EQ(manager.findPresetByName("Another"), nullptr);
  manager.initialize(manager.getFolderPath());
  Preset* another = manager.findPresetByName("Another");
  ASSERT_NE(another, nullptr);
  EXPECT_EQ(another->getProgramName(), "(0/2) Another");
  EXPECT_EQ(manager.findPresetByBankAndProgram(0, 5)->getName(), "Root");

  manager.clear();
  EXPECT_TRUE(libraryNames(manager).empty());
  EXPECT_EQ(manager.findPresetByBankAndProgram(0, 0), nullptr);
  EXPECT_EQ(manager.getFolderPath(), dir.path() + "/");
}

TEST(PresetManagerTest, RenderThreadLookupAllocatesNothing) {
  TempDir dir;
  writeSmallLibrary(dir);
  PresetManager manager("", ".qvp");
  manager.initialize(dir.path());
  const Preset* found = nullptr;
  const Preset* missing = nullptr;
  long allocations = 0;
  {
    zarn::test::AllocationCounter counter;
    PresetManager::ReadAccess access(manager);
    if (access) {
      found = manager.findPresetByBankAndProgram(0, 3);
      missing = manager.findPresetByBankAndProgram(3, 0);
    }
    allocations = counter.count();
  }
  EXPECT_EQ(allocations, 0);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->getName(), "A");
  EXPECT_EQ(missing, nullptr);
}

TEST(PresetManagerTest, TryFindCopiesThePresetAndItsRelativePath) {
  TempDir dir;
  writeSmallLibrary(dir);
  PresetManager manager("", ".qvp");
  manager.initialize(dir.path());
  Preset copy("");
  std::string relative = "unchanged";
  EXPECT_EQ(manager.tryFindPresetByBankAndProgram(0, 9, copy, relative), PresetManager::notFound);
  EXPECT_EQ(relative, "unchanged");
  ASSERT_EQ(manager.tryFindPresetByBankAndProgram(0, 1, copy, relative), PresetManager::found);
  manager.clear(); // the copy does not depend on the library
  EXPECT_EQ(copy.getName(), "Low");
  EXPECT_EQ(copy.getProgramName(), "(0/1) Low");
  EXPECT_EQ(relative, "Bass/Sub/Low.qvp");
}
