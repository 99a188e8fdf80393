#include "platform/StandardFolders.h"

#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using platform::StandardFolder;
using zarn::test::ScopedEnvironment;

namespace {

std::string find(StandardFolder which) {
  std::string path = "untouched";
  return platform::findStandardFolder(which, path) ? path : "not found: " + path;
}

} // namespace

TEST(StandardFoldersTest, AFreshHomeNamesTheXdgDefaultsWithoutMakingThem) {
  zarn::test::TempDir home;
  ScopedEnvironment h("HOME", home.path());
  ScopedEnvironment c("XDG_CONFIG_HOME", std::nullopt);
  ScopedEnvironment d("XDG_DATA_HOME", std::nullopt);
  ScopedEnvironment k("XDG_CACHE_HOME", std::nullopt);
  ScopedEnvironment doc("XDG_DOCUMENTS_DIR", std::nullopt);
  // None of them exists: they are named all the same, below the home, and
  // whoever writes there makes them.
  EXPECT_EQ(find(StandardFolder::documents), home.path() + "/Documents");
  EXPECT_EQ(find(StandardFolder::applicationSupport), home.path() + "/.local/share");
  EXPECT_EQ(find(StandardFolder::audioSupport), home.path() + "/.local/share");
  EXPECT_EQ(find(StandardFolder::configuration), home.path() + "/.config");
  EXPECT_EQ(find(StandardFolder::cache), home.path() + "/.cache");
  struct stat st;
  EXPECT_NE(stat(home.file(".local").c_str(), &st), 0);
  {
    ScopedEnvironment slash("HOME", home.path() + "/");
    EXPECT_EQ(find(StandardFolder::configuration), home.path() + "/.config");
  }
  EXPECT_NE(stat(home.file("Documents").c_str(), &st), 0);
  {
    // A service account whose home is the root keeps its folders there.
    ScopedEnvironment root("HOME", "/");
    EXPECT_EQ(find(StandardFolder::configuration), "/.config");
    EXPECT_EQ(find(StandardFolder::documents), "/Documents");
  }

  bool opt = stat("/opt", &st) == 0 && S_ISDIR(st.st_mode);
  EXPECT_EQ(find(StandardFolder::applications), opt ? "/opt" : "not found: untouched");

  // No home known at all (an empty or relative HOME counts as none, and the
  // account's entry is taken instead): no user folder is ever the root.
  ScopedEnvironment relative("HOME", "relative/home");
  std::string path;
  if (platform::findStandardFolder(StandardFolder::applicationSupport, path)) {
    EXPECT_EQ(path.front(), '/');
    EXPECT_NE(path, "/.local/share") << "a home of \"/\" is some account's, not a fallback";
  }
}

TEST(StandardFoldersTest, XdgVariablesAndUserDirsWin) {
  zarn::test::TempDir home;
  ScopedEnvironment h("HOME", home.path());
  ScopedEnvironment c("XDG_CONFIG_HOME", home.file("cfg"));
  home.write("data/.keep", "");
  home.write("Docs/.keep", "");
  home.write("Papers/.keep", "");
  home.write("Documents/.keep", "");
  home.write(".local/share/.keep", "");
  {
    ScopedEnvironment d("XDG_DATA_HOME", home.file("data/"));
    ScopedEnvironment doc("XDG_DOCUMENTS_DIR", home.file("Docs"));
    ScopedEnvironment k("XDG_CACHE_HOME", home.file("tmp/cache/"));
    EXPECT_EQ(find(StandardFolder::applicationSupport), home.file("data"));
    EXPECT_EQ(find(StandardFolder::cache), home.file("tmp/cache"));
    EXPECT_EQ(find(StandardFolder::configuration), home.file("cfg"));
    EXPECT_EQ(find(StandardFolder::documents), home.file("Docs"));
  }
  {
    // Relative values are ignored; the user-dirs file names the documents.
    ScopedEnvironment d("XDG_DATA_HOME", "data");
    ScopedEnvironment doc("XDG_DOCUMENTS_DIR", std::nullopt);
    home.write("cfg/user-dirs.dirs", "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                     "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
    EXPECT_EQ(find(StandardFolder::applicationSupport), home.file(".local/share"));
    EXPECT_EQ(find(StandardFolder::documents), home.file("Papers"));
    home.write("cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + home.file("Docs") + "\"\n");
    EXPECT_EQ(find(StandardFolder::documents), home.file("Docs"));
    // A folder named there that does not exist yet is the user's choice
    // all the same.
    home.write("cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Gone\"\n");
    EXPECT_EQ(find(StandardFolder::documents), home.file("Gone"));
    // "$HOMEDocs" names no folder below the home: it is no absolute path.
    home.write("cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOMEDocs\"\n");
    EXPECT_EQ(find(StandardFolder::documents), home.file("Documents"));
  }
}
