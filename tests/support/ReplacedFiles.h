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

namespace zarn::test {

// write(path) writes a whole file at path the writer's way and says
// whether it succeeded; written is what it puts in the file.
void expectReplacedFilesKept(const std::function<bool(const std::string& path)>& write, const std::string& written);

} // namespace zarn::test
