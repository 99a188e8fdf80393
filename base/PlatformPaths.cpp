#include "base/PlatformPaths.h"

#include "base/PlatformUtils.h"
#include "platform/Alerts.h"
#include "platform/Bundle.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>

namespace {

platform::Bundle* bundleWithIdentifier(PlatformStringRef id) {
  if (!id || id->bytes().empty()) return nullptr;
  return platform::Bundle::findByIdentifier(id->bytes());
}

std::string withoutTrailingDelimiter(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

} // namespace

PlatformStringRef createCFString(const std::string& s) { return platform::PlatformString::create(s); }

std::string getStringFromCFString(PlatformStringRef s) { return s ? s->bytes() : std::string(); }

bool getFSRefFromPath(const std::string& path, FSRef* ref, unsigned char* isFolder) {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  if (ref) {
    char buffer[PATH_MAX];
    if (!::realpath(path.c_str(), buffer)) return false;
    ref->path = withoutTrailingDelimiter(buffer);
  }
  if (isFolder) *isFolder = S_ISDIR(st.st_mode) ? 1 : 0;
  return true;
}

std::string getPathFromFSRef(const FSRef* ref) {
  if (!ref || ref->path.empty()) return {};
  struct stat st;
  if (::stat(ref->path.c_str(), &st) != 0) return {};
  return ref->path;
}

std::string getResourcePath(const std::string& name) {
  BundleRef bundle = getBundle();
  return bundle ? bundle->resourcePath(name) : std::string();
}

int32_t registerHelpBook(PlatformStringRef bundleID) {
  platform::Bundle* bundle = bundleWithIdentifier(bundleID);
  // The help viewer here is the desktop's browser, which opens the book's
  // pages straight from the bundle (openHelpFile): registering only has to
  // make sure that the bundle's folder is there.
  unsigned char isFolder = 0;
  if (!bundle || !getFSRefFromPath(bundle->path(), nullptr, &isFolder) || !isFolder)
    return cFileNotFoundStatus;
  return 0;
}

std::string getHelpBookName(PlatformStringRef bundleID) {
  platform::Bundle* bundle = bundleWithIdentifier(bundleID);
  std::string name;
  if (!bundle || !bundle->infoString("CFBundleHelpBookName", name)) return {};
  return name;
}

void showMessageDialog(const std::string& text) { platform::showAlert(text); }

uint32_t getQuorvaneId() {
  return (uint32_t('Q') << 24) | (uint32_t('v') << 16) | (uint32_t('r') << 8) | uint32_t('n');
}
