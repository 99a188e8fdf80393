#pragma once

// What a program must not leave on the disk when a signal ends it: the
// temporary file a writer has not yet renamed (a render's WAV file grows
// to hundreds of megabytes before it takes its name), the private folder a
// command works in. SIGTERM, SIGINT (Ctrl-C) and SIGHUP (the terminal
// closed) would otherwise leave them for good: the start-up sweeps look
// only in the plug-in's own folders, and an output may go anywhere.
//
// Each such file or folder is registered while it lives (RemovedOnSignal;
// createTemporaryFile and PrivateFolder do it). While a SignalCleanup
// lives, those three signals first remove what is registered and then do
// what they did before: end the process, as a rule, so that its parent
// sees the signal (a shell reports 128 + its number). A signal the process
// ignores (nohup) stays ignored. Without a SignalCleanup the signals are
// left alone and nothing is registered: the plug-in, loaded into a host,
// never takes the host's signals.
//
// The handler only does what is async-signal-safe: it removes names
// prepared beforehand, each by the folder it lies in (held open) and its
// name, so a working folder changed meanwhile misleads it in nothing. An
// entry dropped while the handler runs is left to the handler. At most
// cMaxEntries entries live at once; one more is not removed on a signal.
//
// Thread: any, for registering, dropping and holding; the handler runs on
// whichever thread the signal reaches.

#include <string>

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
};

// A file, or a folder with all it holds, that a signal ending the process
// removes while this object lives (and a SignalCleanup does). Drop it once
// the name is no longer the program's to remove (renamed into place, or
// removed): dropped late, the handler finds the name gone and does nothing.
class RemovedOnSignal {
public:
  enum class Kind { File, Folder };

  RemovedOnSignal() = default;
  // Registers nothing when no SignalCleanup lives or all entries are taken.
  RemovedOnSignal(const std::string& path, Kind kind);
  ~RemovedOnSignal() { drop(); }
  RemovedOnSignal(RemovedOnSignal&& other) noexcept : mEntry(other.mEntry) { other.mEntry = -1; }
  RemovedOnSignal& operator=(RemovedOnSignal&& other) noexcept;
  RemovedOnSignal(const RemovedOnSignal&) = delete;
  RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;

  explicit operator bool() const { return mEntry >= 0; }
  void drop() noexcept;

private:
  int mEntry = -1;
};

// Removes name in the folder open as folderFd (AT_FDCWD for the working
// folder), a whole tree when it is a folder, never following a link. Only
// async-signal-safe calls: the handler uses it, and anyone may.
void removeTreeAt(int folderFd, const char* name);

} // namespace platform
