#include "tools/render/SmallFile.h"

#include "platform/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace renderio {

bool readSmallFile(const std::string& path, size_t maxBytes, const std::string& kind, std::string& bytes,
                   std::string& error) {
  bytes.clear();
  std::string reason;
  const int fd = platform::openRegularFile(path, &reason);
  if (fd < 0) {
    error = reason == platform::cNotAFile ? path + " is not a file" : "cannot open " + path + ": " + reason;
    return false;
  }
  auto tooLarge = [&](uint64_t size) {
    error = path + " is too large for " + kind + " (" + std::to_string(size) + " bytes)";
    return false;
  };
  struct stat st {};
  if (::fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) > maxBytes) {
    ::close(fd);
    return tooLarge(static_cast<uint64_t>(st.st_size));
  }
  // One byte beyond the bound tells a file that grew past it.
  bytes.resize(maxBytes + 1);
  size_t got = 0;
  int readError = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) readError = errno;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(got);
  if (readError != 0) {
    bytes.clear();
    error = "cannot read " + path + ": " + std::strerror(readError);
    return false;
  }
  if (got > maxBytes) {
    bytes.clear();
    return tooLarge(got);
  }
  return true;
}

} // namespace renderio
