#pragma once
// Runs a zarn-host command in the test's process, or in a child process the
// test can give up on, and keeps what it said.

#include "tests/support/ChildProcess.h"
#include "tools/host/RenderCommand.h"
#include "tools/host/snapshot/SnapshotCommand.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace hosttest {

struct Result {
  int status = 0;
  std::string out, err;
};

inline Result run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  Result r;
  // As the program's main: snapshot lives in a library of its own.
  r.status = !args.empty() && args[0] == "snapshot"
                 ? simhost::runSnapshotCommand({args.begin() + 1, args.end()}, out, err)
                 : simhost::runHostCommand(args, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

// The same in a child process, without a display: a command that would
// hang or run for long (the fault under test) is killed after waitSeconds
// and gives status -1; the plug-in it loads stays out of the test's
// process. prepare, when given, runs in the child first (to change what
// that process alone sees); when it returns a reason it could not, the
// command is not run and the status is cNotPrepared, with the reason in
// err.
constexpr int cNotPrepared = -2;
inline Result runInChild(const std::vector<std::string>& args, int waitSeconds = 60,
                         const std::function<std::string()>& prepare = {}) {
  const zarn::test::ChildResult child = zarn::test::runInChild(
      [&] {
        ::unsetenv("DISPLAY");
        if (const std::string why = prepare ? prepare() : ""; !why.empty())
          return std::to_string(cNotPrepared) + " 0\n" + why;
        const Result r = run(args);
        return std::to_string(r.status) + " " + std::to_string(r.out.size()) + "\n" + r.out + r.err;
      },
      waitSeconds);
  Result r;
  r.status = -1;
  const size_t head = child.output.find('\n');
  size_t outSize = 0;
  if (!child.finished || head == std::string::npos ||
      std::sscanf(child.output.c_str(), "%d %zu", &r.status, &outSize) != 2 || outSize > child.output.size() - head - 1)
    return Result{-1, "", child.output};
  r.out = child.output.substr(head + 1, outSize);
  r.err = child.output.substr(head + 1 + outSize);
  return r;
}

#ifdef ZARN_HOST_EXECUTABLE
// zarn-host run as a program of its own (the plug-in is never loaded into
// the test), with only the environment given, its output and errors into
// files (or its errors into errFd, when one is given: a pipe's end). Every
// signal has its default action in it, and none is held back, whatever the
// test's own are (a test runner may ignore SIGHUP or SIGPIPE).
inline pid_t startHost(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                       const std::string& outFile, const std::string& errFile, int errFd = -1) {
  std::vector<std::string> args{ZARN_HOST_EXECUTABLE};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<std::string> env = environment;
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (errFd >= 0)
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
  else
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all, none;
  sigfillset(&all);
  sigdelset(&all, SIGKILL);
  sigdelset(&all, SIGSTOP);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The wait status of a program started above, or -1 when it did not end
// within the (generous) wait and was killed.
inline int waitForExit(pid_t pid, int waitSeconds = 120) {
  int status = 0;
  return zarn::test::awaitChild(pid, status, waitSeconds) ? status : -1;
}
#endif

// A folder of the user's library (in the test's home, beside the folder of
// the factory preset "Sub Bass"), removed with what it holds at the end.
// The factory presets must be in place (the plug-in's first run).
class LibraryFolder {
public:
  explicit LibraryFolder(const std::string& name) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(std::getenv("HOME")))
      if (entry.path().filename() == "Sub Bass.qvp") mSubBass = entry.path();
    if (mSubBass.empty()) return;
    mPath = mSubBass.parent_path().parent_path() / name;
    std::filesystem::create_directory(mPath);
  }
  ~LibraryFolder() {
    std::error_code ec;
    if (!mPath.empty()) std::filesystem::remove_all(mPath, ec);
  }
  LibraryFolder(const LibraryFolder&) = delete;
  LibraryFolder& operator=(const LibraryFolder&) = delete;

  // Empty when the factory presets are not in place.
  const std::filesystem::path& path() const { return mPath; }
  const std::filesystem::path& subBass() const { return mSubBass; }

private:
  std::filesystem::path mSubBass;
  std::filesystem::path mPath;
};

} // namespace hosttest
