#include "platform/ExecutableFile.h"

#include "platform/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <elf.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

bool readAt(int fd, void* into, size_t size, off_t at) {
  char* p = static_cast<char*>(into);
  while (size > 0) {
    const ssize_t n = ::pread(fd, p, size, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
    at += n;
  }
  return true;
}

bool cutShort(std::string& reason, unsigned long long size, unsigned long long needed) {
  reason = "it is cut short (" + std::to_string(size) + " bytes, where its parts need at least " +
           std::to_string(needed) + ")";
  return false;
}

} // namespace

bool checkSharedObjectWhole(const std::string& path, std::string& reason) {
  std::string why;
  const FileDescriptor fd = openRegularFile(path, &why);
  if (!fd) {
    reason = "it cannot be read (" + why + ")";
    return false;
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) {
    reason = std::string("it cannot be read (") + std::strerror(errno) + ")";
    return false;
  }
  const unsigned long long size = static_cast<unsigned long long>(st.st_size);

  ElfW(Ehdr) header;
  if (size < sizeof header) {
    // Too short for the header; the first bytes still tell a program of
    // another kind, which the loader refuses in its own words.
    unsigned char ident[SELFMAG] = {};
    if (size >= SELFMAG && readAt(fd.get(), ident, SELFMAG, 0) && std::memcmp(ident, ELFMAG, SELFMAG) != 0)
      return true;
    return cutShort(reason, size, sizeof header);
  }
  if (!readAt(fd.get(), &header, sizeof header, 0)) {
    reason = std::string("it cannot be read (") + std::strerror(errno ? errno : EIO) + ")";
    return false;
  }
  // Another kind of file, or a program for another machine: the loader
  // reads only its header, maps nothing and says what is wrong.
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
      header.e_phentsize != sizeof(ElfW(Phdr)))
    return true;

  const unsigned long long tableEnd =
      static_cast<unsigned long long>(header.e_phoff) + static_cast<unsigned long long>(header.e_phnum) * sizeof(ElfW(Phdr));
  if (tableEnd > size) return cutShort(reason, size, tableEnd);
  std::vector<ElfW(Phdr)> parts(header.e_phnum);
  if (!parts.empty() && !readAt(fd.get(), parts.data(), parts.size() * sizeof(ElfW(Phdr)), static_cast<off_t>(header.e_phoff))) {
    reason = std::string("it cannot be read (") + std::strerror(errno ? errno : EIO) + ")";
    return false;
  }
  unsigned long long needed = 0;
  for (const ElfW(Phdr)& part : parts) {
    // Every part with bytes in the file: the mapped segments and what the
    // loader reads from them (the dynamic section, notes).
    if (part.p_filesz == 0) continue;
    const unsigned long long end = static_cast<unsigned long long>(part.p_offset) + part.p_filesz;
    if (end < part.p_offset) return cutShort(reason, size, ~0ull); // wraps: no file holds it
    if (end > needed) needed = end;
  }
  if (needed > size) return cutShort(reason, size, needed);
  return true;
}

} // namespace platform
