#pragma once
// What processes leave behind in a shared folder, for the tests of the
// sweeps that clean up after them: temporary files named as the writers
// name them, files aged as if left long ago, and a writer in another
// process that still holds its file's lock (as one in another PID
// namespace would: its number tells nothing here, only its lock does).

#include <string>
#include <sys/types.h>

namespace zarn::test {

// The name the program's writers give the temporary file of name.
std::string temporaryName(const std::string& name, long pid, int n);
// The name a writer gives it where the file system keeps no locks (marked
// as made without one).
std::string unlockedTemporaryName(const std::string& name, long pid, int n);
// The older scheme's name, written without a lock.
std::string oldTemporaryName(const std::string& name, long pid, int n);

// Sets the modification time of path (a file or a folder, not followed
// through a link) that many seconds into the past; false when that failed.
bool ageFile(const std::string& path, int seconds);

// A child process holding an exclusive flock on path (a file or a folder;
// a file is made when missing)
// until the object is destroyed.
class LockHolder {
public:
  explicit LockHolder(const std::string& path);
  ~LockHolder();
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;
  bool holding() const { return mPid > 0; }

private:
  pid_t mPid = -1;
};

} // namespace zarn::test
