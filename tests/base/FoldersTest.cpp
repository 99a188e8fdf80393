#include "base/Folders.h"

#include "base/PathUtils.h"
#include "tests/support/ReplacedFiles.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestBundle.h"
#include "tests/support/WithoutLinks.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using zarn::test::ScopedEnvironment;
using zarn::test::TempDir;

namespace {

// Every entry below folder, relative, folders ending in '/'.
void listTree(const std::string& folder, const std::string& prefix, std::set<std::string>& out) {
  DIR* d = opendir(folder.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    std::string full = folder + "/" + n;
    if (folderExists(full)) {
      out.insert(prefix + n + "/");
      listTree(full, prefix + n + "/", out);
    } else {
      out.insert(prefix + n);
    }
  }
  closedir(d);
}

std::set<std::string> tree(const std::string& folder) {
  std::set<std::string> out;
  listTree(folder, "", out);
  return out;
}

// A fresh account: HOME in a temporary folder of the test's own, no XDG
// variable set and none of the standard folders made yet.
struct FreshHome {
  TempDir dir{"zarn-home"};
  ScopedEnvironment home{"HOME", dir.path()};
  ScopedEnvironment config{"XDG_CONFIG_HOME", std::nullopt};
  ScopedEnvironment data{"XDG_DATA_HOME", std::nullopt};
  ScopedEnvironment cache{"XDG_CACHE_HOME", std::nullopt};
  ScopedEnvironment docs{"XDG_DOCUMENTS_DIR", std::nullopt};
};

} // namespace

TEST(FoldersTest, AFreshHomeKeepsTheProductsFoldersInsideIt) {
  FreshHome home;
  EXPECT_EQ(getDocumentsFolder(), home.dir.file("Documents"));
  EXPECT_EQ(getApplicationDataFolder(), home.dir.file(".local/share"));
  EXPECT_EQ(getProductDefaultPresetFolder("Zarn"), home.dir.file(".local/share/Presets/Quorvane/Quorvane Zarn/"));
  // Looking folders up never creates them.
  EXPECT_FALSE(folderExists(home.dir.file(".local")));
  // The preset root can be made where there was nothing at all.
  EXPECT_TRUE(createFolder(getProductDefaultPresetFolder("Zarn")));
  EXPECT_TRUE(folderExists(home.dir.file(".local/share/Presets/Quorvane/Quorvane Zarn")));

  {
    // An XDG variable may point anywhere, and wins.
    ScopedEnvironment data("XDG_DATA_HOME", home.dir.file("elsewhere/data"));
    EXPECT_EQ(getApplicationDataFolder(), home.dir.file("elsewhere/data"));
    EXPECT_EQ(getProductDefaultPresetFolder("Zarn"), home.dir.file("elsewhere/data/Presets/Quorvane/Quorvane Zarn/"));
  }
  EXPECT_EQ(getProductSettingsPath("Zarn", 1), "com.quorvane.Zarn.1");
  EXPECT_EQ(getProductSettingsPath("Zarn", 12), "com.quorvane.Zarn.12");
}

TEST(FoldersTest, AFailedInstallSaysWhereAndWhy) {
  zarn::test::TestBundle bundle("com.quorvane.test.failedinstall");
  bundle.writeResource("FactoryPresets/Bass/Deep.qvp", "deep");
  bundle.writeResource("FactoryPresets/Lead.qvp", "lead");
  TempDir dir;
  // A plain file where the destination's parent should be: even root
  // cannot make a folder below it, whatever the permission bits say.
  dir.write("blocked", "a file, not a folder");
  std::string failure;
  EXPECT_FALSE(installFolderFromResource("FactoryPresets", dir.file("blocked/Presets"), &failure));
  EXPECT_EQ(failure, dir.file("blocked/Presets") + ": Not a directory");

  // One sub-folder blocked: the rest is copied all the same, and the
  // failure names that sub-folder.
  dir.write("partial/Bass", "a file where the folder goes");
  failure.clear();
  EXPECT_FALSE(installFolderFromResource("FactoryPresets", dir.file("partial"), &failure));
  EXPECT_EQ(failure.substr(0, dir.file("partial/Bass").size()), dir.file("partial/Bass"));
  EXPECT_EQ(dir.read("partial/Lead.qvp"), "lead");

  failure.clear();
  EXPECT_TRUE(installFolderFromResource("FactoryPresets", dir.file("fine/Presets"), &failure));
  EXPECT_EQ(failure, "");
  EXPECT_EQ(dir.read("fine/Presets/Bass/Deep.qvp"), "deep");
  // Nothing to install is no failure; no destination is.
  EXPECT_TRUE(installFolderFromResource("ApplicationData", dir.file("data"), &failure));
  EXPECT_FALSE(installFolderFromResource("FactoryPresets", "", &failure));
  EXPECT_NE(failure, "");
}

TEST(FoldersTest, CreateFolderMakesMissingAncestors) {
  TempDir dir;
  dir.write("existing/file.txt", "keep");
  EXPECT_TRUE(createFolder(dir.file("existing")));
  EXPECT_EQ(dir.read("existing/file.txt"), "keep");

  EXPECT_TRUE(createFolder(dir.file("existing/a/b/c")));
  EXPECT_TRUE(folderExists(dir.file("existing/a/b/c")));
  // A folder path that ends in '/' is the same folder.
  EXPECT_TRUE(createFolder(dir.file("x/y/")));
  EXPECT_TRUE(folderExists(dir.file("x/y")));
  EXPECT_TRUE(createFolder(dir.file("x/y/")));

  // A file in the way, a relative path without any existing ancestor and a
  // missing folder directly below the root give false.
  EXPECT_FALSE(createFolder(dir.file("existing/file.txt")));
  EXPECT_FALSE(createFolder(dir.file("existing/file.txt/sub")));
  EXPECT_FALSE(createFolder("zarn-no-such-relative-folder/a"));
  EXPECT_FALSE(folderExists("zarn-no-such-relative-folder"));
  EXPECT_FALSE(createFolder("/zarn-no-such-root-folder"));
  EXPECT_FALSE(createFolder(""));
}

TEST(FoldersTest, CopyNeverOverwritesAndMergesLevelByLevel) {
  TempDir src, dst;
  const std::string binary("\0\x01\xFF\r\n\x1a end", 9);
  src.write("Bass/Deep.qvp", binary);
  src.write("Bass/Sub/Wobble.qvp", "wobble");
  src.write("Lead.qvp", "lead");
  src.write("Pad.qvp", "pad");
  src.write(".hidden", "no");
  src.write(".svn/entries", "no");
  src.write("Bass/.DS_Store", "no");
  mkdir(src.file("Empty").c_str(), 0755);

  dst.write("Lead.qvp", "the user's own edit");
  dst.write("Bass/Sub/Mine.qvp", "mine");
  dst.write("Bass/Deep.qvp", "");

  copyFolderContents(src.path(), dst.file("presets-not-there"));
  copyFolderContents(src.path(), dst.path());

  EXPECT_EQ(tree(dst.path()), (std::set<std::string>{"Bass/", "Bass/Deep.qvp", "Bass/Sub/", "Bass/Sub/Mine.qvp",
                                                     "Bass/Sub/Wobble.qvp", "Empty/", "Lead.qvp", "Pad.qvp",
                                                     "presets-not-there/", "presets-not-there/Bass/",
                                                     "presets-not-there/Bass/Deep.qvp", "presets-not-there/Bass/Sub/",
                                                     "presets-not-there/Bass/Sub/Wobble.qvp",
                                                     "presets-not-there/Empty/", "presets-not-there/Lead.qvp",
                                                     "presets-not-there/Pad.qvp"}));
  EXPECT_EQ(dst.read("Lead.qvp"), "the user's own edit");
  EXPECT_EQ(dst.read("Bass/Deep.qvp"), ""); // even an empty file stays
  EXPECT_EQ(dst.read("Bass/Sub/Wobble.qvp"), "wobble");
  EXPECT_EQ(dst.read("Pad.qvp"), "pad");
  EXPECT_EQ(dst.read("presets-not-there/Bass/Deep.qvp"), binary);

  // Copied files get the user's usual permissions, not the source's.
  chmod(src.file("Pad.qvp").c_str(), 0444);
  copyFolderContents(src.path(), dst.file("again"));
  struct stat st;
  ASSERT_EQ(stat(dst.file("again/Pad.qvp").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IWUSR);

  // Nothing to do: empty or missing source, empty destination, or a
  // destination inside the source.
  const std::set<std::string> before = tree(src.path());
  copyFolderContents("", dst.file("none"));
  copyFolderContents(src.file("missing"), dst.file("none"));
  copyFolderContents(src.path(), "");
  copyFolderContents(src.path(), src.file("Bass/inside"));
  copyFolderContents(src.path(), src.path() + "/");
  EXPECT_FALSE(folderExists(dst.file("none")));
  EXPECT_EQ(tree(src.path()), before);
}

TEST(FoldersTest, ResourcesComeFromTheRegisteredBundle) {
  zarn::test::TestBundle bundle("com.quorvane.test.folders");
  bundle.writeResource("MidiControllerMap.qvm", std::string("QVmc\x01\0\0\0", 8));
  bundle.writeResource("FactoryPresets/Bass/Deep.qvp", "deep");
  bundle.writeResource("FactoryPresets/Lead.qvp", "lead");

  std::unique_ptr<std::istream> in(createResourceStream("MidiControllerMap.qvm"));
  ASSERT_TRUE(in);
  char buffer[16];
  in->read(buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, static_cast<size_t>(in->gcount())), std::string("QVmc\x01\0\0\0", 8));

  try {
    delete createResourceStream("Missing.qvm");
    FAIL() << "a missing resource must throw";
  } catch (const EResource& e) {
    EXPECT_STREQ(e.what(), "Resource not found");
  }
  // Resources are named directly, never by a path leading out of them.
  EXPECT_THROW(delete createResourceStream("../Info.txt"), EResource);

  TempDir data;
  installFolderFromResource("FactoryPresets", data.file("Presets"));
  EXPECT_EQ(tree(data.file("Presets")), (std::set<std::string>{"Bass/", "Bass/Deep.qvp", "Lead.qvp"}));
  installFolderFromResource("ApplicationData", data.file("Data"));
  EXPECT_FALSE(folderExists(data.file("Data")));
}

// The factory files copied into the user's folders go only where nothing
// is: whatever stands at a name (a file, a link, a FIFO, a device) is kept
// as it is, and nothing is left half made. So too on a file system that
// has neither a rename that may not replace nor hard links (vfat, some
// FUSE mounts), where the copies used not to land at all.
TEST(FoldersTest, CopiesOnlyWhereNothingIsAndKeepsWhatIsThere) {
  zarn::test::TempDir source("factory");
  source.write("named", "factory bytes");
  zarn::test::Saver saver;
  saver.write = [&](const std::string& path, const std::function<void()>&) {
    std::string failure;
    const bool copied = copyFolderContents(source.path(), path.substr(0, path.rfind('/')), &failure);
    if (!failure.empty()) ADD_FAILURE() << failure;
    return copied;
  };
  saver.written = "factory bytes";
  saver.replaces = false;
  zarn::test::expectOnlyRegularFilesSaved(saver);

  SCOPED_TRACE("without links");
  const zarn::test::WithoutLinks withoutLinks;
  zarn::test::expectOnlyRegularFilesSaved(saver);
  EXPECT_GT(withoutLinks.reservations(), 0);
}
