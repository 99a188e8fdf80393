#include "tools/render/ReplacingFile.h"

#include "platform/ReplacedFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace renderio {
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

} // namespace

ReplacingFile::~ReplacingFile() { discard(); }

bool ReplacingFile::checkWritable(const std::string& path, std::string& error) {
  // The file written is the one a link at path leads to, in its folder.
  platform::ReplacedFile replaced;
  const bool found = platform::findReplacedFile(path, replaced);
  const int why = errno;
  const std::string& target = found ? replaced.path : path;
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
                                       std::to_string(platform::longestFileName(folder + "/")) + ")"
             : why == EACCES     ? "it is a link of another user in a folder open to all, which is not followed"
                                 : "its links cannot be followed (" + std::string(std::strerror(why)) + ")") +
            "; give another name";
    return false;
  }
  if (path.empty() || path.back() == '/' || (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
    error = "cannot write " + path + ": it is a folder; give the name of a file in it";
    return false;
  }
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    error = "cannot write " + path + ": it is not a regular file; give another name";
    return false;
  }
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = "cannot write " + path + ": there is no folder " + folder + "; make it first or give another place";
    return false;
  }
  ReplacingFile probe;
  errno = 0;
  if (!probe.create(path)) {
    error = "cannot write " + path + ": " +
            (errno == ENAMETOOLONG
                 ? "its path is too long (" + std::string(std::strerror(errno)) + "); give a shorter one"
                 : "the folder " + folder + " takes no new file (" + std::strerror(errno != 0 ? errno : EACCES) +
                       "); give another place");
    return false;
  }
  probe.discard();
  return true;
}

bool ReplacingFile::fail(const std::string& what, int error) {
  mError = "cannot " + what + " " + mPath + ": " + std::strerror(error);
  return false;
}

bool ReplacingFile::create(const std::string& path) {
  discard();
  mPath = path;
  mError.clear();
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return fail("write", EISDIR);
  if (!platform::findReplacedFile(path, mReplaced)) return fail("write", errno);
  mTemp = platform::createReplacement(mReplaced, 0666);
  if (!mTemp) return fail("write", errno);
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
  if (!mTemp.descriptor) return fail("write", EBADF);
  bool ok = true;
  if (const int error = platform::keepAttributes(mTemp.descriptor.get(), mReplaced); error != 0)
    ok = fail("write", error);
  ok = ok && (::fsync(mTemp.descriptor.get()) == 0 || fail("write", errno));
  if (const int closed = mTemp.descriptor.close(); closed != 0 && ok) ok = fail("write", closed);
  if (ok && replace && ::rename(mTemp.path.c_str(), mReplaced.path.c_str()) != 0) ok = fail("replace", errno);
  // A link at the name takes it as a file would: nothing is written
  // through it.
  if (ok && !replace && (mReplaced.path != mPath || !moveAsNew(mTemp.path, mPath))) {
    if (mReplaced.path != mPath) errno = EEXIST;
    mTaken = errno == EEXIST;
    ok = fail("write", errno);
  }
  if (!ok) ::unlink(mTemp.path.c_str());
  mTemp = platform::TemporaryFile();
  return ok;
}

void ReplacingFile::discard() {
  mTemp.descriptor.reset();
  if (!mTemp.path.empty()) ::unlink(mTemp.path.c_str());
  mTemp = platform::TemporaryFile();
}

} // namespace renderio
