#pragma once
// An inode flag set on a folder for a test (FS_APPEND_FL, FS_IMMUTABLE_FL:
// what chattr +a and +i set), cleared again when the object ends, also
// when the test fails, so that the folder can be removed. Declare it after
// the TempDir it is set in. Setting needs root (CAP_LINUX_IMMUTABLE) and
// a file system that keeps such flags (ext4, xfs, btrfs; not tmpfs):
// failure() says why not, for a GTEST_SKIP.

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace zarn::test {

class ScopedFolderFlag {
public:
  ScopedFolderFlag(const std::string& folder, int flag) : mFlag(flag) {
    mFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int flags = 0;
    if (mFd < 0 || ::ioctl(mFd, FS_IOC_GETFLAGS, &flags) != 0) {
      mFailure = "the flags of " + folder + " cannot be read (" + std::strerror(errno) + ")";
      return;
    }
    flags |= flag;
    if (::ioctl(mFd, FS_IOC_SETFLAGS, &flags) != 0) {
      mFailure = "chattr cannot set a flag on " + folder + " (" + std::strerror(errno) +
                 "): it needs root and a file system that keeps such flags";
      return;
    }
    mSet = true;
  }
  ~ScopedFolderFlag() {
    int flags = 0;
    if (mSet && ::ioctl(mFd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~mFlag;
      ::ioctl(mFd, FS_IOC_SETFLAGS, &flags);
    }
    if (mFd >= 0) ::close(mFd);
  }
  ScopedFolderFlag(const ScopedFolderFlag&) = delete;
  ScopedFolderFlag& operator=(const ScopedFolderFlag&) = delete;

  // "" once the flag is set.
  const std::string& failure() const { return mFailure; }

private:
  int mFlag;
  int mFd = -1;
  bool mSet = false;
  std::string mFailure;
};

} // namespace zarn::test
