#include "platform/ReplacedFile.h"

#include "platform/ExtendedAttributes.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {
namespace {

// As the kernel counts for an open (its SYMLOOP limit).
constexpr int cMostLinks = 40;

// The folder part of path, with its '/' ("" for a bare name).
std::string folderPart(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The kernel's rule for links in a shared folder (sticky and writable by
// all): followed only when the link is the follower's or the folder
// owner's.
bool mayFollow(const std::string& link, const struct stat& linkStat) {
  if (linkStat.st_uid == ::geteuid()) return true;
  const std::string folder = folderPart(link);
  struct stat st;
  if (::stat(folder.empty() ? "." : folder.c_str(), &st) != 0) return false;
  const bool shared = (st.st_mode & S_ISVTX) && (st.st_mode & S_IWOTH);
  return !shared || st.st_uid == linkStat.st_uid;
}

// Whether this process may replace the file described by fileStat in
// folder by a rename, by the kernel's rule for folders with the sticky
// bit: only the file's owner, the folder's owner, or a process with
// CAP_FOWNER may. A rename refused there would come after all the work.
bool mayReplaceIn(const std::string& folder, const struct stat& fileStat) {
  struct stat st;
  if (::stat(folder.empty() ? "." : folder.c_str(), &st) != 0) return true; // making the file says why
  const uid_t me = ::geteuid();
  if (!(st.st_mode & S_ISVTX) || fileStat.st_uid == me || st.st_uid == me) return true;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (::syscall(SYS_capget, &header, data) != 0) return false;
  return (data[CAP_FOWNER / 32].effective & (1u << (CAP_FOWNER % 32))) != 0;
}

} // namespace

bool findReplacedFile(const std::string& path, ReplacedFile& replaced) {
  replaced = ReplacedFile();
  // The file an open of path would reach, to tell a link whose text no
  // longer names it (a /proc/self/fd entry of a deleted file reads
  // ".../name (deleted)").
  struct stat opened;
  const bool opens = ::stat(path.c_str(), &opened) == 0;
  struct stat found {};
  std::string at = path;
  for (int links = 0;; ++links) {
    struct stat st;
    // Nothing there, or a folder on the way that cannot be looked in:
    // making the file will give the reason.
    if (::lstat(at.c_str(), &st) != 0) break;
    if (!S_ISLNK(st.st_mode)) {
      // A file the user made read-only is kept from this writer as from
      // any that opens it for writing: a rename would pass over it.
      if (S_ISREG(st.st_mode) && ::faccessat(AT_FDCWD, at.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES)
        return false;
      replaced.exists = true;
      replaced.owner = st.st_uid;
      replaced.group = st.st_gid;
      replaced.mode = st.st_mode;
      found = st;
      break;
    }
    if (links == cMostLinks) {
      errno = ELOOP;
      return false;
    }
    if (!mayFollow(at, st)) {
      errno = EACCES;
      return false;
    }
    char to[PATH_MAX];
    const ssize_t n = ::readlink(at.c_str(), to, sizeof to);
    if (n < 0) return false;
    if (n == sizeof to) {
      errno = ENAMETOOLONG;
      return false;
    }
    // A relative link is relative to its own folder.
    const std::string link(to, static_cast<size_t>(n));
    at = link[0] == '/' ? link : folderPart(at) + link;
  }
  if (opens && (!replaced.exists || found.st_dev != opened.st_dev || found.st_ino != opened.st_ino)) {
    errno = ESTALE;
    return false;
  }
  const std::string folder = folderPart(at);
  if (at.size() - folder.size() > longestFileName(folder)) {
    errno = ENAMETOOLONG;
    return false;
  }
  if (replaced.exists && !mayReplaceIn(folder, found)) {
    errno = EPERM;
    return false;
  }
  replaced.path = at;
  return true;
}

TemporaryFile createReplacement(const ReplacedFile& replaced, mode_t mode) {
  return createTemporaryFile(replaced.path, replaced.exists ? 0600 : mode);
}

bool giveOwner(int fd, uid_t owner, gid_t group) {
  struct stat now;
  if (::fstat(fd, &now) != 0) return false;
  // A user who may not give the owner may still keep a group of his.
  if ((now.st_uid != owner || now.st_gid != group) && ::fchown(fd, owner, group) != 0)
    (void)::fchown(fd, static_cast<uid_t>(-1), group);
  // What the file holds now, whatever the calls said.
  return ::fstat(fd, &now) == 0 && now.st_uid == owner && now.st_gid == group;
}

int keepAttributes(int fd, int from, mode_t mode) {
  // The access list and other attributes (platform/ExtendedAttributes.h)
  // after the owner, whose change drops a file's capabilities; and the
  // mode last, as it sets the list's mask.
  mode &= 07777;
  if (const int error = copyExtendedAttributes(from, fd, mode); error != 0) return error;
  return ::fchmod(fd, mode) == 0 ? 0 : errno;
}

} // namespace platform
