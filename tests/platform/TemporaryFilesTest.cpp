#include "platform/TemporaryFiles.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using zarn::test::endedProcess;
using zarn::test::TempDir;

namespace {

// A child that lives until it is killed.
struct LiveProcess {
  pid_t pid;
  LiveProcess() : pid(::fork()) {
    if (pid == 0) {
      for (;;) ::pause();
    }
  }
  ~LiveProcess() {
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
  }
};

std::string tempName(const std::string& name, long pid, int n) {
  return "." + name + "." + std::to_string(pid) + "-" + std::to_string(n) + ".part";
}

bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Sets the file's modification time that many seconds into the past.
void age(const std::string& path, int seconds) {
  struct timespec times[2];
  ::clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= seconds;
  times[1] = times[0];
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

} // namespace

TEST(TemporaryFilesTest, EveryTemporaryFileIsHiddenAndNamesItsFileAndProcess) {
  TempDir dir;
  std::string first, second;
  const platform::FileDescriptor a = platform::createTemporaryFile(dir.file("Zarn.dat"), 0644, first);
  const platform::FileDescriptor b = platform::createTemporaryFile(dir.file("Zarn.dat"), 0644, second);
  ASSERT_TRUE(a);
  ASSERT_TRUE(b);
  const std::string prefix = dir.file(".Zarn.dat." + std::to_string(::getpid()) + "-");
  EXPECT_EQ(first.compare(0, prefix.size(), prefix), 0) << first;
  EXPECT_EQ(first.substr(first.size() - 5), ".part");
  EXPECT_NE(first, second);
  EXPECT_EQ(platform::temporaryFileOwner(first.substr(dir.path().size() + 1)), ::getpid());

  // No name, no file.
  std::string none;
  EXPECT_FALSE(platform::createTemporaryFile(dir.path() + "/", 0644, none));
  EXPECT_EQ(none, "");

  // Only the scheme's names tell an owner.
  EXPECT_EQ(platform::temporaryFileOwner(".Clean.qvp.4242-7.part"), 4242);
  EXPECT_EQ(platform::temporaryFileOwner(".MidiControllerMap.qvm.17-0.part"), 17);
  EXPECT_EQ(platform::temporaryFileOwner(".a.1-0.part"), 1);
  for (const char* other : {"Clean.qvp.4242-7.part", ".Clean.qvp.4242-7.partx", ".Clean.qvp.4242.part",
                            ".Clean.qvp.42x2-7.part", ".Clean.qvp.4242-.part", "..4242-7.part", ".4242-7.part",
                            ".Clean.qvp.0-1.part", ".x.12345678901-1.part", "Zarn.dat.a1B2c3"})
    EXPECT_EQ(platform::temporaryFileOwner(other), -1) << other;
}

TEST(TemporaryFilesTest, OnlyFilesOfEndedProcessesAreRemoved) {
  TempDir dir;
  const pid_t ended = endedProcess();
  LiveProcess live;
  ASSERT_GT(live.pid, 0);

  const std::string deadMap = dir.file(tempName("MidiControllerMap.qvm", ended, 0));
  const std::string deadPreset = dir.file("Bass/Sub/" + tempName("Clean.qvp", ended, 3));
  const std::string tooDeep = dir.file("a/b/c/" + tempName("Deep.qvp", ended, 0));
  const std::string liveMap = dir.file(tempName("MidiControllerMap.qvm", live.pid, 1));
  const std::string ownFresh = dir.file(tempName("Zarn.dat", ::getpid(), 0));
  // A file this process cannot have written: it is older than the process,
  // whose number an ended writer had before.
  const std::string ownReused = dir.file(tempName("Zarn.dat", ::getpid(), 9));
  const std::string lookAlike = dir.file(".Clean.qvp.part");
  const std::string visible = dir.file("Clean.qvp");
  for (const std::string& f : {deadMap, deadPreset, tooDeep, liveMap, ownFresh, ownReused, lookAlike, visible})
    dir.write(f.substr(dir.path().size() + 1), "bytes");
  age(ownReused, 3600 * 24 * 365);
  // Not a regular file, though named like one: left alone.
  const std::string deadFifo = dir.file(tempName("Pipe.qvp", ended, 0));
  ASSERT_EQ(::mkfifo(deadFifo.c_str(), 0600), 0);
  // A link is not followed into another folder.
  TempDir elsewhere;
  elsewhere.write(tempName("Far.qvp", ended, 0), "bytes");
  ASSERT_EQ(::symlink(elsewhere.path().c_str(), dir.file("Linked").c_str()), 0);

  EXPECT_TRUE(platform::isStaleTemporaryFile(deadMap));
  EXPECT_FALSE(platform::isStaleTemporaryFile(liveMap));

  EXPECT_EQ(platform::removeStaleTemporaryFiles(dir.path() + "/", "", 2), 3);
  EXPECT_FALSE(exists(deadMap));
  EXPECT_FALSE(exists(deadPreset));
  EXPECT_FALSE(exists(ownReused));
  EXPECT_TRUE(exists(tooDeep));
  EXPECT_TRUE(exists(liveMap));
  EXPECT_TRUE(exists(ownFresh));
  EXPECT_TRUE(exists(lookAlike));
  EXPECT_TRUE(exists(visible));
  EXPECT_TRUE(exists(deadFifo));
  EXPECT_TRUE(exists(elsewhere.file(tempName("Far.qvp", ended, 0))));
}

TEST(TemporaryFilesTest, APrefixLimitsTheSweepToTheFilesItNames) {
  // The preferences folder is everyone's: only the product's own files go.
  TempDir dir;
  const pid_t ended = endedProcess();
  const std::string ours = tempName("com.quorvane.Zarn.1.prefs", ended, 0);
  const std::string theirs = tempName("org.other.app.prefs", ended, 0);
  dir.write(ours, "");
  dir.write(theirs, "");
  EXPECT_EQ(platform::removeStaleTemporaryFiles(dir.path(), "com.quorvane.Zarn.1."), 1);
  EXPECT_FALSE(exists(dir.file(ours)));
  EXPECT_TRUE(exists(dir.file(theirs)));
  EXPECT_EQ(platform::removeStaleTemporaryFiles(dir.file("missing")), 0);
  EXPECT_EQ(platform::removeStaleTemporaryFiles(""), 0);
}
