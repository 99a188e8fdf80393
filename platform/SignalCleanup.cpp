#include "platform/SignalCleanup.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdint>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// An entry's life: free, being written by one thread, its name being made
// (the handler waits for the making to end), armed (the handler may take
// it), taken by the handler (the process is ending, as a rule; when it
// goes on, its owner's drop frees it once no handler runs).
enum : int { cFree, cWriting, cMaking, cArmed, cTaken };
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the entries' states");

struct Entry {
  std::atomic<int> state{cFree};
  int folder = -1; // the folder the name lies in, open (O_PATH)
  bool tree = false;
  // An empty file's (a reserved name): removed only while the name leads to
  // this file (written before the entry is armed) and it is empty.
  bool onlyEmpty = false;
  dev_t device = 0;
  ino_t inode = 0;
  char name[256] = {};
};

Entry sEntries[SignalCleanup::cMaxEntries];

// The words said on an ending signal (SaidOnSignal), in the entries' life:
// free, being written, armed, taken by a handler.
struct Note {
  std::atomic<int> state{cFree};
  size_t length = 0;
  char text[SaidOnSignal::cNoteBytes] = {};
};

Note sNotes[SaidOnSignal::cMaxNotes];

// How long, at most, a handler waits in all for names being made on other
// threads (one open or mkdir each).
constexpr long cMakingWaitNanoseconds = 1'000'000'000;

// The handlers running, counted as they start: while one runs the process
// is ending, as a rule, and no thread may enter a name it would miss. A
// handler that returns to a process that may go on (a fault's, see
// onEndingSignal) counts itself out again.
std::atomic<int> sHandlers{0};

std::mutex sHoldersMutex;
int sHolders = 0;
std::atomic<bool> sHeld{false};
// The actions from before, by signal number, which the handler puts back:
// written before it is installed.
struct sigaction sBefore[_NSIG];
bool sInstalled[_NSIG] = {};

// The faults a running instruction makes: when the kernel reports one,
// returning from the handler runs the instruction again.
bool isFault(int signal) { return signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE; }

struct DirectoryEntry64 {
  ino64_t inode;
  off64_t offset;
  unsigned short length;
  unsigned char type;
  char name[1];
};

// Removes name in parent, a whole tree when it is a folder; true when it
// went. What cannot be removed (an immutable file, a busy mount point,
// another user's file in a folder with the sticky bit) is left, with the
// folders that lead to it.
bool removeTreeAt(int parent, const char* name, int depth) {
  if (::unlinkat(parent, name, 0) == 0) return true;
  if ((errno != EISDIR && errno != EPERM) || depth > 64) return false;
  const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  // Removing entries while reading a folder may skip some (on some file
  // systems): it is read again from the start while a pass removes
  // something. What a pass could not remove is passed over by the next
  // (by its inode, as many as are remembered here), so that a pass after
  // the first costs a read of the folder, not another walk of the trees
  // left below it: the removal ends in time linear in the tree.
  constexpr int cRemembered = 16;
  ino64_t left[cRemembered];
  int leftCount = 0;
  for (int pass = 0; pass < 100; ++pass) {
    // Small: this runs in a signal handler, perhaps on a sanitizer's small
    // signal stack, one frame a level; a name takes at most 280 bytes.
    alignas(8) char buffer[1024];
    bool removed = false;
    ::lseek(fd, 0, SEEK_SET);
    for (;;) {
      const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
      if (n <= 0) break;
      for (long at = 0; at < n;) {
        const auto* entry = reinterpret_cast<const DirectoryEntry64*>(buffer + at);
        at += entry->length;
        const char* child = entry->name;
        if (child[0] == '.' && (child[1] == 0 || (child[1] == '.' && child[2] == 0))) continue;
        bool known = false;
        for (int i = 0; i < leftCount && !known; ++i) known = left[i] == entry->inode;
        if (known) continue;
        if (removeTreeAt(fd, child, depth + 1))
          removed = true;
        else if (leftCount < cRemembered)
          left[leftCount++] = entry->inode;
      }
    }
    if (!removed) break;
  }
  ::close(fd);
  return ::unlinkat(parent, name, AT_REMOVEDIR) == 0;
}

void removeRegistered() {
  long waited = 0;
  for (Entry& e : sEntries) {
    // A name another thread is entering or making now: it turns out the
    // program's or not in a moment (that thread holds the signal back
    // meanwhile). One entered after this point stops its thread (see
    // RemovedOnSignal).
    for (int state = e.state.load(); (state == cMaking || state == cWriting) && waited < cMakingWaitNanoseconds;
         state = e.state.load()) {
      const struct timespec nap = {0, 1'000'000};
      ::nanosleep(&nap, nullptr);
      waited += nap.tv_nsec;
    }
    int armed = cArmed;
    if (!e.state.compare_exchange_strong(armed, cTaken)) continue;
    if (e.tree) {
      removeTreeAt(e.folder, e.name, 0);
    } else if (e.onlyEmpty) {
      // A file that has taken the reserved name since (another's, made in
      // its place; one written into it) is not the program's. Its writer
      // renames nothing over it now that it is taken (takeBack), and only a
      // process that removes or replaces a file it did not make could put
      // another there between this look and the removal.
      struct stat st;
      if (::fstatat(e.folder, e.name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
          st.st_dev == e.device && st.st_ino == e.inode && st.st_size == 0)
        ::unlinkat(e.folder, e.name, 0);
    } else {
      ::unlinkat(e.folder, e.name, 0);
    }
  }
}

// Writes the armed notes to standard error.
void sayNotes() {
  for (Note& n : sNotes) {
    int armed = cArmed;
    if (!n.state.compare_exchange_strong(armed, cTaken)) continue;
    for (size_t at = 0; at < n.length;) {
      const ssize_t put = ::write(STDERR_FILENO, n.text + at, n.length - at);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) break;
      at += static_cast<size_t>(put);
    }
  }
}

extern "C" void onEndingSignal(int signal, siginfo_t* info, void*) {
  const int saved = errno;
  sHandlers.fetch_add(1);
  removeRegistered();
  sayNotes();
  // Then the signal does what it did before: ends the process, as a rule.
  ::sigaction(signal, &sBefore[signal], nullptr);
  errno = saved;
  // A fault the kernel reports comes again when the instruction runs again,
  // to the action from before with the kernel's own report (a memory
  // error's notice of a page lost meanwhile excepted: no instruction made
  // it). One sent, like every other signal, is raised again: blocked until
  // the handler returns, then delivered.
  const bool byInstruction = isFault(signal) && info && info->si_code > 0 &&
                             !(signal == SIGBUS && info->si_code == BUS_MCEERR_AO);
  if (!byInstruction) ::raise(signal);
  // A signal raised again to its default action ends the process as the
  // handler returns. Otherwise the process may go on: a fault's handler
  // from before may recover (jump out of the fault), the instruction may
  // no longer fault. Its threads may then enter names again, and the
  // entries taken here are their owners' to free.
  const bool ends = !byInstruction && !(sBefore[signal].sa_flags & SA_SIGINFO) && sBefore[signal].sa_handler == SIG_DFL;
  if (!ends) sHandlers.fetch_sub(1);
}

// The signals that can be held back: every ending one but the faults.
sigset_t heldSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s = 1; s < _NSIG; ++s)
    if (SignalCleanup::endsProcess(s) && !isFault(s)) sigaddset(&set, s);
  return set;
}

} // namespace

bool removeTreeAt(int folderFd, const char* name) { return removeTreeAt(folderFd, name, 0); }

bool SignalCleanup::endsProcess(int signal) {
  switch (signal) {
  case SIGHUP: case SIGINT: case SIGQUIT: case SIGILL: case SIGTRAP: case SIGABRT: case SIGBUS: case SIGFPE:
  case SIGUSR1: case SIGSEGV: case SIGUSR2: case SIGPIPE: case SIGALRM: case SIGTERM: case SIGSTKFLT: case SIGXCPU:
  case SIGXFSZ: case SIGVTALRM: case SIGPROF: case SIGPOLL: case SIGPWR: case SIGSYS:
    return true;
  default:
    // The real-time signals; the C library keeps those below SIGRTMIN for
    // its threads.
    return signal >= SIGRTMIN && signal <= SIGRTMAX;
  }
}

SignalCleanup::SignalCleanup() {
  const std::lock_guard<std::mutex> lock(sHoldersMutex);
  if (sHolders++ > 0) return;
  struct sigaction action {};
  action.sa_sigaction = onEndingSignal;
  // On the thread's signal stack where it has one (a sanitizer's, for an
  // overflowed stack).
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  action.sa_mask = heldSignals();
  for (int s = 1; s < _NSIG; ++s) {
    sInstalled[s] = false;
    if (!endsProcess(s) || ::sigaction(s, nullptr, &sBefore[s]) != 0) continue;
    // A signal the process was told to ignore (nohup) stays ignored; one
    // with a handler is that handler's, but for the faults (see above).
    const bool ignored = !(sBefore[s].sa_flags & SA_SIGINFO) && sBefore[s].sa_handler == SIG_IGN;
    const bool defaulted = !(sBefore[s].sa_flags & SA_SIGINFO) && sBefore[s].sa_handler == SIG_DFL;
    if (isFault(s) ? ignored : !defaulted) continue;
    sInstalled[s] = ::sigaction(s, &action, nullptr) == 0;
  }
  sHeld = true;
}

SignalCleanup::~SignalCleanup() {
  const std::lock_guard<std::mutex> lock(sHoldersMutex);
  if (--sHolders > 0) return;
  sHeld = false;
  for (int s = 1; s < _NSIG; ++s)
    if (sInstalled[s]) ::sigaction(s, &sBefore[s], nullptr);
}

EndingSignalsHeld::EndingSignalsHeld() {
  sigemptyset(&mBefore);
  const sigset_t held = heldSignals();
  ::pthread_sigmask(SIG_BLOCK, &held, &mBefore);
}

EndingSignalsHeld::~EndingSignalsHeld() {
  // Only the signals held here are let go: a mask the thread had before
  // stays.
  sigset_t release = heldSignals();
  for (int s = 1; s < _NSIG; ++s)
    if (sigismember(&mBefore, s)) sigdelset(&release, s);
  ::pthread_sigmask(SIG_UNBLOCK, &release, nullptr);
}

namespace {

// The calls on this copy's entries: RemovedOnSignal's for the names of
// this copy, and through the exported table (below) for a plug-in's.

int enterEntry(const std::string& path, RemovedOnSignal::Kind kind, bool making) noexcept {
  if (!sHeld) return -1;
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const std::string::size_type slash = trimmed.rfind('/');
  const std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : trimmed.substr(0, slash);
  if (name.empty() || name == "." || name == ".." || name.size() >= sizeof Entry::name) return -1;
  const int saved = errno;
  int entered = -1;
  for (int i = 0; i < SignalCleanup::cMaxEntries; ++i) {
    Entry& e = sEntries[i];
    int free = cFree;
    if (!e.state.compare_exchange_strong(free, cWriting)) continue;
    // A handler is removing the entries already: it may have passed this
    // one, so nothing more may be made while it runs. The process ends
    // then, as a rule, and this thread waits for that; a handler that
    // returns to a process that goes on lets it enter the name after all.
    if (sHandlers.load() > 0) {
      e.state.store(cFree);
      while (sHandlers.load() > 0) {
        const struct timespec nap = {0, 1'000'000};
        ::nanosleep(&nap, nullptr);
      }
      i = -1;
      continue;
    }
    e.folder = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (e.folder < 0) {
      e.state = cFree;
      break;
    }
    e.tree = kind == RemovedOnSignal::Kind::Folder;
    e.onlyEmpty = kind == RemovedOnSignal::Kind::EmptyFile;
    e.device = 0;
    e.inode = 0;
    std::memcpy(e.name, name.c_str(), name.size() + 1);
    e.state.store(making ? cMaking : cArmed);
    entered = i;
    break;
  }
  errno = saved;
  return entered;
}

void madeEntry(int entry, dev_t device, ino_t inode) noexcept {
  if (entry < 0 || entry >= SignalCleanup::cMaxEntries) return;
  Entry& e = sEntries[entry];
  // Still being made: no handler reads the entry until it is armed.
  if (e.state.load() != cMaking) return;
  e.device = device;
  e.inode = inode;
  int making = cMaking;
  e.state.compare_exchange_strong(making, cArmed);
}

bool takeBackEntry(int entry) noexcept {
  if (entry < 0 || entry >= SignalCleanup::cMaxEntries) return true;
  Entry& e = sEntries[entry];
  int armed = cArmed;
  return e.state.compare_exchange_strong(armed, cMaking) || armed != cTaken;
}

void dropEntry(int entry) noexcept {
  if (entry < 0 || entry >= SignalCleanup::cMaxEntries) return;
  Entry& e = sEntries[entry];
  // Not ended half way by a handler on this thread, which would wait for
  // the entry.
  const EndingSignalsHeld held;
  int armed = cArmed, making = cMaking, taken = cTaken;
  // Taken by a handler: the handler's while one runs (it may be removing
  // the name now); this owner's again once none does.
  if (!e.state.compare_exchange_strong(armed, cWriting) && !e.state.compare_exchange_strong(making, cWriting) &&
      (sHandlers.load() > 0 || !e.state.compare_exchange_strong(taken, cWriting)))
    return;
  const int saved = errno;
  ::close(e.folder);
  e.folder = -1;
  e.state.store(cFree);
  errno = saved;
}

} // namespace

} // namespace platform

// The table through which a plug-in's copy of this code enters its names
// with this program's SignalCleanup (see SignalCleanup.h). A program that
// loads plug-ins exports it by name (-Wl,--export-dynamic-symbol; the
// bundles' own copies are hidden by their version script). C types only;
// Kind is passed as its number, which stays as it is within a version. A
// change to any call or to Kind is a new version.
extern "C" {

struct ZarnSignalCleanupEntries {
  uint32_t version;
  uint32_t size; // of the table the program was built with
  int (*enter)(const char* path, int kind, int making);
  void (*made)(int entry, uint64_t device, uint64_t inode);
  int (*takeBack)(int entry);
  void (*drop)(int entry);
};

extern const ZarnSignalCleanupEntries zarn_signal_cleanup_entries;

const ZarnSignalCleanupEntries zarn_signal_cleanup_entries = {
    1,
    sizeof(ZarnSignalCleanupEntries),
    [](const char* path, int kind, int making) noexcept {
      using Kind = platform::RemovedOnSignal::Kind;
      if (!path || kind < static_cast<int>(Kind::File) || kind > static_cast<int>(Kind::EmptyFile)) return -1;
      return platform::enterEntry(path, static_cast<Kind>(kind), making != 0);
    },
    [](int entry, uint64_t device, uint64_t inode) noexcept {
      platform::madeEntry(entry, static_cast<dev_t>(device), static_cast<ino_t>(inode));
    },
    [](int entry) noexcept { return platform::takeBackEntry(entry) ? 1 : 0; },
    [](int entry) noexcept { platform::dropEntry(entry); },
};

} // extern "C"

namespace platform {

namespace {

constexpr uint32_t cSharedEntriesVersion = 1;

// The table of the program that loaded this copy, found once; none in the
// program itself (its own table), nor where the program exports none or
// one of another build.
const ZarnSignalCleanupEntries* loadingProgramsEntries() {
  static const ZarnSignalCleanupEntries* const found = [] {
    const auto* table = static_cast<const ZarnSignalCleanupEntries*>(::dlsym(RTLD_DEFAULT, "zarn_signal_cleanup_entries"));
    if (!table || table == &zarn_signal_cleanup_entries || table->version != cSharedEntriesVersion ||
        table->size < sizeof(ZarnSignalCleanupEntries))
      return static_cast<const ZarnSignalCleanupEntries*>(nullptr);
    return table;
  }();
  return found;
}

} // namespace

RemovedOnSignal::RemovedOnSignal(const std::string& path, Kind kind, State state) {
  if (sHeld) {
    mEntry = enterEntry(path, kind, state == State::Making);
    return;
  }
  // A plug-in's copy, without a SignalCleanup of its own: the program's.
  if (const ZarnSignalCleanupEntries* shared = loadingProgramsEntries()) {
    mEntry = shared->enter(path.c_str(), static_cast<int>(kind), state == State::Making);
    mShared = mEntry >= 0;
  }
}

RemovedOnSignal& RemovedOnSignal::operator=(RemovedOnSignal&& other) noexcept {
  if (this != &other) {
    drop();
    mEntry = other.mEntry;
    mShared = other.mShared;
    other.mEntry = -1;
    other.mShared = false;
  }
  return *this;
}

void RemovedOnSignal::made() noexcept { made(0, 0); }

void RemovedOnSignal::made(dev_t device, ino_t inode) noexcept {
  if (mEntry < 0) return;
  if (mShared)
    loadingProgramsEntries()->made(mEntry, device, inode);
  else
    madeEntry(mEntry, device, inode);
}

bool RemovedOnSignal::takeBack() noexcept {
  if (mEntry < 0) return true;
  return mShared ? loadingProgramsEntries()->takeBack(mEntry) != 0 : takeBackEntry(mEntry);
}

void RemovedOnSignal::drop() noexcept {
  if (mEntry < 0) return;
  const int entry = mEntry;
  const bool shared = mShared;
  mEntry = -1;
  mShared = false;
  if (shared)
    loadingProgramsEntries()->drop(entry);
  else
    dropEntry(entry);
}

SaidOnSignal::SaidOnSignal(const std::string& words) {
  if (!sHeld) return;
  const std::string line = std::string(program_invocation_short_name) + ": " + words + "\n";
  if (line.size() > sizeof Note::text) return;
  for (int i = 0; i < cMaxNotes; ++i) {
    Note& n = sNotes[i];
    int free = cFree;
    if (!n.state.compare_exchange_strong(free, cWriting)) continue;
    std::memcpy(n.text, line.data(), line.size());
    n.length = line.size();
    n.state.store(cArmed);
    mNote = i;
    break;
  }
}

void SaidOnSignal::drop() noexcept {
  if (mNote < 0) return;
  Note& n = sNotes[mNote];
  mNote = -1;
  int armed = cArmed, taken = cTaken;
  // Taken by a handler: its own while one runs; this owner's again once
  // none does (a fault's handler from before recovered).
  if (!n.state.compare_exchange_strong(armed, cFree) && sHandlers.load() == 0)
    n.state.compare_exchange_strong(taken, cFree);
}

} // namespace platform
