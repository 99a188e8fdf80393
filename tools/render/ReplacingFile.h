#pragma once

// A file that replaces another only once it is complete.
//
//   renderio::ReplacingFile file;
//   if (!file.create("out.wav")) fail(file.error());
//   write(file.descriptor(), ...);
//   if (!file.commit()) fail(file.error());   // out.wav now holds it all
//
// The target is the file the name leads to: a symbolic link there stays a
// link, and the file it names (which need not exist yet) is the one
// replaced (platform/ReplacedFile.h). The bytes go to a temporary file of a
// unique name in the target's folder, created exclusively (never an
// existing file, never through a symbolic link planted under that name).
// commit() flushes it to the disk and renames it over the target. Until
// then, and after any failure or a discard, the target stays as it was; a
// process killed on the way leaves at most the hidden temporary file
// (".NAME.PID-N.quorvane-part", the program's one scheme,
// platform/TemporaryFiles.h) beside it. Errors name the path given and the
// system's reason. A file replaced keeps its mode (and its owner, where
// this process may give it); a new file gets the usual mode (0666 less the
// umask).

#include "platform/ReplacedFile.h"

#include <string>

namespace renderio {

class ReplacingFile {
public:
  ReplacingFile() = default;
  ~ReplacingFile(); // discards what was not committed
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  bool create(const std::string& path);
  // The open temporary file; -1 before create or after commit/discard.
  int descriptor() const { return mTemp.descriptor.get(); }
  // Writes everything, going on after short writes.
  bool writeAll(const void* data, size_t size);
  // fsync, close, rename over the target. The descriptor is closed either way.
  bool commit();
  // As commit, but puts the file at the name given only when no file (nor a
  // link, which is not followed then) is there yet: false, the temporary
  // file removed, when the name is taken (taken() then says so) or the move
  // fails.
  bool commitAsNew();
  bool taken() const { return mTaken; }
  // Closes and removes the temporary file; the target is untouched.
  void discard();

  const std::string& error() const { return mError; }
  const std::string& path() const { return mPath; }
  const std::string& temporaryPath() const { return mTemp.path; }

  // Whether a file at path could be written and put in place now, asked
  // before long work whose result would otherwise be lost at its end: the
  // target is no folder or other non-file, its name is one the file system
  // takes, and its folder exists and takes a new file (a temporary one is
  // made and removed again). False with the reason and what to do in error.
  static bool checkWritable(const std::string& path, std::string& error);

private:
  bool fail(const std::string& what, int error);
  bool finish(bool replace);

  std::string mPath, mError;
  platform::ReplacedFile mReplaced;
  platform::TemporaryFile mTemp; // locked against the start-up sweep while it lives
  bool mTaken = false;
};

} // namespace renderio
