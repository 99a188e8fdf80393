#include "platform/StaleFiles.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace platform {

namespace {

bool isKind(const struct stat& st, StaleKind kind) {
  return kind == StaleKind::Folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

int takeLock(int fd) {
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  return locked;
}

bool keepsNoLocks(int error) { return error == ENOLCK || error == EOPNOTSUPP; }

} // namespace

int (*gTakeMadeLock)(int fd) = takeLock;
bool (*gLocksMayBeUnseen)(unsigned long fileSystemType) = locksMayBeUnseen;

bool locksMayBeUnseen(unsigned long fileSystemType) {
  // The types statfs reports for them (four bytes each).
  switch (fileSystemType & 0xFFFFFFFFul) {
  case NFS_SUPER_MAGIC:
  case SMB_SUPER_MAGIC:
  case CIFS_SUPER_MAGIC:
  case SMB2_SUPER_MAGIC:
  case NCP_SUPER_MAGIC:
  case CODA_SUPER_MAGIC:
  case AFS_SUPER_MAGIC:
  case AFS_FS_MAGIC:
  case CEPH_SUPER_MAGIC:
  case V9FS_MAGIC:
  case OCFS2_SUPER_MAGIC:
  // FUSE: sshfs, a cloud drive or a cluster client; its locks are whatever
  // the server makes of them, often only this machine's.
  case FUSE_SUPER_MAGIC:
  case 0x01161970: // GFS2
  case 0x0BD00BD0: // Lustre
  case 0x47504653: // GPFS
  case 0x20030528: // OrangeFS
  case 0x19830326: // BeeGFS
  case 0xAAD7AAEA: // PanFS
  case 0x786F4256: // a virtual machine's shared folder
    return true;
  default:
    return false;
  }
}

FileDescriptor lockIfStale(const std::string& path, StaleKind kind, int settleSeconds, int unsureSeconds,
                           MakersLock makersLock) {
  struct stat named;
  if (::lstat(path.c_str(), &named) != 0 || !isKind(named, kind) || named.st_uid != ::geteuid()) return {};
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  // Whatever the file system, nothing this new is looked at closer.
  if (named.st_mtim.tv_sec > now.tv_sec - settleSeconds) return {};
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (kind == StaleKind::Folder ? O_DIRECTORY : 0);
  FileDescriptor fd(::open(path.c_str(), flags));
  struct stat held;
  if (!fd || ::fstat(fd.get(), &held) != 0 || !sameFile(held, named)) return {};
  // Where a free lock does not tell that no one works there, only a long
  // time untouched does.
  struct statfs fileSystem;
  const bool unsure = makersLock == MakersLock::None || ::fstatfs(fd.get(), &fileSystem) != 0 ||
                      gLocksMayBeUnseen(static_cast<unsigned long>(fileSystem.f_type));
  if (unsure && held.st_mtim.tv_sec > now.tv_sec - unsureSeconds) return {};
  // Refused while another holds it; refused always where no locks are
  // kept, which leaves only what was made without one to go by its age.
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && !(makersLock == MakersLock::None && keepsNoLocks(errno))) return {};
  // Still the one under that name (not renamed away and replaced)?
  if (::lstat(path.c_str(), &named) != 0 || !sameFile(held, named)) return {};
  return fd;
}

int lockMade(int fd) { return gTakeMadeLock(fd); }

bool isStillNamed(const std::string& path, int fd) {
  struct stat named, held;
  return ::lstat(path.c_str(), &named) == 0 && ::fstat(fd, &held) == 0 && sameFile(named, held);
}

} // namespace platform
