#include "platform/StandardFolders.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string homeFolder() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return {};
}

// The XDG rules ignore a variable that is unset, empty or relative.
bool absoluteVariable(const char* name, std::string& value) {
  const char* v = std::getenv(name);
  if (!v || v[0] != '/') return false;
  value = v;
  return true;
}

std::string configHome() {
  std::string c;
  if (absoluteVariable("XDG_CONFIG_HOME", c)) return c;
  return homeFolder() + "/.config";
}

// The user's folder of that name from "user-dirs.dirs", whose lines read
// XDG_DOCUMENTS_DIR="$HOME/Documents" (or an absolute path).
bool userDirsEntry(const std::string& name, std::string& value) {
  std::ifstream in(configHome() + "/user-dirs.dirs");
  std::string line;
  const std::string prefix = name + "=\"";
  while (std::getline(in, line)) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    size_t close = line.find('"', prefix.size());
    if (close == std::string::npos) continue;
    std::string v = line.substr(prefix.size(), close - prefix.size());
    if (v.compare(0, 5, "$HOME") == 0 && (v.size() == 5 || v[5] == '/')) {
      std::string home = homeFolder();
      if (home.empty()) continue;
      v = home + v.substr(5);
    }
    if (v.empty() || v[0] != '/') continue;
    value = v;
    return true;
  }
  return false;
}

std::string dataHome() {
  std::string d;
  if (absoluteVariable("XDG_DATA_HOME", d)) return d;
  std::string home = homeFolder();
  return home.empty() ? std::string() : home + "/.local/share";
}

std::string documents() {
  std::string d;
  if (absoluteVariable("XDG_DOCUMENTS_DIR", d) || userDirsEntry("XDG_DOCUMENTS_DIR", d)) return d;
  std::string home = homeFolder();
  return home.empty() ? std::string() : home + "/Documents";
}

bool isFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

bool findStandardFolder(StandardFolder which, std::string& path) {
  std::string p;
  switch (which) {
  case StandardFolder::documents: p = documents(); break;
  case StandardFolder::applications: p = "/opt"; break;
  case StandardFolder::applicationSupport:
  case StandardFolder::audioSupport: p = dataHome(); break;
  }
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (!isFolder(p)) return false;
  path = p;
  return true;
}

} // namespace platform
