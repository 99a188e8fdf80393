#pragma once

// An open file descriptor with one owner. A descriptor that is handed
// from an open through a few checks to a reader or a writer has many ways
// out (a failed stat, a short read, a write error), and each used to need
// its own close; this closes it on every one of them, once.
//
// close() is there for the writers: the close of a written file can be the
// first to report a failed write (a full disk on a network file system), so
// they close it themselves and look at the answer.
//
// Thread: any; one object is used by one thread at a time.

#include <utility>

namespace platform {

class FileDescriptor {
public:
  FileDescriptor() = default;
  // Takes ownership of fd; -1 holds nothing.
  explicit FileDescriptor(int fd) noexcept : mFd(fd) {}
  // Closes what is held; errno stays as it was, so an error path may still
  // read the reason it is leaving for.
  ~FileDescriptor();
  FileDescriptor(FileDescriptor&& other) noexcept : mFd(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return mFd; }
  explicit operator bool() const { return mFd >= 0; }
  // Gives the descriptor up to a new owner (fdopen, a stream buffer).
  int release() noexcept { return std::exchange(mFd, -1); }
  // Closes what is held (errno kept) and holds fd instead.
  void reset(int fd = -1) noexcept;
  // Closes now: 0, or the errno of a failed close. Holding nothing gives 0.
  int close() noexcept;

private:
  int mFd = -1;
};

} // namespace platform
