#include "platform/Opener.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace platform {

namespace {

std::mutex sMutex;
UrlLauncher sLauncher;
// xdg-open processes started without a detaching helper, reaped later.
std::vector<pid_t> sUnreaped;

// The executable of that name in PATH; "" when there is none.
std::string findInPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = folders.substr(start, end - start);
    start = end + 1;
    if (folder.empty() || folder[0] != '/') continue; // never the working folder
    const std::string candidate = folder + "/" + name;
    struct stat st;
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return {};
}

bool spawn(const std::string& program, std::vector<std::string> args, pid_t& pid) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The child starts with the signals a fresh program expects, whatever
  // the host has blocked or ignored.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  const int rc = posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  return rc == 0;
}

// Starts xdg-open with the URL as its only argument. posix_spawn, never a
// fork of the host's many-threaded process, and no shell: the URL is one
// argument whatever it holds. setsid --fork detaches xdg-open and exits at
// once, so the wait below is short and no zombie is left; without setsid
// xdg-open is started directly and reaped by a later call.
bool launchXdgOpen(const std::string& url) {
  const std::string opener = findInPath("xdg-open");
  if (opener.empty()) return false;
  {
    std::lock_guard<std::mutex> lock(sMutex);
    std::vector<pid_t> still;
    for (pid_t p : sUnreaped)
      if (::waitpid(p, nullptr, WNOHANG) == 0) still.push_back(p);
    sUnreaped.swap(still);
  }
  pid_t pid = 0;
  const std::string detacher = findInPath("setsid");
  if (!detacher.empty() && spawn(detacher, {"setsid", "--fork", opener, url}, pid)) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  if (!spawn(opener, {"xdg-open", url}, pid)) return false;
  std::lock_guard<std::mutex> lock(sMutex);
  sUnreaped.push_back(pid);
  return true;
}

bool unreserved(unsigned char c) {
  return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

} // namespace

std::string fileUrl(const std::string& path) {
  static const char* const hex = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    if (unreserved(c) || c == '/') {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += hex[c >> 4];
      url += hex[c & 15];
    }
  }
  return url;
}

bool isValidUrl(const std::string& url) {
  size_t colon = url.find(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 >= url.size()) return false;
  if (!std::isalpha(static_cast<unsigned char>(url[0]))) return false;
  for (size_t i = 0; i < colon; ++i) {
    unsigned char c = static_cast<unsigned char>(url[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  for (unsigned char c : url)
    if (c <= ' ' || c == 0x7F) return false;
  return true;
}

bool openUrl(const std::string& url) {
  if (!isValidUrl(url)) return false;
  UrlLauncher launcher;
  {
    std::lock_guard<std::mutex> lock(sMutex);
    launcher = sLauncher;
  }
  return launcher ? launcher(url) : launchXdgOpen(url);
}

void setUrlLauncher(UrlLauncher launcher) {
  std::lock_guard<std::mutex> lock(sMutex);
  sLauncher = std::move(launcher);
}

} // namespace platform
