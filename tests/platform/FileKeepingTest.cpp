// The copy of a damaged file kept beside it: saved as every file of the
// user is, only into a regular file or where nothing is.

#include "platform/FileKeeping.h"

#include "tests/support/ReplacedFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

TEST(FileKeepingTest, KeepsACopyOnlyInARegularFileOrWhereNothingIs) {
  zarn::test::TempDir source("damaged");
  source.write("d.prefs", "a damaged file\n\x01\xff");
  zarn::test::Saver saver;
  saver.name = "d.prefs.damaged";
  saver.write = [&](const std::string& path, const std::function<void()>&) {
    std::string reason;
    return platform::keepCopyBeside(source.file("d.prefs"), path, &reason);
  };
  saver.written = "a damaged file\n\x01\xff";
  saver.newMode = 0600;
  zarn::test::expectOnlyRegularFilesSaved(saver);
  // The file copied stays as it was.
  EXPECT_EQ(source.read("d.prefs"), saver.written);
}
