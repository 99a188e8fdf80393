#include "base/PathUtils.h"

#include <sys/stat.h>

namespace {

// 0 = does not resolve, 1 = a file (anything not a folder), 2 = a folder.
int resolve(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return 0;
  return S_ISDIR(st.st_mode) ? 2 : 1;
}

} // namespace

char getPathDelimiter() { return '/'; }

std::string getFileName(const std::string& path) {
  size_t p = path.rfind('/');
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string stripExtension(const std::string& name) {
  size_t p = name.rfind('.');
  return p == std::string::npos ? name : name.substr(0, p);
}

std::string getFileNameNoExt(const std::string& path) { return stripExtension(getFileName(path)); }

std::string includeTrailingPathDelimiter(const std::string& path) {
  if (path.empty() || path.back() == '/') return path;
  return path + '/';
}

std::string excludeTrailingPathDelimiter(const std::string& path) {
  if (!path.empty() && path.back() == '/') return path.substr(0, path.size() - 1);
  return path;
}

bool folderExists(const std::string& path) { return resolve(path) == 2; }
bool fileExists(const std::string& path) { return resolve(path) == 1; }
