#include "platform/FileKeeping.h"

#include "platform/RegularFile.h"
#include "platform/ReplacingFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool fail(std::string* reason, const std::string& why) {
  if (reason) *reason = why;
  return false;
}

// The whole of an open file; false with errno on a failed read.
bool readAll(int fd, std::string& bytes) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    bytes.append(buffer, static_cast<size_t>(n));
  }
}

// Whether the regular file at path (no link) holds exactly bytes.
bool holds(const std::string& path, const std::string& bytes) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != static_cast<off_t>(bytes.size()))
    return false;
  const FileDescriptor in = openRegularFile(path);
  std::string there;
  return in && readAll(in.get(), there) && there == bytes;
}

} // namespace

bool keepCopyBeside(const std::string& path, const std::string& copyName, std::string& keptAt, std::string* reason) {
  keptAt.clear();
  std::string why;
  const FileDescriptor in = openRegularFile(path, &why);
  if (!in) return fail(reason, why);
  std::string bytes;
  if (!readAll(in.get(), bytes)) return fail(reason, std::strerror(errno));
  for (int n = 1; n <= cMaxKeptCopies; ++n) {
    const std::string name = n == 1 ? copyName : copyName + "-" + std::to_string(n);
    struct stat st {};
    if (::lstat(name.c_str(), &st) == 0) {
      if (holds(name, bytes)) {
        keptAt = name;
        return true;
      }
      continue;
    }
    // The folder's own fault, the same for every name.
    if (errno != ENOENT) return fail(reason, std::strerror(errno));
    // The copy is the user's own, written whole or not at all like any
    // file saved for him, and only where nothing is yet.
    ReplacingFile copy;
    if (!copy.create(name, 0600) || !copy.writeAll(bytes.data(), bytes.size())) return fail(reason, copy.reason());
    if (copy.commitAsNew()) {
      keptAt = name;
      return true;
    }
    // Another process made the name meanwhile (it may have kept the same
    // file there): else the next one.
    if (!copy.taken()) return fail(reason, copy.reason());
    if (holds(name, bytes)) {
      keptAt = name;
      return true;
    }
  }
  return fail(reason, "every name from " + copyName + " to " + copyName + "-" + std::to_string(cMaxKeptCopies) +
                          " is taken; remove the copies no longer needed");
}

} // namespace platform
