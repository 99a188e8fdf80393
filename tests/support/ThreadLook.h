#pragma once
// Where a thread of another process stands, as /proc shows it: asleep in
// which system call, and how often it has gone to sleep so far. A test
// waits on that (with eventually()) for a state the code under test has no
// reason to announce: a process pausing between its tries for a lock, a
// render thread back in its wait for the next buffer after rendering one.
//
// The blocked thread's call and arguments come from /proc/PID/task/TID/
// syscall, which the kernel shows to the process's owner (and root); the
// count of sleeps is voluntary_ctxt_switches, which grows by one each time
// the thread blocks.

#include <array>
#include <cstdint>
#include <dirent.h>
#include <linux/futex.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/syscall.h>
#include <sys/types.h>
#include <vector>

namespace zarn::test {

struct ThreadLook {
  // The system call it sleeps in and its six arguments; -1 while it runs
  // or sleeps outside a call.
  long call = -1;
  std::array<uint64_t, 6> args{};
  // How many times it has blocked since it started.
  long sleeps = 0;
};

namespace threadlook {
inline std::string text(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
inline std::string taskFolder(pid_t pid, pid_t tid) {
  return "/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid);
}
inline long sleeps(const std::string& task) {
  const std::string status = text(task + "/status");
  const std::string key = "voluntary_ctxt_switches:";
  const size_t at = status.find("\n" + key);
  return at == std::string::npos ? -1 : std::stol(status.substr(at + 1 + key.size()));
}
} // namespace threadlook

// The threads of process pid whose name (as the thread set it) is `name`.
inline std::vector<pid_t> threadsNamed(pid_t pid, const std::string& name) {
  std::vector<pid_t> found;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* d = ::opendir(tasks.c_str());
  if (!d) return found;
  while (const dirent* e = ::readdir(d)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    const pid_t tid = static_cast<pid_t>(std::stol(e->d_name));
    if (threadlook::text(tasks + "/" + e->d_name + "/comm") == name + "\n") found.push_back(tid);
  }
  ::closedir(d);
  return found;
}

// One consistent look at thread tid of process pid (for a process of one
// thread, tid = pid): the count of sleeps is the same before and after the
// call is read, so the call is that of the sleep counted. None when the
// thread is gone or /proc does not show it.
inline std::optional<ThreadLook> lookAt(pid_t pid, pid_t tid) {
  const std::string task = threadlook::taskFolder(pid, tid);
  ThreadLook look;
  look.sleeps = threadlook::sleeps(task);
  std::istringstream call(threadlook::text(task + "/syscall"));
  std::string first;
  if (look.sleeps < 0 || !(call >> first)) return std::nullopt;
  if (first != "running" && first != "-1") {
    look.call = std::stol(first);
    for (uint64_t& a : look.args) {
      std::string hex;
      if (!(call >> hex)) return std::nullopt;
      a = std::stoull(hex, nullptr, 16);
    }
  }
  if (threadlook::sleeps(task) != look.sleeps) return ThreadLook{-1, {}, look.sleeps};
  return look;
}

// Whether it sleeps for a while (nanosleep, as std::this_thread::sleep_for
// and usleep do).
inline bool inPause(const ThreadLook& look) {
#ifdef SYS_nanosleep
  if (look.call == SYS_nanosleep) return true;
#endif
  return look.call == SYS_clock_nanosleep;
}

// Whether it sleeps on a futex word until a deadline on the clock
// (FUTEX_WAIT_BITSET), as a thread paced by the clock does; args[0] is the
// word.
inline bool inFutexWaitUntil(const ThreadLook& look) {
  return look.call == SYS_futex && (look.args[1] & FUTEX_CMD_MASK) == FUTEX_WAIT_BITSET;
}

} // namespace zarn::test
