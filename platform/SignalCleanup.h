#pragma once

// What a program must not leave on the disk when a signal ends it: the
// temporary file a writer has not yet renamed (a render's WAV file grows
// to hundreds of megabytes before it takes its name), the private folder a
// command works in. A signal that ends the process would otherwise leave
// them for good: the start-up sweeps look only in the plug-in's own
// folders, and an output may go anywhere.
//
// Each such file or folder is registered while it lives (RemovedOnSignal;
// createTemporaryFile and PrivateFolder do it). While a SignalCleanup
// lives, every signal whose default action ends the process first removes
// what is registered and then does what it did before: ends the process,
// so that its parent sees the signal (a shell reports 128 + its number)
// and a core is dumped where the signal dumps one. That is SIGTERM, SIGINT
// (Ctrl-C), SIGHUP (the terminal closed), SIGQUIT (Ctrl-\), SIGPIPE (a
// reader such as head or a pager closed the pipe the messages go to),
// SIGXFSZ and SIGXCPU (a limit reached), SIGABRT, the timers' and the
// users' signals and the real-time ones: all but SIGKILL and SIGSTOP,
// which no handler sees. A signal the process ignores (nohup) stays
// ignored, and one that already has a handler when the first SignalCleanup
// comes is left to that handler: it is taken, and the process may well go
// on.
//
// The faults (SIGSEGV, SIGBUS, SIGILL, SIGFPE) are taken even over a
// handler (a sanitizer's), which must still see the real fault: the
// handler removes what is registered, puts the action from before back
// and returns, so that the instruction runs again and faults again, now
// into that action, with the kernel's own report of the fault. The same
// signal sent by another process is raised again instead.
//
// The handler only does what is async-signal-safe: it removes names
// prepared beforehand, each by the folder it lies in (held open) and its
// name, so a working folder changed meanwhile misleads it in nothing. An
// entry dropped while the handler runs is left to the handler. At most
// cMaxEntries entries live at once; one more is not removed on a signal.
//
// A name reserved by an exclusive create, over which a whole file is then
// renamed (ReplacingFile's commit where the file system has no rename that
// may not replace), is entered as an empty file: the handler removes it
// only while the name still leads to the very file made there (its device
// and inode) and that file is still empty. Before the rename its writer
// takes the name back (takeBack): a handler on another thread then waits
// for it as for a name being made, and one that took it first keeps the
// writer from renaming (the name is the handler's, the process ending), so
// that no file that has taken the name is ever removed in its place.
//
// A name is entered before the file or folder exists (a signal between
// making and entering would leave it), as one being made: the thread that
// makes it holds the ending signals back meanwhile (EndingSignalsHeld),
// and a handler on another thread waits until the making is done; a name
// that turned out to be another's (the make found it there) is dropped
// before any handler may take it. While a handler runs, a thread that
// would enter another name waits there instead (the handler may have
// passed its entry already): for the end, as a rule. A fault's handler
// from before may recover (jump out of the fault) and the process go on:
// the handler counts itself out as it returns, the waiting threads go on,
// and what it removed is gone (its writers fail as at any loss of their
// file); the entries it took are freed by their owners' drop.
//
// A plug-in links a private copy of this code (its bundle exports nothing
// else), which sees no SignalCleanup of the program that loaded it. So the
// program (zarn-host) exports one C table of its entries' calls by name,
// and a copy with no SignalCleanup of its own living enters its names
// there, found once when its first name is entered (a table of another
// version or size, from a build of another time, is not used). A plug-in
// thus installs no handler of its own, and in a program that exports no
// such table (any other host) it registers nothing, as before.
//
// Thread: any, for registering, dropping and holding; the handler runs on
// whichever thread the signal reaches. None of it on the render thread.

#include <csignal>
#include <string>
#include <sys/types.h>

namespace platform {

class SignalCleanup {
public:
  // The first object living installs the handler, the last one puts the
  // actions from before back.
  SignalCleanup();
  ~SignalCleanup();
  SignalCleanup(const SignalCleanup&) = delete;
  SignalCleanup& operator=(const SignalCleanup&) = delete;

  static constexpr int cMaxEntries = 64;

  // Whether signal's default action ends the process (and the handler
  // takes it, where it may).
  static bool endsProcess(int signal);
};

// Holds back, on the calling thread while it lives, the signals a
// SignalCleanup takes that can be held back (all but the faults): one that
// comes meanwhile arrives when the object goes.
class EndingSignalsHeld {
public:
  EndingSignalsHeld();
  ~EndingSignalsHeld();
  EndingSignalsHeld(const EndingSignalsHeld&) = delete;
  EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

private:
  sigset_t mBefore;
};

// A file, or a folder with all it holds, that a signal ending the process
// removes while this object lives (and a SignalCleanup does). Drop it once
// the name is no longer the program's to remove (renamed into place, or
// removed): dropped late, the handler finds the name gone and does nothing.
class RemovedOnSignal {
public:
  // EmptyFile: a file removed only while the name still leads to the file
  // given to made(device, inode) and it is empty (a reserved name).
  enum class Kind { File, Folder, EmptyFile };
  // Made: the name is the program's now. Making: it is about to be made,
  // under an EndingSignalsHeld; made() or drop() follows under the same.
  enum class State { Made, Making };

  RemovedOnSignal() = default;
  // Registers nothing when no SignalCleanup lives (nor one of the program
  // that loaded this plug-in, see above) or all entries are taken.
  RemovedOnSignal(const std::string& path, Kind kind, State state = State::Made);
  ~RemovedOnSignal() { drop(); }
  RemovedOnSignal(RemovedOnSignal&& other) noexcept : mEntry(other.mEntry), mShared(other.mShared) {
    other.mEntry = -1;
    other.mShared = false;
  }
  RemovedOnSignal& operator=(RemovedOnSignal&& other) noexcept;
  RemovedOnSignal(const RemovedOnSignal&) = delete;
  RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;

  explicit operator bool() const { return mEntry >= 0; }
  // The name being made is the program's: a signal removes it from now on.
  void made() noexcept;
  // The same for an EmptyFile: the file made there, by its device and
  // inode (fstat of the descriptor the exclusive create opened).
  void made(dev_t device, ino_t inode) noexcept;
  // The name is about to change hands (a rename over it, its removal), under
  // an EndingSignalsHeld: from now on a handler on another thread waits for
  // it as for a name being made, and drop() follows. False when a handler
  // has taken it already: the process is ending, the name is the handler's
  // to remove (if still the program's), and the caller leaves it alone.
  bool takeBack() noexcept;
  void drop() noexcept;

private:
  int mEntry = -1;
  bool mShared = false; // entered with the loading program's SignalCleanup
};

// Words a signal that ends the process writes to standard error, after
// the removals and before the process ends, while this object lives (and a
// SignalCleanup does): what the user must know of a file left half done,
// such as where the complete one is kept. Written as the program's name,
// ": " and the words, on a line of their own. At most cMaxNotes live at
// once, each of at most cNoteBytes; one more is not said.
class SaidOnSignal {
public:
  static constexpr int cMaxNotes = 4;
  static constexpr int cNoteBytes = 8192;

  SaidOnSignal() = default;
  explicit SaidOnSignal(const std::string& words);
  ~SaidOnSignal() { drop(); }
  SaidOnSignal(const SaidOnSignal&) = delete;
  SaidOnSignal& operator=(const SaidOnSignal&) = delete;

  explicit operator bool() const { return mNote >= 0; }
  void drop() noexcept;

private:
  int mNote = -1;
};

// Removes name in the folder open as folderFd (AT_FDCWD for the working
// folder), a whole tree when it is a folder, never following a link; true
// when it is gone. What cannot be removed (an immutable file, a busy mount
// point) is left, with the folders that lead to it, and the rest still
// goes, in time linear in the tree. Only async-signal-safe calls: the
// handler uses it, and anyone may.
bool removeTreeAt(int folderFd, const char* name);

} // namespace platform
