#pragma once

// The files one command of zarn-host reads and writes, each with the option
// (or the place on the command line) that named it, checked against each
// other before the command does any work.
//
// A slip of the arguments (a state file given where the song belongs, the
// output named twice) would otherwise have the command replace a file the
// user meant it to read, and succeed. So every file the command will write
// is compared with every file it reads and with every other file it
// writes, and a clash is refused with both names:
//   - a name leads where a write to it would go: a link at its end is
//     followed, as the writers follow it;
//   - two names of files that exist are one file when they are the same
//     file on the disk (device and inode), whatever links or spellings lead
//     there;
//   - names of files not made yet are one file when they name one folder
//     on the disk (device and inode: a bind mount, /proc/self/fd or a link
//     may lead there) and the same name in it;
//   - a folder read whole (a bundle) clashes with any file written over
//     one of its files or inside one of its folders, each known by its
//     identity, links in the bundle followed (its program or resources
//     may lie elsewhere).
// A pair the command reads whole before it writes it (a state loaded and
// saved again) may be declared as allowed.
//
// Thread: the command's own (main) thread; nothing here is shared.

#include <string>
#include <utility>
#include <vector>

namespace simhost {

class CommandFiles {
public:
  // What every command names alike: the bundle it loads (read whole), a
  // state it loads and a state it saves, which may be the loaded one (read
  // whole before it is written). Empty paths are left out.
  CommandFiles(const std::string& bundle, const std::string& loadState, const std::string& saveState);

  // option names the file for the user: "--save-state", "OUTPUT.wav". An
  // empty path (an option not given) is left out.
  void reads(const std::string& option, const std::string& path);
  void readsFolder(const std::string& option, const std::string& path);
  void writes(const std::string& option, const std::string& path);
  // The command reads the file of readOption whole before it writes the one
  // of writeOption: the two may be one file.
  void allowSame(const std::string& readOption, const std::string& writeOption);

  // False with a one-line reason naming both options at the first clash.
  bool check(std::string& error) const;

private:
  enum class Use { Read, ReadFolder, Write };
  struct Named {
    std::string option, path;
    Use use;
  };
  bool allowed(const Named& read, const Named& write) const;

  std::vector<Named> mFiles;
  std::vector<std::pair<std::string, std::string>> mAllowed;
};

} // namespace simhost
