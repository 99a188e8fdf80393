#include "platform/ReplacingFile.h"

#include "platform/ReplacingFileSeams.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace seams {

MoveAsNewCalls defaultMoveAsNewCalls() {
  return {[](const char* from, const char* to) { return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE); },
          [](const char* from, const char* to) { return ::link(from, to); }, nullptr};
}

MoveAsNewCalls gMoveAsNew = defaultMoveAsNewCalls();

InPlaceCalls defaultInPlaceCalls() {
  return {[](int fd, off_t length) { return ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, length); },
          [](int fd, const void* data, size_t size, off_t at) { return ::pwrite(fd, data, size, at); }};
}

InPlaceCalls gInPlace = defaultInPlaceCalls();

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
//
// A signal that ends the program between the reservation and the rename
// would leave the reservation, an empty file, at the name for good: a
// factory preset copied on a first run would then fail to load ever after,
// and no later run would copy it again over what it takes for the user's
// file. So this thread takes no ending signal from before the reservation
// until the file has taken its place (one that comes meanwhile arrives
// after), and the reservation is entered for removal on a signal that
// another thread takes meanwhile, as an empty file: the handler removes it
// while it is still this empty file, and never a file that has taken the
// name (renamed over it, or another's).
bool moveOverReservation(const std::string& from, const std::string& to) {
  const EndingSignalsHeld held;
  RemovedOnSignal removed(to, RemovedOnSignal::Kind::EmptyFile, RemovedOnSignal::State::Making);
  const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    const int error = errno;
    removed.drop(); // not ours: what stands there is another's
    errno = error;
    return false;
  }
  struct stat reserved {};
  int error = ::fstat(fd, &reserved) == 0 ? 0 : errno;
  if (error == 0) removed.made(reserved.st_dev, reserved.st_ino);
  if (seams::gMoveAsNew.reserved) seams::gMoveAsNew.reserved(to.c_str());
  auto stillReserved = [&] {
    struct stat now {};
    return ::lstat(to.c_str(), &now) == 0 && now.st_dev == reserved.st_dev && now.st_ino == reserved.st_ino;
  };
  // The name changes hands from here: a handler on another thread waits
  // for the rename. One that has taken the reservation already is removing
  // it, the program ending: nothing is renamed over it then.
  const bool ours = error != 0 || removed.takeBack();
  if (!ours) error = EINTR;
  if (error == 0 && !stillReserved()) error = EEXIST; // another's file now: kept
  if (error == 0 && ::rename(from.c_str(), to.c_str()) != 0) error = errno;
  if (ours && error != 0 && error != EEXIST && stillReserved()) ::unlink(to.c_str());
  removed.drop();
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

// What a file of this type is, in words; "" for a type without a name here.
std::string kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO (a named pipe)";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return ""; // none of these: said as not a regular file
}

// Why what stands at resolved, reached through path, is not saved over:
// of the type in mode, not a regular file. error gets the nearest error
// number. A symbolic link is only ever seen where links were followed
// before: one there now was put there as the file was saved, and is not
// followed then (it may lead anywhere).
std::string notRegular(const std::string& path, const std::string& resolved, mode_t mode, int& error) {
  const std::string it = resolved == path ? "it" : "it leads to " + resolved + ", which";
  if (S_ISLNK(mode)) {
    error = EBUSY;
    return it + " was made a symbolic link as it was saved; nothing was replaced";
  }
  error = S_ISDIR(mode) ? EISDIR : EINVAL;
  const std::string kind = kindOf(mode);
  if (kind.empty()) return it + " is not a regular file";
  return (resolved == path ? "it is " + kind : "it leads to " + resolved + ", " + kind) +
         (S_ISDIR(mode) ? "" : ", not a regular file");
}

// The refusals of findReplacedFile that have words of their own.
std::string refusalOf(int error) {
  if (error == EPERM)
    return "it is another user's file in a folder with the sticky bit, where only its owner may replace it";
  if (error == ESTALE) return "it is a link to a file that was deleted";
  if (error == EBUSY) return "another file was put there each time it was looked at";
  return "";
}

// How the commit opens the file it will replace, by the name
// findReplacedFile resolved: a link there now was put there since and is
// not followed, a FIFO put there does not hold the open up, a terminal
// does not become the program's.
constexpr int cTargetOpen = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;

// How often the commit looks again at a name that changed between its
// look and its move (removed, or made anew) before it gives up.
constexpr int cCommitLooks = 4;

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether the regular file at path is one this process may no longer
// write: its owner took the access away (chmod, setfacl) while a save of
// minutes was written, which is kept rather than lost.
bool madeReadOnly(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

constexpr const char* cMadeReadOnly = "it was made read-only to you while this save was written";

// Where the whole of a save is kept when it cannot be put at its name, or
// while it is copied into the user's file (writeInPlace): the first free
// one of NAME.unsaved, NAME.unsaved-2, ... beside it (as the editor keeps a
// state it could not save), then NAME.unsaved-PID-2, ..., NAME cut short
// where the whole would pass the longest name the folder takes. A name
// outside the temporary files' scheme: no sweep and no signal removes it,
// so if the copy fails, or the process dies halfway through (the user's
// file then half old, half new), the new contents stand there for the
// user under a name he sees. "" when no such name can be taken, errno then
// says why; from stays as it was.
std::string keepBeside(const std::string& from, const std::string& target) {
  constexpr int cMostNames = 100;
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = target.substr(folder.size());
  const size_t longest = longestFileName(folder);
  const std::string process = "-" + std::to_string(::getpid());
  for (int n = 1; n <= 2 * cMostNames; ++n) {
    const std::string tail = ".unsaved" + (n == 1 ? "" : n <= cMostNames ? "-" + std::to_string(n)
                                                                           : process + "-" + std::to_string(n - cMostNames));
    const std::string kept = folder + shortenedName(name, longest > tail.size() ? longest - tail.size() : 1) + tail;
    if (moveAsNew(from, kept)) return kept;
    if (errno != EEXIST) return "";
  }
  return "";
}

// Copies the bytes from first to end of the file open at from into the one
// open at to, at the same places. 0, or the errno of the failure.
int copyInto(int from, int to, off_t first, off_t end) {
  if (first >= end) return 0;
  std::vector<char> buffer(static_cast<size_t>(std::min<off_t>(end - first, off_t(1) << 20)));
  for (off_t at = first; at < end;) {
    const ssize_t got = ::pread(from, buffer.data(), std::min<size_t>(buffer.size(), static_cast<size_t>(end - at)), at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got < 0 ? errno : EIO; // the temporary file shorter than it was
    for (ssize_t put = 0; put < got;) {
      const ssize_t n = seams::gInPlace.write(to, buffer.data() + put, static_cast<size_t>(got - put), at + put);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return n < 0 ? errno : EIO;
      put += n;
    }
    at += got;
  }
  return 0;
}

// Makes sure that the whole of the new contents (from, size bytes) fits
// into the file open at to, which holds oldSize bytes, before any of its
// bytes changes: a full disk, a quota or a file size limit met halfway
// through the copy would leave the user's file with neither its old nor
// its new contents. The limit is asked, the space reserved where the file
// system can (fallocate); and the part beyond the old end is written
// first, which also takes the space where it cannot. 0 when the rest may
// be copied; else the errno, and the file holds its old bytes (cut back to
// its old length).
int makeRoom(int from, int to, off_t oldSize, off_t size) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      static_cast<rlim_t>(size) > limit.rlim_cur)
    return EFBIG;
  if (seams::gInPlace.reserve(to, size) != 0 && !unsupported(errno)) {
    const int error = errno;
    (void)::ftruncate(to, oldSize); // what was reserved beyond the end goes
    return error;
  }
  if (const int error = copyInto(from, to, oldSize, size); error != 0) {
    if (::ftruncate(to, oldSize) != 0) return errno;
    return error;
  }
  return 0;
}

// Takes a SIGXFSZ that a write past the file size limit sent this thread
// while it held it back: the write failed with EFBIG and is reported; the
// signal must not end the program once it is let go.
void takeSizeLimitSignal() {
  sigset_t pending;
  if (::sigpending(&pending) != 0 || !sigismember(&pending, SIGXFSZ)) return;
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, SIGXFSZ);
  const struct timespec now = {0, 0};
  while (::sigtimedwait(&only, nullptr, &now) < 0 && errno == EINTR) {
  }
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
  const std::string why = notRegular(path, replaced.path, replaced.mode, error);
  // A folder at the name itself is said as the system says it.
  return S_ISDIR(replaced.mode) && replaced.path == path ? "" : why;
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
    // What the name leads to may have changed since the look above (made a
    // FIFO meanwhile): the probe's refusal of it is the reason, not the
    // folder. So is a refusal of the folder in words.
    const bool ofName = probe.failedAt() == path;
    const bool inWords = probe.reason() != std::strerror(made);
    error = "cannot write " + path + ": " +
            (ofName ? probe.reason() + "; give another name"
             : inWords ? probe.reason() + "; give another place"
             : made == ENAMETOOLONG
                 ? "its path is too long (" + std::string(std::strerror(made)) + "); give a shorter one"
             // Each name made was taken by another command's sweep before
             // the probe could lock it (createTemporaryFile): the folder
             // takes files.
             : made == EAGAIN
                 ? "another program removed each file made in the folder " + folder +
                       " to try it before it could be kept; try again"
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
  mKept.clear();
  if (!mTemp.descriptor) return fail("write", mErrorNumber != 0 ? mErrorNumber : EBADF, mReason);
  // The whole contents on the disk first: a file written in place is only
  // touched once all of it is safe in the temporary file. The close may be
  // the first to report a failed write (a network file system); the lock
  // keeps the same open file for what follows.
  bool ok = ::fsync(mTemp.descriptor.get()) == 0 || fail("write", errno);
  if (const int closed = mTemp.descriptor.close(); closed != 0 && ok) ok = fail("write", closed);
  ok = ok && (replace ? replaceTarget() : putAsNew());
  // A temporary file kept for the user (mKept), or a name that holds what
  // another put at the target (emptied), is not removed.
  if (!ok && !mTemp.path.empty()) ::unlink(mTemp.path.c_str());
  mTemp = TemporaryFile();
  return ok;
}

bool ReplacingFile::putAsNew() {
  const int temp = mTemp.lock.get();
  // Something there at create, gone now: the new file takes what it had.
  if (mReplaced.exists && S_ISREG(mReplaced.mode)) {
    (void)giveOwner(temp, mReplaced.owner, mReplaced.group);
    if (const int error = keepAttributes(temp, -1, mReplaced.mode); error != 0) return fail("write", error);
    if (::fsync(temp) != 0) return fail("write", errno);
  }
  // A link at the name takes it as a file would: nothing is written
  // through it.
  if (mReplaced.path == mPath && moveAsNew(mTemp.path, mPath)) return true;
  if (mReplaced.path != mPath) errno = EEXIST;
  mTaken = errno == EEXIST;
  return fail("write", errno);
}

bool ReplacingFile::replaceTarget() {
  const int temp = mTemp.lock.get();
  const std::string& to = mReplaced.path;
  for (int look = 1;; ++look) {
    const bool lookAgain = look < cCommitLooks;
    // What the name leads to at this moment: it may have been made a link
    // to a device, or another file, while the bytes were written.
    ReplacedFile now;
    int error = 0;
    const std::string refused = refusal(mPath, now, error);
    if (error == EACCES && madeReadOnly(to)) return keepRefused(EACCES, cMadeReadOnly);
    if (error != 0) return fail("write", error, refused);
    if (now.path != to)
      return fail("write", EBUSY, "it was made to lead to " + now.path + " while it was written; nothing was replaced");
    // The file there, open, so that its owner, mode, access list and other
    // attributes are all read from the one file at one moment: what the
    // user changed on it while the bytes were written holds. Open for
    // reading where that is allowed (a program may be running from it,
    // which refuses an open for writing); a file only writable to this
    // user, for writing, which changes nothing in it.
    struct stat old {};
    FileDescriptor target;
    if (now.exists) {
      target.reset(::open(to.c_str(), O_RDONLY | cTargetOpen));
      if (!target && errno == EACCES) target.reset(::open(to.c_str(), O_WRONLY | cTargetOpen));
      // Removed, or made a link or a FIFO, since the look: look again.
      if (!target && (errno == ENOENT || errno == ELOOP || errno == ENXIO) && lookAgain) continue;
      if (!target && errno == EACCES && madeReadOnly(to)) return keepRefused(EACCES, cMadeReadOnly);
      if (!target) return fail("write", errno);
      if (::fstat(target.get(), &old) != 0) return fail("write", errno);
      if (!S_ISREG(old.st_mode)) {
        const std::string why = notRegular(mPath, to, old.st_mode, error);
        return fail("write", error, why);
      }
    }
    if (!target) {
      // Nothing there. A file that was there at create and has gone
      // meanwhile leaves the new one what it had then.
      if (mReplaced.exists && S_ISREG(mReplaced.mode)) {
        (void)giveOwner(temp, mReplaced.owner, mReplaced.group);
        if (const int kept = keepAttributes(temp, -1, mReplaced.mode); kept != 0) return fail("write", kept);
        if (::fsync(temp) != 0) return fail("write", errno);
      }
      // Put there only while the name is still free; a file made there
      // meanwhile is looked at as one found at the look.
      if (::renameat2(AT_FDCWD, mTemp.path.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
      if (errno == EEXIST && lookAgain) continue;
      // A file system that does not know the flag: a plain rename, which
      // would take the name from what was put there since the look.
      if ((errno == EINVAL || errno == ENOSYS) && ::rename(mTemp.path.c_str(), to.c_str()) == 0) return true;
      return fail("replace", errno);
    }
    // A new file of this process's cannot stand in for a file of another
    // owner (a user who may write it through its group or an access list):
    // it would take the file from her. That file is written into instead.
    if (!giveOwner(temp, old.st_uid, old.st_gid)) return writeInPlace(old);
    if (const int kept = keepAttributes(temp, target.get(), old.st_mode); kept != 0) return fail("write", kept);
    if (::fsync(temp) != 0) return fail("write", errno);
    target.reset();
    bool again = false;
    if (exchange(old, lookAgain, again)) return true;
    if (!again) return false;
  }
}

bool ReplacingFile::exchange(const struct stat& old, bool lookAgain, bool& again) {
  again = false;
  const std::string& to = mReplaced.path;
  // Swapped in one step, so that what is at the name at the moment of the
  // move comes out under the temporary name, where it is looked at: a
  // FIFO, a device, a folder or another file put there since the look is
  // put back at once, and the save refused. This thread takes no ending
  // signal meanwhile: its handler would remove whatever came out. One
  // taken on another thread in that moment removes the old file, which is
  // no loss (the new one stands in its place), or, for a name swapped at
  // that very moment, what was swapped in.
  const EndingSignalsHeld held;
  if (::renameat2(AT_FDCWD, mTemp.path.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) != 0) {
    if (errno == ENOENT && lookAgain) return again = true, false; // removed since the look
    // A file system that cannot swap (EINVAL): a plain rename, and the
    // moment between the look and the rename, in which another may put a
    // FIFO or a device at the name and lose it to the new file, stays.
    if ((errno == EINVAL || errno == ENOSYS) && ::rename(mTemp.path.c_str(), to.c_str()) == 0) return true;
    return fail("replace", errno);
  }
  mTemp.removedOnSignal.drop();
  struct stat out {};
  const bool expected = ::lstat(mTemp.path.c_str(), &out) == 0 && S_ISREG(out.st_mode) && sameFile(out, old);
  if (expected) {
    ::unlink(mTemp.path.c_str());
    return true;
  }
  if (::renameat2(AT_FDCWD, mTemp.path.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) != 0) {
    const int error = errno;
    const std::string at = mTemp.path;
    mTemp.path.clear(); // what stands there is not ours to remove
    return fail("replace", error,
                "it changed as it was replaced, and what was put there meanwhile could not be put back (" +
                    std::string(std::strerror(error)) + "); it is now " + at);
  }
  if (S_ISREG(out.st_mode)) return keepRefused(EBUSY, "another save to it finished first, as this one was put in its place");
  int error = EBUSY;
  const std::string why = notRegular(mPath, to, out.st_mode, error);
  return fail("write", error, why);
}

bool ReplacingFile::writeInPlace(const struct stat& old) {
  const int temp = mTemp.lock.get();
  const std::string& to = mReplaced.path;
  // This thread takes no ending signal from the open until the copy is
  // done (Ctrl-C waits that long): one halfway would end the program with
  // the user's file half old, half new. A write past the file size limit
  // fails with EFBIG meanwhile, and its signal is taken before they are
  // let go (takeSizeLimitSignal).
  const EndingSignalsHeld held;
  const bool ok = copyInPlace(temp, to, old);
  takeSizeLimitSignal();
  return ok;
}

bool ReplacingFile::copyInPlace(int temp, const std::string& to, const struct stat& old) {
  // Opened anew for writing, without following a link and without
  // truncating, and only if it is still the file looked at.
  FileDescriptor target(::open(to.c_str(), O_WRONLY | cTargetOpen));
  const int opened = errno;
  struct stat st {};
  // An open refused for what was put there since the look (a FIFO without
  // a reader, a link, another user's file) is refused for that, in words.
  if (!target && (::lstat(to.c_str(), &st) != 0 || (S_ISREG(st.st_mode) && sameFile(st, old))))
    return opened == EACCES && madeReadOnly(to) ? keepRefused(EACCES, cMadeReadOnly) : fail("write", opened);
  if (target && ::fstat(target.get(), &st) != 0) return fail("write", errno);
  int error = 0;
  if (!S_ISREG(st.st_mode)) {
    const std::string why = notRegular(mPath, to, st.st_mode, error);
    return fail("write", error, why);
  }
  if (!sameFile(st, old)) return keepRefused(EBUSY, "another save to it finished first, as this one was written into it");
  struct stat whole {};
  if (::fstat(temp, &whole) != 0) return fail("write", errno);
  // Before the user's file changes, the temporary file, the only whole copy
  // of the new contents until the copy is done, takes a name of its own
  // beside it (keepBeside), off the signal cleanup's list and out of every
  // sweep's reach: for a failure, a signal handled on another thread, or
  // one no process can hold back (SIGKILL). Without such a name the file
  // is not touched.
  mTemp.removedOnSignal.drop();
  mKept = keepBeside(mTemp.path, to);
  if (mKept.empty()) {
    error = errno;
    return fail("write", error,
                "the new contents could not be kept beside it while it is written in place (" +
                    std::string(std::strerror(error)) + "); nothing was written into it");
  }
  mTemp.path.clear();
  // A signal that ends the program on another thread meanwhile says where
  // the whole file is.
  const SaidOnSignal said("ended while " + to + " was written in place; it may be cut short or hold old bytes; " +
                          "the complete file is kept in " + mKept);
  // Room for all of it first: until then the file holds its old bytes.
  if (error = makeRoom(temp, target.get(), st.st_size, whole.st_size); error != 0)
    return fail("write", error,
                std::string(std::strerror(error)) + "; it keeps its old contents; the complete file is kept in " +
                    mKept);
  error = copyInto(temp, target.get(), 0, std::min(st.st_size, whole.st_size));
  if (error == 0 && ::ftruncate(target.get(), whole.st_size) != 0) error = errno;
  if (error == 0 && ::fsync(target.get()) != 0) error = errno;
  if (const int closed = target.close(); error == 0) error = closed;
  // The name still leads to the file written; else the new contents went
  // to a file no longer there, and only the kept one holds them.
  struct stat now {};
  const bool stayed = ::lstat(to.c_str(), &now) == 0 && sameFile(now, old);
  if (error == 0 && stayed) {
    ::unlink(mKept.c_str());
    mKept.clear();
    return true;
  }
  const std::string where = "the complete file is kept in " + mKept;
  if (error != 0)
    return fail("write", error,
                "the copy into it stopped halfway (" + std::string(std::strerror(error)) + "), so it holds part of each; " +
                    where);
  return fail("write", EBUSY, "it was moved away or removed as it was written into; " + where);
}

bool ReplacingFile::keepRefused(int error, const std::string& why) {
  mTemp.removedOnSignal.drop();
  mKept = keepBeside(mTemp.path, mReplaced.path);
  if (mKept.empty()) return fail("write", error, why + "; nothing was replaced");
  mTemp.path.clear();
  return fail("write", error, why + "; nothing was replaced; this one is kept in " + mKept);
}

void ReplacingFile::discard() {
  mTemp.descriptor.reset();
  if (!mTemp.path.empty()) ::unlink(mTemp.path.c_str());
  mTemp = TemporaryFile();
}

} // namespace platform
