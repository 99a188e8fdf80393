// The writer of the render tools' files (WAV files, states): what the
// user's files hold afterwards, and what it says of a name it cannot
// write before any work is done.

#include "tools/render/ReplacingFile.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/OrdinaryPermissions.h"
#include "tests/support/ReplacedFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

TEST(ReplacingFileTest, AReplacedFileKeepsWhatTheUserSetOnIt) {
  zarn::test::expectReplacedFilesKept(
      [](const std::string& path) {
        renderio::ReplacingFile file;
        return file.create(path) && file.writeAll("new state", 9) && file.commit();
      },
      "new state");
}

// Checked before a render of minutes: the reason names what is wrong with
// the name given, not with its folder.
TEST(ReplacingFileTest, ANameThatCannotBeWrittenIsSaidAtOnceWithItsReason) {
  zarn::test::TempDir dir("replacing");
  namespace fs = std::filesystem;
  const long most = ::pathconf(dir.path().c_str(), _PC_NAME_MAX);
  const std::string longest(static_cast<size_t>(most), 'w');
  fs::create_symlink("gone/x.wav", dir.file("dangling.wav"));
  struct Case {
    std::string path, error; // "" when it can be written
  };
  const std::vector<Case> cases = {
      {dir.file(longest), ""},
      {dir.file(longest + "w"), "cannot write " + dir.file(longest + "w") + ": its name is too long (" +
                                    std::to_string(most + 1) + " bytes; the file system takes at most " +
                                    std::to_string(most) + "); give another name"},
      // The folder that is missing is the one the link leads into.
      {dir.file("dangling.wav"), "cannot write " + dir.file("dangling.wav") + ": there is no folder " +
                                     dir.file("gone") + "; make it first or give another place"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string error;
    EXPECT_EQ(renderio::ReplacingFile::checkWritable(c.path, error), c.error.empty());
    EXPECT_EQ(error, c.error);
  }
  // The check leaves nothing behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);

  // A file made read-only, to a user who meets its permissions.
  dir.write("kept.wav", "old");
  ASSERT_EQ(::chmod(dir.file("kept.wav").c_str(), 0444), 0);
  const zarn::test::ChildResult r = zarn::test::runInChild([&] {
    if (!zarn::test::meetPermissionsAsOwner()) return std::string("permissions are passed by");
    std::string error;
    return renderio::ReplacingFile::checkWritable(dir.file("kept.wav"), error) ? std::string("writable") : error;
  });
  EXPECT_EQ(r.output, "cannot write " + dir.file("kept.wav") +
                          ": it is read-only to you; give another name, or make it writable");
}
