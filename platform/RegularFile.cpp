#include "platform/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

FileDescriptor refuse(std::string* reason, const std::string& why, int error) {
  if (reason) *reason = why;
  errno = error;
  return FileDescriptor();
}

// An istream that owns its buffer.
class RegularFileStream : public std::istream {
public:
  explicit RegularFileStream(FileDescriptor fd) : std::istream(nullptr), mBuffer(std::move(fd)) {
    init(&mBuffer);
    if (!mBuffer.isOpen()) setstate(std::ios::failbit);
  }

private:
  DescriptorBuffer mBuffer;
};

} // namespace

FileDescriptor openRegularFile(const std::string& path, std::string* reason) {
  if (path.empty()) return refuse(reason, std::strerror(ENOENT), ENOENT);
  // Without O_NONBLOCK opening a FIFO waits for a writer.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    const int error = errno;
    return refuse(reason, std::strerror(error), error);
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return refuse(reason, cNotAFile, EINVAL);
  // A regular file is read as usual from here on.
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags == -1 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) == -1) {
    const int error = errno;
    return refuse(reason, std::strerror(error), error);
  }
  if (reason) reason->clear();
  return fd;
}

std::unique_ptr<std::istream> newRegularFileStream(const std::string& path, std::string* reason) {
  return std::make_unique<RegularFileStream>(openRegularFile(path, reason));
}

DescriptorBuffer::DescriptorBuffer(FileDescriptor fd) : mFd(std::move(fd)) { setg(mBuffer, mBuffer, mBuffer); }

DescriptorBuffer::int_type DescriptorBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (!mFd) return traits_type::eof();
  ssize_t n;
  do {
    n = ::read(mFd.get(), mBuffer, sizeof mBuffer);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) {
    setg(mBuffer, mBuffer, mBuffer);
    return traits_type::eof();
  }
  setg(mBuffer, mBuffer, mBuffer + n);
  return traits_type::to_int_type(*gptr());
}

DescriptorBuffer::pos_type DescriptorBuffer::seekoff(off_type off, std::ios_base::seekdir dir,
                                                     std::ios_base::openmode which) {
  const pos_type failed = pos_type(off_type(-1));
  if (!mFd || !(which & std::ios_base::in)) return failed;
  off_t target;
  if (dir == std::ios_base::cur) {
    const off_t here = ::lseek(mFd.get(), 0, SEEK_CUR);
    if (here < 0) return failed;
    // The descriptor is ahead of the reader by what is still buffered.
    target = here - static_cast<off_t>(egptr() - gptr()) + static_cast<off_t>(off);
    if (off == 0) return pos_type(off_type(target));
  } else if (dir == std::ios_base::end) {
    const off_t end = ::lseek(mFd.get(), 0, SEEK_END);
    if (end < 0) return failed;
    target = end + static_cast<off_t>(off);
  } else {
    target = static_cast<off_t>(off);
  }
  if (target < 0 || ::lseek(mFd.get(), target, SEEK_SET) < 0) return failed;
  setg(mBuffer, mBuffer, mBuffer);
  return pos_type(off_type(target));
}

DescriptorBuffer::pos_type DescriptorBuffer::seekpos(pos_type pos, std::ios_base::openmode which) {
  return seekoff(off_type(pos), std::ios_base::beg, which);
}

} // namespace platform
