#include "tests/support/Xvfb.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/Waiting.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zarn::test {

Xvfb::Xvfb() {
  int fds[2];
  if (pipe(fds) != 0) {
    why = "no pipe";
    return;
  }
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  const std::string fdText = std::to_string(fds[1]);
  std::vector<std::string> args = {"Xvfb", "-displayfd", fdText, "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                                   "-noreset"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // A test program that ends without running its destructors (a crash, a
  // timeout's kill, a death test's child) would leave the server running
  // with no parent: the server is told to end with the thread that starts
  // it, a test body on the program's main thread. Between fork and exec,
  // only calls that are safe in a child of a threaded program.
  const pid_t parent = getpid();
  pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    close(fds[0]);
    execvp("Xvfb", argv.data());
    _exit(127);
  }
  close(fds[1]);
  if (pid < 0) {
    pid = -1;
    close(fds[0]);
    why = "cannot run Xvfb";
    return;
  }
  // A server that starts on a busy machine may take seconds to say its
  // number.
  const auto giveUp = std::chrono::steady_clock::now() + cPatience;
  std::string number;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - std::chrono::steady_clock::now()).count();
    pollfd p{fds[0], POLLIN, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
    char c;
    const ssize_t n = read(fds[0], &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty()) {
    kill(pid, SIGTERM);
    int status = 0;
    awaitChild(pid, status);
    // 127: the child found no Xvfb to run.
    why = WIFEXITED(status) && WEXITSTATUS(status) == 127 ? "cannot run Xvfb" : "Xvfb gave no display number";
    pid = -1;
    return;
  }
  name = ":" + number;
}

Xvfb::~Xvfb() {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status = 0;
  awaitChild(pid, status);
}

Xvfb& Xvfb::shared() {
  static Xvfb server;
  return server;
}

} // namespace zarn::test
