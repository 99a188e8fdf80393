#pragma once

// Whether something another process left is stale: the one test both
// start-up sweeps make (the temporary files of TemporaryFiles.h, the
// private folders of PrivateFolder.h).
//
// A process that works in a file or folder holds an advisory lock (flock)
// on it from the moment it makes it until it is done, and the kernel lets
// go of the lock when the process ends, however it ends and in whatever PID
// namespace it runs. So what is left is stale when its lock can be taken;
// the number in its name tells nothing (a writer in another container has
// a number that means something else here, or nothing).
//
// Stale, and so removable, is only what is certainly the sweeper's own
// and certainly abandoned: of this user (a shared folder such as /tmp holds
// other users' files, which are never theirs to judge), of the kind
// expected and not a link, left untouched for a while (a process makes its
// file and locks it a moment later: one touched lately may be in that
// moment), and with a lock no one holds. A file system that keeps no locks
// refuses every lock, so nothing on it is ever stale.
//
// Thread: any.

#include "platform/FileDescriptor.h"

#include <string>

namespace platform {

enum class StaleKind { File, Folder };

// The file or folder at path, open and locked, when it is stale as above
// (path itself of the kind, this user's, unchanged for settleSeconds, its
// lock free, and still the one under that name once locked); nothing
// otherwise. While the descriptor lives no process can take the lock, so
// the caller removes it then and robs no one that appeared meanwhile.
FileDescriptor lockIfStale(const std::string& path, StaleKind kind, int settleSeconds);

} // namespace platform
