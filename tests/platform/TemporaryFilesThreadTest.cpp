// Writers on several threads making temporary files while a signal ends
// the process: a handler on one thread meets names the others are making
// at that moment.

#include "platform/SignalCleanup.h"
#include "platform/TemporaryFiles.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/OpenHooks.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Counts shared with the test's process (a shared mapping made before the
// fork).
struct Counts {
  std::atomic<long> made{0};   // temporary files this process made
  std::atomic<long> theirs{0}; // names another process made first
};
Counts* sCounts = nullptr;

bool isTemporaryName(const std::string& p) {
  const std::string suffix = ".quorvane-part";
  return p.size() > suffix.size() && p.compare(p.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Another process makes every third name first, just before this one's
// open (the open then finds it there).
void anotherMakesSome(const char* path, int) {
  thread_local bool inside = false;
  static std::atomic<long> seen{0};
  if (inside || !isTemporaryName(path) || seen.fetch_add(1) % 3 != 0) return;
  inside = true;
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    if (::write(fd, "theirs", 6) == 6) sCounts->theirs.fetch_add(1);
    ::close(fd);
  }
  inside = false;
}

} // namespace

// However the signal falls among the writers (one entering a name, one
// opening it, one with its file made, one removing its own), what this
// process made is gone afterwards, and what another made first stays.
TEST(TemporaryFilesThreadTest, ASignalAmongWritersOnManyThreadsRemovesTheirsAndNeverAnothers) {
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    zarn::test::TempDir dir;
    void* shared = ::mmap(nullptr, sizeof(Counts), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    sCounts = new (shared) Counts;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      zarn::test::freshSignals();
      const platform::SignalCleanup cleanup;
      zarn::test::hooks::gBeforeOpen = anotherMakesSome;
      std::vector<std::thread> writers;
      for (int t = 0; t < 4; ++t)
        writers.emplace_back([&] {
          for (;;) {
            platform::TemporaryFile file = platform::createTemporaryFile(dir.file("out.wav"), 0644);
            if (!file) ::_exit(2);
            sCounts->made.fetch_add(1);
            // The writer gives it up itself, as a failed save does.
            ::unlink(file.path.c_str());
          }
        });
      // Once the writers are well under way, to the whole process.
      while (sCounts->made.load() < 200) std::this_thread::yield();
      ::kill(::getpid(), SIGTERM);
      for (;;) ::pause();
    }
    int status = 0;
    if (!zarn::test::awaitChild(child, status)) {
      ADD_FAILURE() << "the child did not end";
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    long theirs = 0, ours = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
      if (dir.read(e.path().filename()) == "theirs")
        ++theirs;
      else
        ++ours;
    }
    EXPECT_EQ(ours, 0);
    EXPECT_EQ(theirs, sCounts->theirs.load());
    EXPECT_GT(theirs, 0);
    ::munmap(shared, sizeof(Counts));
  }
}
