// A signal that ends the program while a new file takes its name on a file
// system without a rename that may not replace and without hard links
// (vfat): the name is reserved there by an empty file made exclusively,
// and the whole file renamed over it. A program ended in between must not
// leave that empty file (a factory preset copied on a first run would fail
// to load ever after, and no later first run would copy it again), nor
// remove a file that has taken the name meanwhile.

#include "platform/ReplacingFile.h"
#include "platform/SignalCleanup.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/OpenHooks.h"
#include "tests/support/TempDir.h"
#include "tests/support/WithoutLinks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <new>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using zarn::test::namesIn;

namespace {

// How far the child has come, shared with the test's process (a shared
// mapping made before the fork).
enum Phase : int { cWriting, cSignalNow, cHandlerAtName, cWriterReturned };
struct Shared {
  std::atomic<int> phase{cWriting};
  std::atomic<int> committed{-1}; // what commitAsNew returned; -1: it did not return
  char error[512] = {};
};
Shared* sShared = nullptr;

// Waits in the child until phase is reached; a child that waits longer
// than any machine needs ends with 4, which fails the case.
void awaitPhase(int phase) {
  const std::time_t until = std::time(nullptr) + 30;
  while (sShared->phase.load() < phase) {
    if (std::time(nullptr) > until) ::_exit(4);
    const struct timespec nap = {0, 1'000'000};
    ::nanosleep(&nap, nullptr);
  }
}

// The handler on another thread is about to remove the reserved name,
// having looked at it: the writer goes on meanwhile, as far as it may.
void writerGoesOnAsTheHandlerRemoves(int, const char* name) {
  if (std::strcmp(name, "Sub Bass.qvp") != 0) return;
  sShared->phase.store(cHandlerAtName);
  awaitPhase(cWriterReturned);
}


} // namespace

// The writer's own thread takes no ending signal between the reservation
// and the rename: one raised there arrives once the whole file holds the
// name. One taken on another thread meanwhile removes the reservation
// while it is still the writer's empty file, and keeps whatever took the
// name: another's file made in its place (empty too), the reservation
// written into by another, and the writer's own file, which the writer
// does not rename over a reservation the handler has taken (that handler
// looks at the name, the writer goes on, then the handler removes it).
// Afterwards no empty file and no temporary file is left, and a later
// save of the name as new lands.
TEST(ReservedNameSignalTest, ASignalAtTheReservationLeavesNoEmptyFileAndTakesNoFileThatTookTheName) {
  struct Case {
    const char* what;
    bool otherThread;
    std::function<void(const std::string& at)> between; // at the reserved name, before the signal
    bool handlerFirst; // the handler looks at the reservation before the writer goes on
    const char* left;  // at the name afterwards; nullptr: nothing
    int committed;     // what commitAsNew returned, -1: the signal ended the process first
  };
  const auto makeTheirs = [](const char* bytes) {
    return [bytes](const std::string& at) {
      ::unlink(at.c_str());
      const int fd = ::open(at.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (fd < 0 || ::write(fd, bytes, std::strlen(bytes)) != static_cast<ssize_t>(std::strlen(bytes))) ::_exit(6);
      ::close(fd);
    };
  };
  const std::vector<Case> cases = {
      {"on the writing thread: held until the file holds the name", false, {}, false, "factory", -1},
      {"on another thread: the empty reservation goes", true, {}, false, nullptr, -1},
      {"another's file made in its place is kept", true, makeTheirs("theirs"), false, "theirs", -1},
      {"another's empty file made in its place is kept", true, makeTheirs(""), false, "", -1},
      {"the reservation written into by another is kept", true,
       [](const std::string& at) {
         const int fd = ::open(at.c_str(), O_WRONLY | O_CLOEXEC);
         if (fd < 0 || ::write(fd, "theirs", 6) != 6) ::_exit(6);
         ::close(fd);
       },
       false, "theirs", -1},
      {"the writer renames nothing over a reservation the handler took", true, {}, true, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zarn::test::TempDir dir("reserved");
    const std::string at = dir.file("Sub Bass.qvp");
    void* mapping = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapping, MAP_FAILED);
    sShared = new (mapping) Shared;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      zarn::test::freshSignals();
      const struct rlimit noCore {0, 0};
      ::setrlimit(RLIMIT_CORE, &noCore);
      const platform::SignalCleanup cleanup;
      // Takes the signal on a thread of its own when told to.
      std::thread signaller([] {
        awaitPhase(cSignalNow);
        ::raise(SIGTERM);
        ::_exit(5);
      });
      signaller.detach();
      // The handler comes to the reservation's entry before the temporary
      // file's (an entry freed before the reservation is made is taken by
      // it), so that the temporary file is still there to be renamed.
      platform::RemovedOnSignal ahead;
      if (c.handlerFirst) ahead = platform::RemovedOnSignal(dir.file("ahead"), platform::RemovedOnSignal::Kind::File);
      platform::ReplacingFile file;
      if (!file.create(at) || !file.writeAll("factory", 7)) ::_exit(2);
      ahead.drop();
      if (c.handlerFirst) zarn::test::hooks::gBeforeUnlinkAt = writerGoesOnAsTheHandlerRemoves;
      const zarn::test::WithoutLinks vfat([&](const std::string& name) {
        if (c.between) c.between(name);
        if (!c.otherThread) {
          ::raise(SIGTERM);
          return;
        }
        sShared->phase.store(cSignalNow);
        // Until the handler ends the process, or looks at the name.
        awaitPhase(c.handlerFirst ? int(cHandlerAtName) : int(cWriterReturned));
      });
      const bool committed = file.commitAsNew();
      std::strncpy(sShared->error, file.error().c_str(), sizeof sShared->error - 1);
      sShared->committed.store(committed ? 1 : 0);
      sShared->phase.store(cWriterReturned);
      // The handler ends the process now; a child still here fails.
      const std::time_t until = std::time(nullptr) + 30;
      while (std::time(nullptr) <= until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      ::_exit(3);
    }
    int status = 0;
    if (!zarn::test::awaitChild(child, status)) {
      ADD_FAILURE() << "the child did not end";
      continue;
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(sShared->committed.load(), c.committed) << sShared->error;
    if (c.committed == 0) {
      EXPECT_EQ(std::string(sShared->error), "cannot write " + at + ": Interrupted system call");
    }
    // A commit that said the file landed: it is there.
    if (sShared->committed.load() == 1) {
      EXPECT_EQ(dir.read("Sub Bass.qvp"), "factory");
    }
    // Nothing but what holds the name: no temporary file, no reservation.
    EXPECT_EQ(namesIn(dir.path()), c.left ? std::vector<std::string>{"Sub Bass.qvp"} : std::vector<std::string>{});
    if (c.left) {
      EXPECT_EQ(dir.read("Sub Bass.qvp"), c.left);
    } else {
      // The name is free for the next save (a later first run's copy).
      const zarn::test::WithoutLinks vfat;
      platform::ReplacingFile again;
      ASSERT_TRUE(again.create(at)) << again.error();
      ASSERT_TRUE(again.writeAll("factory", 7));
      EXPECT_TRUE(again.commitAsNew()) << again.error();
      EXPECT_EQ(dir.read("Sub Bass.qvp"), "factory");
    }
    ::munmap(mapping, sizeof(Shared));
    sShared = nullptr;
  }
}
