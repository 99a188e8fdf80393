#include "tests/support/LeftBehind.h"

#include "tests/support/ChildProcess.h"

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zarn::test {

std::string temporaryName(const std::string& name, long pid, int n) {
  return "." + name + "." + std::to_string(pid) + "-" + std::to_string(n) + ".quorvane-part";
}

std::string unlockedTemporaryName(const std::string& name, long pid, int n) {
  return "." + name + "." + std::to_string(pid) + "-" + std::to_string(n) + "u.quorvane-part";
}

std::string oldTemporaryName(const std::string& name, long pid, int n) {
  return "." + name + "." + std::to_string(pid) + "-" + std::to_string(n) + ".part";
}

bool ageFile(const std::string& path, int seconds) {
  struct timespec times[2];
  ::clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= seconds;
  times[1] = times[0];
  return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

LockHolder::LockHolder(const std::string& path) {
  int ready[2];
  if (::pipe(ready) != 0) return;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    // A folder or an existing file as it is, else a new file.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
    if (::write(ready[1], "l", 1) != 1) ::_exit(1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char c = 0;
  const bool locked = child > 0 && ::read(ready[0], &c, 1) == 1;
  ::close(ready[0]);
  if (child > 0 && !locked) {
    int status = 0;
    awaitChild(child, status);
  }
  mPid = locked ? child : -1;
}

LockHolder::~LockHolder() {
  if (mPid <= 0) return;
  ::kill(mPid, SIGKILL);
  int status = 0;
  ::waitpid(mPid, &status, 0);
}

} // namespace zarn::test
