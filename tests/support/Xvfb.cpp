#include "tests/support/Xvfb.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zarn::test {

Xvfb::Xvfb() {
  int fds[2];
  if (pipe(fds) != 0) {
    why = "no pipe";
    return;
  }
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  const std::string fdText = std::to_string(fds[1]);
  std::vector<std::string> args = {"Xvfb", "-displayfd", fdText, "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                                   "-noreset"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    pid = -1;
    close(fds[0]);
    why = "cannot run Xvfb";
    return;
  }
  std::string number;
  for (;;) {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) break;
    char c;
    const ssize_t n = read(fds[0], &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty()) {
    why = "Xvfb gave no display number";
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
    return;
  }
  name = ":" + number;
}

Xvfb::~Xvfb() {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

Xvfb& Xvfb::shared() {
  static Xvfb server;
  return server;
}

} // namespace zarn::test
