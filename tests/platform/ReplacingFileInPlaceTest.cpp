// A file of another user that this user may write is written into in
// place: what her file holds afterwards, whatever stops the copy (a full
// disk, a quota, a file size limit, a signal, SIGKILL). It holds its old
// bytes or the new ones whole; where neither can be promised, the whole
// new file is kept beside it under a name no sweep takes, and the writer
// is told where.

#include "platform/ReplacingFile.h"

#include "platform/ReplacingFileSeams.h"
#include "platform/SignalCleanup.h"
#include "platform/TemporaryFiles.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/OtherUsers.h"
#include "tests/support/SkippedCases.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace zarn::test;
namespace seams = platform::seams;

// What goes wrong under the copy, played through the seams at the very
// byte: the copy writes the part beyond the old end first (the tail), then
// the rest (the head), one write each for files as small as these.
enum class Trouble {
  None,
  DiskFull,           // the space cannot be reserved: ENOSPC
  FullWithoutReserve, // no fallocate here; the disk fills halfway through the tail
  LimitInTail,        // the file size limit lowered (prlimit) halfway through the tail
  LimitInHead,        // the same, halfway through the head
  SignalElsewhere,    // SIGTERM, taken by another thread, halfway through the head
  Killed,             // SIGKILL halfway through the head
};

Trouble gTrouble = Trouble::None;
off_t gOldSize = 0;

int reserveWith(int fd, off_t length) {
  if (gTrouble == Trouble::DiskFull) return errno = ENOSPC, -1;
  if (gTrouble == Trouble::FullWithoutReserve) return errno = EOPNOTSUPP, -1;
  return seams::defaultInPlaceCalls().reserve(fd, length);
}

// Never returns: the process is ending on another thread. A process still
// alive after the wait fails its case by its exit status.
[[noreturn]] void awaitTheEnd() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ::_exit(99);
}

ssize_t writeWith(int fd, const void* data, size_t size, off_t at) {
  const auto real = seams::defaultInPlaceCalls().write;
  const bool tail = at >= gOldSize;
  const size_t half = std::max<size_t>(size / 2, 1);
  switch (gTrouble) {
  case Trouble::FullWithoutReserve:
    if (!tail) break;
    if (at > gOldSize) return errno = ENOSPC, -1;
    return real(fd, data, half, at);
  case Trouble::LimitInTail:
  case Trouble::LimitInHead:
    if (tail == (gTrouble == Trouble::LimitInTail)) {
      // Once: the copy's next write meets it.
      const rlimit lowered{static_cast<rlim_t>(at) + half, RLIM_INFINITY};
      ::setrlimit(RLIMIT_FSIZE, &lowered);
      gTrouble = Trouble::None;
    }
    break;
  case Trouble::SignalElsewhere:
    if (tail) break;
    (void)real(fd, data, half, at);
    ::kill(::getpid(), SIGTERM);
    awaitTheEnd();
  case Trouble::Killed:
    if (tail) break;
    (void)real(fd, data, half, at);
    ::raise(SIGKILL);
    awaitTheEnd();
  default:
    break;
  }
  return real(fd, data, size, at);
}

std::string pattern(size_t size, char first) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(first + i % 23);
  return s;
}


std::string readWhole(const std::string& path) {
  std::string bytes;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "(missing)";
  char buffer[65536];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<size_t>(n));
  ::close(fd);
  return bytes;
}

// Every file in folder made to look untouched for two days, then swept as
// user would sweep it: what a later save of his there removes.
std::string sweepAsLater(const std::string& folder, const User& user) {
  const struct timespec old[2] = {{::time(nullptr) - 2 * 86400, 0}, {::time(nullptr) - 2 * 86400, 0}};
  for (const std::string& name : namesIn(folder))
    ::utimensat(AT_FDCWD, (folder + "/" + name).c_str(), old, AT_SYMLINK_NOFOLLOW);
  const ChildResult r = runInChild([&] {
    if (!become(user)) return std::string("cannot become ") + user.who;
    return std::to_string(platform::removeStaleTemporaryFiles(folder));
  });
  return r.finished ? r.output : "the sweep did not end";
}

struct Outcome {
  pid_t writer = -1; // the writer's process
  int status = 0;    // its wait status
  std::string said; // ReplacingFile's error ("saved" when it committed)
  std::string kept; // its keptPath
  std::string err;  // what the writer's process wrote to standard error
};

// Saves render over target in a child that becomes writer, holds a signal
// cleanup, lets SIGXFSZ do what it does, and has one more thread that
// takes the signals its writing thread holds back.
Outcome saveAs(const User& writer, const std::string& target, const std::string& render, const TempDir& dir,
               Trouble trouble) {
  const std::string errPath = dir.file("writer.err");
  int report[2];
  Outcome o;
  if (::pipe(report) != 0) return o.said = "no pipe", o;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(report[0]);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ::dup2(err, STDERR_FILENO);
    std::string out = "cannot become the writer";
    if (become(writer)) {
      const rlimit noCore{0, 0};
      ::setrlimit(RLIMIT_CORE, &noCore);
      const platform::SignalCleanup cleanup;
      std::thread other([] {
        for (;;) ::pause();
      });
      other.detach();
      struct stat st {};
      ::stat(target.c_str(), &st);
      gOldSize = st.st_size;
      gTrouble = trouble;
      seams::gInPlace = {reserveWith, writeWith};
      platform::ReplacingFile file;
      if (!file.create(target) || !file.writeAll(render.data(), render.size()))
        out = "could not write: " + file.error();
      else
        out = (file.commit() ? "saved" : file.error()) + "|" + file.keptPath();
    }
    (void)!::write(report[1], out.data(), out.size());
    ::_exit(0);
  }
  ::close(report[1]);
  o.writer = child;
  if (child < 0 || !awaitChild(child, o.status)) {
    ::close(report[0]);
    o.said = "the writer did not end";
    return o;
  }
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<size_t>(n));
  ::close(report[0]);
  const size_t bar = out.find('|');
  o.said = out.substr(0, bar);
  o.kept = bar == std::string::npos ? "" : out.substr(bar + 1);
  o.err = readWhole(errPath);
  ::unlink(errPath.c_str());
  return o;
}

} // namespace

// Her file, which he may write through a group of his, is written in place
// by him: whatever stops the copy, her file holds her take byte for byte,
// or his render whole, or (where the copy was cut halfway and nothing can
// promise either) his render stands whole beside it under a name that no
// later save's sweep takes, and he is told where.
TEST(ReplacingFileInPlaceTest, TheFileHoldsItsOldBytesOrTheNewOnesWholeOrTheWholeIsKeptBeside) {
  if (::geteuid() != 0) GTEST_SKIP() << "it needs root to have a file of another user and to become its writer";
  const std::string longName = std::string(246, 'n') + ".wav"; // 250 bytes: NAME.unsaved would not fit
  struct Case {
    const char* what;
    Trouble trouble;
    size_t newSize;
    std::string name = "take.wav";
    int earlierKept = 0;      // NAME.unsaved, NAME.unsaved-2, ... of hers there already
    std::string holds;        // what her file holds afterwards: "old", "new" or "neither"
    std::string said;         // the writer's message, TAKE and KEPT for the paths
    int endedBy = 0;          // the signal that ended the writer
    std::string kept;         // the kept file's name, "" for none; PID for the writer's process
  };
  const std::string keptWords = "; the complete file is kept in KEPT";
  const std::vector<Case> cases = {
      {"nothing in the way, a longer render", Trouble::None, 100000, "take.wav", 0, "new", "saved", 0, ""},
      {"nothing in the way, a shorter render", Trouble::None, 3000, "take.wav", 0, "new", "saved", 0, ""},
      {"the disk is full", Trouble::DiskFull, 100000, "take.wav", 0, "old",
       "cannot write TAKE: No space left on device; it keeps its old contents" + keptWords, 0, "take.wav.unsaved"},
      {"the disk fills beyond the old end, where space cannot be reserved", Trouble::FullWithoutReserve, 100000,
       "take.wav", 0, "old", "cannot write TAKE: No space left on device; it keeps its old contents" + keptWords, 0,
       "take.wav.unsaved"},
      {"a limit lowered beyond the old end", Trouble::LimitInTail, 100000, "take.wav", 0, "old",
       "cannot write TAKE: File too large; it keeps its old contents" + keptWords, 0, "take.wav.unsaved"},
      {"a limit lowered halfway, with two kept files of hers there", Trouble::LimitInHead, 100000, "take.wav", 2,
       "neither", "cannot write TAKE: the copy into it stopped halfway (File too large), so it holds part of each" +
           keptWords, 0, "take.wav.unsaved-3"},
      {"SIGTERM taken on another thread halfway", Trouble::SignalElsewhere, 100000, "take.wav", 0, "neither", "",
       SIGTERM, "take.wav.unsaved"},
      {"SIGKILL halfway, with a name too long for .unsaved", Trouble::Killed, 100000, longName, 0, "neither", "",
       SIGKILL, longName.substr(0, 255 - 8) + ".unsaved"},
      {"SIGKILL halfway, with all a hundred kept names taken", Trouble::Killed, 100000, "take.wav", 100, "neither", "",
       SIGKILL, "take.wav.unsaved-PID-1"},
  };
  const std::string herTake = pattern(40000, 'A');
  const User writer{"the writer", cNobody, cNogroup, {cStudio}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir("in-place");
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    dir.write(c.name, herTake);
    const std::string take = dir.file(c.name);
    ASSERT_EQ(::chown(take.c_str(), cHer, cStudio), 0);
    ASSERT_EQ(::chmod(take.c_str(), 0660), 0);
    for (int n = 1; n <= c.earlierKept; ++n)
      dir.write(c.name + ".unsaved" + (n == 1 ? "" : "-" + std::to_string(n)), "an earlier take");
    const std::string render = pattern(c.newSize, 'a');

    const Outcome o = saveAs(writer, take, render, dir, c.trouble);
    // The kept file's name, with the writer's process where it has one.
    std::string keptName = c.kept;
    if (const size_t pid = keptName.find("PID"); pid != std::string::npos)
      keptName.replace(pid, 3, std::to_string(o.writer));
    const std::string kept = keptName.empty() ? "" : dir.file(keptName);

    if (c.endedBy != 0) {
      EXPECT_TRUE(WIFSIGNALED(o.status) && WTERMSIG(o.status) == c.endedBy)
          << "status " << o.status << ", said " << o.said << ", err " << o.err;
    } else {
      EXPECT_TRUE(WIFEXITED(o.status) && WEXITSTATUS(o.status) == 0)
          << "the writer did not come back (status " << o.status << "): " << o.err;
      std::string said = o.said;
      for (const auto& [path, word] : {std::pair{kept, "KEPT"}, std::pair{take, "TAKE"}})
        for (size_t at; !path.empty() && (at = said.find(path)) != std::string::npos;)
          said.replace(at, path.size(), word);
      EXPECT_EQ(said, c.said);
      EXPECT_EQ(o.kept, kept);
    }
    if (c.endedBy == SIGTERM) {
      // Said on its way out, on the thread that took the signal.
      EXPECT_NE(o.err.find("ended while " + take + " was written in place"), std::string::npos) << o.err;
      EXPECT_NE(o.err.find("the complete file is kept in " + kept + "\n"), std::string::npos) << o.err;
    }

    const std::string holds = readWhole(take);
    if (c.holds == "old") {
      EXPECT_TRUE(holds == herTake) << "her file holds " << holds.size() << " bytes, not her take";
    } else if (c.holds == "new") {
      EXPECT_TRUE(holds == render) << "her file holds " << holds.size() << " bytes, not the render";
    } else {
      EXPECT_TRUE(holds != herTake && holds != render);
    }
    // Still hers, whatever it holds.
    struct stat st {};
    ASSERT_EQ(::stat(take.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, cHer);
    EXPECT_EQ(st.st_gid, cStudio);
    EXPECT_EQ(st.st_mode & 07777, 0660u);

    // A later save of his into that folder sweeps what it may: the kept
    // file stays, whole, and so does every earlier one of hers.
    EXPECT_EQ(sweepAsLater(dir.path(), writer), "0");
    std::vector<std::string> expected{c.name};
    for (int n = 1; n <= c.earlierKept; ++n) {
      const std::string earlier = c.name + ".unsaved" + (n == 1 ? "" : "-" + std::to_string(n));
      EXPECT_EQ(dir.read(earlier), "an earlier take");
      expected.push_back(earlier);
    }
    if (!kept.empty()) {
      EXPECT_TRUE(readWhole(kept) == render) << keptName << " holds " << readWhole(kept).size() << " bytes";
      expected.push_back(keptName);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(namesIn(dir.path()), expected);
  }
}

// On a real, small disk (an 8 MB tmpfs mounted in a mount namespace of the
// test's own): a render too long for the space left is refused before her
// file changes, both where another user writes her file and where she
// writes her own file of a group she is not in.
TEST(ReplacingFileInPlaceTest, ARenderTooBigForTheDiskLeavesTheFileAsItWas) {
  if (::geteuid() != 0) GTEST_SKIP() << "it needs root to mount a small disk and to become other users";
  TempDir dir("in-place-disk");
  ASSERT_EQ(::chmod(dir.path().c_str(), 0711), 0);
  const std::string disk = dir.file("disk");
  ASSERT_TRUE(fs::create_directory(disk));
  const std::string herTake = pattern(1058488, 'A');
  const std::string render = pattern(4608088, 'a');
  struct Case {
    const char* what;
    User writer;
  };
  const std::vector<Case> cases = {
      {"her file, written by another user of its group", {"the writer", cNobody, cNogroup, {cStudio}}},
      {"her own file, of a group she is not in", {"her", cHer, cHer, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ChildResult r = runInChild([&]() -> std::string {
      if (::unshare(CLONE_NEWNS) != 0) return std::string("skip: no mount namespace: ") + std::strerror(errno);
      if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          ::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=8M,mode=0777") != 0)
        return std::string("skip: no tmpfs: ") + std::strerror(errno);
      const std::string take = disk + "/take.wav";
      {
        const int fd = ::open(take.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0640);
        if (fd < 0 || ::write(fd, herTake.data(), herTake.size()) != static_cast<ssize_t>(herTake.size()))
          return "her take not written";
        ::close(fd);
      }
      if (::chown(take.c_str(), cHer, cStudio) != 0 || ::chmod(take.c_str(), 0660) != 0) return "not hers";
      const Outcome o = saveAs(c.writer, take, render, dir, Trouble::None);
      std::string result = std::string(WIFEXITED(o.status) ? "exited" : "signalled") + "|" + o.said + "|" +
                           (readWhole(take) == herTake ? "her take" : "her take changed") + "|" +
                           (readWhole(o.kept) == render ? "kept whole" : "kept: " + o.kept);
      for (size_t at; (at = result.find(disk)) != std::string::npos;) result.replace(at, disk.size(), "DISK");
      return result;
    });
    ASSERT_TRUE(r.finished) << r.output;
    if (r.output.rfind("skip: ", 0) == 0) GTEST_SKIP() << r.output.substr(6);
    EXPECT_EQ(r.output, "exited|cannot write DISK/take.wav: No space left on device; it keeps its old contents; the "
                        "complete file is kept in DISK/take.wav.unsaved|her take|kept whole");
  }
}

// The file's owner takes the writer's access away while his save of
// minutes is written (chmod 600 on her file he wrote through its group;
// he himself makes his own file read-only): her file stays as it is,
// and his save is kept beside it, said where, rather than thrown away.
TEST(ReplacingFileInPlaceTest, AFileMadeReadOnlyDuringTheSaveKeepsItsBytesAndTheSaveIsKeptBeside) {
  if (::geteuid() != 0) GTEST_SKIP() << "it needs root to have a file of another user and to become its writer";
  struct Case {
    const char* what;
    uid_t owner;      // the file's
    gid_t group;      // the file's; the writer is in cStudio
    mode_t mode;      // before
    mode_t meanwhile; // what chmod makes of it while the save is written
  };
  const std::vector<Case> cases = {
      {"her file, written in place, made 600 by her", cHer, cStudio, 0660, 0600},
      {"his own file, made read-only by himself", cNobody, cNogroup, 0644, 0444},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir("read-only");
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    dir.write("take.wav", "her take");
    const std::string take = dir.file("take.wav");
    ASSERT_EQ(::chown(take.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(::chmod(take.c_str(), c.mode), 0);
    const ChildResult r = runInChild([&] {
      // The writer, who may be root again for the owner's chmod.
      if (::setgroups(1, &cStudio) != 0 || ::setresgid(cNogroup, cNogroup, 0) != 0 ||
          ::setresuid(cNobody, cNobody, 0) != 0)
        return std::string("cannot become the writer");
      platform::ReplacingFile file;
      if (!file.create(take) || !file.writeAll("his render", 10)) return "not written: " + file.error();
      if (::setresuid(-1, 0, -1) != 0 || ::chmod(take.c_str(), c.meanwhile) != 0 || ::setresuid(-1, cNobody, -1) != 0)
        return std::string("no chmod meanwhile");
      return (file.commit() ? std::string("saved") : file.error()) + "|" + file.keptPath();
    });
    ASSERT_TRUE(r.finished) << r.output;
    const std::string kept = take + ".unsaved";
    EXPECT_EQ(r.output, "cannot write " + take +
                            ": it was made read-only to you while this save was written; nothing was replaced; this "
                            "one is kept in " +
                            kept + "|" + kept);
    EXPECT_EQ(dir.read("take.wav"), "her take");
    EXPECT_EQ(dir.read("take.wav.unsaved"), "his render");
    struct stat st {};
    ASSERT_EQ(::stat(take.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, c.owner);
    EXPECT_EQ(st.st_mode & 07777, c.meanwhile);
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"take.wav", "take.wav.unsaved"}));
  }
}
