#include "platform/ReplacingFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Moves the temporary file to the target only if nothing is there, in one
// step: another process making the same name meanwhile is never written
// over. A file system that cannot refuse in the move itself gets a second
// name made by a hard link, which fails as well on a name taken.
bool moveAsNew(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
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
  probe.discard();
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
  mTemp = createReplacement(mReplaced, newFileMode);
  if (!mTemp) {
    const int made = errno;
    const size_t at = mReplaced.path.rfind('/');
    mFailedAt = at == std::string::npos ? "." : at == 0 ? "/" : mReplaced.path.substr(0, at);
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
