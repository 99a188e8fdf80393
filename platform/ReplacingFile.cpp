#include "platform/ReplacingFile.h"

#include "platform/ReplacingFileSeams.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace seams {

MoveAsNewCalls defaultMoveAsNewCalls() {
  return {[](const char* from, const char* to) { return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE); },
          [](const char* from, const char* to) { return ::link(from, to); }, nullptr};
}

MoveAsNewCalls gMoveAsNew = defaultMoveAsNewCalls();

} // namespace seams

namespace {

// Whether a failed call says that the file system has no such call, rather
// than that this one failed.
bool unsupported(int error) { return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP; }
bool linksUnsupported(int error) { return error == EPERM || error == ENOSYS || error == EOPNOTSUPP; }

// A file system with neither a rename that may not replace nor hard links
// (vfat, some FUSE mounts): the name is reserved by an exclusive create,
// which fails on anything there, a link too (EEXIST: taken), and the file
// is renamed over the reservation only while the name still holds it. The
// reservation stays open meanwhile, so its inode cannot go and have its
// number given to a file made in its place. What remains is the moment
// between that check and the rename: a file put there then would be
// replaced. Only a process that removes a file it did not make (the
// reservation) can put one there, and such a one may as well remove the
// copy afterwards; every writer that adds a file makes it exclusively,
// and so finds the reservation and keeps off.
bool moveOverReservation(const std::string& from, const std::string& to) {
  const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  struct stat reserved {};
  int error = ::fstat(fd, &reserved) == 0 ? 0 : errno;
  if (seams::gMoveAsNew.reserved) seams::gMoveAsNew.reserved(to.c_str());
  auto stillReserved = [&] {
    struct stat now {};
    return ::lstat(to.c_str(), &now) == 0 && now.st_dev == reserved.st_dev && now.st_ino == reserved.st_ino;
  };
  if (error == 0 && !stillReserved()) error = EEXIST; // another's file now: kept
  if (error == 0 && ::rename(from.c_str(), to.c_str()) != 0) error = errno;
  if (error != 0 && error != EEXIST && stillReserved()) ::unlink(to.c_str());
  ::close(fd);
  errno = error;
  return error == 0;
}

// Moves the temporary file to the target only if nothing is there, in one
// step: another process making the same name meanwhile is never written
// over. A file system that cannot refuse in the move itself gets a second
// name made by a hard link, which fails as well on a name taken; one
// without links, a reservation of the name (above).
bool moveAsNew(const std::string& from, const std::string& to) {
  if (seams::gMoveAsNew.renameNoReplace(from.c_str(), to.c_str()) == 0) return true;
  if (!unsupported(errno)) return false;
  if (seams::gMoveAsNew.link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  if (!linksUnsupported(errno)) return false;
  return moveOverReservation(from, to);
}

// Why nothing put in folder could be renamed or removed there, in words:
// its append-only or immutable attribute (chattr +a, +i), which the kernel
// holds against root too. A save would make its temporary file, fail at
// the end and leave it there for good. "" when neither is set, or the
// folder's flags cannot be read (a file system without them).
std::string attributeRefusal(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "";
  int flags = 0;
  const bool read = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  ::close(fd);
  if (!read) return "";
  if (flags & FS_IMMUTABLE_FL)
    return "the folder " + folder + " has the immutable attribute: no file can be added, renamed or removed in it";
  if (flags & FS_APPEND_FL)
    return "the folder " + folder +
           " has the append-only attribute: files can be added to it but not renamed or removed";
  return "";
}

// The folder a file at path goes in.
std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// What a file of this type is, in words.
std::string kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO (a named pipe)";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "no regular file";
}

// The refusals of findReplacedFile that have words of their own.
std::string refusalOf(int error) {
  if (error == EPERM)
    return "it is another user's file in a folder with the sticky bit, where only its owner may replace it";
  if (error == ESTALE) return "it is a link to a file that was deleted";
  return "";
}

} // namespace

ReplacingFile::~ReplacingFile() { discard(); }

std::string ReplacingFile::refusal(const std::string& path, ReplacedFile& replaced, int& error) {
  error = 0;
  if (!findReplacedFile(path, replaced)) {
    error = errno;
    return refusalOf(error);
  }
  if (!replaced.exists || S_ISREG(replaced.mode)) return "";
  error = S_ISDIR(replaced.mode) ? EISDIR : EINVAL;
  // A folder at the name itself is said as the system says it.
  if (S_ISDIR(replaced.mode) && replaced.path == path) return "";
  const std::string kind = kindOf(replaced.mode);
  return (replaced.path == path ? "it is " + kind : "it leads to " + replaced.path + ", " + kind) +
         (S_ISDIR(replaced.mode) ? "" : ", not a regular file");
}

bool ReplacingFile::checkWritable(const std::string& path, std::string& error) {
  // The file written is the one a link at path leads to, in its folder.
  ReplacedFile replaced;
  int why = 0;
  const std::string refused = refusal(path, replaced, why);
  const bool found = why == 0 || !refused.empty() || why == EISDIR || why == EINVAL;
  const std::string& target = found && !replaced.path.empty() ? replaced.path : path;
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  // A link refused and a file that may not be written both say EACCES:
  // a file at path (its links followed) this user may not write is the
  // second.
  struct stat st {};
  const bool readOnly =
      !found && why == EACCES && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
  if (readOnly) {
    error = "cannot write " + path + ": it is read-only to you; give another name, or make it writable";
    return false;
  }
  if (!found) {
    const size_t name = slash == std::string::npos ? target.size() : target.size() - slash - 1;
    error = "cannot write " + path + ": " +
            (why == ENAMETOOLONG ? "its name is too long (" + std::to_string(name) +
                                       " bytes; the file system takes at most " +
                                       std::to_string(longestFileName(folder + "/")) + ")"
             : why == EACCES     ? "it is a link of another user in a folder open to all, which is not followed"
                                 : "its links cannot be followed (" + std::string(std::strerror(why)) + ")") +
            "; give another name";
    return false;
  }
  if (path.empty() || path.back() == '/' || why == EISDIR) {
    error = "cannot write " + path + ": it is a folder; give the name of a file in it";
    return false;
  }
  if (!refused.empty()) {
    error = "cannot write " + path + ": " + refused + "; give another name";
    return false;
  }
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = "cannot write " + path + ": there is no folder " + folder + "; make it first or give another place";
    return false;
  }
  if (const std::string words = attributeRefusal(folder); !words.empty()) {
    error = "cannot write " + path + ": " + words + "; give another place";
    return false;
  }
  ReplacingFile probe;
  errno = 0;
  if (!probe.create(path)) {
    const int made = probe.errorNumber();
    error = "cannot write " + path + ": " +
            (made == ENAMETOOLONG
                 ? "its path is too long (" + std::string(std::strerror(made)) + "); give a shorter one"
                 : "the folder " + folder + " takes no new file (" + std::strerror(made != 0 ? made : EACCES) +
                       "); give another place");
    return false;
  }
  // A file made there must go again, or each save would leave one.
  const std::string made = probe.temporaryPath();
  const int removed = ::unlink(made.c_str()) == 0 ? 0 : errno;
  probe.discard();
  if (removed != 0 && removed != ENOENT) {
    error = "cannot write " + path + ": a file made in the folder " + folder + " cannot be removed again (" +
            std::strerror(removed) + "), so each save would leave one there; give another place";
    return false;
  }
  return true;
}

bool ReplacingFile::fail(const std::string& what, int error, const std::string& reason) {
  mErrorNumber = error;
  mReason = reason.empty() ? std::strerror(error) : reason;
  mError = "cannot " + what + " " + mPath + ": " + mReason;
  if (mFailedAt.empty()) mFailedAt = mPath;
  return false;
}

bool ReplacingFile::create(const std::string& path, mode_t newFileMode) {
  discard();
  mPath = path;
  mError.clear();
  mReason.clear();
  mFailedAt.clear();
  mErrorNumber = 0;
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return fail("write", EISDIR);
  int error = 0;
  const std::string refused = refusal(path, mReplaced, error);
  if (error != 0) return fail("write", error, refused);
  if (const std::string words = attributeRefusal(folderOf(mReplaced.path)); !words.empty()) {
    mFailedAt = folderOf(mReplaced.path);
    return fail("write", EPERM, words);
  }
  mTemp = createReplacement(mReplaced, newFileMode);
  if (!mTemp) {
    const int made = errno;
    mFailedAt = folderOf(mReplaced.path);
    return fail("write", made);
  }
  return true;
}

bool ReplacingFile::writeAll(const void* data, size_t size) {
  if (!mTemp.descriptor) return fail("write", EBADF);
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(mTemp.descriptor.get(), at, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail("write", n < 0 ? errno : EIO);
    at += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReplacingFile::commit() { return finish(true); }

bool ReplacingFile::commitAsNew() { return finish(false); }

bool ReplacingFile::finish(bool replace) {
  mTaken = false;
  if (!mTemp.descriptor) return fail("write", mErrorNumber != 0 ? mErrorNumber : EBADF, mReason);
  bool ok = true;
  if (const int error = keepAttributes(mTemp.descriptor.get(), mReplaced); error != 0) ok = fail("write", error);
  ok = ok && (::fsync(mTemp.descriptor.get()) == 0 || fail("write", errno));
  if (const int closed = mTemp.descriptor.close(); closed != 0 && ok) ok = fail("write", closed);
  if (ok && replace) {
    // What the name leads to at this moment: it may have been made a link
    // to a device, or another file, while the bytes were written.
    ReplacedFile now;
    int error = 0;
    const std::string refused = refusal(mPath, now, error);
    if (error != 0)
      ok = fail("write", error, refused);
    else if (now.path != mReplaced.path)
      ok = fail("write", EBUSY, "it was made to lead to " + now.path + " while it was written; nothing was replaced");
  }
  if (ok && replace && ::rename(mTemp.path.c_str(), mReplaced.path.c_str()) != 0) ok = fail("replace", errno);
  // A link at the name takes it as a file would: nothing is written
  // through it.
  if (ok && !replace && (mReplaced.path != mPath || !moveAsNew(mTemp.path, mPath))) {
    if (mReplaced.path != mPath) errno = EEXIST;
    mTaken = errno == EEXIST;
    ok = fail("write", errno);
  }
  if (!ok) ::unlink(mTemp.path.c_str());
  mTemp = TemporaryFile();
  return ok;
}

void ReplacingFile::discard() {
  mTemp.descriptor.reset();
  if (!mTemp.path.empty()) ::unlink(mTemp.path.c_str());
  mTemp = TemporaryFile();
}

} // namespace platform
