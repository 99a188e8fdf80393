// The one writer of a user's file: what the user's files hold afterwards
// (contents, owner, mode, access list, who may use them), what it says of
// a name it cannot write before any work is done, and what another user or
// process does to the file meanwhile.

#include "platform/ReplacingFile.h"

#include "platform/ReplacingFileSeams.h"
#include "platform/SignalCleanup.h"
#include "platform/StaleFiles.h"
#include "platform/TemporaryFiles.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/FolderFlags.h"
#include "tests/support/LeftBehind.h"
#include "tests/support/OpenHooks.h"
#include "tests/support/OrdinaryPermissions.h"
#include "tests/support/OtherUsers.h"
#include "tests/support/ReplacedFiles.h"
#include "tests/support/SkippedCases.h"
#include "tests/support/TempDir.h"
#include "tests/support/WithoutLinks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
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
  zarn::test::SkippedCases skipped;
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
    skipped.add("a link to a device", "mknod is not allowed here");
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
    skipped.add("another user's file in a sticky folder", "it needs root to make one");
    return skipped.report();
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
    skipped.add("another user's file in a sticky folder", r.output);
    return skipped.report();
  }
  EXPECT_EQ(r.output, "cannot write " + dir.file("shared/shared.wav") +
                          ": it is another user's file in a folder with the sticky bit, where only its owner may "
                          "replace it; give another name|writable");
  EXPECT_EQ(dir.read("shared/shared.wav"), "root's");
  skipped.report();
}

using zarn::test::namesIn;

namespace {

namespace fs = std::filesystem;

using zarn::test::TempDir;

constexpr const char* cAccessList = "system.posix_acl_access";

// An access list as the kernel takes it: version 2, then each entry's tag,
// permissions and id, little-endian. Written here, so that nothing of the
// code under test makes the bytes expected.
struct AclEntry {
  uint16_t tag, permissions;
  uint32_t id = 0xFFFFFFFF;
};
constexpr uint16_t cUserObj = 0x01, cUser = 0x02, cGroupObj = 0x04, cMask = 0x10, cOther = 0x20;

std::string accessList(const std::vector<AclEntry>& entries) {
  auto bytes = [](uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>(v >> (8 * i) & 0xFF);
    return s;
  };
  std::string list = bytes(2, 4);
  for (const AclEntry& e : entries) list += bytes(e.tag, 2) + bytes(e.permissions, 2) + bytes(e.id, 4);
  return list;
}

// The file's access list, or "(none)".
std::string accessListOf(const std::string& path) {
  char buffer[1024];
  const ssize_t n = ::lgetxattr(path.c_str(), cAccessList, buffer, sizeof buffer);
  return n < 0 ? std::string("(none)") : std::string(buffer, static_cast<size_t>(n));
}

// Why the folder's file system keeps no access lists, or "".
std::string accessListsUnsupported(const TempDir& dir) {
  dir.write("probe", "");
  const std::string list = accessList({{cUserObj, 6}, {cGroupObj, 4}, {cOther, 0}});
  const bool kept = ::setxattr(dir.file("probe").c_str(), cAccessList, list.data(), list.size(), 0) == 0;
  const std::string why = kept ? "" : std::string("the file system keeps no access lists: ") + std::strerror(errno);
  ::unlink(dir.file("probe").c_str());
  return why;
}

struct stat statOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

using zarn::test::become;
using zarn::test::cHer;
using zarn::test::cNobody;
using zarn::test::cNogroup;
using zarn::test::cStudio;
using zarn::test::User;

// What who may do with the file at path, asked of the kernel by a child
// that has become him: "rw", "r-", "-w" or "--".
std::string accessOf(const std::string& path, const User& who) {
  const zarn::test::ChildResult r = zarn::test::runInChild([&] {
    if (!become(who)) return std::string("? cannot become ") + who.who;
    std::string access;
    for (const int flags : {O_RDONLY, O_WRONLY}) {
      const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) ::close(fd);
      access += fd >= 0 ? (flags == O_RDONLY ? 'r' : 'w') : errno == EACCES ? '-' : '?';
    }
    return access;
  });
  return r.finished ? r.output : "? no answer";
}


} // namespace

// A user who may write another user's file (through its group, or an
// access list naming him) saves over it: the file stays hers, with
// everything she set on it. A new file of his in its place would lock her
// out and let him chmod it.
TEST(ReplacingFileTest, AFileOfAnotherUserThatThisUserMayWriteStaysHers) {
  zarn::test::SkippedCases skipped;
  if (::geteuid() != 0) GTEST_SKIP() << "it needs root to have files of other users and to become them";
  struct Case {
    const char* what;
    gid_t group;                 // the file's group
    mode_t mode;                 // its mode, once its list is set
    std::string list;            // its access list ("" for none)
    std::vector<gid_t> writerIn; // the writer's groups beside his own
  };
  const std::vector<Case> cases = {
      {"an access list lets him write", cHer, 0660,
       accessList({{cUserObj, 6}, {cUser, 6, cNobody}, {cGroupObj, 4}, {cMask, 6}, {cOther, 0}}), {}},
      {"the file's group, his too, may write", cStudio, 0660, "", {cStudio}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir("replacing");
    if (!c.list.empty())
      if (const std::string why = accessListsUnsupported(dir); !why.empty()) {
        skipped.add(c.what, why);
        continue;
      }
    // A shared folder (not sticky) that all may pass through and write in.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0711), 0);
    fs::create_directory(dir.file("shared"));
    ASSERT_EQ(::chmod(dir.file("shared").c_str(), 0777), 0);
    dir.write("shared/take.wav", "her take");
    const std::string take = dir.file("shared/take.wav");
    ASSERT_EQ(::chown(take.c_str(), cHer, c.group), 0);
    ASSERT_EQ(::chmod(take.c_str(), c.mode), 0);
    if (!c.list.empty()) {
      ASSERT_EQ(::setxattr(take.c_str(), cAccessList, c.list.data(), c.list.size(), 0), 0);
    }
    const User her{"her", cHer, cHer, {}};
    const User writer{"the writer", cNobody, cNogroup, c.writerIn};
    const User writersGroup{"a member of the writer's group", 5681, 5681, {cNogroup}};
    ASSERT_EQ(accessOf(take, her), "rw");
    ASSERT_EQ(accessOf(take, writer), "rw");
    ASSERT_EQ(accessOf(take, writersGroup), "--");
    const std::string listBefore = accessListOf(take);

    const zarn::test::ChildResult r = zarn::test::runInChild([&] {
      if (!become(writer)) return std::string("cannot become the writer");
      if (::access(dir.path().c_str(), X_OK) != 0) return std::string("the writer cannot reach the test's folder");
      platform::ReplacingFile file;
      if (!file.create(take) || !file.writeAll("his render", 10) || !file.commit()) return file.error();
      // What he may do with it now.
      return std::string(::chmod(take.c_str(), 0666) == 0 ? "saved; he may chmod it" : "saved");
    });
    if (r.output == "the writer cannot reach the test's folder") GTEST_SKIP() << r.output;
    EXPECT_EQ(r.output, "saved");

    EXPECT_EQ(dir.read("shared/take.wav"), "his render");
    const struct stat st = statOf(take);
    EXPECT_EQ(st.st_uid, cHer);
    EXPECT_EQ(st.st_gid, c.group);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
    EXPECT_EQ(accessListOf(take), listBefore);
    EXPECT_EQ(accessOf(take, her), "rw");
    EXPECT_EQ(accessOf(take, writer), "rw");
    EXPECT_EQ(accessOf(take, writersGroup), "--");
    // Nothing else is left: no temporary file, no kept copy.
    EXPECT_EQ(namesIn(dir.file("shared")), std::vector<std::string>{"take.wav"});
  }
  skipped.report();
}

// What the user changes on the file while it is written (a render of
// minutes) holds: the new file takes owner, mode and access list as they
// are at the commit, all from the one file.
TEST(ReplacingFileTest, WhatTheUserChangesOnTheFileWhileItIsWrittenHolds) {
  zarn::test::SkippedCases skipped;
  const bool root = ::geteuid() == 0;
  TempDir probe("replacing");
  const bool lists = accessListsUnsupported(probe).empty();
  const std::string shared = accessList({{cUserObj, 6}, {cUser, 6, cStudio}, {cGroupObj, 4}, {cMask, 6}, {cOther, 0}});
  struct Case {
    const char* what;
    mode_t mode;      // before
    std::string list; // before ("" for none)
    std::function<void(const std::string&)> meanwhile;
    mode_t modeAfter;
    std::string listAfter; // "(none)" for none
    uid_t ownerAfter;      // ~0: the test's own
    bool needsRoot, needsLists;
  };
  const std::vector<Case> cases = {
      {"chmod 600 a.wav", 0644, "", [](const std::string& p) { ::chmod(p.c_str(), 0600); }, 0600, "(none)",
       ~uid_t(0), false, false},
      // setfacl -b: the list goes, and the group's bits are the group
      // entry's, not the mask's: the group never had write.
      {"setfacl -b b.wav", 0660, shared,
       [](const std::string& p) {
         ::removexattr(p.c_str(), cAccessList);
         ::chmod(p.c_str(), 0640);
       },
       0640, "(none)", ~uid_t(0), false, true},
      {"chown 4321 c.wav, by root over 1234's file", 0644, "",
       [](const std::string& p) { ::chown(p.c_str(), cStudio, cStudio); }, 0644, "(none)", cStudio, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if ((c.needsRoot && !root) || (c.needsLists && !lists)) {
      skipped.add(c.what, c.needsRoot ? "it needs root" : "it needs access lists");
      continue;
    }
    TempDir dir("replacing");
    dir.write("take.wav", "old");
    const std::string take = dir.file("take.wav");
    if (c.needsRoot) {
      ASSERT_EQ(::chown(take.c_str(), cHer, cHer), 0);
    }
    ASSERT_EQ(::chmod(take.c_str(), c.mode), 0);
    if (!c.list.empty()) {
      ASSERT_EQ(::setxattr(take.c_str(), cAccessList, c.list.data(), c.list.size(), 0), 0);
    }
    platform::ReplacingFile file;
    ASSERT_TRUE(file.create(take)) << file.error();
    ASSERT_TRUE(file.writeAll("new", 3));
    c.meanwhile(take);
    EXPECT_TRUE(file.commit()) << file.error();
    EXPECT_EQ(dir.read("take.wav"), "new");
    const struct stat st = statOf(take);
    EXPECT_EQ(st.st_mode & 07777, c.modeAfter);
    EXPECT_EQ(accessListOf(take), c.listAfter);
    EXPECT_EQ(st.st_uid, c.ownerAfter == ~uid_t(0) ? ::geteuid() : c.ownerAfter);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"take.wav"});
  }
  skipped.report();
}

namespace {

// Swaps gSwapWith in for gSwapAt (renameat2 RENAME_EXCHANGE) at the
// gSwapAtOpen-th open of gSwapAt: the last moment before the writer moves
// its file, as another process might.
std::string gSwapAt, gSwapWith;
int gSwapAtOpen = 0, gOpensSeen = 0;

void swapAtOpen(const char* path, int) {
  if (gSwapAtOpen == 0 || gSwapAt != path || ++gOpensSeen != gSwapAtOpen) return;
  gSwapAtOpen = 0;
  ::renameat2(AT_FDCWD, gSwapWith.c_str(), AT_FDCWD, gSwapAt.c_str(), RENAME_EXCHANGE);
}

struct SwapAtOpen {
  SwapAtOpen(const std::string& at, const std::string& with, int open) {
    gSwapAt = at, gSwapWith = with, gSwapAtOpen = open, gOpensSeen = 0;
    zarn::test::hooks::gAfterOpen = swapAtOpen;
  }
  ~SwapAtOpen() {
    zarn::test::hooks::gAfterOpen = nullptr;
    gSwapAtOpen = 0;
  }
};

} // namespace

// What is put at the name after the commit's last look, before its move,
// keeps the name: the move swaps, sees what came out, and puts it back.
// A file written in place checks what it opens, and that the name still
// leads there once written.
TEST(ReplacingFileTest, WhatIsPutAtTheNameAtTheLastMomentKeepsIt) {
  zarn::test::SkippedCases skipped;
  const bool root = ::geteuid() == 0;
  struct Case {
    const char* what;
    std::function<void(const TempDir&)> makeSwapped; // makes "swapped", to be put at the file's place
    std::string through;   // the name given: the file's own, or a link to it
    bool inPlace;          // written by a user who may write the file but not give its owner
    int atOpen;            // the swap comes after this open of the file by the writer
    std::string error;     // DIR for the folder
    std::string standing;  // what the file's name holds afterwards: "fifo", "folder" or its bytes
  };
  auto fifo = [](const TempDir& d) { ASSERT_EQ(::mkfifo(d.file("swapped").c_str(), 0644), 0); };
  const std::vector<Case> cases = {
      {"a FIFO", fifo, "take.wav", false, 1,
       "cannot write DIR/take.wav: it is a FIFO (a named pipe), not a regular file", "fifo"},
      {"a FIFO behind a link",
       fifo, "link.wav", false, 1,
       "cannot write DIR/link.wav: it leads to DIR/take.wav, a FIFO (a named pipe), not a regular file", "fifo"},
      {"a folder", [](const TempDir& d) { d.write("swapped/inside", "kept"); }, "take.wav", false, 1,
       "cannot write DIR/take.wav: it is a folder", "folder"},
      {"another file", [](const TempDir& d) { d.write("swapped", "another file"); }, "take.wav", false, 1,
       "cannot write DIR/take.wav: another save to it finished first, as this one was put in its place; nothing was "
       "replaced; this one is kept in DIR/take.wav.unsaved",
       "another file"},
      {"a FIFO, before the file is opened to be written in place", fifo, "take.wav", true, 1,
       "cannot write DIR/take.wav: it is a FIFO (a named pipe), not a regular file", "fifo"},
      // Her file, moved away once opened, takes the new bytes; the name
      // holds what was swapped in, and the new file is kept.
      {"another file, once the file is opened to be written in place",
       [](const TempDir& d) { d.write("swapped", "another file"); }, "take.wav", true, 2,
       "cannot write DIR/take.wav: it was moved away or removed as it was written into; the complete file is kept in "
       "DIR/take.wav.unsaved",
       "another file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.inPlace && !root) {
      skipped.add(c.what, "it needs root to have a file of another user");
      continue;
    }
    TempDir dir("replacing");
    dir.write("take.wav", "old");
    fs::create_symlink("take.wav", dir.file("link.wav"));
    c.makeSwapped(dir);
    const std::string take = dir.file("take.wav");
    auto save = [&] {
      platform::ReplacingFile file;
      if (!file.create(dir.file(c.through)) || !file.writeAll("new", 3)) return "not written: " + file.error();
      const SwapAtOpen swap(take, dir.file("swapped"), c.atOpen);
      return file.commit() ? std::string("saved") : file.error();
    };
    std::string said;
    if (c.inPlace) {
      ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
      ASSERT_EQ(::chown(take.c_str(), cHer, cStudio), 0);
      ASSERT_EQ(::chmod(take.c_str(), 0660), 0);
      const zarn::test::ChildResult r = zarn::test::runInChild([&] {
        if (!become({"the writer", cNobody, cNogroup, {cStudio}})) return std::string("cannot become the writer");
        if (::access(dir.path().c_str(), X_OK) != 0) return std::string("the writer cannot reach the test's folder");
        return save();
      });
      if (r.output == "the writer cannot reach the test's folder") GTEST_SKIP() << r.output;
      said = r.output;
    } else {
      said = save();
    }
    for (size_t at = said.find(dir.path()); at != std::string::npos; at = said.find(dir.path(), at))
      said.replace(at, dir.path().size(), "DIR");
    EXPECT_EQ(said, c.error);
    // What was put there keeps the name.
    const fs::file_status standing = fs::symlink_status(take);
    if (c.standing == "fifo") {
      EXPECT_TRUE(fs::is_fifo(standing));
    } else if (c.standing == "folder") {
      ASSERT_TRUE(fs::is_directory(standing));
      EXPECT_EQ(dir.read("take.wav/inside"), "kept");
    } else {
      ASSERT_TRUE(fs::is_regular_file(standing));
      EXPECT_EQ(dir.read("take.wav"), c.standing);
    }
    EXPECT_TRUE(fs::is_symlink(dir.file("link.wav")));
    // The old file, swapped out by the test, is where the swap put it;
    // written into in place, it took the new bytes.
    EXPECT_EQ(dir.read("swapped"), c.atOpen == 2 ? "new" : "old");
    std::vector<std::string> left{"link.wav", "swapped", "take.wav"};
    if (c.error.find("kept in") != std::string::npos) {
      EXPECT_EQ(dir.read("take.wav.unsaved"), "new");
      left.push_back("take.wav.unsaved");
    }
    EXPECT_EQ(namesIn(dir.path()), left);
  }
  skipped.report();
}

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

namespace {

// A race played at its very moment in the writer: act runs at the nth look
// that findReplacedFile takes at path (Look), or the nth open of path in
// this process, before or after it (OpenBefore, OpenAfter); with every,
// at each one from the nth on, as a program that keeps saving there would.
struct Moment {
  enum Kind { Look, OpenBefore, OpenAfter } kind;
  std::string path;
  int nth;
  bool every = false;
};
Moment gMoment{Moment::Look, "", 0};
std::function<void()> gAct;
int gMomentsSeen = 0;

void atMoment(Moment::Kind kind, const char* path) {
  if (gMoment.kind != kind || gMoment.path != path) return;
  ++gMomentsSeen;
  if (gMomentsSeen == gMoment.nth || (gMoment.every && gMomentsSeen > gMoment.nth)) gAct();
}

} // namespace

// What the writer says when another process changes the name at the very
// moment it is looked at or replaced says what happened there: a file
// renamed over the name as it is looked at (two saves to one name at once)
// is looked at again and saved over, not called a link to a deleted file;
// a name changed at every look says so; a symbolic link swapped in at the
// commit is named as one, and kept; a name made a FIFO during the start
// check is refused as a FIFO, not blamed on its folder.
TEST(ReplacingFileTest, ANameChangedAsItIsSavedIsSaidAsWhatHappened) {
  enum class Call { Save, Check };
  struct Case {
    const char* what;
    Call call;
    std::string through; // the name given: the file's own, or a link to it
    Moment moment;       // its path is relative to the case's folder ("" for the folder)
    std::function<void(const TempDir&)> act;
    std::string said;     // DIR for the folder; "saved" or "writable" when it went through
    std::string standing; // what the file's name holds afterwards: its bytes, "fifo" or "link"
  };
  // Another save's file, renamed over the name: the next one each time.
  static int sSaves;
  auto anotherSave = [](const TempDir& d) {
    ++sSaves;
    ::rename(d.file("another-" + std::to_string(sSaves)).c_str(), d.file("take.wav").c_str());
  };
  auto linkSwappedIn = [](const TempDir& d) {
    ::renameat2(AT_FDCWD, d.file("swapped").c_str(), AT_FDCWD, d.file("take.wav").c_str(), RENAME_EXCHANGE);
  };
  const std::vector<Case> cases = {
      {"a file renamed over the name as the save looks at it", Call::Save, "take.wav",
       {Moment::Look, "take.wav", 1}, anotherSave, "saved", "new"},
      {"a file renamed over the name as the commit looks at it", Call::Save, "take.wav",
       {Moment::Look, "take.wav", 2}, anotherSave, "saved", "new"},
      {"a file renamed over the name a link leads to as the commit looks at it", Call::Save, "link.wav",
       {Moment::Look, "link.wav", 2}, anotherSave, "saved", "new"},
      {"a file renamed over the name as the start check looks at it", Call::Check, "take.wav",
       {Moment::Look, "take.wav", 1}, anotherSave, "writable", "another save 1"},
      {"a file renamed over the name at every look of the save", Call::Save, "take.wav",
       {Moment::Look, "take.wav", 1, true}, anotherSave,
       "cannot write DIR/take.wav: another file was put there each time it was looked at", "another save 4"},
      {"a file renamed over the name at every look of the start check", Call::Check, "take.wav",
       {Moment::Look, "take.wav", 1, true}, anotherSave,
       "cannot write DIR/take.wav: another file was put there each time it was looked at; give another name",
       "another save 4"},
      {"a symbolic link swapped in for the file at the commit", Call::Save, "take.wav",
       {Moment::OpenAfter, "take.wav", 1}, linkSwappedIn,
       "cannot write DIR/take.wav: it was made a symbolic link as it was saved; nothing was replaced", "link"},
      {"a symbolic link swapped in for the file a link leads to at the commit", Call::Save, "link.wav",
       {Moment::OpenAfter, "take.wav", 1}, linkSwappedIn,
       "cannot write DIR/link.wav: it leads to DIR/take.wav, which was made a symbolic link as it was saved; "
       "nothing was replaced",
       "link"},
      // The moment the check opens the folder to read its attributes,
      // after its own look at the name and before its probe's.
      {"the name made a FIFO during the start check", Call::Check, "take.wav", {Moment::OpenBefore, "", 1},
       [](const TempDir& d) {
         ::unlink(d.file("take.wav").c_str());
         ::mkfifo(d.file("take.wav").c_str(), 0644);
       },
       "cannot write DIR/take.wav: it is a FIFO (a named pipe), not a regular file; give another name", "fifo"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir("raced");
    dir.write("take.wav", "old");
    fs::create_symlink("take.wav", dir.file("link.wav"));
    fs::create_symlink("elsewhere.wav", dir.file("swapped"));
    dir.write("elsewhere.wav", "elsewhere");
    for (int n = 1; n <= 8; ++n) dir.write("another-" + std::to_string(n), "another save " + std::to_string(n));
    const zarn::test::ChildResult r = zarn::test::runInChild([&] {
      sSaves = 0;
      gMoment = c.moment;
      gMoment.path = c.moment.path.empty() ? dir.path() : dir.file(c.moment.path);
      gMomentsSeen = 0;
      gAct = [&] { c.act(dir); };
      platform::seams::gBetweenLooks = [](const char* path) { atMoment(Moment::Look, path); };
      zarn::test::hooks::gBeforeOpen = [](const char* path, int) { atMoment(Moment::OpenBefore, path); };
      zarn::test::hooks::gAfterOpen = [](const char* path, int result) {
        if (result >= 0) atMoment(Moment::OpenAfter, path);
      };
      std::string said;
      if (c.call == Call::Check) {
        said = platform::ReplacingFile::checkWritable(dir.file(c.through), said) ? "writable" : said;
      } else {
        platform::ReplacingFile file;
        said = !file.create(dir.file(c.through)) || !file.writeAll("new", 3) ? file.error()
               : file.commit()                                                ? "saved"
                                                                              : file.error();
      }
      return said + (gMomentsSeen < c.moment.nth ? " (the moment never came)" : "");
    });
    ASSERT_TRUE(r.finished) << r.output;
    std::string said = r.output;
    for (size_t at = said.find(dir.path()); at != std::string::npos; at = said.find(dir.path(), at))
      said.replace(at, dir.path().size(), "DIR");
    EXPECT_EQ(said, c.said);
    const fs::file_status standing = fs::symlink_status(dir.file("take.wav"));
    if (c.standing == "fifo") {
      EXPECT_TRUE(fs::is_fifo(standing));
    } else if (c.standing == "link") {
      ASSERT_TRUE(fs::is_symlink(standing));
      EXPECT_EQ(fs::read_symlink(dir.file("take.wav")), "elsewhere.wav");
      EXPECT_EQ(dir.read("swapped"), "old"); // the user's file, put back where the swap left it
      EXPECT_EQ(dir.read("elsewhere.wav"), "elsewhere");
    } else {
      ASSERT_TRUE(fs::is_regular_file(standing));
      EXPECT_EQ(dir.read("take.wav"), c.standing);
    }
    EXPECT_TRUE(fs::is_symlink(dir.file("link.wav")));
    for (const std::string& name : namesIn(dir.path()))
      EXPECT_EQ(name.find(".quorvane-part"), std::string::npos) << name << " was left";
  }
}

namespace {

// Another command of this user sweeping the folder while this process is
// stalled between making a temporary file and locking it (stopped,
// descheduled): the file, by then past the settle time, is taken and
// removed, as that command's sweep does. Stands in for the lock of the
// next gStalls files made.
std::string gSweptFolder;
int gStalls = 0, gSwept = 0;

int lockAfterASweep(int fd) {
  if (gStalls > 0) {
    --gStalls;
    char made[PATH_MAX];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), made, sizeof made);
    if (n > 0 && zarn::test::ageFile(std::string(made, static_cast<size_t>(n)),
                                     2 * platform::cTemporaryFileSettleSeconds)) {
      const pid_t other = ::fork();
      if (other == 0) ::_exit(platform::removeStaleTemporaryFiles(gSweptFolder));
      int status = 0;
      if (zarn::test::awaitChild(other, status, 20) && WIFEXITED(status)) gSwept += WEXITSTATUS(status);
    }
  }
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  return locked;
}

} // namespace

// The start check before a long render makes a file in the folder to try
// it. Another command's sweep may take that file while the check is
// stalled before it locks it: the check makes another under a new name,
// as every writer does, and says the name can be written. Only where each
// file it makes is taken so does it give up, and then it says what
// happened (never that the folder takes no file: it took each one). The
// user's file stays as it was, and nothing is left in the folder.
TEST(ReplacingFileTest, AStartCheckWhoseFileIsSweptTriesAnotherAndBlamesNoFolder) {
  struct Case {
    const char* what;
    int stalls;       // how many of the check's files are swept before their lock
    std::string said; // DIR for the folder
  };
  const std::vector<Case> cases = {
      {"its first file swept", 1, "writable"},
      {"each file it makes swept", 1000,
       "cannot write DIR/take.wav: another program removed each file made in the folder DIR to try it before it "
       "could be kept; try again"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir("swept");
    dir.write("take.wav", "the earlier render");
    const zarn::test::ChildResult r = zarn::test::runInChild([&] {
      gSweptFolder = dir.path();
      gStalls = c.stalls;
      gSwept = 0;
      platform::gTakeMadeLock = lockAfterASweep;
      std::string error;
      const bool writable = platform::ReplacingFile::checkWritable(dir.file("take.wav"), error);
      return std::to_string(gSwept) + " " + (writable ? std::string("writable") : error);
    });
    ASSERT_TRUE(r.finished) << r.output;
    const size_t space = r.output.find(' ');
    ASSERT_NE(space, std::string::npos) << r.output;
    std::string said = r.output.substr(space + 1);
    for (size_t at = said.find(dir.path()); at != std::string::npos; at = said.find(dir.path(), at))
      said.replace(at, dir.path().size(), "DIR");
    EXPECT_EQ(said, c.said);
    const int swept = std::stoi(r.output.substr(0, space));
    if (c.stalls == 1) {
      EXPECT_EQ(swept, 1);
    } else {
      EXPECT_GT(swept, 1);
    }
    EXPECT_EQ(dir.read("take.wav"), "the earlier render");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"take.wav"});
  }
}
