#pragma once

// The plug-in writes its preferences, its wave-table cache and its factory
// library into the user's folders: while the benchmarks run, HOME and the
// XDG folders point at one fresh temporary folder, removed at exit.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace zarnbench {

class TemporaryHome {
public:
  TemporaryHome() {
    char pattern[] = "/tmp/zarn-bench-XXXXXX";
    if (const char* made = mkdtemp(pattern)) {
      path = made;
      setenv("HOME", path.c_str(), 1);
      setenv("XDG_CONFIG_HOME", (path + "/.config").c_str(), 1);
      setenv("XDG_DATA_HOME", (path + "/.local/share").c_str(), 1);
      setenv("XDG_CACHE_HOME", (path + "/.cache").c_str(), 1);
      setenv("XDG_DOCUMENTS_DIR", (path + "/Documents").c_str(), 1);
      for (const char* sub : {".config", ".local/share", ".cache", "Documents"})
        std::filesystem::create_directories(path + "/" + sub);
    }
  }
  ~TemporaryHome() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
  TemporaryHome(const TemporaryHome&) = delete;
  TemporaryHome& operator=(const TemporaryHome&) = delete;
  std::string path;
};

// The one home of the process, made on first use.
inline TemporaryHome& temporaryHome() {
  static TemporaryHome home;
  return home;
}

} // namespace zarnbench
