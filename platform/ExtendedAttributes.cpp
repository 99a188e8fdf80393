#include "platform/ExtendedAttributes.h"

#include <cerrno>
#include <cstdint>
#include <sys/xattr.h>
#include <vector>

namespace platform {
namespace {

constexpr const char* cAccessList = "system.posix_acl_access";
// A folder's list for the files made in it; a file has none.
constexpr const char* cDefaultList = "system.posix_acl_default";

// Sizes asked and then read may change in between (another process sets
// an attribute): asked again a few times.
constexpr int cReadTries = 8;

// What a process may be refused for its rights or the file system's
// support, rather than for a fault: an attribute so refused is left behind.
bool mayNot(int error) { return error == EPERM || error == EACCES || error == ENOTSUP; }

// The names of the attributes of the file open at fd; errno on failure.
int listAttributes(int fd, std::vector<std::string>& names) {
  names.clear();
  for (int tries = 0; tries < cReadTries; ++tries) {
    const ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size < 0) return errno;
    std::string list(static_cast<size_t>(size), '\0');
    const ssize_t n = ::flistxattr(fd, list.data(), list.size());
    if (n < 0 && errno == ERANGE) continue;
    if (n < 0) return errno;
    // Names, each ended by a 0 byte.
    for (size_t at = 0; at < static_cast<size_t>(n);) {
      const size_t end = list.find('\0', at);
      if (end == std::string::npos) break;
      if (end > at) names.emplace_back(list, at, end - at);
      at = end + 1;
    }
    return 0;
  }
  return ERANGE;
}

// The value of the attribute name of the file open at fd; errno on
// failure, ENODATA when it has none.
int readAttribute(int fd, const std::string& name, std::string& value) {
  for (int tries = 0; tries < cReadTries; ++tries) {
    const ssize_t size = ::fgetxattr(fd, name.c_str(), nullptr, 0);
    if (size < 0) return errno;
    value.assign(static_cast<size_t>(size), '\0');
    const ssize_t n = ::fgetxattr(fd, name.c_str(), value.data(), value.size());
    if (n < 0 && errno == ERANGE) continue;
    if (n < 0) return errno;
    value.resize(static_cast<size_t>(n));
    return 0;
  }
  return ERANGE;
}

// The kernel's form of an access list: a 4-byte version (2), then entries
// of a 2-byte tag, 2-byte permissions (r 4, w 2, x 1) and a 4-byte id,
// little-endian.
constexpr uint32_t cListVersion = 2;
constexpr size_t cListHeader = 4, cListEntry = 8;
enum Tag : uint16_t {
  cOwner = 0x01,
  cNamedUser = 0x02,
  cGroup = 0x04,
  cNamedGroup = 0x08,
  cMask = 0x10,
  cOther = 0x20,
};

uint32_t littleEndian(const std::string& bytes, size_t at, size_t count) {
  uint32_t v = 0;
  for (size_t i = count; i-- > 0;) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

// The permission bits that give nobody more than the access list did, for
// a file whose list is lost: mode is the old file's (its group bits are
// the list's mask). Under the list, a user the list names gets that entry
// (within the mask) whatever his groups; a member of a named group what
// his groups get (within the mask); the others the list's other entry.
// Without it, each of them falls to the group's bits or the others'. So:
//   owner:  the owner's entry, as before;
//   group:  the group's entry and the mask, and no more than any named
//           user has (he may be in the group);
//   others: the others' entry, and no more than any named user or named
//           group has (they become others).
// A list of a form not known here leaves the owner alone with his bits.
mode_t modeGrantingNoMore(const std::string& list, mode_t mode) {
  const mode_t kept = mode & 07700;
  if (list.size() < cListHeader || (list.size() - cListHeader) % cListEntry != 0 ||
      littleEndian(list, 0, 4) != cListVersion)
    return kept;
  mode_t owner = mode >> 6 & 7, group = mode >> 3 & 7, other = mode & 7;
  // The least any named user, or any named group, has (7 while the list
  // names none), within the mask.
  mode_t mask = 7, namedUsers = 7, namedGroups = 7;
  bool anyNamedUser = false, anyNamedGroup = false;
  for (size_t at = cListHeader; at < list.size(); at += cListEntry) {
    const mode_t bits = littleEndian(list, at + 2, 2) & 7;
    switch (littleEndian(list, at, 2)) {
    case cOwner: owner &= bits; break;
    case cNamedUser: namedUsers &= bits, anyNamedUser = true; break;
    case cGroup: group &= bits; break;
    case cNamedGroup: namedGroups &= bits, anyNamedGroup = true; break;
    case cMask: mask &= bits; break;
    case cOther: other &= bits; break;
    default: return kept;
    }
  }
  if (anyNamedUser) namedUsers &= mask;
  if (anyNamedGroup) namedGroups &= mask;
  group &= mask & namedUsers;
  other &= namedUsers & namedGroups;
  return (mode & 07000) | owner << 6 | group << 3 | other;
}

} // namespace

int copyExtendedAttributes(int from, int fd, mode_t& mode) {
  // A file system without attributes has none to carry; nor has a file
  // removed while its replacement was written (from is -1 then).
  std::vector<std::string> names;
  if (from >= 0)
    if (const int error = listAttributes(from, names); error != 0 && error != ENOTSUP) return error;
  bool listCarried = false;
  for (const std::string& name : names) {
    if (name == cDefaultList) continue;
    std::string value;
    const int read = readAttribute(from, name, value);
    if (read == ENODATA) continue; // removed meanwhile
    if (name == cAccessList) {
      // Who may use the old file is not known: nothing to narrow to.
      if (read != 0) return read;
      if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) == 0)
        listCarried = true;
      else
        mode = modeGrantingNoMore(value, mode);
      continue;
    }
    if (read != 0) {
      if (mayNot(read)) continue;
      return read;
    }
    if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0 && !mayNot(errno)) return errno;
  }
  // No list but the one carried over: not even one inherited from the
  // folder, which would give its named users what the file never gave.
  if (!listCarried && ::fremovexattr(fd, cAccessList) != 0 && errno != ENODATA && errno != ENOTSUP) return errno;
  return 0;
}

} // namespace platform
