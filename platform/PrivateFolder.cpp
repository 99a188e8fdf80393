#include "platform/PrivateFolder.h"

#include "platform/StaleFiles.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr int cSignals[3] = {SIGTERM, SIGINT, SIGHUP};

// The folder the signal handler removes: written before the handler is
// installed and cleared after it is taken away.
char sArmedPath[PATH_MAX];
std::atomic<bool> sArmed{false};
struct sigaction sOldActions[3];

struct DirectoryEntry64 {
  ino64_t inode;
  off64_t offset;
  unsigned short length;
  unsigned char type;
  char name[1];
};

// Removes name in the folder open as parent, a whole tree when it is a
// folder, never following a link. Only async-signal-safe calls (open,
// getdents64, unlink, close): it also runs in the signal handler.
void removeTreeAt(int parent, const char* name, int depth) {
  if (::unlinkat(parent, name, 0) == 0 || (errno != EISDIR && errno != EPERM) || depth > 64) return;
  const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  // Removing entries while reading a folder may skip some: read it again
  // from the start until a pass finds nothing left.
  for (int pass = 0; pass < 100; ++pass) {
    alignas(8) char buffer[4096];
    bool found = false;
    ::lseek(fd, 0, SEEK_SET);
    for (;;) {
      const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
      if (n <= 0) break;
      for (long at = 0; at < n;) {
        const auto* entry = reinterpret_cast<const DirectoryEntry64*>(buffer + at);
        at += entry->length;
        const char* child = entry->name;
        if (child[0] == '.' && (child[1] == 0 || (child[1] == '.' && child[2] == 0))) continue;
        found = true;
        removeTreeAt(fd, child, depth + 1);
      }
    }
    if (!found) break;
  }
  ::close(fd);
  ::unlinkat(parent, name, AT_REMOVEDIR);
}

void removeTree(const char* path) { removeTreeAt(AT_FDCWD, path, 0); }

void onSignal(int signal) {
  const int saved = errno;
  if (sArmed.exchange(false)) removeTree(sArmedPath);
  // Then the signal does what it did before: ends the process, as a rule.
  for (int i = 0; i < 3; ++i)
    if (cSignals[i] == signal) ::sigaction(signal, &sOldActions[i], nullptr);
  errno = saved;
  ::raise(signal);
}

std::string temporaryFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = tmp && tmp[0] == '/' ? tmp : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// Whether name is PREFIX-DIGITS-DIGITS.
bool ownName(const std::string& name, const std::string& prefix) {
  if (name.compare(0, prefix.size() + 1, prefix + "-") != 0) return false;
  const std::string rest = name.substr(prefix.size() + 1);
  const std::string::size_type dash = rest.find('-');
  if (dash == std::string::npos || dash == 0 || dash + 1 == rest.size()) return false;
  for (std::string::size_type i = 0; i < rest.size(); ++i)
    if (i != dash && (rest[i] < '0' || rest[i] > '9')) return false;
  return true;
}

} // namespace

PrivateFolder::PrivateFolder(const std::string& prefix) {
  const std::string base = temporaryFolder();
  removeStale(base, prefix);
  for (int i = 0; i < 100 && mPath.empty(); ++i) {
    const std::string path = base + "/" + prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(i);
    if (::mkdir(path.c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;
      return;
    }
    // Held for the folder's life: a sweep in any process leaves it alone.
    mLock.reset(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!mLock || ::flock(mLock.get(), LOCK_EX) != 0) {
      mLock.reset();
      ::rmdir(path.c_str());
      return;
    }
    mPath = path;
  }
  if (mPath.empty() || mPath.size() >= sizeof sArmedPath || sArmed.load()) return;
  std::memcpy(sArmedPath, mPath.c_str(), mPath.size() + 1);
  for (int i = 0; i < 3; ++i) {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(cSignals[i], nullptr, &mOld[i]);
    sOldActions[i] = mOld[i];
    // A signal the process was told to ignore (nohup) stays ignored.
    if (mOld[i].sa_handler != SIG_IGN) ::sigaction(cSignals[i], &action, nullptr);
  }
  sArmed = true;
  mArmed = true;
}

PrivateFolder::~PrivateFolder() {
  if (mArmed) {
    sArmed = false;
    for (int i = 0; i < 3; ++i)
      if (mOld[i].sa_handler != SIG_IGN) ::sigaction(cSignals[i], &mOld[i], nullptr);
  }
  if (!mPath.empty()) removeTree(mPath.c_str());
}

int PrivateFolder::removeStale(const std::string& folder, const std::string& prefix) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
  if (!dir || prefix.empty()) return 0;
  std::vector<std::string> candidates;
  while (const dirent* entry = ::readdir(dir.get()))
    if (ownName(entry->d_name, prefix)) candidates.push_back(folder + "/" + entry->d_name);
  dir.reset();
  int removed = 0;
  for (const std::string& path : candidates) {
    // Removed while locked: no process can take it up meanwhile.
    const FileDescriptor locked = lockIfStale(path, StaleKind::Folder, cSettleSeconds);
    if (!locked) continue;
    removeTree(path.c_str());
    ++removed;
  }
  return removed;
}

} // namespace platform
