// The one writer of a user's file: what the user's files hold afterwards,
// and what it says of a name it cannot write before any work is done.

#include "platform/ReplacingFile.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/FolderFlags.h"
#include "tests/support/OrdinaryPermissions.h"
#include "tests/support/ReplacedFiles.h"
#include "tests/support/TempDir.h"
#include "tests/support/WithoutLinks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <linux/fs.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

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

namespace {

// The names in a folder, sorted.
std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

} // namespace

// On a file system without a rename that may not replace and without hard
// links (vfat), a new file still lands at a free name, with the mode of a
// new file; whatever stands at the name, there before or made while the
// name was reserved, is kept as it is, and no temporary file or
// reservation is left.
TEST(ReplacingFileTest, ANewFileLandsWithoutLinksAndReplacesNothingMadeMeanwhile) {
  namespace fs = std::filesystem;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  struct Case {
    const char* what;
    std::function<void(const zarn::test::TempDir&)> before;  // at the name before the commit
    std::function<void(const std::string& at)> between;       // at the name once it is reserved
    bool lands;
    std::vector<std::string> names; // in the folder afterwards
  };
  const std::vector<Case> cases = {
      {"nothing at the name: the file lands", [](const zarn::test::TempDir&) {}, {}, true, {"new.qvp"}},
      {"a file there is kept", [](const zarn::test::TempDir& d) { d.write("new.qvp", "the user's"); }, {}, false,
       {"new.qvp"}},
      {"a link there is kept and not followed",
       [](const zarn::test::TempDir& d) { fs::create_symlink("elsewhere", d.file("new.qvp")); }, {}, false,
       {"new.qvp"}},
      {"a file made in place of the reservation is kept", [](const zarn::test::TempDir&) {},
       [](const std::string& at) {
         ::unlink(at.c_str());
         std::FILE* f = std::fopen(at.c_str(), "w");
         std::fputs("the user's", f);
         std::fclose(f);
       },
       false, {"new.qvp"}},
      {"a link made in place of the reservation is kept", [](const zarn::test::TempDir&) {},
       [](const std::string& at) {
         ::unlink(at.c_str());
         ::symlink("elsewhere", at.c_str());
       },
       false, {"new.qvp"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zarn::test::TempDir dir("as-new");
    c.before(dir);
    const std::string at = dir.file("new.qvp");
    const bool link = fs::is_symlink(at);
    zarn::test::WithoutLinks seams(c.between);
    platform::ReplacingFile file;
    ASSERT_TRUE(file.create(at)) << file.error();
    ASSERT_TRUE(file.writeAll("factory", 7));
    EXPECT_EQ(file.commitAsNew(), c.lands) << file.error();
    EXPECT_EQ(file.taken(), !c.lands) << file.error();
    EXPECT_EQ(namesIn(dir.path()), c.names);
    if (c.between) {
      EXPECT_EQ(seams.reservations(), 1);
    }
    if (c.lands) {
      EXPECT_EQ(dir.read("new.qvp"), "factory");
      struct stat st {};
      ASSERT_EQ(::stat(at.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask);
    } else if (link || fs::is_symlink(at)) {
      EXPECT_EQ(fs::read_symlink(at), "elsewhere");
    } else {
      EXPECT_EQ(dir.read("new.qvp"), "the user's");
    }
  }
}

// A folder with the append-only or the immutable attribute keeps every
// file made in it, root's too: a save is refused before any work, with
// the reason, and leaves nothing there (a render used to run to its end,
// fail with "Operation not permitted" and leave two temporary files that
// nothing could remove). So is a file behind a link into such a folder.
TEST(ReplacingFileTest, AFolderThatKeepsItsFilesIsRefusedBeforeAnyWork) {
  struct Case {
    const char* what;
    int flag;
    std::string words;
  };
  const std::vector<Case> cases = {
      {"append-only", FS_APPEND_FL, "has the append-only attribute: files can be added to it but not renamed or removed"},
      {"immutable", FS_IMMUTABLE_FL, "has the immutable attribute: no file can be added, renamed or removed in it"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zarn::test::TempDir dir("kept");
    dir.write("folder/old.wav", "old");
    std::filesystem::create_symlink("folder/old.wav", dir.file("link.wav"));
    const zarn::test::ScopedFolderFlag flag(dir.file("folder"), c.flag);
    if (!flag.failure().empty()) GTEST_SKIP() << flag.failure();
    for (const std::string& path : {dir.file("folder/new.wav"), dir.file("folder/old.wav"), dir.file("link.wav")}) {
      SCOPED_TRACE(path);
      const std::string reason = "the folder " + dir.file("folder") + " " + c.words;
      std::string error;
      EXPECT_FALSE(platform::ReplacingFile::checkWritable(path, error));
      EXPECT_EQ(error, "cannot write " + path + ": " + reason + "; give another place");
      platform::ReplacingFile file;
      EXPECT_FALSE(file.create(path));
      EXPECT_EQ(file.error(), "cannot write " + path + ": " + reason);
      EXPECT_EQ(file.errorNumber(), EPERM);
      EXPECT_EQ(file.failedAt(), dir.file("folder"));
      EXPECT_EQ(file.descriptor(), -1);
    }
    EXPECT_EQ(namesIn(dir.file("folder")), std::vector<std::string>{"old.wav"});
    EXPECT_EQ(dir.read("folder/old.wav"), "old");
  }
}

// Where the attribute cannot be read (a folder the user may write into
// but not list), the file made to try the folder is seen to stay: the
// check refuses rather than let each save leave one.
TEST(ReplacingFileTest, AFolderWhereAFileMadeCannotBeRemovedIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "it needs root to give a folder an attribute";
  zarn::test::TempDir dir("kept");
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  const std::string folder = dir.file("folder");
  ASSERT_EQ(::mkdir(folder.c_str(), 0300), 0);
  ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0300), 0);
  const zarn::test::ScopedFolderFlag flag(folder, FS_APPEND_FL);
  if (!flag.failure().empty()) GTEST_SKIP() << flag.failure();
  const zarn::test::ChildResult r = zarn::test::runInChild([&] {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
      return std::string("could not become nobody");
    std::string error;
    return platform::ReplacingFile::checkWritable(folder + "/new.wav", error) ? std::string("writable") : error;
  });
  if (r.output == "could not become nobody") GTEST_SKIP() << r.output;
  EXPECT_EQ(r.output, "cannot write " + folder + "/new.wav: a file made in the folder " + folder +
                          " cannot be removed again (Operation not permitted), so each save would leave one "
                          "there; give another place");
}
