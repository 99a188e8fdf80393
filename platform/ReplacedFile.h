#pragma once

// The file that a whole-file write replaces, and what the user set on it.
//
// Every writer of a user's file (a state, a rendered sound, a preset, the
// controller map) fills a temporary file beside it and renames that over
// it. A rename is blind to what the name was: a symbolic link at the name
// would be replaced by a plain file, leaving the file the user pointed it
// at with the old contents, and the new file would get the program's
// default mode and owner rather than those the user chose. So the writers
// ask here first:
//   - where the new bytes go: the name given, or, when it is a symbolic
//     link (or a chain of them), the file at the chain's end, which need
//     not exist yet. The temporary file is made beside that file, so the
//     rename stays on its disk and the links stay links.
//   - what the new file keeps: the mode of the file it replaces, and its
//     owner and group where this process may give them (root may; a user
//     may keep a group he belongs to), as they are when it takes its
//     place. The temporary file stays private to its writer until its
//     bytes are complete, then takes them over. Where the owner cannot be
//     given (a user may write a file of another through its group or an
//     access list), the writer does not rename at all but writes into the
//     file itself, which so stays its owner's with all he set on it.
// A file this process may not write (one the user made read-only) is not
// replaced, as an open for writing would not write it: a rename alone
// would pass over its mode. A link is followed only where the kernel
// would follow it for an open: in a folder that anyone may write to and
// only its owner may clean up (/tmp), a link of another user is refused,
// as it may have been planted to have the program write over a file of
// its victim.
//
// Names the folder's file system refuses (longer than longestFileName) are
// refused here at once with ENAMETOOLONG, so the reason names the name,
// not the folder.
//
// Thread: any; nothing here is shared. Never called on the render thread.

#include "platform/TemporaryFiles.h"

#include <string>
#include <sys/types.h>

namespace platform {

struct ReplacedFile {
  std::string path;   // where the new file goes: the name given, its links followed
  bool exists = false; // something is there now (a file, or a folder the rename will refuse)
  uid_t owner = 0;
  gid_t group = 0;
  mode_t mode = 0; // of what is there: its type and permission bits
};

// What writing path replaces. False, with errno, when a chain of links is
// too long or loops (ELOOP), a link may not be followed or the file may
// not be written (EACCES, see above), the final name is longer than its
// folder takes (ENAMETOOLONG), the file is another user's in a folder with
// the sticky bit, where the kernel lets only the file's or the folder's
// owner (or a process with CAP_FOWNER) rename over it (EPERM), or path
// opens a file that its links' text does not lead to (ESTALE: a
// /proc/self/fd entry of a deleted file reads ".../name (deleted)", and
// following it would make a new file of that name). A name that another
// process changes as it is looked at (renames a file over it: two saves to
// one name at once) is looked at again; one that changed at each of a few
// looks gives EBUSY. A missing folder is no failure here: making the
// temporary file says so. What is found may be
// of any kind; the writer (platform/ReplacingFile.h) refuses all but a
// regular file.
bool findReplacedFile(const std::string& path, ReplacedFile& replaced);

// The temporary file (platform/TemporaryFiles.h) beside replaced.path:
// with mode (less the umask) for a new file, private to this process's
// user while it replaces one that exists. Nothing, with errno, when it
// cannot be made.
TemporaryFile createReplacement(const ReplacedFile& replaced, mode_t mode);

// Gives the temporary file open at fd the owner and group given, where
// this process may (root may; a user may keep a group he belongs to), and
// says whether the file has both now, as the file itself tells (fstat),
// not as the calls answered. One that has not cannot stand in for the
// replaced file: the writer writes into that file instead
// (platform/ReplacingFile.h), which stays its owner's.
bool giveOwner(int fd, uid_t owner, gid_t group);

// Gives the temporary file open at fd (any descriptor of it, even one open
// only for reading) the access list, extended attributes and mode of the
// file it replaces, once its bytes are written and its owner given, before
// the rename (platform/ExtendedAttributes.h). from is that file open for
// reading or writing, so that all of it is read from the one file the
// caller read mode from, at one moment; -1 for a file removed meanwhile,
// whose mode (as it was) alone is given. 0, or the errno of a failed
// change of mode or attribute.
int keepAttributes(int fd, int from, mode_t mode);

} // namespace platform
