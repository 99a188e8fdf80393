#include "platform/ReplacedFile.h"

#include "platform/ExtendedAttributes.h"
#include "platform/ReplacingFileSeams.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace seams {
void (*gBetweenLooks)(const char* path) = nullptr;
} // namespace seams

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

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// How often findReplacedFile looks at a name that changed as it was looked
// at before it says so.
constexpr int cLooks = 4;

// Follows the links from path to what they end at (at, which need not
// exist), filling replaced (but for its path) and found with what stands
// there. 0, or the errno of a refusal: a chain too long, a link that may
// not be followed, a file that may not be written. changed: a link looked
// at was gone, or no link, when its text was read (replaced meanwhile).
int walkLinks(const std::string& path, ReplacedFile& replaced, struct stat& found, std::string& at, int& links,
              bool& changed) {
  replaced = ReplacedFile();
  found = {};
  changed = false;
  at = path;
  for (links = 0;; ++links) {
    struct stat st;
    // Nothing there, or a folder on the way that cannot be looked in:
    // making the file will give the reason.
    if (::lstat(at.c_str(), &st) != 0) return 0;
    if (!S_ISLNK(st.st_mode)) {
      // A file the user made read-only is kept from this writer as from
      // any that opens it for writing: a rename would pass over it.
      if (S_ISREG(st.st_mode) && ::faccessat(AT_FDCWD, at.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES)
        return EACCES;
      replaced.exists = true;
      replaced.owner = st.st_uid;
      replaced.group = st.st_gid;
      replaced.mode = st.st_mode;
      found = st;
      return 0;
    }
    if (links == cMostLinks) return ELOOP;
    if (!mayFollow(at, st)) return EACCES;
    char to[PATH_MAX];
    const ssize_t n = ::readlink(at.c_str(), to, sizeof to);
    if (n < 0) {
      const int error = errno;
      changed = error == ENOENT || error == EINVAL;
      return error;
    }
    if (n == sizeof to) return ENAMETOOLONG;
    // A relative link is relative to its own folder.
    const std::string link(to, static_cast<size_t>(n));
    at = link[0] == '/' ? link : folderPart(at) + link;
  }
}

} // namespace

bool findReplacedFile(const std::string& path, ReplacedFile& replaced) {
  // The file an open of path would reach, to tell a link whose text no
  // longer names it (a /proc/self/fd entry of a deleted file reads
  // ".../name (deleted)"). Another process may put a file at the name
  // between that look and the walk of its links (two renders to one output
  // at once, a program that renames its saves over the name): the two
  // looks then disagree once, and the name is looked at again. Only a
  // disagreement that stays, about the one file an open reaches each time,
  // is a link that leads elsewhere than to the file it opens.
  struct stat found {}, firstOpened {};
  std::string at;
  bool openedBefore = false, sameOpenedEachTime = true;
  for (int look = 1;; ++look) {
    struct stat opened;
    const bool opens = ::stat(path.c_str(), &opened) == 0;
    if (seams::gBetweenLooks) seams::gBetweenLooks(path.c_str());
    int links = 0;
    bool changed = false;
    if (const int error = walkLinks(path, replaced, found, at, links, changed); error != 0 && !changed) {
      errno = error;
      return false;
    }
    if (!changed && (!opens || (replaced.exists && sameFile(found, opened)))) break;
    if (opens && openedBefore) sameOpenedEachTime = sameOpenedEachTime && sameFile(opened, firstOpened);
    if (opens && !openedBefore) firstOpened = opened, openedBefore = true;
    if (look < cLooks) continue;
    // A file at the name itself (no link) cannot disagree with itself but
    // for a change between the looks.
    errno = !changed && links > 0 && sameOpenedEachTime ? ESTALE : EBUSY;
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
