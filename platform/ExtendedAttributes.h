#pragma once

// The extended attributes a replaced file hands on to the file that
// replaces it.
//
// Beside its mode and owner, a file keeps attributes in its file system:
// its access list (who else may read or write it than the owner, the group
// and the others of the mode), attributes users and their programs set
// under "user." (where a file came from, a tag), and those of the
// system's security modules. A save fills a new file and renames it over
// the old one, so what the new file does not take over is lost with the
// old one. For the access list that widens access: the mode of a file with
// a list shows the list's mask as the group's bits, so without the list
// every member of the group gets what only the users the list named had,
// and those users lose it.
//
// So the replacement, before the rename, takes every attribute the old
// file has (a file whose owner the writer cannot give is not replaced but
// written in place, platform/ReplacingFile.h, and keeps them as they are):
//   - its access list, as the kernel stores it (system.posix_acl_access):
//     the same bytes make the same list, whatever tool reads it;
//   - every other attribute ("user.", "security.", "trusted.", the
//     system's) that this process may read and set. One it may not (a
//     security label only the administrator may set, a file system that
//     takes no such names) is left behind; any other failure (the disk
//     full) fails the save, and the old file stays as it was.
// Where the access list cannot be carried over (the file system or the
// kernel refuses it), the replacement gets no list and a mode that gives
// nobody more than the list gave: the users and groups it named lose what
// they had through it, nobody gains. Refusing the save instead would throw
// the new contents away (a render of minutes) over an access list that
// the user can set again; narrowing keeps both his work and his guard.
// The group's bits are then those of the list's own group entry (within
// the mask), not the mask, which is the most a named entry may have, not
// what the group has; and no more than a user the list named has, as he
// may be in the group (platform/ExtendedAttributes.cpp gives the rule).
//
// A replacement made in a folder with a default access list has inherited
// a list from it. A file that had none gets none: the list is removed from
// the replacement, which otherwise would grant the folder's named users
// what the file never granted them.
//
// Thread: any; nothing here is shared. Never called on the render thread.

#include <string>
#include <sys/types.h>

namespace platform {

// Gives the file open at fd (any descriptor of it, even one open only for
// reading) the extended attributes of the file open at from: a descriptor
// open for reading or writing (not O_PATH, whose attributes the kernel does
// not read), so that they are those of the very file whose owner and mode
// the caller read with fstat, at that moment; -1 for a file that is no
// longer there, which gives fd no list at all. Called after a change of
// owner (which drops a file's capabilities) and before its mode is set.
//
// mode holds the permission bits (07777) that the file at from has and
// comes back holding those to give the file at fd next: the same when the
// access list was carried over, fewer when it could not be. The change of
// mode must come after this call: with an access list present, it sets the
// list's mask from the group's bits, which are the mask of the old list.
//
// 0, or the errno of a failure: the attributes of from could not be read,
// or one could not be set for a reason other than this process's rights
// or the file system's support.
int copyExtendedAttributes(int from, int fd, mode_t& mode);

} // namespace platform
