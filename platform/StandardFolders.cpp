#include "platform/StandardFolders.h"

#include "platform/RegularFile.h"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The XDG rules ignore a variable that is unset, empty or relative.
bool absoluteVariable(const char* name, std::string& value) {
  const char* v = std::getenv(name);
  if (!v || v[0] != '/') return false;
  value = v;
  return true;
}

// The variable's folder, else the folder below the home; "" when neither is
// known.
std::string baseFolder(const char* variable, const char* belowHome) {
  std::string v;
  if (absoluteVariable(variable, v)) return v;
  const std::string home = homeFolder();
  if (home.empty()) return {};
  return (home == "/" ? std::string() : home) + belowHome;
}

// The user's folder of that name from "user-dirs.dirs", whose lines read
// XDG_DOCUMENTS_DIR="$HOME/Documents" (or an absolute path).
bool userDirsEntry(const std::string& name, std::string& value) {
  const std::string config = baseFolder("XDG_CONFIG_HOME", "/.config");
  if (config.empty()) return false;
  const auto stream = newRegularFileStream(config + "/user-dirs.dirs");
  std::istream& in = *stream;
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
      v = (home == "/" ? std::string() : home) + v.substr(5);
    }
    if (v.empty() || v[0] != '/') continue;
    value = v;
    return true;
  }
  return false;
}

std::string documents() {
  std::string d;
  if (absoluteVariable("XDG_DOCUMENTS_DIR", d) || userDirsEntry("XDG_DOCUMENTS_DIR", d)) return d;
  const std::string home = homeFolder();
  if (home.empty()) return {};
  return (home == "/" ? std::string() : home) + "/Documents";
}

bool isFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string homeFolder() {
  std::string home;
  if (const char* h = std::getenv("HOME"); h && *h == '/')
    home = h;
  else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
    home = pw->pw_dir;
  // "/home/u/" is "/home/u": its folders must not read "/home/u//.config".
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home;
}

bool findStandardFolder(StandardFolder which, std::string& path) {
  std::string p;
  switch (which) {
  case StandardFolder::documents: p = documents(); break;
  case StandardFolder::applications:
    if (!isFolder("/opt")) return false;
    p = "/opt";
    break;
  case StandardFolder::applicationSupport:
  case StandardFolder::audioSupport: p = baseFolder("XDG_DATA_HOME", "/.local/share"); break;
  case StandardFolder::configuration: p = baseFolder("XDG_CONFIG_HOME", "/.config"); break;
  case StandardFolder::cache: p = baseFolder("XDG_CACHE_HOME", "/.cache"); break;
  }
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  // The root itself is no user's folder (a home of "/", as some service
  // accounts have, gives "/.local/share", which is fine).
  if (p.empty() || p == "/") return false;
  path = p;
  return true;
}

} // namespace platform
