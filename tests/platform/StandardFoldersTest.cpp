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

TEST(StandardFoldersTest, MissingFoldersAreNotFound) {
  zarn::test::TempDir home;
  ScopedEnvironment h("HOME", home.path());
  ScopedEnvironment c("XDG_CONFIG_HOME", std::nullopt);
  ScopedEnvironment d("XDG_DATA_HOME", std::nullopt);
  ScopedEnvironment doc("XDG_DOCUMENTS_DIR", std::nullopt);
  EXPECT_EQ(find(StandardFolder::documents), "not found: untouched");
  EXPECT_EQ(find(StandardFolder::applicationSupport), "not found: untouched");
  EXPECT_EQ(find(StandardFolder::audioSupport), "not found: untouched");

  home.write("Documents/.keep", "");
  home.write(".local/share/.keep", "");
  EXPECT_EQ(find(StandardFolder::documents), home.path() + "/Documents");
  EXPECT_EQ(find(StandardFolder::applicationSupport), home.path() + "/.local/share");
  EXPECT_EQ(find(StandardFolder::audioSupport), home.path() + "/.local/share");

  struct stat st;
  bool opt = stat("/opt", &st) == 0 && S_ISDIR(st.st_mode);
  EXPECT_EQ(find(StandardFolder::applications), opt ? "/opt" : "not found: untouched");
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
    EXPECT_EQ(find(StandardFolder::applicationSupport), home.file("data"));
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
    // A folder named there that does not exist is not found.
    home.write("cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Gone\"\n");
    EXPECT_EQ(find(StandardFolder::documents), "not found: untouched");
  }
}
