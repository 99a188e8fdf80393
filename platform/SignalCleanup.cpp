#include "platform/SignalCleanup.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int cSignals[3] = {SIGTERM, SIGINT, SIGHUP};

// An entry's life: free, being written by one thread, armed (the handler
// may take it), taken by the handler (never used again: the process is
// ending).
enum : int { cFree, cWriting, cArmed, cTaken };
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the entries' states");

struct Entry {
  std::atomic<int> state{cFree};
  int folder = -1; // the folder the name lies in, open (O_PATH)
  bool tree = false;
  char name[256] = {};
};

Entry sEntries[SignalCleanup::cMaxEntries];

std::mutex sHoldersMutex;
int sHolders = 0;
std::atomic<bool> sHeld{false};
// The actions from before, which the handler puts back: written before it
// is installed.
struct sigaction sBefore[3];
bool sInstalled[3] = {};

struct DirectoryEntry64 {
  ino64_t inode;
  off64_t offset;
  unsigned short length;
  unsigned char type;
  char name[1];
};

void removeTreeAt(int parent, const char* name, int depth) {
  if (::unlinkat(parent, name, 0) == 0 || (errno != EISDIR && errno != EPERM) || depth > 64) return;
  const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  // Removing entries while reading a folder may skip some: read it again
  // from the start until a pass finds nothing left.
  for (int pass = 0; pass < 100; ++pass) {
    alignas(8) char buffer[4096];
    bool found = false;
    ::lseek(fd, 0, SEEK_SET);
    for (;;) {
      const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
      if (n <= 0) break;
      for (long at = 0; at < n;) {
        const auto* entry = reinterpret_cast<const DirectoryEntry64*>(buffer + at);
        at += entry->length;
        const char* child = entry->name;
        if (child[0] == '.' && (child[1] == 0 || (child[1] == '.' && child[2] == 0))) continue;
        found = true;
        removeTreeAt(fd, child, depth + 1);
      }
    }
    if (!found) break;
  }
  ::close(fd);
  ::unlinkat(parent, name, AT_REMOVEDIR);
}

extern "C" void onEndingSignal(int signal) {
  const int saved = errno;
  for (Entry& e : sEntries) {
    int armed = cArmed;
    if (!e.state.compare_exchange_strong(armed, cTaken)) continue;
    if (e.tree)
      removeTreeAt(e.folder, e.name, 0);
    else
      ::unlinkat(e.folder, e.name, 0);
  }
  // Then the signal does what it did before: ends the process, as a rule.
  // Raised now, it is blocked until the handler returns.
  for (int i = 0; i < 3; ++i)
    if (cSignals[i] == signal) ::sigaction(signal, &sBefore[i], nullptr);
  errno = saved;
  ::raise(signal);
}

} // namespace

void removeTreeAt(int folderFd, const char* name) { removeTreeAt(folderFd, name, 0); }

SignalCleanup::SignalCleanup() {
  const std::lock_guard<std::mutex> lock(sHoldersMutex);
  if (sHolders++ > 0) return;
  struct sigaction action {};
  action.sa_handler = onEndingSignal;
  sigemptyset(&action.sa_mask);
  for (int s : cSignals) sigaddset(&action.sa_mask, s);
  for (int i = 0; i < 3; ++i) {
    ::sigaction(cSignals[i], nullptr, &sBefore[i]);
    // A signal the process was told to ignore (nohup) stays ignored.
    sInstalled[i] = sBefore[i].sa_handler != SIG_IGN;
    if (sInstalled[i]) ::sigaction(cSignals[i], &action, nullptr);
  }
  sHeld = true;
}

SignalCleanup::~SignalCleanup() {
  const std::lock_guard<std::mutex> lock(sHoldersMutex);
  if (--sHolders > 0) return;
  sHeld = false;
  for (int i = 0; i < 3; ++i)
    if (sInstalled[i]) ::sigaction(cSignals[i], &sBefore[i], nullptr);
}

RemovedOnSignal::RemovedOnSignal(const std::string& path, Kind kind) {
  if (!sHeld) return;
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const std::string::size_type slash = trimmed.rfind('/');
  const std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : trimmed.substr(0, slash);
  if (name.empty() || name == "." || name == ".." || name.size() >= sizeof Entry::name) return;
  const int saved = errno;
  for (int i = 0; i < SignalCleanup::cMaxEntries; ++i) {
    Entry& e = sEntries[i];
    int free = cFree;
    if (!e.state.compare_exchange_strong(free, cWriting)) continue;
    e.folder = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (e.folder < 0) {
      e.state = cFree;
      break;
    }
    e.tree = kind == Kind::Folder;
    std::memcpy(e.name, name.c_str(), name.size() + 1);
    e.state.store(cArmed);
    mEntry = i;
    break;
  }
  errno = saved;
}

RemovedOnSignal& RemovedOnSignal::operator=(RemovedOnSignal&& other) noexcept {
  if (this != &other) {
    drop();
    mEntry = other.mEntry;
    other.mEntry = -1;
  }
  return *this;
}

void RemovedOnSignal::drop() noexcept {
  if (mEntry < 0) return;
  Entry& e = sEntries[mEntry];
  mEntry = -1;
  int armed = cArmed;
  // Taken by the handler meanwhile: the handler's to finish.
  if (!e.state.compare_exchange_strong(armed, cWriting)) return;
  const int saved = errno;
  ::close(e.folder);
  e.folder = -1;
  e.state.store(cFree);
  errno = saved;
}

} // namespace platform
