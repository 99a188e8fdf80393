#include "platform/TemporaryFiles.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

const char* const cSuffix = ".part";

bool allDigits(const std::string& s, std::string::size_type from, std::string::size_type to) {
  if (from >= to) return false;
  for (std::string::size_type i = from; i < to; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

// When the process started, in seconds since 1970, or -1 when the system
// does not tell (no /proc): the start tick from its stat line and the boot
// time.
double processStartSeconds(long pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return -1;
  // The command name in parentheses may hold blanks: fields are counted
  // from the last ')', which ends it; the start time is field 22.
  const std::string::size_type close = line.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  unsigned long long startTicks = 0;
  for (int i = 3; i <= 22 && fields >> field; ++i)
    if (i == 22) startTicks = std::strtoull(field.c_str(), nullptr, 10);
  if (!fields) return -1;
  std::ifstream system("/proc/stat");
  long long bootSeconds = -1;
  while (std::getline(system, line))
    if (line.rfind("btime ", 0) == 0) bootSeconds = std::atoll(line.c_str() + 6);
  const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
  if (bootSeconds < 0 || ticksPerSecond <= 0) return -1;
  return static_cast<double>(bootSeconds) + static_cast<double>(startTicks) / static_cast<double>(ticksPerSecond);
}

struct Sweep {
  std::string namePrefix;
  dev_t device = 0;
  int foldersLeft = 0;
  int removed = 0;
};

void removeIn(const std::string& folder, int depth, Sweep& sweep) {
  if (sweep.foldersLeft-- <= 0) return;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
  if (!dir) return;
  std::vector<std::string> subFolders;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      // The walk stays on the folder's own disk, off links and hidden folders.
      if (depth > 0 && name[0] != '.' && st.st_dev == sweep.device) subFolders.push_back(path);
      continue;
    }
    if (!S_ISREG(st.st_mode) || temporaryFileOwner(name) < 0) continue;
    if (name.compare(1, sweep.namePrefix.size(), sweep.namePrefix) != 0) continue;
    if (isStaleTemporaryFile(path) && ::unlink(path.c_str()) == 0) ++sweep.removed;
  }
  dir.reset();
  for (const std::string& sub : subFolders) removeIn(sub, depth - 1, sweep);
}

} // namespace

FileDescriptor createTemporaryFile(const std::string& path, mode_t mode, std::string& temp) {
  static std::atomic<unsigned> counter{0};
  const std::string::size_type slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = path.substr(folder.size());
  if (name.empty()) {
    errno = EISDIR;
    return FileDescriptor();
  }
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = folder + "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + cSuffix;
    fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) temp.clear();
  return FileDescriptor(fd);
}

long temporaryFileOwner(const std::string& name) {
  // ".NAME.PID-N.part": at least one character of NAME.
  const std::string suffix = cSuffix;
  if (name.size() < 1 + 1 + 1 + 3 + suffix.size() || name[0] != '.') return -1;
  if (name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) return -1;
  const std::string::size_type end = name.size() - suffix.size();
  const std::string::size_type dash = name.rfind('-', end - 1);
  if (dash == std::string::npos || !allDigits(name, dash + 1, end)) return -1;
  const std::string::size_type dot = name.rfind('.', dash - 1);
  if (dot == std::string::npos || dot < 2 || !allDigits(name, dot + 1, dash) || dash - dot - 1 > 9) return -1;
  const long pid = std::atol(name.c_str() + dot + 1);
  return pid > 0 ? pid : -1;
}

bool isStaleTemporaryFile(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  const long pid = temporaryFileOwner(slash == std::string::npos ? path : path.substr(slash + 1));
  if (pid < 0) return false;
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return true;
  // The number is taken. A process cannot have written a file before it
  // started: a file last written well before the start (the clocks of the
  // two differ by a second or so) is an ended process's.
  const double started = processStartSeconds(pid);
  if (started < 0) return false;
  const double written = static_cast<double>(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec * 1e-9;
  return written < started - 2.0;
}

int removeStaleTemporaryFiles(const std::string& folder, const std::string& namePrefix, int depth) {
  if (folder.empty()) return 0;
  std::string f = folder;
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  struct stat st;
  if (::stat(f.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
  Sweep sweep;
  sweep.namePrefix = namePrefix;
  sweep.device = st.st_dev;
  // A library may be large: a start-up sweep looks at a bounded number of
  // folders.
  sweep.foldersLeft = 1000;
  removeIn(f, depth, sweep);
  return sweep.removed;
}

} // namespace platform
