// Preloaded (LD_PRELOAD) into a zarn-host that a test runs, to stop it at
// the very moment a writer in it holds a temporary file: the first time a
// file named .NAME.PID-N.quorvane-part below the folder ZARN_STOP_BELOW
// is locked as made (flock LOCK_EX), that thread writes the file's path to
// ZARN_STOP_MARK and waits there for the signal the test then sends. The
// file is made, entered for removal on a signal and not yet renamed, as
// while the writer copies its bytes. Should no signal end the process
// within a minute, it exits with 97, which fails the test.
//
// flock is found by the C library's name, so the plug-in's bundle, which
// calls it through its own private copy of the platform library, meets
// this one as the program does.

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

std::atomic<bool> sStopped{false};

bool endsWith(const char* s, size_t size, const char* tail) {
  const size_t n = std::strlen(tail);
  return size >= n && std::memcmp(s + size - n, tail, n) == 0;
}

// Whether fd is open on a temporary file below the folder the test named.
bool isWatched(int fd) {
  const char* below = std::getenv("ZARN_STOP_BELOW");
  if (!below || !*below) return false;
  char link[64], path[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t size = ::readlink(link, path, sizeof path - 1);
  if (size <= 0) return false;
  path[size] = 0;
  const size_t prefix = std::strlen(below);
  return std::strncmp(path, below, prefix) == 0 && path[prefix] == '/' &&
         endsWith(path, static_cast<size_t>(size), ".quorvane-part") && std::strstr(path, "/.") != nullptr;
}

// Says where it stopped: written under another name and renamed, so that
// the test never reads half of it.
void mark(int fd) {
  const char* at = std::getenv("ZARN_STOP_MARK");
  if (!at) return;
  char link[64], path[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t size = ::readlink(link, path, sizeof path);
  char partial[4096];
  std::snprintf(partial, sizeof partial, "%s.partial", at);
  const int out = ::open(partial, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (out < 0) return;
  if (size > 0 && ::write(out, path, static_cast<size_t>(size)) != size) std::_Exit(96);
  ::close(out);
  ::rename(partial, at);
}

} // namespace

extern "C" int flock(int fd, int operation) {
  using Flock = int (*)(int, int);
  static const Flock next = reinterpret_cast<Flock>(::dlsym(RTLD_NEXT, "flock"));
  const int result = next(fd, operation);
  if (result != 0 || (operation & LOCK_EX) == 0 || (operation & LOCK_NB) != 0 || !isWatched(fd)) return result;
  if (sStopped.exchange(true)) return result;
  mark(fd);
  // Until the signal the test sends ends the process (its handler may run
  // on this thread or on another).
  const time_t until = std::time(nullptr) + 60;
  while (std::time(nullptr) < until) {
    const struct timespec nap = {0, 50'000'000};
    ::nanosleep(&nap, nullptr);
  }
  std::_Exit(97);
}
