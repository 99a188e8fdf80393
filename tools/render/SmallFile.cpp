#include "tools/render/SmallFile.h"

#include "platform/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace renderio {

bool readSmallFile(const std::string& path, size_t maxBytes, const std::string& kind, std::string& bytes,
                   std::string& error) {
  bytes.clear();
  std::string reason;
  const platform::FileDescriptor fd = platform::openRegularFile(path, &reason);
  if (!fd) {
    error = reason == platform::cNotAFile ? path + " is not a file" : "cannot open " + path + ": " + reason;
    return false;
  }
  auto tooLarge = [&](uint64_t size) {
    error = path + " is too large for " + kind + " (" + std::to_string(size) + " bytes)";
    return false;
  };
  struct stat st {};
  if (::fstat(fd.get(), &st) == 0 && static_cast<uint64_t>(st.st_size) > maxBytes)
    return tooLarge(static_cast<uint64_t>(st.st_size));
  // Room for the file as it stands, and one byte beyond the bound tells a
  // file that grew past it; a file that grows meanwhile gets more room.
  const size_t limit = maxBytes + 1;
  bytes.resize(std::min(limit, static_cast<size_t>(st.st_size) + 1));
  size_t got = 0;
  int readError = 0;
  for (;;) {
    if (got == bytes.size()) {
      if (bytes.size() == limit) break;
      bytes.resize(std::min(limit, bytes.size() * 2));
    }
    const ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) readError = errno;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
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
