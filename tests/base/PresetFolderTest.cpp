#include "base/Preset.h"
#include "base/PresetFolder.h"

#include "platform/Clock.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

using zarn::test::TempDir;

namespace {

std::vector<std::string> folderNames(const PresetFolder& folder) {
  std::vector<std::string> names;
  for (unsigned i = 0; i < folder.getFolderCount(); ++i) names.push_back(folder.getFolder(i)->getName());
  return names;
}

std::vector<std::string> presetNames(const PresetFolder& folder) {
  std::vector<std::string> names;
  for (unsigned i = 0; i < folder.getPresetCount(); ++i) names.push_back(folder.getPreset(i)->getName());
  return names;
}

const PresetFolder* findFolder(const PresetFolder& folder, const std::string& name) {
  for (unsigned i = 0; i < folder.getFolderCount(); ++i)
    if (folder.getFolder(i)->getName() == name) return folder.getFolder(i);
  return nullptr;
}

unsigned countPresets(const PresetFolder& folder) {
  unsigned n = folder.getPresetCount();
  for (unsigned i = 0; i < folder.getFolderCount(); ++i) n += countPresets(*folder.getFolder(i));
  return n;
}

struct VirtualClock {
  VirtualClock() { platform::useVirtualClock(true); }
  ~VirtualClock() { platform::useVirtualClock(false); }
};

} // namespace

TEST(PresetFolderTest, UnderscoreFoldersComeFirstThenNamesIgnoringCase) {
  TempDir dir;
  for (const char* name : {"beta", "_Favourites", "ABCD", "Alpha", "_abc", "abc"})
    dir.write(std::string(name) + "/x.qvp", "");
  PresetFolder root(dir.path(), ".qvp", 2500);
  EXPECT_EQ(folderNames(root),
            (std::vector<std::string>{"abc", "Favourites", "abc", "ABCD", "Alpha", "beta"}));
  const bool underscored[] = {true, true, false, false, false, false};
  ASSERT_EQ(root.getFolderCount(), 6u);
  for (unsigned i = 0; i < 6; ++i) EXPECT_EQ(root.getFolder(i)->isUnderscored(), underscored[i]) << i;
  // The folder keeps its path on disk, underscore and all.
  EXPECT_EQ(root.getFolder(1)->getFolderPath(), dir.path() + "/_Favourites/");
}

TEST(PresetFolderTest, ListsOnlyVisibleFilesWithTheExactExtension) {
  TempDir dir;
  for (const char* name : {"pad.qvp", "Lead.qvp", "a.b.qvp", "Lead.QVP", "Bass.qvpx", ".hidden.qvp", "notes.txt",
                           "x.qvp/inside.qvp", ".git/y.qvp"})
    dir.write(name, "");
  PresetFolder root(dir.path() + "/", ".qvp", 2500);
  EXPECT_EQ(presetNames(root), (std::vector<std::string>{"a.b", "Lead", "pad"}));
  // A folder whose name ends in the extension is a folder, not a preset.
  EXPECT_EQ(folderNames(root), (std::vector<std::string>{"x.qvp"}));
  EXPECT_EQ(root.getPreset(1)->getPath(), dir.path() + "/Lead.qvp");
  EXPECT_EQ(root.getFolderPath(), dir.path() + "/");
  EXPECT_EQ(root.getExtension(), ".qvp");
}

TEST(PresetFolderTest, ContainsPresetComparesThePathPrefix) {
  TempDir dir;
  dir.write("Bass/Deep.qvp", "");
  PresetFolder root(dir.path(), ".qvp", 2500);
  const PresetFolder* bass = findFolder(root, "Bass");
  ASSERT_NE(bass, nullptr);
  EXPECT_TRUE(bass->containsPreset(dir.path() + "/Bass/Deep.qvp"));
  EXPECT_TRUE(root.containsPreset(dir.path() + "/Bass/Deep.qvp"));
  EXPECT_FALSE(bass->containsPreset(dir.path() + "/Bassline/Deep.qvp"));
  EXPECT_FALSE(bass->containsPreset(dir.path() + "/bass/Deep.qvp"));
  EXPECT_FALSE(bass->containsPreset(""));
}

TEST(PresetFolderTest, EmptyPathMissingFolderAndNoBudgetGiveEmptyFolders) {
  TempDir dir;
  dir.write("_Mine/Sub/a.qvp", "");
  dir.write("_Mine/b.qvp", "");

  PresetFolder none("", ".qvp", 2500);
  EXPECT_EQ(none.getFolderPath(), "");
  EXPECT_EQ(none.getName(), "");
  EXPECT_EQ(none.getFolderCount() + none.getPresetCount(), 0u);

  PresetFolder missing(dir.file("nothing"), ".qvp", 2500);
  EXPECT_EQ(missing.getName(), "nothing");
  EXPECT_EQ(missing.getFolderCount() + missing.getPresetCount(), 0u);

  // Without budget the folder keeps its path, name and flag but lists nothing.
  PresetFolder exhausted(dir.file("_Mine"), ".qvp", 0);
  EXPECT_EQ(exhausted.getFolderPath(), dir.path() + "/_Mine/");
  EXPECT_EQ(exhausted.getName(), "Mine");
  EXPECT_TRUE(exhausted.isUnderscored());
  EXPECT_EQ(exhausted.getFolderCount() + exhausted.getPresetCount(), 0u);
}

TEST(PresetFolderTest, RescanReplacesTheWholeTree) {
  TempDir first, second;
  first.write("A/one.qvp", "");
  first.write("two.qvp", "");
  second.write("_B/C/three.qvp", "");
  PresetFolder root(first.path(), ".qvp", 2500);
  ASSERT_EQ(countPresets(root), 2u);

  root.initialize(second.path(), 2500);
  EXPECT_EQ(root.getFolderPath(), second.path() + "/");
  EXPECT_EQ(folderNames(root), (std::vector<std::string>{"B"}));
  EXPECT_EQ(root.getPresetCount(), 0u);
  EXPECT_EQ(countPresets(root), 1u);
  EXPECT_FALSE(root.isUnderscored());

  root.clear();
  EXPECT_EQ(root.getFolderCount() + root.getPresetCount(), 0u);
  EXPECT_EQ(root.getFolderPath(), second.path() + "/"); // clearing keeps the folder's own identity
}

TEST(PresetFolderTest, BudgetIsTheTimeLeftNotADepthLimit) {
  // With the clock standing still no time is spent, so even a budget of one
  // millisecond reaches the deepest folder.
  VirtualClock clock;
  TempDir dir;
  dir.write("a/b/c/d/e/deep.qvp", "");
  dir.write("a/top.qvp", "");
  PresetFolder root(dir.path(), ".qvp", 1);
  EXPECT_EQ(countPresets(root), 2u);
  const PresetFolder* folder = &root;
  for (const char* name : {"a", "b", "c", "d", "e"}) {
    folder = findFolder(*folder, name);
    ASSERT_NE(folder, nullptr) << name;
  }
  EXPECT_EQ(presetNames(*folder), (std::vector<std::string>{"deep"}));
}

TEST(PresetFolderTest, ExhaustedBudgetListsRemainingFoldersEmpty) {
  // Far more work than one millisecond on any machine: once the budget is
  // spent, the folders not yet reached are listed by name only. Folders
  // whose scan had begun are complete, and the root's own presets are
  // always listed.
  TempDir dir;
  const int folders = 60, presetsPerFolder = 10;
  char name[64];
  for (int f = 0; f < folders; ++f)
    for (int p = 0; p < presetsPerFolder; ++p) {
      std::snprintf(name, sizeof name, "F%02d/Sub/P%03d.qvp", f, p);
      dir.write(name, "");
    }
  dir.write("Root.qvp", "");

  PresetFolder root(dir.path(), ".qvp", 1);
  ASSERT_EQ(root.getFolderCount(), unsigned(folders));
  EXPECT_EQ(presetNames(root), (std::vector<std::string>{"Root"}));
  int empty = 0;
  for (unsigned i = 0; i < root.getFolderCount(); ++i) {
    const PresetFolder& folder = *root.getFolder(i);
    std::snprintf(name, sizeof name, "F%02u", i);
    EXPECT_EQ(folder.getName(), name);
    if (folder.getFolderCount() == 0) {
      ++empty;
      continue;
    }
    ASSERT_EQ(folder.getFolderCount(), 1u);
    const PresetFolder& sub = *folder.getFolder(0);
    // A folder reached in time lists every preset; one reached too late
    // lists none.
    EXPECT_TRUE(sub.getPresetCount() == unsigned(presetsPerFolder) || sub.getPresetCount() == 0u)
        << sub.getPresetCount();
  }
  EXPECT_GT(empty, 0);
}

TEST(PresetFolderTest, LinksBackToAnEnclosingFolderAreLeftOut) {
  TempDir dir;
  dir.write("A/a.qvp", "");
  dir.write("Shared/s.qvp", "");
  dir.write("B/b.qvp", "");
  namespace fs = std::filesystem;
  fs::create_directory_symlink(dir.path(), dir.file("A/up"));        // to the root
  fs::create_directory_symlink(dir.file("B"), dir.file("B/again"));  // to itself
  fs::create_directory_symlink("..", dir.file("B/parent"));          // relative, to the root
  fs::create_directory_symlink(dir.file("Shared"), dir.file("A/Linked")); // to a sibling: kept

  PresetFolder root(dir.path(), ".qvp", 2500);
  EXPECT_EQ(folderNames(root), (std::vector<std::string>{"A", "B", "Shared"}));
  const PresetFolder* a = findFolder(root, "A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(folderNames(*a), (std::vector<std::string>{"Linked"}));
  EXPECT_EQ(presetNames(*a->getFolder(0)), (std::vector<std::string>{"s"}));
  const PresetFolder* b = findFolder(root, "B");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->getFolderCount(), 0u);
  EXPECT_EQ(countPresets(root), 4u);

  // Scanning from inside a linked folder: the link is the root there, and
  // the way back up is still cut.
  PresetFolder fromLink(dir.file("A/Linked"), ".qvp", 2500);
  EXPECT_EQ(countPresets(fromLink), 1u);
}
