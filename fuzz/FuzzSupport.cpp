#include "fuzz/FuzzSupport.h"

#include "platform/Alerts.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fuzz {
namespace {

std::atomic<int> sAlerts{0};

std::string makeScratch() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zarn-fuzz-XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    std::perror("zarn fuzz: cannot make a scratch folder");
    std::abort();
  }
  static std::string removeAtExit;
  removeAtExit = pattern;
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(removeAtExit, ec);
  });
  // The plug-in and the platform layer find the user's folders here.
  ::setenv("HOME", pattern.c_str(), 1);
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_DOCUMENTS_DIR"}) {
    const std::string folder = pattern + "/" + name;
    std::filesystem::create_directories(folder);
    ::setenv(name, folder.c_str(), 1);
  }
  platform::setAlertHandler([](const std::string&) { ++sAlerts; });
  return pattern;
}

} // namespace

const std::string& scratchFolder() {
  static const std::string folder = makeScratch();
  return folder;
}

std::string writeScratchFile(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = scratchFolder() + "/" + name;
  writeFile(path, std::string(reinterpret_cast<const char*>(data), size));
  return path;
}

bool writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool copyFile(const std::string& from, const std::string& folder, const std::string& name) {
  std::error_code ec;
  std::filesystem::copy_file(from, folder + "/" + name, std::filesystem::copy_options::overwrite_existing, ec);
  return !ec;
}

int alertCount() { return sAlerts.load(); }

} // namespace fuzz
