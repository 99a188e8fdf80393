#pragma once
// What every writer that replaces a user's file whole must leave on the
// disk, whatever stood at the name: the mode (and, for root, the owner)
// the user set on the file; a symbolic link still a link, the file it
// names holding the new bytes; names up to the longest the file system
// takes written, longer ones refused; nothing written through a link a
// stranger planted in a shared folder; no temporary file left behind. One
// table, run on each writer, so the writers behave alike.

#include <functional>
#include <string>
#include <sys/types.h>

namespace zarn::test {

// write(path) writes a whole file at path the writer's way and says
// whether it succeeded; written is what it puts in the file.
void expectReplacedFilesKept(const std::function<bool(const std::string& path)>& write, const std::string& written);

} // namespace zarn::test

namespace zarn::test {

// One writer of a user's file, as its callers use it, for the table below.
struct Saver {
  // Writes the file at path whole, the writer's way, and says whether it
  // succeeded. between is called once the writer has made its file and
  // before it puts it in place, where the writer's face has such a moment
  // (hasMoment); else it is never called.
  std::function<bool(const std::string& path, const std::function<void()>& between)> write;
  std::string written;        // what it puts in the file
  std::string old = "old";    // what a file it replaces holds (one it can read as its own)
  std::string name = "named"; // the name it writes in the case's folder
  mode_t newMode = 0666;      // of a file it makes, before the umask
  bool replaces = true;       // false: it only adds a file where nothing is, and keeps what is there
  bool hasMoment = false;
};

// Runs saver through what a save meets at its name: nothing, a file, a
// link, a FIFO or a device (behind a link too, or put there while the file
// is written), another user's file in a folder with the sticky bit, and a
// /proc/self/fd entry of a deleted file. Checks what the user's files hold
// afterwards: only a regular file or nothing is ever replaced, a device
// stays a device and a FIFO a FIFO, old bytes stay where the save is
// refused, and no temporary file is left. Cases that need root (a device
// node, a second user) are skipped in words without it.
void expectOnlyRegularFilesSaved(const Saver& saver);

} // namespace zarn::test
