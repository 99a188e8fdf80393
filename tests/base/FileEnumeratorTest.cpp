#include "base/PlatformServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using zarn::test::TempDir;

namespace {

std::vector<std::string> list(const std::string& pattern, FileEnumerator::Type type) {
  std::unique_ptr<FileEnumerator> e(createFileEnumerator(pattern, type));
  std::vector<std::string> names;
  while (e->findNext()) names.push_back(e->getFileName());
  std::sort(names.begin(), names.end());
  return names;
}

typedef std::vector<std::string> Names;

class FileEnumeratorTest : public ::testing::Test {
protected:
  void file(const std::string& name) { dir.write("Presets/" + name, "x"); }
  void folder(const std::string& name) { ASSERT_EQ(0, mkdir(dir.file("Presets/" + name).c_str(), 0755)); }
  std::string presets(const std::string& mask) { return dir.file("Presets/" + mask); }

  void SetUp() override {
    file("Bass.qvp");
    file("a.b.qvp");
    file("Bass.QVP");
    file("Bass.qvpx");
    file("Default.qvp");
    file("Readme");
    file("Readme.txt");
    file("xReadme");
    file(".hidden.qvp");
    file("*x.qvp");
    folder("x.qvp");
    folder("Leads");
    folder("Pads.old");
    folder(".svn");
  }

  TempDir dir{"zarn-enum"};
};

} // namespace

TEST_F(FileEnumeratorTest, ExtensionMaskMatchesExactExtensionOfFilesOnly) {
  EXPECT_EQ((Names{"*x.qvp", "Bass.qvp", "Default.qvp", "a.b.qvp"}), list(presets("*.qvp"), FileEnumerator::files));
}

TEST_F(FileEnumeratorTest, StarListsFoldersNotBeginningWithDot) {
  EXPECT_EQ((Names{"Leads", "Pads.old", "x.qvp"}), list(presets("*"), FileEnumerator::folders));
  EXPECT_EQ((Names{"x.qvp"}), list(presets("*.qvp"), FileEnumerator::folders));
}

TEST_F(FileEnumeratorTest, StarListsEveryVisibleFile) {
  EXPECT_EQ((Names{"*x.qvp", "Bass.QVP", "Bass.qvp", "Bass.qvpx", "Default.qvp", "Readme", "Readme.txt", "a.b.qvp",
                   "xReadme"}),
            list(presets("*"), FileEnumerator::files));
  EXPECT_EQ(list(presets("*"), FileEnumerator::files), list(presets("*.*"), FileEnumerator::files));
}

TEST_F(FileEnumeratorTest, FullNameMaskListsOnlyThatFile) {
  EXPECT_EQ((Names{"Default.qvp"}), list(presets("Default.qvp"), FileEnumerator::files));
  EXPECT_EQ((Names{}), list(presets("default.qvp"), FileEnumerator::files));
  EXPECT_EQ((Names{"Bass.QVP", "Bass.qvp", "Bass.qvpx"}), list(presets("Bass.*"), FileEnumerator::files));
}

TEST_F(FileEnumeratorTest, MaskWithoutExtensionAcceptsAnyExtension) {
  EXPECT_EQ((Names{"Readme", "Readme.txt"}), list(presets("Readme"), FileEnumerator::files));
}

TEST_F(FileEnumeratorTest, StarInsideLongerBaseIsAnOrdinaryCharacter) {
  EXPECT_EQ((Names{"*x.qvp"}), list(presets("*x.qvp"), FileEnumerator::files));
  EXPECT_EQ((Names{}), list(presets("B*.qvp"), FileEnumerator::files));
}

TEST_F(FileEnumeratorTest, DotInFolderPathIsNotAnExtension) {
  TempDir other{"zarn.enum"};
  other.write("My.Presets/Lead", "x");
  other.write("My.Presets/Lead.qvp", "x");
  EXPECT_EQ((Names{"Lead", "Lead.qvp"}), list(other.file("My.Presets/*"), FileEnumerator::files));
  EXPECT_EQ((Names{"Lead", "Lead.qvp"}), list(other.file("My.Presets/Lead"), FileEnumerator::files));
}

TEST_F(FileEnumeratorTest, MissingFolderYieldsNothingEvenWhenAskedAgain) {
  std::unique_ptr<FileEnumerator> e(createFileEnumerator(dir.file("Nothing/*"), FileEnumerator::files));
  EXPECT_FALSE(e->findNext());
  EXPECT_FALSE(e->findNext());
  EXPECT_EQ("", e->getFileName());
}

TEST_F(FileEnumeratorTest, NoEntryBeforeFirstFindAndNoneAfterTheEnd) {
  std::unique_ptr<FileEnumerator> e(createFileEnumerator(presets("Default.qvp"), FileEnumerator::files));
  EXPECT_EQ("", e->getFileName());
  ASSERT_TRUE(e->findNext());
  EXPECT_EQ("Default.qvp", e->getFileName());
  EXPECT_FALSE(e->findNext());
  EXPECT_FALSE(e->findNext());
}

TEST_F(FileEnumeratorTest, SymbolicLinksCountAsWhatTheyPointTo) {
  ASSERT_EQ(0, symlink(dir.file("Presets/Leads").c_str(), dir.file("Presets/LinkedFolder").c_str()));
  ASSERT_EQ(0, symlink(dir.file("Presets/Bass.qvp").c_str(), dir.file("Presets/Linked.qvp").c_str()));
  ASSERT_EQ(0, symlink(dir.file("Presets/Gone").c_str(), dir.file("Presets/Dangling.qvp").c_str()));
  EXPECT_EQ((Names{"Leads", "LinkedFolder", "Pads.old", "x.qvp"}), list(presets("*"), FileEnumerator::folders));
  EXPECT_EQ((Names{"*x.qvp", "Bass.qvp", "Dangling.qvp", "Default.qvp", "Linked.qvp", "a.b.qvp"}),
            list(presets("*.qvp"), FileEnumerator::files));
}

TEST_F(FileEnumeratorTest, EmptyFolderYieldsNothing) {
  folder("Empty");
  EXPECT_EQ((Names{}), list(presets("Empty/*"), FileEnumerator::files));
  EXPECT_EQ((Names{}), list(presets("Empty/*"), FileEnumerator::folders));
}
