#include "platform/StaleFiles.h"

#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool isKind(const struct stat& st, StaleKind kind) {
  return kind == StaleKind::Folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

} // namespace

FileDescriptor lockIfStale(const std::string& path, StaleKind kind, int settleSeconds) {
  struct stat named;
  if (::lstat(path.c_str(), &named) != 0 || !isKind(named, kind) || named.st_uid != ::geteuid()) return {};
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  if (named.st_mtim.tv_sec > now.tv_sec - settleSeconds) return {};
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (kind == StaleKind::Folder ? O_DIRECTORY : 0);
  FileDescriptor fd(::open(path.c_str(), flags));
  struct stat held;
  if (!fd || ::fstat(fd.get(), &held) != 0 || !sameFile(held, named)) return {};
  // Refused while its process holds it, and always where no locks are kept.
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return {};
  // Still the one under that name (not renamed away and replaced)?
  if (::lstat(path.c_str(), &named) != 0 || !sameFile(held, named)) return {};
  return fd;
}

} // namespace platform
