#include "platform/FileDescriptor.h"

#include <cerrno>
#include <unistd.h>

namespace platform {

FileDescriptor::~FileDescriptor() { reset(); }

void FileDescriptor::reset(int fd) noexcept {
  const int saved = errno;
  close();
  errno = saved;
  mFd = fd;
}

int FileDescriptor::close() noexcept {
  const int fd = release();
  if (fd < 0) return 0;
  // Linux releases the descriptor even when close fails: never again.
  return ::close(fd) == 0 ? 0 : errno;
}

} // namespace platform
