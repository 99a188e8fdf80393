#include "base/Folders.h"

#include "base/PathUtils.h"
#include "base/PlatformPaths.h"
#include "base/PlatformServices.h"
#include "platform/RegularFile.h"
#include "platform/StandardFolders.h"
#include "platform/ReplacingFile.h"

#include <cerrno>
#include <cstring>
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

// The first failure of a copy, "<path>: <the system's reason>", when the
// caller wants to know; errno is read at once.
void noteFailure(std::string* failure, const std::string& path, int error) {
  if (failure && failure->empty()) *failure = path + ": " + std::strerror(error);
}

// Copies one file into a new file at target, never replacing anything there.
// The bytes go, through the one writer of a user's file
// (platform/ReplacingFile.h), to a hidden file next to target first, which
// takes target's name only once it is complete: a copy cut short by a read
// error, a full disk or a crash leaves no half file that later runs would
// take for the user's own and never replace. True when target holds the
// copy (or something that appeared there meanwhile, which is kept).
bool copyNewFile(const std::string& source, const std::string& target, std::string* failure) {
  std::string why;
  const auto stream = platform::newRegularFileStream(source, &why);
  std::istream& in = *stream;
  if (!in) {
    if (failure && failure->empty()) *failure = source + ": " + why;
    return false;
  }

  platform::ReplacingFile file;
  if (!file.create(target)) {
    // Something stands at the name (a link to a folder, a file this user
    // may not replace): it is the user's and is kept, as any file there is.
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0) return true;
    if (failure && failure->empty()) *failure = target + ": " + file.reason();
    return false;
  }
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    const std::streamsize n = in.gcount();
    if (n > 0 && !file.writeAll(buffer, static_cast<size_t>(n))) {
      if (failure && failure->empty()) *failure = target + ": " + file.reason();
      return false;
    }
  }
  if (!in.eof() || in.bad()) {
    noteFailure(failure, source, EIO);
    return false; // the temporary file goes with the writer
  }
  // Atomically refuses to replace a file that appeared meanwhile, which is
  // kept.
  if (file.commitAsNew() || file.taken()) return true;
  if (failure && failure->empty()) *failure = target + ": " + file.reason();
  return false;
}

std::string normalized(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  if (ec) return path;
  return excludeTrailingPathDelimiter(p.lexically_normal().string());
}

} // namespace

std::string getDocumentsFolder() { return standardFolder(platform::StandardFolder::documents, ""); }

std::string getProgramFilesFolder() {
  return standardFolder(platform::StandardFolder::applications, "/Applications");
}

std::string getApplicationDataFolder() {
  return standardFolder(platform::StandardFolder::applicationSupport, "");
}

std::string getProductSettingsPath(const std::string& shortName, int majorVersion) {
  return cMakerDomain + shortName + "." + std::to_string(majorVersion);
}

std::string getProductDefaultPresetFolder(const std::string& shortName) {
  std::string audio;
  if (platform::findStandardFolder(platform::StandardFolder::audioSupport, audio))
    return includeTrailingPathDelimiter(audio) + "Presets/Quorvane/Quorvane " + shortName + "/";
  // A root-level "Quorvane/" (or one relative to the working folder) would
  // be no user's folder: without any folder of the user's there is none.
  const std::string documents = getDocumentsFolder();
  if (documents.empty()) return {};
  return includeTrailingPathDelimiter(documents) + "Quorvane/" + shortName + "/";
}

bool createFolder(const std::string& folder) {
  // A folder path may end in '/'; the folder is the same without it.
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();

  // errno tells the caller why it failed.
  unsigned char isFolder = 0;
  if (getFSRefFromPath(path, nullptr, &isFolder)) {
    if (!isFolder) errno = ENOTDIR;
    return isFolder != 0;
  }

  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) {
    errno = ENOENT;
    return false;
  }
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
  // Opened only when it is a regular file; the stream is failed otherwise.
  return platform::newRegularFileStream(path).release();
}

void installFolderFromResource(const std::string& resourceName, const std::string& destination) {
  installFolderFromResource(resourceName, destination, nullptr);
}

bool installFolderFromResource(const std::string& resourceName, const std::string& destination,
                               std::string* failure) {
  const std::string source = getResourcePath(resourceName);
  if (source.empty()) return true;
  if (destination.empty()) {
    if (failure && failure->empty()) *failure = resourceName + ": no folder to install it into";
    return false;
  }
  return copyFolderContents(source, destination, failure);
}

void copyFolderContents(const std::string& source, const std::string& destination) {
  copyFolderContents(source, destination, nullptr);
}

bool copyFolderContents(const std::string& source, const std::string& destination, std::string* failure) {
  if (source.empty() || !folderExists(source) || destination.empty()) return true;
  // A destination inside the source would be copied into itself forever.
  const std::string from = normalized(source), to = normalized(destination);
  const std::string inside = includeTrailingPathDelimiter(from);
  if (to == from || to.compare(0, inside.size(), inside) == 0) return true;

  if (!createFolder(destination)) {
    noteFailure(failure, excludeTrailingPathDelimiter(destination), errno);
    return false;
  }
  bool ok = true;
  const std::string src = includeTrailingPathDelimiter(source);
  const std::string dst = includeTrailingPathDelimiter(destination);

  std::unique_ptr<FileEnumerator> folders(createFileEnumerator(src + "*", FileEnumerator::folders));
  while (folders->findNext()) {
    const std::string name = folders->getFileName();
    if (name.empty() || name[0] == '.') continue;
    ok = copyFolderContents(src + name, dst + name, failure) && ok;
  }
  folders.reset();

  std::unique_ptr<FileEnumerator> files(createFileEnumerator(src + "*", FileEnumerator::files));
  while (files->findNext()) {
    const std::string name = files->getFileName();
    if (name.empty() || name[0] == '.') continue;
    if (!fileExists(dst + name)) ok = copyNewFile(src + name, dst + name, failure) && ok;
  }
  return ok;
}
