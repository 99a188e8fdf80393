#include "platform/TemporaryFiles.h"

#include "platform/PrivateFolder.h"
#include "platform/ReplacingFile.h"
#include "platform/SignalCleanup.h"
#include "platform/StaleFiles.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/LeftBehind.h"
#include "tests/support/OpenHooks.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <linux/magic.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using zarn::test::ageFile;
using zarn::test::endedProcess;
using zarn::test::oldTemporaryName;
using zarn::test::runInChild;
using zarn::test::temporaryName;
using zarn::test::TempDir;
using zarn::test::unlockedTemporaryName;

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
// The user and group "nobody".
constexpr uid_t cNobody = 65534;

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
  EXPECT_EQ(platform::temporaryFileOwner(".Clean.qvp.4242-7u.quorvane-part"), 4242); // made without a lock
  for (const char* other :
       {".Clean.qvp.4242-7.part", ".report.odt.3999999-0.part", "Clean.qvp.4242-7.quorvane-part",
        ".Clean.qvp.4242-7.quorvane-partx", ".Clean.qvp.4242.quorvane-part", ".Clean.qvp.42x2-7.quorvane-part",
        ".Clean.qvp.4242-.quorvane-part", "..4242-7.quorvane-part", ".4242-7.quorvane-part",
        ".Clean.qvp.0-1.quorvane-part", ".x.12345678901-1.quorvane-part", "Zarn.dat.a1B2c3",
        ".Clean.qvp.4242-u.quorvane-part", ".Clean.qvp.4242-7uu.quorvane-part", ".Clean.qvp.4242-u7.quorvane-part",
        ".Clean.qvp.4242-7u.part"})
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
  // Another user's, in a folder they share: never this user's to judge.
  // Only root can give a file away.
  const std::string theirs = dir.file(temporaryName("Theirs.qvp", ended, 0));
  if (::geteuid() == 0) {
    dir.write(temporaryName("Theirs.qvp", ended, 0), "bytes");
    ASSERT_EQ(::chown(theirs.c_str(), cNobody, cNobody), 0);
    ASSERT_TRUE(ageFile(theirs, cLongAgo));
  }
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
  EXPECT_EQ(exists(theirs), ::geteuid() == 0);
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

// A program ended by a signal while it writes (SIGTERM, Ctrl-C, its
// terminal closed, Ctrl-\\, a reader that closed its pipe, a limit reached,
// a timer, and every other signal whose default action ends a process)
// leaves no temporary file behind: an output may go to any folder, which
// no sweep ever looks in. The file it was to replace, and one it has
// already put in place, stay as they are. This holds while the program
// holds a SignalCleanup; without one (the plug-in in a host) the signals
// are left alone; a signal the program ignores stays ignored, and one it
// has a handler for is that handler's (the program goes on, and so do its
// files).
TEST(TemporaryFilesTest, ASignalThatEndsTheProgramTakesItsTemporaryFilesWithIt) {
  enum class Before { Default, Ignored, Handled };
  struct Case {
    int signal;
    bool held;
    Before before;
  };
  std::vector<Case> cases;
  for (const int s : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXFSZ, SIGXCPU,
                      SIGPIPE, SIGPOLL, SIGPWR, SIGSTKFLT, SIGTRAP, SIGSYS, SIGABRT, SIGSEGV, SIGBUS, SIGILL, SIGFPE,
                      SIGRTMIN, SIGRTMIN + 5, SIGRTMAX})
    cases.push_back({s, true, Before::Default});
  cases.push_back({SIGTERM, false, Before::Default}); // not held: the signal's own action
  cases.push_back({SIGHUP, true, Before::Ignored});   // nohup: the program goes on
  cases.push_back({SIGPIPE, true, Before::Ignored});
  cases.push_back({SIGUSR1, true, Before::Handled}); // the program's own use of it
  cases.push_back({SIGTERM, true, Before::Handled});
  cases.push_back({SIGALRM, true, Before::Handled});
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signal)) + " (" + std::to_string(c.signal) + ")" + (c.held ? ", held" : "") +
                 (c.before == Before::Ignored ? ", ignored" : c.before == Before::Handled ? ", handled" : ""));
    TempDir dir;
    dir.write("out.wav", "the earlier render");
    dir.write("tmp/.keep", "");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // What the test runner set is not the child's: every signal its
      // default, none blocked, no core file.
      struct sigaction action {};
      action.sa_handler = c.before == Before::Ignored ? SIG_IGN : SIG_DFL;
      if (c.before == Before::Handled) action.sa_handler = [](int) {};
      ::sigaction(c.signal, &action, nullptr);
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      const struct rlimit noCore {0, 0};
      ::setrlimit(RLIMIT_CORE, &noCore);
      ::setenv("TMPDIR", dir.file("tmp").c_str(), 1);
      std::unique_ptr<platform::SignalCleanup> cleanup;
      std::unique_ptr<platform::PrivateFolder> own;
      if (c.held) {
        cleanup = std::make_unique<platform::SignalCleanup>();
        // A folder of its own, with a temporary file in it.
        own = std::make_unique<platform::PrivateFolder>("zarn-signal");
      }
      const platform::TemporaryFile inside = platform::createTemporaryFile(
          (own && !own->path().empty() ? own->path() : dir.file("tmp")) + "/Zarn.dat", 0644);
      const platform::TemporaryFile writing = platform::createTemporaryFile(dir.file("out.wav"), 0644);
      // Put in place already; its name is dropped only later.
      const platform::TemporaryFile done = platform::createTemporaryFile(dir.file("s.state"), 0644);
      const bool made = inside && writing && done && ::write(writing.descriptor.get(), "half", 4) == 4 &&
                        ::write(done.descriptor.get(), "whole", 5) == 5 &&
                        ::rename(done.path.c_str(), dir.file("s.state").c_str()) == 0;
      if (!made) ::_exit(2);
      ::raise(c.signal);
      ::_exit(3); // the signal did not end it
    }
    int status = 0;
    if (!zarn::test::awaitChild(child, status)) {
      ADD_FAILURE() << "the child did not end";
      continue;
    }
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path()))
      left.push_back(e.path().lexically_relative(dir.path()).string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(dir.read("out.wav"), "the earlier render");
    EXPECT_EQ(dir.read("s.state"), "whole");
    const bool ends = c.before == Before::Default;
    if (ends) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
    }
    if (c.held && ends) {
      EXPECT_EQ(left, (std::vector<std::string>{"out.wav", "s.state", "tmp", "tmp/.keep"}));
    } else {
      // The program's files are all still there: two temporary files beside
      // the earlier ones (and its folder, when it made one).
      EXPECT_EQ(std::count_if(left.begin(), left.end(),
                              [](const std::string& f) { return f.find(".quorvane-part") != std::string::npos; }),
                2)
          << ::testing::PrintToString(left);
    }
  }
}

namespace {

// Where the faults below touch memory, and what the handler from before
// saw of its fault.
// (read at run time: the compiler sees no address it could judge).
volatile uintptr_t sNowhere = 64;
void* volatile sBusAt = nullptr;

// The handler a sanitizer or a crash reporter would have: it must see the
// kernel's own report of the fault (made by an instruction, at its
// address), not a signal sent.
extern "C" void reportFault(int signal, siginfo_t* info, void*) {
  const bool real = info->si_code > 0 && (signal != SIGSEGV || reinterpret_cast<uintptr_t>(info->si_addr) == sNowhere) &&
                    (signal != SIGBUS || info->si_addr == sBusAt);
  ::_exit(real ? 40 : 41);
}

} // namespace

// A program that faults while it writes (a bad address, a file cut short
// under its mapping, an illegal instruction, a division by zero) leaves no
// temporary file either; the fault still ends it as a fault (the signal,
// a core where one is dumped), and a handler that was there before (a
// sanitizer's) still gets the real fault, with the kernel's report of it.
TEST(TemporaryFilesTest, AFaultWhileWritingTakesTheTemporaryFilesAndStillReachesTheHandlerFromBefore) {
  struct Fault {
    int signal;
    void (*make)(const std::string& folder);
  };
  std::vector<Fault> faults = {
      {SIGSEGV, [](const std::string&) { *reinterpret_cast<volatile int*>(sNowhere) = 1; }},
      {SIGBUS,
       [](const std::string& folder) {
         // The second page of a mapping past the end of its one-page file.
         const int fd = ::open((folder + "/short").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
         const long page = ::sysconf(_SC_PAGESIZE);
         if (fd < 0 || ::ftruncate(fd, page) != 0) ::_exit(2);
         void* map = ::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
         if (map == MAP_FAILED) ::_exit(2);
         sBusAt = static_cast<char*>(map) + page;
         *static_cast<volatile char*>(sBusAt) = 1;
       }},
#if defined(__x86_64__) || defined(__i386__)
      {SIGILL, [](const std::string&) { asm volatile("ud2"); }},
      {SIGFPE,
       [](const std::string&) {
         unsigned a = 1, zero = 0;
         asm volatile("xorl %%edx, %%edx\n\tdivl %1" : "+a"(a) : "r"(zero) : "edx");
       }},
#endif
  };
  for (const Fault& f : faults) {
    for (const bool handlerBefore : {false, true}) {
      SCOPED_TRACE(std::string(strsignal(f.signal)) + (handlerBefore ? ", with a handler from before" : ""));
      TempDir dir;
      dir.write("out.wav", "the earlier render");
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        // The handler from before: the test's, or none (not even a
        // sanitizer's, whose report would end the process otherwise).
        struct sigaction before {};
        if (handlerBefore) {
          before.sa_sigaction = reportFault;
          before.sa_flags = SA_SIGINFO;
        } else {
          before.sa_handler = SIG_DFL;
        }
        ::sigaction(f.signal, &before, nullptr);
        const struct rlimit noCore {0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        const platform::SignalCleanup cleanup;
        const platform::TemporaryFile writing = platform::createTemporaryFile(dir.file("out.wav"), 0644);
        if (!writing || ::write(writing.descriptor.get(), "half", 4) != 4) ::_exit(2);
        f.make(dir.path());
        ::_exit(3); // no fault
      }
      int status = 0;
      if (!zarn::test::awaitChild(child, status)) {
        ADD_FAILURE() << "the child did not end";
        continue;
      }
      if (handlerBefore) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 40) << status;
      } else {
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == f.signal) << status;
      }
      std::vector<std::string> left;
      for (const auto& e : std::filesystem::directory_iterator(dir.path())) left.push_back(e.path().filename());
      std::sort(left.begin(), left.end());
      left.erase(std::remove(left.begin(), left.end(), "short"), left.end());
      EXPECT_EQ(left, std::vector<std::string>{"out.wav"});
      EXPECT_EQ(dir.read("out.wav"), "the earlier render");
    }
  }
}

namespace {

bool isTemporaryName(const char* path) {
  const std::string p = path;
  const std::string suffix = ".quorvane-part";
  return p.size() > suffix.size() && p.compare(p.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A signal the very moment the open has made the temporary file.
void signalOnceMade(const char* path, int result) {
  if (result >= 0 && isTemporaryName(path)) ::raise(SIGTERM);
}

// Another process makes the very name first, and a signal comes then.
void anotherMakesItFirst(const char* path, int) {
  static bool done = false;
  if (done || !isTemporaryName(path)) return;
  done = true;
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0 || ::write(fd, "theirs", 6) != 6) ::_exit(2);
  ::close(fd);
  ::raise(SIGTERM);
}

} // namespace

// A temporary file's name is entered for removal before the file exists:
// a signal the moment after the open made it removes it. And a name that
// another process made first (the open finds it there) is never removed.
TEST(TemporaryFilesTest, ASignalTheMomentTheFileIsMadeRemovesItButNeverAFileAnotherMadeFirst) {
  for (const bool anotherFirst : {false, true}) {
    SCOPED_TRACE(anotherFirst ? "another made the name first" : "a signal after the open");
    TempDir dir;
    dir.write("out.wav", "the earlier render");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      zarn::test::freshSignals();
      const platform::SignalCleanup cleanup;
      zarn::test::hooks::gBeforeOpen = anotherFirst ? anotherMakesItFirst : nullptr;
      zarn::test::hooks::gAfterOpen = anotherFirst ? nullptr : signalOnceMade;
      const platform::TemporaryFile writing = platform::createTemporaryFile(dir.file("out.wav"), 0644);
      ::_exit(3); // the signal did not end it
    }
    int status = 0;
    if (!zarn::test::awaitChild(child, status)) {
      ADD_FAILURE() << "the child did not end";
      continue;
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    if (anotherFirst) {
      ASSERT_EQ(left.size(), 2u) << ::testing::PrintToString(left);
      EXPECT_EQ(dir.read(left[0]), "theirs") << left[0]; // a hidden name sorts first
      EXPECT_TRUE(isTemporaryName(left[0].c_str())) << left[0];
    } else {
      EXPECT_EQ(left, std::vector<std::string>{"out.wav"});
    }
    EXPECT_EQ(dir.read("out.wav"), "the earlier render");
  }
}

// A writer killed outright (SIGKILL, a crash, the machine stopped) leaves
// its temporary file in a folder no start-up sweep looks in, an output's:
// the next temporary file made there removes it. Only this user's files of
// the scheme, left alone for a while and held by no writer, go: not one a
// live writer holds, another user's, another program's, a fresh one, nor
// one in a folder below.
TEST(TemporaryFilesTest, MakingATemporaryFileRemovesTheStaleOnesInItsFolder) {
  TempDir dir;
  const pid_t ended = endedProcess();
  struct Case {
    std::string file;
    bool removed;
    const char* why;
  };
  const std::vector<Case> cases = {
      {temporaryName("o.wav", ended, 1), true, "its writer was killed"},
      {temporaryName("other.wav", ended, 0), true, "another output's, as stale"},
      {temporaryName("held.wav", 403, 0), false, "a live writer holds it"},
      {".o.wav." + std::to_string(ended) + "-1.part", false, "another program's look-alike"},
      {oldTemporaryName("o.wav", ended, 2), false, "the older scheme"},
      {temporaryName("fresh.wav", ended, 0), false, "just made: its writer may not hold it yet"},
      {"below/" + temporaryName("o.wav", ended, 0), false, "in a folder below"},
  };
  for (const Case& c : cases) {
    dir.write(c.file, "bytes");
    if (c.file.find("fresh") == std::string::npos) {
      ASSERT_TRUE(ageFile(dir.file(c.file), cLongAgo));
    }
  }
  const zarn::test::LockHolder writer(dir.file(temporaryName("held.wav", 403, 0)));
  ASSERT_TRUE(writer.holding());
  const std::string theirs = dir.file(temporaryName("theirs.wav", ended, 0));
  if (::geteuid() == 0) {
    dir.write(temporaryName("theirs.wav", ended, 0), "bytes");
    ASSERT_EQ(::chown(theirs.c_str(), cNobody, cNobody), 0);
    ASSERT_TRUE(ageFile(theirs, cLongAgo));
  }

  const platform::TemporaryFile made = platform::createTemporaryFile(dir.file("o.wav"), 0644);
  ASSERT_TRUE(made);
  for (const Case& c : cases) EXPECT_EQ(exists(dir.file(c.file)), !c.removed) << c.file << ": " << c.why;
  EXPECT_EQ(exists(theirs), ::geteuid() == 0) << "another user's";
  EXPECT_TRUE(exists(made.path));

  // A name of the working folder sweeps the working folder.
  const std::string cwd = std::filesystem::current_path();
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  dir.write(temporaryName("p.wav", ended, 0), "bytes");
  ASSERT_TRUE(ageFile(dir.file(temporaryName("p.wav", ended, 0)), cLongAgo));
  const platform::TemporaryFile here = platform::createTemporaryFile("p.wav", 0644);
  EXPECT_EQ(::chdir(cwd.c_str()), 0);
  EXPECT_TRUE(here);
  EXPECT_FALSE(exists(dir.file(temporaryName("p.wav", ended, 0))));
}

// The same fault under a death test, and (in a sanitized build) under the
// sanitizer's handler, which must still report the fault it was: the
// address the instruction touched, not a signal sent.
TEST(TemporaryFilesDeathTest, AFaultStillEndsAsTheFaultItWasForWhoeverWatchesIt) {
  TempDir dir;
  dir.write("out.wav", "the earlier render");
  const auto fault = [&] {
    const struct rlimit noCore {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    const platform::SignalCleanup cleanup;
    const platform::TemporaryFile writing = platform::createTemporaryFile(dir.file("out.wav"), 0644);
    if (!writing) ::_exit(2);
    *reinterpret_cast<volatile int*>(sNowhere) = 1;
  };
#ifdef __SANITIZE_ADDRESS__
  EXPECT_DEATH(fault(), "SEGV on unknown address (0x)?0*40");
#else
  EXPECT_EXIT(fault(), testing::KilledBySignal(SIGSEGV), "");
#endif
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) left.push_back(e.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"out.wav"});
}

// A signal that dumps a core still dumps one after the temporary files
// are gone (where the system writes cores into the working folder; a
// system that hands them to a program of its own is not asked to keep
// this test's).
TEST(TemporaryFilesTest, ASignalThatDumpsACoreStillDumpsOne) {
  std::string pattern;
  if (FILE* f = std::fopen("/proc/sys/kernel/core_pattern", "r")) {
    char line[256] = {};
    if (std::fgets(line, sizeof line, f)) pattern = line;
    std::fclose(f);
  }
  if (pattern.empty() || pattern[0] == '|' || pattern.find('/') != std::string::npos)
    GTEST_SKIP() << "cores do not go to the working folder here: " << pattern;
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "a sanitized process's core holds its shadow memory: seconds to write";
#endif
  for (const int signal : {SIGQUIT, SIGABRT}) {
    SCOPED_TRACE(strsignal(signal));
    TempDir dir;
    dir.write("out.wav", "the earlier render");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::signal(signal, SIG_DFL);
      struct rlimit core {};
      ::getrlimit(RLIMIT_CORE, &core);
      core.rlim_cur = core.rlim_max;
      if (::setrlimit(RLIMIT_CORE, &core) != 0 || core.rlim_cur < (64u << 20) || ::chdir(dir.path().c_str()) != 0)
        ::_exit(4);
      const platform::SignalCleanup cleanup;
      const platform::TemporaryFile writing = platform::createTemporaryFile(dir.file("out.wav"), 0644);
      if (!writing) ::_exit(2);
      ::raise(signal);
      ::_exit(3);
    }
    int status = 0;
    ASSERT_TRUE(zarn::test::awaitChild(child, status)) << "the child did not end";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 4) GTEST_SKIP() << "no core may be written here";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal && WCOREDUMP(status)) << status;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      EXPECT_EQ(e.path().filename().string().find(".quorvane-part"), std::string::npos) << e.path();
  }
}

namespace {

// A writer stalled between making its temporary file (or private folder)
// and locking it, and what another command of the same user does to it
// meanwhile: the name left alone past the settle time, then a sweep.
struct Stall {
  std::string match;         // the paths it stalls on begin so
  std::string sweptFolder;   // where the other command sweeps
  std::string folderPrefix;  // "": temporary files; else private folders of this prefix
  std::string stalledOn;     // the name it stalled on
  int swept = -1;            // what the other command's sweep removed
};
Stall sStall;

void sweepWhileStalled(const char* path, int result) {
  const std::string p = path;
  if (!sStall.stalledOn.empty() || p.compare(0, sStall.match.size(), sStall.match) != 0) return;
  if (zarn::test::hooks::gAfterOpen && result < 0) return;
  sStall.stalledOn = p;
  if (!ageFile(p, 2 * platform::cTemporaryFileSettleSeconds)) return;
  const pid_t other = ::fork();
  if (other == 0) {
    zarn::test::hooks::gBeforeOpen = nullptr;
    zarn::test::hooks::gAfterOpen = nullptr;
    ::_exit(sStall.folderPrefix.empty() ? platform::removeStaleTemporaryFiles(sStall.sweptFolder)
                                        : platform::PrivateFolder::removeStale(sStall.sweptFolder, sStall.folderPrefix));
  }
  int status = 0;
  if (zarn::test::awaitChild(other, status, 20) && WIFEXITED(status)) sStall.swept = WEXITSTATUS(status);
}

} // namespace

// A writer stalled between making its temporary file and locking it
// (stopped, descheduled, its machine frozen) while another command of the
// same user writes beside it still ends with its file in place: the sweep
// may take the name it had, but the writer sees that once it holds its
// lock and writes under a new one. The same for a private folder, stalled
// after its mkdir or after its open.
TEST(TemporaryFilesTest, AWriterStalledBeforeItsLockKeepsWhatItMakes) {
  enum class Maker { Writer, FolderBeforeOpen, FolderBeforeLock };
  for (const Maker maker : {Maker::Writer, Maker::FolderBeforeOpen, Maker::FolderBeforeLock}) {
    SCOPED_TRACE(maker == Maker::Writer             ? "a writer stalled before its lock"
                 : maker == Maker::FolderBeforeOpen ? "a private folder stalled before its open"
                                                    : "a private folder stalled before its lock");
    TempDir dir;
    dir.write("a.wav", "the earlier render");
    dir.write("tmp/.keep", "");
    const zarn::test::ChildResult result = runInChild([&]() -> std::string {
      if (maker == Maker::Writer) {
        sStall = {dir.file(".a.wav."), dir.path(), "", "", -1};
        zarn::test::hooks::gAfterOpen = sweepWhileStalled;
        platform::ReplacingFile file;
        const std::string render = "the whole render";
        if (!file.create(dir.file("a.wav")) || !file.writeAll(render.data(), render.size()) || !file.commit())
          return "swept " + std::to_string(sStall.swept) + "; " + file.error();
        return "swept " + std::to_string(sStall.swept) + "; committed";
      }
      ::setenv("TMPDIR", dir.file("tmp").c_str(), 1);
      sStall = {dir.file("tmp/zarn-stall-"), dir.file("tmp"), "zarn-stall", "", -1};
      (maker == Maker::FolderBeforeOpen ? zarn::test::hooks::gBeforeOpen : zarn::test::hooks::gAfterOpen) =
          sweepWhileStalled;
      const platform::PrivateFolder own("zarn-stall");
      zarn::test::hooks::gBeforeOpen = nullptr;
      zarn::test::hooks::gAfterOpen = nullptr;
      struct stat st;
      std::string out = "swept " + std::to_string(sStall.swept) + "; ";
      if (own.path().empty()) return out + own.error();
      if (own.path() == sStall.stalledOn) out += "the swept name; ";
      if (::lstat(own.path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return out + "no folder there";
      return out + (lockIsFree(own.path()) ? "unlocked" : "locked");
    });
    ASSERT_TRUE(result.finished) << result.output;
    EXPECT_EQ(result.output, maker == Maker::Writer ? "swept 1; committed" : "swept 1; locked");
    EXPECT_EQ(dir.read("a.wav"), maker == Maker::Writer ? "the whole render" : "the earlier render");
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"a.wav", "tmp"}));
    left.clear();
    for (const auto& e : std::filesystem::directory_iterator(dir.file("tmp"))) left.push_back(e.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{".keep"}); // the folder went with its owner
  }
}

// Where the file system keeps no locks (ENOLCK, EOPNOTSUPP), a writer
// gives up the file it made and writes one whose name says it was made
// without a lock, so that a sweep, which no lock can tell, takes it only
// once it has lain untouched far longer than any writer stalls (stopped
// with Ctrl-Z, say, while another render writes beside it). Any other
// failure of the lock fails the writer, and leaves nothing.
TEST(TemporaryFilesTest, AWriterThatCannotLockMarksItsFileWhichOnlyAgeSweeps) {
  struct Refusal {
    int error;
    bool written;
  };
  for (const Refusal refusal : {Refusal{ENOLCK, true}, Refusal{EOPNOTSUPP, true}, Refusal{EIO, false}}) {
    SCOPED_TRACE(std::strerror(refusal.error));
    TempDir dir;
    static int sRefusal;
    sRefusal = refusal.error;
    const zarn::test::ChildResult result = runInChild([&]() -> std::string {
      platform::gTakeMadeLock = [](int) {
        errno = sRefusal;
        return -1;
      };
      const platform::TemporaryFile file = platform::createTemporaryFile(dir.file("a.wav"), 0644);
      if (!file) return std::string("none: ") + std::strerror(errno);
      if (::write(file.descriptor.get(), "half", 4) != 4) return "unwritable";
      return file.path.substr(dir.path().size() + 1);
    });
    ASSERT_TRUE(result.finished) << result.output;
    if (!refusal.written) {
      EXPECT_EQ(result.output, std::string("none: ") + std::strerror(refusal.error));
    } else {
      // The one it made first is gone; the marked one stays (the writer was
      // killed with it open).
      EXPECT_EQ(result.output.size() > 16 ? result.output.substr(result.output.size() - 15) : result.output,
                "u.quorvane-part");
      EXPECT_GT(platform::temporaryFileOwner(result.output), 0) << result.output;
    }
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) left.push_back(e.path().filename());
    EXPECT_EQ(left, refusal.written ? std::vector<std::string>{result.output} : std::vector<std::string>{});
  }

  // What sweeps make of such files: their age alone, and the long one.
  TempDir dir;
  const pid_t ended = endedProcess();
  struct Case {
    std::string file;
    int age;
    bool removed;
    const char* why;
  };
  const int unsure = platform::cUnsureTemporaryFileSettleSeconds;
  const std::vector<Case> cases = {
      {unlockedTemporaryName("stopped.wav", ended, 0), 2 * platform::cTemporaryFileSettleSeconds, false,
       "made without a lock, past the settle time: its writer may be stopped"},
      {unlockedTemporaryName("paused.wav", ended, 1), unsure - 60, false, "made without a lock, within the long time"},
      {unlockedTemporaryName("left.wav", ended, 2), unsure + 60, true, "made without a lock, past the long time"},
      {unlockedTemporaryName("held.wav", 403, 3), unsure + 60, false, "past the long time, but a lock is held on it"},
      {temporaryName("killed.wav", ended, 4), 2 * platform::cTemporaryFileSettleSeconds, true,
       "made with a lock, now free"},
  };
  for (const Case& c : cases) {
    dir.write(c.file, "bytes");
    ASSERT_TRUE(ageFile(dir.file(c.file), c.age));
  }
  const zarn::test::LockHolder holder(dir.file(cases[3].file));
  ASSERT_TRUE(holder.holding());
  EXPECT_EQ(platform::removeStaleTemporaryFiles(dir.path()), 2);
  for (const Case& c : cases) EXPECT_EQ(exists(dir.file(c.file)), !c.removed) << c.file << ": " << c.why;
}

// A lock taken on a network or cluster file system may go unseen by another
// machine that shares it (a home mounted on two machines): a free lock
// there does not tell that no writer works on the file, and only a long
// time untouched does, for the temporary files and the private folders
// alike.
TEST(TemporaryFilesTest, WhereOtherMachinesMayNotSeeTheLocksOnlyALongTimeUntouchedMakesAFileStale) {
  struct Type {
    unsigned long type;
    bool unseen;
    const char* name;
  };
  for (const Type& t : {Type{NFS_SUPER_MAGIC, true, "NFS"}, Type{SMB_SUPER_MAGIC, true, "SMB"},
                        Type{CIFS_SUPER_MAGIC, true, "CIFS"}, Type{SMB2_SUPER_MAGIC, true, "SMB2"},
                        Type{FUSE_SUPER_MAGIC, true, "FUSE"}, Type{V9FS_MAGIC, true, "9p"},
                        Type{CEPH_SUPER_MAGIC, true, "Ceph"}, Type{AFS_SUPER_MAGIC, true, "AFS"},
                        Type{AFS_FS_MAGIC, true, "AFS"}, Type{CODA_SUPER_MAGIC, true, "Coda"},
                        Type{OCFS2_SUPER_MAGIC, true, "OCFS2"}, Type{0x01161970, true, "GFS2"},
                        Type{0x0BD00BD0, true, "Lustre"}, Type{0x47504653, true, "GPFS"},
                        Type{EXT4_SUPER_MAGIC, false, "ext4"}, Type{TMPFS_MAGIC, false, "tmpfs"},
                        Type{BTRFS_SUPER_MAGIC, false, "btrfs"}, Type{XFS_SUPER_MAGIC, false, "XFS"},
                        Type{OVERLAYFS_SUPER_MAGIC, false, "overlay"}, Type{0x2FC12FC1, false, "ZFS"}})
    EXPECT_EQ(platform::locksMayBeUnseen(t.type), t.unseen) << t.name;

  // The folder here taken for one whose locks may go unseen, and for the
  // local one it is.
  struct Case {
    bool unseen;
    bool folder;
    int age;
    bool removed;
  };
  const int settle = 2 * platform::cTemporaryFileSettleSeconds;
  const int unsure = std::max(platform::cUnsureTemporaryFileSettleSeconds, platform::PrivateFolder::cUnsureSettleSeconds);
  const std::vector<Case> cases = {
      {true, false, settle, false}, {true, false, unsure + 60, true}, {true, true, settle, false},
      {true, true, unsure + 60, true}, {false, false, settle, true},  {false, true, settle, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.unseen ? "a network file system, " : "a local file system, ") +
                 (c.folder ? "a private folder, " : "a temporary file, ") + std::to_string(c.age) + " s untouched");
    TempDir dir;
    const pid_t ended = endedProcess();
    const std::string name =
        c.folder ? "zarn-shared-" + std::to_string(ended) + "-0" : temporaryName("o.wav", ended, 0);
    if (c.folder) {
      dir.write(name + "/home/prefs", "bytes");
    } else {
      dir.write(name, "bytes");
    }
    ASSERT_TRUE(ageFile(dir.file(name), c.age));
    const zarn::test::ChildResult result = runInChild([&]() -> std::string {
      if (c.unseen) platform::gLocksMayBeUnseen = [](unsigned long) { return true; };
      const int removed = c.folder ? platform::PrivateFolder::removeStale(dir.path(), "zarn-shared")
                                   : platform::removeStaleTemporaryFiles(dir.path());
      return std::to_string(removed);
    });
    ASSERT_TRUE(result.finished) << result.output;
    EXPECT_EQ(result.output, c.removed ? "1" : "0");
    EXPECT_EQ(exists(dir.file(name)), !c.removed);
  }
}
