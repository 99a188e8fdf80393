#include "platform/Bundle.h"

#include "platform/ExecutableFile.h"
#include "platform/RegularFile.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fstream>
#include <limits.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

struct Bundle::Info {
  std::map<std::string, std::string> values;
};

namespace {

std::mutex sMutex;

// Bundles live for the rest of the process: callers keep plain pointers.
std::vector<std::unique_ptr<Bundle>>& registry() {
  static auto* r = new std::vector<std::unique_ptr<Bundle>>();
  return *r;
}

bool isFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string canonical(const std::string& path) {
  char buffer[PATH_MAX];
  std::string p = ::realpath(path.c_str(), buffer) ? std::string(buffer) : path;
  if (p.empty() || p.back() != '/') p += '/';
  return p;
}

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

} // namespace

Bundle::Bundle(const std::string& path) : mPath(path), mInfo(new Info) { reload(); }

void Bundle::reload() {
  mInfo->values.clear();
  const auto stream = newRegularFileStream(mPath + "Info.txt");
  std::istream& in = *stream;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    mInfo->values[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
  }
}

Bundle* Bundle::open(const std::string& path) {
  if (!isFolder(path)) return nullptr;
  std::string key = canonical(path);
  std::lock_guard<std::mutex> lock(sMutex);
  for (auto& b : registry())
    if (b->mPath == key) return b.get();
  registry().emplace_back(new Bundle(key));
  return registry().back().get();
}

Bundle* Bundle::findByIdentifier(const std::string& id) {
  std::lock_guard<std::mutex> lock(sMutex);
  for (auto& b : registry())
    if (b->identifier() == id && isFolder(b->mPath)) return b.get();
  return nullptr;
}

Bundle* Bundle::main() {
  if (const char* env = std::getenv("ZARN_MAIN_BUNDLE"); env && *env) return open(env);
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return nullptr;
  std::string exe(buffer, static_cast<size_t>(n));
  return open(exe.substr(0, exe.rfind('/') + 1));
}

std::string Bundle::resourcesPath() const { return mPath + "Resources/"; }

std::string Bundle::identifier() const {
  std::string id;
  infoString("CFBundleIdentifier", id);
  return id;
}

bool Bundle::infoString(const std::string& key, std::string& value) const {
  auto it = mInfo->values.find(key);
  if (it == mInfo->values.end()) return false;
  value = it->second;
  return true;
}

std::string Bundle::resourcePath(const std::string& name) const {
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return {};
  std::string p = resourcesPath() + name;
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 ? p : std::string();
}

bool Bundle::loadExecutable() {
  if (mHandle) return true;
  std::string file;
  if (!infoString("CFBundleExecutable", file)) {
    if (DIR* d = ::opendir(mPath.c_str())) {
      while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 3 && n.compare(n.size() - 3, 3, ".so") == 0) {
          file = n;
          break;
        }
      }
      ::closedir(d);
    }
  }
  mProgramDamaged = false;
  if (file.empty()) {
    mLoadFailure = "it holds no Info.txt naming its program and no .so file";
    return false;
  }
  std::string damage;
  if (!checkSharedObjectWhole(mPath + file, damage)) {
    mLoadFailure = "its program " + file + " is damaged: " + damage + "; reinstall the plug-in";
    mProgramDamaged = true;
    return false;
  }
  mHandle = ::dlopen((mPath + file).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!mHandle) {
    const char* reason = ::dlerror();
    mLoadFailure = "its program " + file + " cannot be loaded: " + (reason ? reason : "unknown reason");
    return false;
  }
  mLoadFailure.clear();
  return true;
}

std::string Bundle::loadFailure() const { return mLoadFailure; }

void* Bundle::function(const std::string& name) {
  if (!loadExecutable()) return nullptr;
  return ::dlsym(mHandle, name.c_str());
}

} // namespace platform
