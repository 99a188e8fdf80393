#include "tests/support/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zarn::test {

ChildResult runInChild(const std::function<std::string()>& body, int waitSeconds) {
  ChildResult result;
  int fds[2];
  if (::pipe(fds) != 0) return result;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return result;
  }
  if (child == 0) {
    ::close(fds[0]);
    const std::string out = body();
    size_t done = 0;
    while (done < out.size()) {
      const ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::close(fds[1]);
    ::_exit(0);
  }
  ::close(fds[1]);
  // Read while waiting, so a long result cannot fill the pipe and stall the
  // child.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
  std::string out;
  int status = 0;
  bool exited = false;
  ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
  while (!exited) {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
    const pid_t w = ::waitpid(child, &status, WNOHANG);
    if (w == child) {
      exited = true;
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!exited) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
  } else {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  result.finished = exited && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  result.output = out;
  return result;
}

pid_t endedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

bool awaitChild(pid_t child, int& status, int waitSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
  for (;;) {
    const pid_t ended = ::waitpid(child, &status, WNOHANG);
    if (ended == child) return true;
    if (ended < 0 && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) break;
    ::usleep(10'000);
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, &status, 0);
  return false;
}

void freshSignals() {
  ::signal(SIGTERM, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

} // namespace zarn::test
