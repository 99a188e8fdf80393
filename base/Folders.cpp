#include "base/Folders.h"

#include "base/PathUtils.h"
#include "base/PlatformPaths.h"
#include "base/PlatformServices.h"
#include "platform/StandardFolders.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const cMakerDomain = "com.quorvane.";

std::string standardFolder(platform::StandardFolder which, const std::string& fallback) {
  std::string path;
  return platform::findStandardFolder(which, path) ? path : fallback;
}

bool writeAll(int fd, const char* p, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Copies one file into a new file at target, never replacing anything there.
// The bytes go to a hidden file next to target first, which takes target's
// name only once it is complete: a copy cut short by a read error, a full
// disk or a crash leaves no half file that later runs would take for the
// user's own and never replace.
void copyNewFile(const std::string& source, const std::string& target) {
  std::ifstream in(source, std::ios::binary);
  if (!in) return;

  static std::atomic<unsigned> counter{0};
  const std::string folder = target.substr(0, target.rfind('/') + 1);
  const std::string name = target.substr(folder.size());
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = folder + "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".part";
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return;
  }
  if (fd < 0) return;

  bool ok = true;
  char buffer[65536];
  while (ok && in) {
    in.read(buffer, sizeof buffer);
    std::streamsize n = in.gcount();
    if (n > 0) ok = writeAll(fd, buffer, static_cast<size_t>(n));
  }
  ok = ok && in.eof() && !in.bad() && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) {
    // Atomically refuses to replace a file that appeared meanwhile; file
    // systems without that option fall back to a test before the rename.
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return;
    if ((errno == EINVAL || errno == ENOSYS) && !fileExists(target) && !folderExists(target) &&
        ::rename(temp.c_str(), target.c_str()) == 0)
      return;
  }
  ::unlink(temp.c_str());
}

std::string normalized(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  if (ec) return path;
  return excludeTrailingPathDelimiter(p.lexically_normal().string());
}

} // namespace

std::string getDocumentsFolder() { return standardFolder(platform::StandardFolder::documents, "/Documents"); }

std::string getProgramFilesFolder() {
  return standardFolder(platform::StandardFolder::applications, "/Applications");
}

std::string getApplicationDataFolder() {
  std::string path;
  if (platform::findStandardFolder(platform::StandardFolder::applicationSupport, path)) return path;
  return getProgramFilesFolder();
}

std::string getProductSettingsPath(const std::string& shortName, int majorVersion) {
  return cMakerDomain + shortName + "." + std::to_string(majorVersion);
}

std::string getProductDefaultPresetFolder(const std::string& shortName) {
  std::string audio;
  if (platform::findStandardFolder(platform::StandardFolder::audioSupport, audio))
    return includeTrailingPathDelimiter(audio) + "Presets/Quorvane/Quorvane " + shortName + "/";
  return includeTrailingPathDelimiter(getDocumentsFolder()) + "Quorvane/" + shortName + "/";
}

bool createFolder(const std::string& folder) {
  // A folder path may end in '/'; the folder is the same without it.
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();

  unsigned char isFolder = 0;
  if (getFSRefFromPath(path, nullptr, &isFolder)) return isFolder != 0;

  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return false;
  const std::string parent = path.substr(0, slash);
  if (!createFolder(parent)) return false;
  FSRef parentRef;
  if (!getFSRefFromPath(parent, &parentRef, nullptr)) return false;

  const std::string target = includeTrailingPathDelimiter(parentRef.path) + path.substr(slash + 1);
  if (::mkdir(target.c_str(), 0777) == 0) return true;
  // Made meanwhile by someone else is as good.
  return errno == EEXIST && folderExists(target);
}

std::istream* createResourceStream(const std::string& name) {
  const std::string path = getResourcePath(name);
  if (path.empty()) throw EResource("Resource not found");
  return new std::ifstream(path, std::ios::in | std::ios::binary);
}

void installFolderFromResource(const std::string& resourceName, const std::string& destination) {
  const std::string source = getResourcePath(resourceName);
  if (!source.empty()) copyFolderContents(source, destination);
}

void copyFolderContents(const std::string& source, const std::string& destination) {
  if (source.empty() || !folderExists(source) || destination.empty()) return;
  // A destination inside the source would be copied into itself forever.
  const std::string from = normalized(source), to = normalized(destination);
  const std::string inside = includeTrailingPathDelimiter(from);
  if (to == from || to.compare(0, inside.size(), inside) == 0) return;

  createFolder(destination);
  const std::string src = includeTrailingPathDelimiter(source);
  const std::string dst = includeTrailingPathDelimiter(destination);

  std::unique_ptr<FileEnumerator> folders(createFileEnumerator(src + "*", FileEnumerator::folders));
  while (folders->findNext()) {
    const std::string name = folders->getFileName();
    if (name.empty() || name[0] == '.') continue;
    copyFolderContents(src + name, dst + name);
  }
  folders.reset();

  std::unique_ptr<FileEnumerator> files(createFileEnumerator(src + "*", FileEnumerator::files));
  while (files->findNext()) {
    const std::string name = files->getFileName();
    if (name.empty() || name[0] == '.') continue;
    if (!fileExists(dst + name)) copyNewFile(src + name, dst + name);
  }
}
