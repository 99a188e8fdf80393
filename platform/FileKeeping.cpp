#include "platform/FileKeeping.h"

#include "platform/RegularFile.h"
#include "platform/ReplacingFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

bool fail(std::string* reason, const std::string& why) {
  if (reason) *reason = why;
  return false;
}

} // namespace

bool keepCopyBeside(const std::string& path, const std::string& copyPath, std::string* reason) {
  std::string why;
  const FileDescriptor in = openRegularFile(path, &why);
  if (!in) {
    if (reason) *reason = why;
    return false;
  }
  // The copy is the user's own, written whole or not at all like any file
  // saved for him.
  ReplacingFile copy;
  if (!copy.create(copyPath, 0600)) return fail(reason, copy.reason());
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(reason, std::strerror(errno));
    if (n == 0) break;
    if (!copy.writeAll(buffer, static_cast<size_t>(n))) return fail(reason, copy.reason());
  }
  return copy.commit() || fail(reason, copy.reason());
}

} // namespace platform
