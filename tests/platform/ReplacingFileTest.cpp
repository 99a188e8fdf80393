// The one writer of a user's file: what the user's files hold afterwards,
// and what it says of a name it cannot write before any work is done.

#include "platform/ReplacingFile.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/OrdinaryPermissions.h"
#include "tests/support/ReplacedFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

TEST(ReplacingFileTest, AReplacedFileKeepsWhatTheUserSetOnIt) {
  zarn::test::expectReplacedFilesKept(
      [](const std::string& path) {
        platform::ReplacingFile file;
        return file.create(path) && file.writeAll("new state", 9) && file.commit();
      },
      "new state");
}

TEST(ReplacingFileTest, SavesOnlyIntoARegularFile) {
  zarn::test::Saver saver;
  saver.write = [](const std::string& path, const std::function<void()>& between) {
    platform::ReplacingFile file;
    if (!file.create(path) || !file.writeAll("new state", 9)) return false;
    between();
    return file.commit();
  };
  saver.written = "new state";
  saver.hasMoment = true;
  zarn::test::expectOnlyRegularFilesSaved(saver);
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
    EXPECT_EQ(platform::ReplacingFile::checkWritable(c.path, error), c.error.empty());
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
    return platform::ReplacingFile::checkWritable(dir.file("kept.wav"), error) ? std::string("writable") : error;
  });
  EXPECT_EQ(r.output, "cannot write " + dir.file("kept.wav") +
                          ": it is read-only to you; give another name, or make it writable");
}

// What the name leads to, said before a render of minutes: a FIFO or a
// device by its kind, a /proc/self/fd entry of a deleted file, and, as
// another user, a file the kernel would not let this user rename over.
TEST(ReplacingFileTest, WhatIsNoFileOrNotOursToReplaceIsSaidAtOnce) {
  zarn::test::TempDir dir("replacing");
  namespace fs = std::filesystem;
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0644), 0);
  fs::create_symlink("pipe", dir.file("to-pipe"));
  const int fd = ::open(dir.file("gone.mid").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::unlink(dir.file("gone.mid").c_str()), 0);
  const std::string proc = "/proc/self/fd/" + std::to_string(fd);
  struct Case {
    std::string path, error;
  };
  std::vector<Case> cases = {
      {dir.file("pipe"), "cannot write " + dir.file("pipe") +
                             ": it is a FIFO (a named pipe), not a regular file; give another name"},
      {dir.file("to-pipe"), "cannot write " + dir.file("to-pipe") + ": it leads to " + dir.file("pipe") +
                                ", a FIFO (a named pipe), not a regular file; give another name"},
      {proc, "cannot write " + proc + ": it is a link to a file that was deleted; give another name"},
  };
  if (::mknod(dir.file("null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) {
    fs::create_symlink("null", dir.file("to-null"));
    cases.push_back({dir.file("to-null"), "cannot write " + dir.file("to-null") + ": it leads to " +
                                              dir.file("null") + ", a character device, not a regular file; "
                                                                 "give another name"});
  } else {
    std::printf("[  SKIPPED ] a link to a device: mknod is not allowed here\n");
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string error;
    EXPECT_FALSE(platform::ReplacingFile::checkWritable(c.path, error));
    EXPECT_EQ(error, c.error);
    // Making the file refuses it alike, before any byte is written.
    platform::ReplacingFile file;
    EXPECT_FALSE(file.create(c.path));
    EXPECT_EQ(file.error() + "; give another name", c.error);
    EXPECT_EQ(file.descriptor(), -1);
  }
  ::close(fd);
  EXPECT_FALSE(fs::exists(dir.file("gone.mid (deleted)")));
  EXPECT_TRUE(fs::is_fifo(dir.file("pipe")));

  // Root's file, open to all, in a folder with the sticky bit: the user
  // nobody may write it but not rename over it.
  if (::geteuid() != 0) {
    std::printf("[  SKIPPED ] another user's file in a sticky folder: it needs root to make one\n");
    return;
  }
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  fs::create_directory(dir.file("shared"));
  ASSERT_EQ(::chmod(dir.file("shared").c_str(), 01777), 0);
  dir.write("shared/shared.wav", "root's");
  ASSERT_EQ(::chmod(dir.file("shared/shared.wav").c_str(), 0666), 0);
  const zarn::test::ChildResult r = zarn::test::runInChild([&] {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
      return std::string("could not become nobody");
    if (::access(dir.path().c_str(), X_OK) != 0) return std::string("nobody cannot reach the test's folder");
    std::string error, mine;
    const bool writable = platform::ReplacingFile::checkWritable(dir.file("shared/shared.wav"), error);
    // A new name there is nobody's to make.
    const bool ownWritable = platform::ReplacingFile::checkWritable(dir.file("shared/mine.wav"), mine);
    return (writable ? std::string("writable") : error) + "|" + (ownWritable ? "writable" : mine);
  });
  if (r.output == "nobody cannot reach the test's folder") {
    std::printf("[  SKIPPED ] another user's file in a sticky folder: %s\n", r.output.c_str());
    return;
  }
  EXPECT_EQ(r.output, "cannot write " + dir.file("shared/shared.wav") +
                          ": it is another user's file in a folder with the sticky bit, where only its owner may "
                          "replace it; give another name|writable");
  EXPECT_EQ(dir.read("shared/shared.wav"), "root's");
}
