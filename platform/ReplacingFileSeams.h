#pragma once

// The system calls with which ReplacingFile::commitAsNew puts a file at a
// name only when nothing is there, replaceable by a test so that a file
// system without them (vfat and some FUSE mounts refuse a rename that may
// not replace with EINVAL, and a hard link with EPERM) is played on any
// machine, and a file made at the name between two steps is made at the
// very moment; those with which it writes a file in place; and the moment
// between findReplacedFile's two looks at a name (ReplacedFile.cpp), where
// another process may put a file there.
// Internal: only ReplacingFile.cpp, ReplacedFile.cpp and their tests
// include it; a test that sets them puts the defaults back before it ends.

#include <sys/types.h>

namespace platform::seams {

struct MoveAsNewCalls {
  // renameat2(RENAME_NOREPLACE) and link(), with errno on failure.
  int (*renameNoReplace)(const char* from, const char* to);
  int (*link)(const char* from, const char* to);
  // When neither exists: called once the name is reserved (an empty file
  // made exclusively there), before the file is renamed over it.
  void (*reserved)(const char* to);
};

// The calls of this process; defaultMoveAsNewCalls() until a test sets
// others.
extern MoveAsNewCalls gMoveAsNew;
MoveAsNewCalls defaultMoveAsNewCalls();

// The system calls with which ReplacingFile writes another user's file in
// place, so that a test plays a full disk, a file system that cannot
// reserve space, a limit lowered or a signal sent halfway through the copy
// at the very byte.
struct InPlaceCalls {
  // fallocate(FALLOC_FL_KEEP_SIZE) over the first length bytes, with errno
  // on failure.
  int (*reserve)(int fd, off_t length);
  // pwrite.
  ssize_t (*write)(int fd, const void* data, size_t size, off_t at);
};

extern InPlaceCalls gInPlace;
InPlaceCalls defaultInPlaceCalls();

// Called by findReplacedFile at each look at path, after it has seen what
// an open of path reaches and before it follows path's links; nullptr (the
// default) calls nothing.
extern void (*gBetweenLooks)(const char* path);

} // namespace platform::seams
