// What the signal handler's removal does with a tree it cannot wholly
// remove, and what a process that goes on after a fault's handler
// recovered can still do.

#include "platform/SignalCleanup.h"
#include "platform/TemporaryFiles.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/OpenHooks.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using zarn::test::runInChild;
using zarn::test::TempDir;

namespace {

// Sets or clears the immutable flag of the file at path; false where the
// file system or the user may not.
bool setImmutable(const std::string& path, bool on) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  ::close(fd);
  return done;
}

// Every entry below root, relative to it, sorted.
std::vector<std::string> entriesBelow(const std::string& root) {
  std::vector<std::string> found;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(root, error);
       it != std::filesystem::recursive_directory_iterator(); it.increment(error))
    found.push_back(it->path().lexically_relative(root).string());
  std::sort(found.begin(), found.end());
  return found;
}

} // namespace

// A private folder (a snapshot's home) removed by the handler of Ctrl-C may
// hold what no one can remove: an immutable file, a file system mounted
// in it. The removal leaves that, and the folders that lead to it, and
// removes all the rest, in time linear in the tree: each entry is tried a
// bounded number of times, however deep the one that stays lies (the
// command then ends at once with its signal).
TEST(SignalCleanupTest, ATreeWithAnEntryThatCannotGoLosesAllElseInTimeLinearInTheTree) {
  enum class Stuck { ImmutableFile, MountPoint };
  constexpr int cDepth = 16;
  std::string cannot;
  for (const Stuck stuck : {Stuck::ImmutableFile, Stuck::MountPoint}) {
    SCOPED_TRACE(stuck == Stuck::ImmutableFile ? "an immutable file" : "a mount point");
    TempDir dir;
    // t/d/d/.../d, each folder with three files and a sub-folder of two
    // beside the next; the entry that stays at the bottom.
    std::string at = "t";
    std::vector<std::string> chain = {"t"};
    long entries = 1;
    for (int level = 0; level < cDepth; ++level) {
      for (const char* f : {"a.wav", "b.qvp", ".c"}) dir.write(at + "/" + f, "bytes");
      dir.write(at + "/side/x", "");
      dir.write(at + "/side/y", "");
      at += "/d";
      chain.push_back(at);
      entries += 3 + 3 + 1;
    }
    const std::string bottom = at + (stuck == Stuck::ImmutableFile ? "/stuck" : "/mnt");
    chain.push_back(bottom);
    ++entries;
    if (stuck == Stuck::ImmutableFile) {
      dir.write(bottom, "kept");
      if (!setImmutable(dir.file(bottom), true)) {
        cannot += "no immutable files here (not root, or a file system without them); ";
        continue;
      }
    } else {
      ASSERT_TRUE(std::filesystem::create_directories(dir.file(bottom)));
    }
    const std::string mountPoint = dir.file(bottom);
    const zarn::test::ChildResult result = runInChild(
        [&]() -> std::string {
          if (stuck == Stuck::MountPoint) {
            // In a mount namespace of the child's own: the mount goes with
            // the child, however it ends.
            if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0)
              return "skip";
          }
          const long before = __atomic_load_n(&zarn::test::hooks::gUnlinkAts, __ATOMIC_RELAXED);
          const bool gone = platform::removeTreeAt(AT_FDCWD, dir.file("t").c_str());
          const long tried = __atomic_load_n(&zarn::test::hooks::gUnlinkAts, __ATOMIC_RELAXED) - before;
          std::string out = std::string(gone ? "gone" : "kept") + " " + std::to_string(tried);
          for (const std::string& e : entriesBelow(dir.path())) out += "\n" + e;
          return out;
        },
        30);
    if (stuck == Stuck::ImmutableFile) {
      EXPECT_TRUE(setImmutable(dir.file(bottom), false));
    }
    ASSERT_TRUE(result.finished) << "the removal did not end: " << result.output;
    if (result.output == "skip") {
      cannot += "no mounts here (not root, or no mount namespaces); ";
      continue;
    }
    std::vector<std::string> lines;
    std::string::size_type from = 0;
    for (std::string::size_type nl; (nl = result.output.find('\n', from)) != std::string::npos; from = nl + 1)
      lines.push_back(result.output.substr(from, nl - from));
    lines.push_back(result.output.substr(from));
    const std::string head = lines.front();
    lines.erase(lines.begin());
    EXPECT_EQ(head.substr(0, 5), "kept ") << head;
    // Left: only the entry that cannot go and the folders leading to it.
    EXPECT_EQ(lines, chain);
    // Each file tried once, each folder twice (as a file, then as an empty
    // folder): a pass that removes nothing ends the reading of a folder,
    // and what stayed is not walked again.
    const long tried = std::stol(head.substr(5));
    EXPECT_LE(tried, 2 * entries) << "of " << entries << " entries";
    EXPECT_GE(tried, entries - 1);
  }
  if (!cannot.empty()) GTEST_SKIP() << cannot;
}

namespace {

sigjmp_buf sRecovery;
// Where the fault below writes (read at run time: the compiler sees no
// address it could judge).
volatile uintptr_t sNowhere = 64;

// A handler from before that recovers from a fault (an interpreter's, a
// crash reporter's that goes on): it jumps out of the faulting code.
extern "C" void recoverFromFault(int) { siglongjmp(sRecovery, 1); }

long temporaryFilesIn(const std::string& folder) {
  long n = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    n += e.path().filename().string().find(".quorvane-part") != std::string::npos;
  return n;
}

} // namespace

// A fault whose handler from before recovers (it jumps out of the fault)
// leaves a process that goes on: its files still save afterwards, with
// their temporary files removed on a signal as before, every entry free
// again once the writers the handler passed have given theirs up.
TEST(SignalCleanupTest, AProcessThatRecoversFromAFaultStillSavesAndStillCleansUp) {
  TempDir dir;
  dir.write("before/.keep", "");
  dir.write("again/.keep", "");
  const zarn::test::ChildResult result = runInChild(
      [&]() -> std::string {
        struct sigaction recover {};
        recover.sa_handler = recoverFromFault;
        ::sigaction(SIGSEGV, &recover, nullptr);
        zarn::test::freshSignals();
        const platform::SignalCleanup cleanup;
        // Every entry but one taken when the fault comes.
        std::vector<platform::TemporaryFile> writing;
        for (int i = 0; i < platform::SignalCleanup::cMaxEntries - 1; ++i) {
          writing.push_back(platform::createTemporaryFile(dir.file("before/" + std::to_string(i) + ".wav"), 0644));
          if (!writing.back()) return "cannot write before the fault";
        }
        if (sigsetjmp(sRecovery, 1) == 0) {
          *reinterpret_cast<volatile int*>(sNowhere) = 1;
          return "no fault";
        }
        std::string out = "left by the fault " + std::to_string(temporaryFilesIn(dir.file("before")));
        writing.clear();
        // A save after it: its name is entered and it is made at once.
        {
          const platform::TemporaryFile after = platform::createTemporaryFile(dir.file("after.wav"), 0644);
          if (!after || ::rename(after.path.c_str(), dir.file("after.wav").c_str()) != 0) return out + "; no save";
        }
        // And a signal that ends the process still removes what it writes,
        // in every entry.
        const pid_t child = ::fork();
        if (child == 0) {
          std::vector<platform::TemporaryFile> again;
          for (int i = 0; i < platform::SignalCleanup::cMaxEntries; ++i)
            again.push_back(platform::createTemporaryFile(dir.file("again/" + std::to_string(i) + ".wav"), 0644));
          ::raise(SIGTERM);
          ::_exit(3);
        }
        int status = 0;
        if (!zarn::test::awaitChild(child, status, 20)) return out + "; the signalled writer did not end";
        out += "; saved; ";
        out += WIFSIGNALED(status) ? "ended by " + std::to_string(WTERMSIG(status)) : "exit " + std::to_string(status);
        return out + ", left " + std::to_string(temporaryFilesIn(dir.file("again")));
      },
      30);
  ASSERT_TRUE(result.finished) << "the process after the fault hung or failed: " << result.output;
  EXPECT_EQ(result.output, "left by the fault 0; saved; ended by " + std::to_string(SIGTERM) + ", left 0");
  EXPECT_EQ(dir.read("after.wav"), "");
}
