#include "platform/FileKeeping.h"

#include "platform/RegularFile.h"
#include "platform/TemporaryFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

bool fail(std::string* reason, int error) {
  if (reason) *reason = std::strerror(error);
  return false;
}

} // namespace

bool keepCopyBeside(const std::string& path, const std::string& copyPath, std::string* reason) {
  // A link cannot replace: an older copy goes first.
  if (::unlink(copyPath.c_str()) != 0 && errno != ENOENT) return fail(reason, errno);
  if (::link(path.c_str(), copyPath.c_str()) == 0) return true;
  if (errno == ENOENT) return fail(reason, errno);

  std::string why;
  const FileDescriptor in = openRegularFile(path, &why);
  if (!in) {
    if (reason) *reason = why;
    return false;
  }
  TemporaryFile temp = createTemporaryFile(copyPath, 0600);
  if (!temp) return fail(reason, errno);
  FileDescriptor& out = temp.descriptor;
  int error = 0;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(in.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n && error == 0;) {
      ssize_t w = ::write(out.get(), buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0)
        error = errno;
      else
        done += w;
    }
    if (error) break;
  }
  if (error == 0 && ::fsync(out.get()) != 0) error = errno;
  if (const int closed = out.close(); closed != 0 && error == 0) error = closed;
  if (error == 0 && ::rename(temp.path.c_str(), copyPath.c_str()) != 0) error = errno;
  if (error == 0) return true;
  ::unlink(temp.path.c_str());
  return fail(reason, error);
}

} // namespace platform
