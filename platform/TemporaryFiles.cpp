#include "platform/TemporaryFiles.h"

#include "platform/StaleFiles.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

namespace {

const char* const cSuffix = ".quorvane-part";

bool allDigits(const std::string& s, std::string::size_type from, std::string::size_type to) {
  if (from >= to) return false;
  for (std::string::size_type i = from; i < to; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

// The writer's process id when name follows the scheme, else -1; unlocked
// tells whether it is marked as made without a lock (".NAME.PID-Nu...").
long ownerOf(const std::string& name, bool& unlocked) {
  // ".NAME.PID-N[u].quorvane-part": at least one character of NAME.
  const std::string suffix = cSuffix;
  if (name.size() < 1 + 1 + 1 + 3 + suffix.size() || name[0] != '.') return -1;
  if (name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) return -1;
  std::string::size_type end = name.size() - suffix.size();
  unlocked = name[end - 1] == 'u';
  if (unlocked) --end;
  const std::string::size_type dash = name.rfind('-', end - 1);
  if (dash == std::string::npos || !allDigits(name, dash + 1, end)) return -1;
  const std::string::size_type dot = name.rfind('.', dash - 1);
  if (dot == std::string::npos || dot < 2 || !allDigits(name, dot + 1, dash) || dash - dot - 1 > 9) return -1;
  const long pid = std::atol(name.c_str() + dot + 1);
  return pid > 0 ? pid : -1;
}

// The temporary file at path, open and locked, when it is stale (see
// isStaleTemporaryFile); nothing otherwise. While the lock is held no
// writer can take the file up again.
FileDescriptor lockIfStale(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  bool unlocked = false;
  if (ownerOf(slash == std::string::npos ? path : path.substr(slash + 1), unlocked) < 0) return {};
  return platform::lockIfStale(path, StaleKind::File, cTemporaryFileSettleSeconds, cUnsureTemporaryFileSettleSeconds,
                               unlocked ? MakersLock::None : MakersLock::Held);
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
    // A folder may hold thousands of files (a writer sweeps the one it
    // writes into): only the scheme's names, and folders to enter, are
    // looked at closer.
    const bool named = temporaryFileOwner(name) >= 0;
    if (!named && (depth <= 0 || (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN))) continue;
    const std::string path = folder + "/" + name;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      // The walk stays on the folder's own disk, off links and hidden folders.
      if (depth > 0 && name[0] != '.' && st.st_dev == sweep.device) subFolders.push_back(path);
      continue;
    }
    if (!S_ISREG(st.st_mode) || !named) continue;
    if (name.compare(1, sweep.namePrefix.size(), sweep.namePrefix) != 0) continue;
    // Removed while locked; the lock goes with the descriptor.
    const FileDescriptor locked = lockIfStale(path);
    if (locked && ::unlink(path.c_str()) == 0) ++sweep.removed;
  }
  dir.reset();
  for (const std::string& sub : subFolders) removeIn(sub, depth - 1, sweep);
}

} // namespace

// Cut at the start of a character (at least one byte kept): the file
// system takes any bytes, but a file browser shows the user the name of a
// file left behind.
std::string shortenedName(const std::string& name, size_t size) {
  if (name.size() <= size) return name;
  size_t cut = size;
  while (cut > 1 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut);
}

TemporaryFile createTemporaryFile(const std::string& path, mode_t mode) {
  static std::atomic<unsigned> counter{0};
  TemporaryFile file;
  const std::string::size_type slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = path.substr(folder.size());
  if (name.empty()) {
    errno = EISDIR;
    return file;
  }
  // What this user's writers left here before, killed outright (SIGKILL,
  // a crash, the machine stopped): no other sweep may ever look in this
  // folder.
  removeStaleTemporaryFiles(folder.empty() ? "." : folder);
  const size_t longest = longestFileName(folder);
  // Cleared once the file system has refused a lock: the files made then
  // are marked as made without one.
  bool locking = true;
  int error = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string tail =
        "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + (locking ? "" : "u") + cSuffix;
    file.path = folder + "." + shortenedName(name, longest - std::min(longest - 1, 1 + tail.size())) + tail;
    {
      // Entered for removal before it exists, so that no signal finds it
      // made and not entered; and held back until the open has told
      // whether the name is ours, so that none removes a file another made
      // first.
      const EndingSignalsHeld held;
      RemovedOnSignal entry(file.path, RemovedOnSignal::Kind::File, RemovedOnSignal::State::Making);
      file.descriptor.reset(::open(file.path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
      error = errno;
      if (file.descriptor) {
        entry.made();
        file.removedOnSignal = std::move(entry);
      } else {
        entry.drop();
      }
    }
    if (!file.descriptor) {
      if (error == EEXIST) continue;
      break;
    }
    // The lock is kept on a second descriptor of the same open file, so
    // the writer may close its own before the rename.
    const bool locked = !locking || lockMade(file.descriptor.get()) == 0;
    error = errno;
    if (locked) {
      // A sweep may have taken the name while this writer stalled between
      // its open and its lock (it held the lock first, then removed the
      // file): the name is not this writer's then, nor is whatever stands
      // there now, and it starts again under a new one.
      if (locking && !isStillNamed(file.path, file.descriptor.get())) {
        const EndingSignalsHeld held;
        file.removedOnSignal.drop();
        file.descriptor.reset();
        error = EAGAIN; // what is said should every name go so
        continue;
      }
      file.lock.reset(::fcntl(file.descriptor.get(), F_DUPFD_CLOEXEC, 0));
      error = errno;
      if (file.lock) break;
    }
    // Given up: removed, when the name is still this file (checked, as
    // above).
    {
      const EndingSignalsHeld held;
      if (isStillNamed(file.path, file.descriptor.get())) ::unlink(file.path.c_str());
      file.removedOnSignal.drop();
      file.descriptor.reset();
    }
    // A file system that keeps no locks: a sweep could not take a lock
    // there either, and would go by the file's age alone, so the file says
    // that it was made without one.
    if (locked || (error != ENOLCK && error != EOPNOTSUPP)) break;
    locking = false;
  }
  if (!file.descriptor) {
    file.path.clear();
    errno = error;
  }
  return file;
}

long temporaryFileOwner(const std::string& name) {
  bool unlocked = false;
  return ownerOf(name, unlocked);
}

bool isStaleTemporaryFile(const std::string& path) { return static_cast<bool>(lockIfStale(path)); }

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

size_t longestFileName(const std::string& folder) {
  const long longest = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  return longest > 0 ? static_cast<size_t>(longest) : NAME_MAX;
}

} // namespace platform
