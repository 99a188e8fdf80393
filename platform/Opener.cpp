#include "platform/Opener.h"

#include <cctype>
#include <mutex>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace platform {

namespace {

std::mutex sMutex;
UrlLauncher sLauncher;

// Starts xdg-open with the URL as its only argument, without a shell, and
// reaps it in a detached grandchild so that no zombie is left behind.
bool launchXdgOpen(const std::string& url) {
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    pid_t grandchild;
    char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(url.c_str()), nullptr};
    int rc = posix_spawnp(&grandchild, "xdg-open", nullptr, nullptr, argv, environ);
    _exit(rc == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

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
