#pragma once

// The one writer of a user's file: a file that replaces another only once
// it is complete.
//
//   platform::ReplacingFile file;
//   if (!file.create("out.wav")) fail(file.error());
//   write(file.descriptor(), ...);             // or file.writeAll(...)
//   if (!file.commit()) fail(file.error());    // out.wav now holds it all
//
// Every file the program saves for the user goes through here: rendered
// sounds, states, snapshot pictures, presets, the controller map, the
// preferences, the wave-table cache, the factory files copied into the
// user's folders and the copies of damaged files kept beside them. So
// they all behave alike:
//   - The target is the file the name leads to: a symbolic link there
//     stays a link (a dotfiles set-up keeps its links), and the file it
//     names (which need not exist yet) is the one replaced
//     (platform/ReplacedFile.h).
//   - What the name leads to, at create and again at the moment of the
//     commit, is a regular file or nothing. A FIFO, a device, a socket or
//     a folder (or a link to one) is refused with its kind in words: a
//     rename over it would put a plain file where the user's device was,
//     and nothing is ever written into it. A name turned into such a link
//     between create and commit, or made to lead to another file, is
//     refused at the commit. The commit's move cannot take the name from
//     something put there after its look either: it swaps the new file in
//     (renameat2 RENAME_EXCHANGE) and puts back whatever came out that is
//     not the file it looked at, or, where nothing was, moves it only
//     while the name is still free (RENAME_NOREPLACE). On a file system
//     without these moves it renames, and that moment stays open there.
//   - A file that the kernel would not let this process rename over (one
//     of another user in a folder with the sticky bit), or a link whose
//     file was deleted (a /proc/self/fd entry), is refused at create,
//     before any work: findReplacedFile says so. So is a folder with the
//     append-only or immutable attribute (chattr +a, +i), where no file
//     made could take the name or be removed again, root's neither.
//   - The bytes go to a temporary file of a unique name in the target's
//     folder (platform/TemporaryFiles.h), created exclusively, locked,
//     removed on a signal that ends the program. commit() flushes it to
//     the disk, gives it the replaced file's owner, group, mode, access
//     list and attributes (giveOwner, keepAttributes), all read from that
//     file, open, at the commit (so what the user changed on it meanwhile
//     holds), and renames it over the target. Until then, and after any
//     failure or a discard, the target stays as it was and the temporary
//     file is removed.
//   - A file whose owner and group this process cannot give (another
//     user's, that this user may write through its group or an access
//     list) is not replaced but written into, once the new contents are
//     whole on the disk: a new file of this user's in its place would take
//     it from her (her access gone, his to chmod). It keeps its inode, so
//     owner, group, mode, list and attributes stay as they are. Before its
//     first byte changes, the temporary file takes a name beside it that
//     no sweep and no signal removes, NAME.unsaved (the first free of
//     NAME.unsaved, NAME.unsaved-2, ..., NAME cut short where the name
//     would be too long; without such a name nothing is written), and
//     the room for the whole is made sure of: the file size limit asked,
//     the space reserved (fallocate) and the part beyond the old end
//     written first. A disk, a quota or a limit that cannot take it all
//     leaves the file with its old bytes. Ending signals wait on this
//     thread until the copy is done; the file size limit's signal is taken
//     (the write fails with EFBIG and is said). The kept file is removed
//     once the copy is done; a copy that fails halfway (a limit lowered
//     meanwhile, a failing disk) leaves it there and says so (keptPath),
//     as does a signal that ends the program on another thread. A reader
//     may see the file half written meanwhile, and SIGKILL or a power cut
//     during the copy leaves it cut short, with the complete file kept.
//   - A save that finds another save put a file at the name as it was
//     finishing, or the file made read-only to this user meanwhile (its
//     owner's chmod or setfacl), keeps its result beside it the same way,
//     and says where.
// Errors name the path given and the reason: the system's, or, for a
// refusal, what is wrong in words.
//
// Thread: any; one object is used by one thread at a time. Never called on
// the render thread.

#include "platform/ReplacedFile.h"

#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace platform {

class ReplacingFile {
public:
  ReplacingFile() = default;
  ~ReplacingFile(); // discards what was not committed
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Starts a file that will replace what path leads to. newFileMode (less
  // the umask) is the mode of a file that did not exist; one replaced
  // keeps its own.
  bool create(const std::string& path, mode_t newFileMode = 0666);
  // The open temporary file; -1 before create or after commit/discard.
  int descriptor() const { return mTemp.descriptor.get(); }
  // Writes everything, going on after short writes and interruptions.
  bool writeAll(const void* data, size_t size);
  // Keeps the attributes, fsync, close, rename over the target. The
  // descriptor is closed either way.
  bool commit();
  // As commit, but puts the file at the name given only when no file (nor a
  // link, which is not followed then) is there yet, atomically: false, the
  // temporary file removed, when the name is taken (taken() then says so)
  // or the move fails. A file system without a rename that may not
  // replace and without hard links (vfat) gets the name reserved by an
  // exclusive create first: a file there before, or made meanwhile, is
  // still never replaced.
  bool commitAsNew();
  bool taken() const { return mTaken; }
  // Closes and removes the temporary file; the target is untouched.
  void discard();

  // "cannot write PATH: REASON" (or "cannot replace …" when the rename
  // failed; "…; the complete file is kept in KEPT" when writing it in place
  // failed, "…; this one is kept in KEPT" when another save finished
  // first); "" while nothing failed.
  const std::string& error() const { return mError; }
  // REASON alone.
  const std::string& reason() const { return mReason; }
  // The system's error number of the failure; for a refusal in words the
  // nearest one (EISDIR for a folder, EINVAL for another kind of file,
  // EBUSY for a name changed as it was saved, EPERM, ESTALE: see
  // findReplacedFile).
  int errorNumber() const { return mErrorNumber; }
  const std::string& path() const { return mPath; }
  // What the reason is about: the target's folder when the temporary file
  // could not be made there, else path.
  const std::string& failedAt() const { return mFailedAt; }
  // Where the bytes go: path, its links followed.
  const std::string& targetPath() const { return mReplaced.path; }
  const std::string& temporaryPath() const { return mTemp.path; }
  // Where the whole new contents were kept when writing them into the
  // target in place failed, or another save finished first; "" otherwise.
  const std::string& keptPath() const { return mKept; }

  // Whether a file at path could be written and put in place now, asked
  // before long work whose result would otherwise be lost at its end: what
  // the name leads to is a regular file (one this process may replace) or
  // nothing, its name is one the file system takes, and its folder exists
  // and takes a new file (a temporary one is made and removed again; a
  // folder whose attributes let nothing be renamed or removed in it is
  // refused before).
  // False with the reason and what to do in error.
  static bool checkWritable(const std::string& path, std::string& error);

private:
  bool fail(const std::string& what, int error, const std::string& reason = "");
  // Why what path leads to may not be replaced now ("" when it may),
  // filling replaced; error gets the nearest error number.
  static std::string refusal(const std::string& path, ReplacedFile& replaced, int& error);
  bool finish(bool replace);
  bool putAsNew();
  // Puts the finished temporary file at the target: by a rename, or by
  // writing into the file there (writeInPlace).
  bool replaceTarget();
  // Swaps the temporary file in for old, the file looked at; again: the
  // name was emptied meanwhile, to be looked at once more.
  bool exchange(const struct stat& old, bool lookAgain, bool& again);
  bool writeInPlace(const struct stat& old);
  bool copyInPlace(int temp, const std::string& to, const struct stat& old);
  // Refused for why, with error: another's save took the name meanwhile,
  // or the file was made read-only to this user. The new contents are kept
  // beside it (keptPath) rather than lost.
  bool keepRefused(int error, const std::string& why);

  std::string mPath, mError, mReason, mFailedAt, mKept;
  int mErrorNumber = 0;
  ReplacedFile mReplaced;
  TemporaryFile mTemp; // locked against the start-up sweep while it lives
  bool mTaken = false;
};

} // namespace platform
