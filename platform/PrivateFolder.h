#pragma once

// A folder of the process's own in the system's temporary folder
// ($TMPDIR, else /tmp), named PREFIX-PID-N, for work that must not touch
// the user's own folders (a snapshot runs the plug-in in a home of its own
// there). It is removed when the object goes, and also when a signal ends
// the process (see SignalCleanup.h), which would otherwise leave it (and
// its megabytes) behind for good. When no folder can be made there, the
// object says why, and the caller does without rather than work in the
// user's own folders.
//
// A process killed outright (SIGKILL, a crash) still leaves its folder.
// Whether its owner is gone cannot be told from the PID in the name (two
// containers sharing /tmp have PID namespaces of their own), so the owner
// holds an advisory lock on the folder while it lives, which the kernel
// drops when the process ends. Making a folder first removes the folders
// of the same prefix that are stale (StaleFiles.h): this user's, left
// alone for a while and with a lock no one holds. A process that stalls
// between making its folder and locking it may find a sweep took it
// meanwhile: it checks, once it holds the lock, that the name is still its
// folder, and makes another when not.
//
// Thread: the object is made and destroyed on one thread; the signal
// handler runs on whichever thread the signal reaches and only removes the
// folder before the process ends as the signal says.

#include "platform/FileDescriptor.h"
#include "platform/SignalCleanup.h"

#include <string>

namespace platform {

class PrivateFolder {
public:
  // path() is "" when no folder could be made; error() then says where
  // and why.
  explicit PrivateFolder(const std::string& prefix);
  ~PrivateFolder();
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

  const std::string& path() const { return mPath; }
  const std::string& error() const { return mError; }

  // Removes the stale folders PREFIX-PID-N in folder (see above); returns
  // how many went.
  static int removeStale(const std::string& folder, const std::string& prefix);
  // How long a folder must have been left unchanged before it may be taken
  // for stale; cUnsureSettleSeconds where its lock cannot tell (a
  // temporary folder whose locks other machines may not see).
  static constexpr int cSettleSeconds = 10;
  static constexpr int cUnsureSettleSeconds = 24 * 3600;

private:
  SignalCleanup mSignals; // held before the folder is registered
  std::string mPath, mError;
  FileDescriptor mLock;
  RemovedOnSignal mRemovedOnSignal;
};

} // namespace platform
