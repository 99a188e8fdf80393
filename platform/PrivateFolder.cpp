#include "platform/PrivateFolder.h"

#include "platform/StaleFiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

// The system's temporary folder, and what named it (for a reason given
// when no folder can be made there).
std::string temporaryFolder(std::string& source) {
  const char* tmp = std::getenv("TMPDIR");
  source = tmp && tmp[0] == '/' ? " (TMPDIR)" : "";
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
  std::string source;
  const std::string base = temporaryFolder(source);
  removeStale(base, prefix);
  int error = EEXIST;
  for (int i = 0; i < 100 && mPath.empty(); ++i) {
    const std::string path = base + "/" + prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(i);
    int made;
    {
      // Entered for removal before it exists, and the signals held back
      // until the mkdir has told whether the name is ours (see
      // SignalCleanup.h).
      const EndingSignalsHeld held;
      RemovedOnSignal entry(path, RemovedOnSignal::Kind::Folder, RemovedOnSignal::State::Making);
      made = ::mkdir(path.c_str(), 0700);
      error = errno;
      if (made == 0) {
        entry.made();
        mRemovedOnSignal = std::move(entry);
      }
    }
    if (made != 0) {
      if (error == EEXIST) continue;
      break;
    }
    // Held for the folder's life: a sweep in any process leaves it alone.
    mLock.reset(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    error = errno;
    const bool locked = mLock && lockMade(mLock.get()) == 0;
    if (mLock) error = errno;
    // A sweep may have taken the folder while this process stalled between
    // making it and locking it: the name is not this process's then, nor
    // whatever stands there now, and it starts again under a new one.
    const bool gone = mLock ? locked && !isStillNamed(path, mLock.get())
                            : error == ENOENT || error == ENOTDIR || error == ELOOP;
    if (gone) {
      mLock.reset();
      const EndingSignalsHeld held;
      mRemovedOnSignal.drop();
      continue;
    }
    if (!locked) {
      mLock.reset();
      const EndingSignalsHeld held;
      ::rmdir(path.c_str());
      mRemovedOnSignal.drop();
      break;
    }
    mPath = path;
  }
  if (mPath.empty()) mError = "cannot make a folder in " + base + source + ": " + std::strerror(error);
}

PrivateFolder::~PrivateFolder() {
  if (!mPath.empty()) removeTreeAt(AT_FDCWD, mPath.c_str());
  mRemovedOnSignal.drop();
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
    const FileDescriptor locked = lockIfStale(path, StaleKind::Folder, cSettleSeconds, cUnsureSettleSeconds);
    if (locked && removeTreeAt(AT_FDCWD, path.c_str())) ++removed;
  }
  return removed;
}

} // namespace platform
