#pragma once

// The temporary files through which the program replaces a file whole:
// the new bytes go to a temporary file beside the final one, which takes
// the final name when it is complete. A process killed in between leaves
// the temporary file behind, so every one is named by one scheme,
//
//     folder/.NAME.PID-N.quorvane-part
//
// hidden (the leading '.'), telling which file it was to become (NAME, the
// final name, cut short at its end where the whole would pass the longest
// name the folder takes: any name the file system takes can be written),
// which process wrote it (PID, as that process saw itself) and which of
// that process's files it was (N). The ending is one no other program
// makes: the preset folder may be any folder the user chose, and the files
// other programs leave there, whatever they look like, are not ours to
// remove.
//
// Whether a writer is still at work cannot be told from its PID: a writer
// in another PID namespace (two containers sharing a home) has a number
// that means nothing, or something else, here. So a writer holds an
// advisory lock (flock) on its temporary file from the moment it makes it
// until it has renamed it or given it up, and the kernel lets go of the
// lock when the writer ends, however it ends, in whatever namespace. The
// sweep at start removes a file only when it can take that lock itself
// (StaleFiles.h). A writer that stalls between making its file and locking
// it (stopped, or its machine frozen) may find its name swept meanwhile:
// once it holds the lock it checks that the name is still its file, and
// makes another under a new name when not, so no live writer loses its
// file to a sweep.
//
// Where the file system keeps no locks (ENOLCK, EOPNOTSUPP), the writer
// gives up the file it made and writes one marked as made without a lock,
//
//     folder/.NAME.PID-Nu.quorvane-part
//
// which a sweep takes by its age alone, once it has lain untouched for
// cUnsureTemporaryFileSettleSeconds; so does it any temporary file on a
// file system whose locks other machines may not see (NFS, SMB, FUSE and
// the like: a shared home seen from two machines).
//
// A signal that ends the program removes the temporary files it was
// writing first, while a SignalCleanup lives (the command-line tools hold
// one): an output may go to any folder, and no start-up sweep looks
// there. Each name is entered for that before its file exists. What a
// writer killed outright leaves (SIGKILL, a crash, the machine stopped) is
// removed by the next writer of this user in that folder: making a
// temporary file first sweeps the folder it goes in.
//
// Files of the older scheme (".NAME.PID-N.part", written without the lock)
// are never removed: nothing tells one of a live writer elsewhere from a
// dead one, nor ours from another program's.
//
// Thread: any.

#include "platform/FileDescriptor.h"
#include "platform/SignalCleanup.h"

#include <string>
#include <sys/types.h>

namespace platform {

// A temporary file being written. The lock lives as long as this object,
// so the writer keeps it until after the rename (or the unlink), and may
// close descriptor before that to see the close's report.
struct TemporaryFile {
  FileDescriptor descriptor; // open for reading and writing
  std::string path;          // "" when none could be made
  FileDescriptor lock;       // the same open file, holding the lock (where locks are kept)
  RemovedOnSignal removedOnSignal;

  explicit operator bool() const { return static_cast<bool>(descriptor); }
};

// Creates a new temporary file for path under the scheme above, exclusively
// (never an existing file, never through a link) with the given mode (less
// the umask), and locked (or marked as made without a lock, where the file
// system keeps none), after removing the stale temporary files in its
// folder (not below). The descriptor is open for reading and writing
// (a writer may read back what it wrote, as the WAV writer does its
// header). Holds nothing, with errno, when it could not be made: EAGAIN
// when a sweep took each name it made before it could lock it.
TemporaryFile createTemporaryFile(const std::string& path, mode_t mode);

// The longest name of a file the file system of folder ("" for the current
// one, or "dir/") takes, in bytes: NAME_MAX where it does not say.
size_t longestFileName(const std::string& folder);

// name cut at its end to at most size bytes (never within a character of
// UTF-8, and never to nothing), so that a name made of it with something
// added fits the folder.
std::string shortenedName(const std::string& name, size_t size);

// The writer's process id when name follows the scheme (locked or
// marked as made without a lock), else -1.
long temporaryFileOwner(const std::string& name);

// True when the temporary file at path (a name of the scheme, a regular
// file of this user) is held by no writer and has been left alone long
// enough (see above).
bool isStaleTemporaryFile(const std::string& path);

// Removes the stale temporary files in folder whose NAME begins with
// namePrefix ("" for all), and in its sub-folders down to depth levels;
// links to folders, hidden folders and other disks are not entered, and at
// most 1000 folders are looked at. Each file is removed while the sweep
// holds its lock, so a writer that appears meanwhile is not robbed of it.
// Returns how many files were removed.
int removeStaleTemporaryFiles(const std::string& folder, const std::string& namePrefix = "", int depth = 0);

// How long a temporary file must have been left untouched before a sweep
// looks at its lock.
constexpr int cTemporaryFileSettleSeconds = 10;
// How long one no lock can tell about (written without one, or on a file
// system whose locks other machines may not see) must have been left
// untouched before a sweep takes it: a day, longer than a writer is left
// stopped (Ctrl-Z) or its machine frozen, as a rule.
constexpr int cUnsureTemporaryFileSettleSeconds = 24 * 3600;

} // namespace platform
