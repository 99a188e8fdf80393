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
  const int in = openRegularFile(path, &why);
  if (in < 0) {
    if (reason) *reason = why;
    return false;
  }
  std::string temp;
  const int out = createTemporaryFile(copyPath, 0600, temp);
  if (out < 0) {
    const int error = errno;
    ::close(in);
    return fail(reason, error);
  }
  int error = 0;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n && error == 0;) {
      ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0)
        error = errno;
      else
        done += w;
    }
    if (error) break;
  }
  ::close(in);
  if (error == 0 && ::fsync(out) != 0) error = errno;
  if (::close(out) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), copyPath.c_str()) != 0) error = errno;
  if (error == 0) return true;
  ::unlink(temp.c_str());
  return fail(reason, error);
}

} // namespace platform
