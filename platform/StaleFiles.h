#pragma once

// Whether something another process left is stale: the one test both
// start-up sweeps make (the temporary files of TemporaryFiles.h, the
// private folders of PrivateFolder.h), and the lock their makers take.
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
// expected and not a link, left untouched for a while, and with a lock no
// one holds. A maker takes its lock a moment after it made the name; a
// maker stalled in that moment (stopped, descheduled, its machine frozen)
// may find a sweep took the name meanwhile, so it checks, once it holds
// the lock, that the name is still the one it made (lockMade and
// isStillNamed), and makes another when not: the sweep's settle time only
// spares the makers' retries.
//
// A lock tells nothing where other machines may not see it (network and
// cluster file systems; a shared home seen from two machines): there what
// is left must have lain untouched far longer before a sweep takes it, and
// so must what its maker could not lock at all (its file system keeps no
// locks). A file system that keeps no locks refuses the sweep's lock too:
// what its maker meant to lock is then never stale, and only what it made
// without one goes, by its age.
//
// Thread: any.

#include "platform/FileDescriptor.h"

#include <string>

namespace platform {

enum class StaleKind { File, Folder };
// Whether the maker held a lock on what it made (Held) or made it knowing
// it could not (None).
enum class MakersLock { Held, None };

// The file or folder at path, open and locked, when it is stale as above:
// path itself of the kind, this user's, still the one under that name once
// locked, its lock free (or, for MakersLock::None, free or not kept at all)
// and unchanged for settleSeconds, or for unsureSeconds where a lock
// cannot tell (MakersLock::None, or a file system whose locks other
// machines may not see); nothing otherwise. While the descriptor lives no
// process can take the lock, so the caller removes it then and robs no one
// that appeared meanwhile.
FileDescriptor lockIfStale(const std::string& path, StaleKind kind, int settleSeconds, int unsureSeconds,
                           MakersLock makersLock = MakersLock::Held);

// The maker's lock on what it has just made, open as fd: waits while
// another (a sweep) holds it. 0, or -1 with errno (ENOLCK or EOPNOTSUPP
// where the file system keeps no locks).
int lockMade(int fd);

// Whether path still names the file or folder open as fd (not removed, nor
// removed and made anew by another, meanwhile).
bool isStillNamed(const std::string& path, int fd);

// Whether the locks taken on a file system of this type (statfs's f_type)
// may go unseen by another machine that uses it: the network, cluster and
// user-space file systems.
bool locksMayBeUnseen(unsigned long fileSystemType);

// What lockMade and lockIfStale call, for a test to stand in for the file
// system: a lock that fails as where none are kept, a local folder taken
// for a network one. Set before any thread makes or sweeps.
extern int (*gTakeMadeLock)(int fd);
extern bool (*gLocksMayBeUnseen)(unsigned long fileSystemType);

} // namespace platform
