#include "platform/TemporaryFiles.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/LeftBehind.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using zarn::test::ageFile;
using zarn::test::endedProcess;
using zarn::test::oldTemporaryName;
using zarn::test::temporaryName;
using zarn::test::TempDir;

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Whether another open of path could take its lock now (as a sweep would).
bool lockIsFree(const std::string& path) {
  const platform::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  return fd && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
}

// Left long enough ago for any sweep to look at it.
constexpr int cLongAgo = 3600;

} // namespace

TEST(TemporaryFilesTest, EveryTemporaryFileIsHiddenNamesItsFileAndProcessAndIsLockedUntilDone) {
  TempDir dir;
  platform::TemporaryFile first = platform::createTemporaryFile(dir.file("Zarn.dat"), 0644);
  const platform::TemporaryFile second = platform::createTemporaryFile(dir.file("Zarn.dat"), 0644);
  ASSERT_TRUE(first);
  ASSERT_TRUE(second);
  const std::string prefix = dir.file(".Zarn.dat." + std::to_string(::getpid()) + "-");
  EXPECT_EQ(first.path.compare(0, prefix.size(), prefix), 0) << first.path;
  EXPECT_EQ(first.path.substr(first.path.size() - 14), ".quorvane-part");
  EXPECT_NE(first.path, second.path);
  EXPECT_EQ(platform::temporaryFileOwner(first.path.substr(dir.path().size() + 1)), ::getpid());

  // The writer's lock holds from the start, after its own descriptor is
  // closed and through the rename, until the writer is done.
  EXPECT_FALSE(lockIsFree(first.path));
  EXPECT_EQ(first.descriptor.close(), 0);
  EXPECT_FALSE(lockIsFree(first.path));
  ASSERT_EQ(::rename(first.path.c_str(), dir.file("Zarn.dat").c_str()), 0);
  EXPECT_FALSE(lockIsFree(dir.file("Zarn.dat")));
  first = platform::TemporaryFile();
  EXPECT_TRUE(lockIsFree(dir.file("Zarn.dat")));

  // Any name the file system takes has a temporary file, however long:
  // NAME is cut at its end, between two characters, and the scheme and
  // its uniqueness stay. Of the two names of two-byte characters, one or
  // the other has its cut fall inside a character.
  const size_t most = static_cast<size_t>(::pathconf(dir.path().c_str(), _PC_NAME_MAX));
  std::string twoByte;
  while (twoByte.size() + 2 < most) twoByte += "\xC3\xBC";
  struct Long {
    std::string name;
    int single; // one-byte characters before the two-byte ones; -1: none of two bytes
  };
  for (const Long& l : {Long{std::string(most - 26, 'a'), -1}, Long{std::string(most, 'b'), -1}, Long{twoByte, 0},
                        Long{"e" + twoByte, 1}}) {
    SCOPED_TRACE(std::to_string(l.name.size()) + " bytes");
    const platform::TemporaryFile a = platform::createTemporaryFile(dir.file(l.name), 0644);
    const platform::TemporaryFile b = platform::createTemporaryFile(dir.file(l.name), 0644);
    ASSERT_TRUE(a) << std::strerror(errno);
    ASSERT_TRUE(b);
    EXPECT_NE(a.path, b.path);
    const std::string temporary = a.path.substr(dir.path().size() + 1);
    EXPECT_LE(temporary.size(), most);
    EXPECT_EQ(platform::temporaryFileOwner(temporary), ::getpid()) << temporary;
    // ".NAME.PID-N.quorvane-part": NAME begins the final name.
    const std::string stem = temporary.substr(0, temporary.size() - std::string(".quorvane-part").size());
    const std::string kept = stem.substr(1, stem.rfind('.') - 1);
    EXPECT_EQ(l.name.compare(0, kept.size(), kept), 0) << kept;
    if (l.single >= 0) {
      EXPECT_EQ((kept.size() - static_cast<size_t>(l.single)) % 2, 0u) << kept;
    }
  }

  // No name, no file.
  const platform::TemporaryFile none = platform::createTemporaryFile(dir.path() + "/", 0644);
  EXPECT_FALSE(none);
  EXPECT_EQ(none.path, "");

  // Only the scheme's names tell an owner; the older scheme's, which other
  // programs' names match as well, tell none.
  EXPECT_EQ(platform::temporaryFileOwner(".Clean.qvp.4242-7.quorvane-part"), 4242);
  EXPECT_EQ(platform::temporaryFileOwner(".a.1-0.quorvane-part"), 1);
  for (const char* other :
       {".Clean.qvp.4242-7.part", ".report.odt.3999999-0.part", "Clean.qvp.4242-7.quorvane-part",
        ".Clean.qvp.4242-7.quorvane-partx", ".Clean.qvp.4242.quorvane-part", ".Clean.qvp.42x2-7.quorvane-part",
        ".Clean.qvp.4242-.quorvane-part", "..4242-7.quorvane-part", ".4242-7.quorvane-part",
        ".Clean.qvp.0-1.quorvane-part", ".x.12345678901-1.quorvane-part", "Zarn.dat.a1B2c3"})
    EXPECT_EQ(platform::temporaryFileOwner(other), -1) << other;
}

// The preset folder may be any folder the user chose ("Change Preset
// Folder..."), shared with other programs and, through a shared home, with
// writers in other PID namespaces whose numbers mean nothing here. The
// sweep removes a file only when it is certainly the program's own and no
// writer holds it.
TEST(TemporaryFilesTest, TheSweepRemovesOnlyItsOwnFilesThatNoWriterHolds) {
  TempDir dir;
  const pid_t ended = endedProcess();
  struct Case {
    std::string file;
    bool removed;
    const char* why;
  };
  const std::vector<Case> cases = {
      {temporaryName("MidiControllerMap.qvm", ended, 0), true, "its writer ended"},
      {"Bass/Sub/" + temporaryName("Clean.qvp", ended, 3), true, "two levels down"},
      {temporaryName("Zarn.dat", ::getpid(), 9), true, "a number in use, but no writer holds it"},
      {"a/b/c/" + temporaryName("Deep.qvp", ended, 0), false, "below the depth swept"},
      {temporaryName("Pluck.qvp", 403, 0), false, "a writer elsewhere holds it"},
      {temporaryName("Fresh.qvp", ended, 0), false, "just made: its writer may not hold it yet"},
      {".report.odt." + std::to_string(ended) + "-0.part", false, "another program's"},
      {"docs/a/.thesis.tex." + std::to_string(ended) + "-2.part", false, "another program's"},
      {".notes.txt." + std::to_string(ended) + "-7.part", false, "another program's"},
      {oldTemporaryName("Lead.qvp", ended, 0), false, "the older scheme: no lock tells it dead"},
      {".Clean.qvp.quorvane-part", false, "not the scheme"},
      {"Clean.qvp", false, "a preset"},
  };
  for (const Case& c : cases) {
    dir.write(c.file, "bytes");
    if (c.file.find("Fresh") == std::string::npos) {
      ASSERT_TRUE(ageFile(dir.file(c.file), cLongAgo));
    }
  }
  const zarn::test::LockHolder elsewhere(dir.file(temporaryName("Pluck.qvp", 403, 0)));
  ASSERT_TRUE(elsewhere.holding());
  // Not a regular file, though named like one: left alone.
  const std::string deadFifo = dir.file(temporaryName("Pipe.qvp", ended, 0));
  ASSERT_EQ(::mkfifo(deadFifo.c_str(), 0600), 0);
  ASSERT_TRUE(ageFile(deadFifo, cLongAgo));
  // A link is not followed into another folder.
  TempDir linked;
  linked.write(temporaryName("Far.qvp", ended, 0), "bytes");
  ASSERT_TRUE(ageFile(linked.file(temporaryName("Far.qvp", ended, 0)), cLongAgo));
  ASSERT_EQ(::symlink(linked.path().c_str(), dir.file("Linked").c_str()), 0);

  EXPECT_TRUE(platform::isStaleTemporaryFile(dir.file(cases[0].file)));
  EXPECT_FALSE(platform::isStaleTemporaryFile(dir.file(temporaryName("Pluck.qvp", 403, 0))));

  EXPECT_EQ(platform::removeStaleTemporaryFiles(dir.path() + "/", "", 2), 3);
  for (const Case& c : cases) EXPECT_EQ(exists(dir.file(c.file)), !c.removed) << c.file << ": " << c.why;
  EXPECT_TRUE(exists(deadFifo));
  EXPECT_TRUE(exists(linked.file(temporaryName("Far.qvp", ended, 0))));
}

TEST(TemporaryFilesTest, APrefixLimitsTheSweepToTheFilesItNames) {
  // The preferences folder is everyone's: only the product's own files go.
  TempDir dir;
  const pid_t ended = endedProcess();
  const std::string ours = temporaryName("com.quorvane.Zarn.1.prefs", ended, 0);
  const std::string theirs = temporaryName("org.other.app.prefs", ended, 0);
  for (const std::string& f : {ours, theirs}) {
    dir.write(f, "");
    ASSERT_TRUE(ageFile(dir.file(f), cLongAgo));
  }
  EXPECT_EQ(platform::removeStaleTemporaryFiles(dir.path(), "com.quorvane.Zarn.1."), 1);
  EXPECT_FALSE(exists(dir.file(ours)));
  EXPECT_TRUE(exists(dir.file(theirs)));
  EXPECT_EQ(platform::removeStaleTemporaryFiles(dir.file("missing")), 0);
  EXPECT_EQ(platform::removeStaleTemporaryFiles(""), 0);
}
