#include "host/services/UDigiLibAccess.h"

#include "host/services/CDAEError.h"
#include "host/services/EngineLibAccess.h"
#include "platform/LoadedBundles.h"
#include "platform/ResourceFile.h"

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

std::string PStringToString(const unsigned char* p) {
  return p ? std::string(reinterpret_cast<const char*>(p + 1), p[0]) : std::string();
}

namespace {

bool sameIdentifier(const unsigned char* a, const unsigned char* b) {
  return a[0] == b[0] && std::memcmp(a + 1, b + 1, a[0]) == 0;
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

} // namespace

UDigiLibAccess::UDigiLibAccess(int32_t entryCount, const unsigned char* libraryIdentifier)
    : fLibraryIdentifier(libraryIdentifier), fEntryCount(entryCount),
      fEntries(new void*[static_cast<size_t>(entryCount > 0 ? entryCount : 0)]()) {}

UDigiLibAccess::~UDigiLibAccess() {
  delete[] fEntries;
  // The platform keeps a loaded executable for the rest of the process, so
  // releasing the bundle is forgetting it.
  fBundle = nullptr;
}

int32_t UDigiLibAccess::FindFunctionName(const SDigiLibEntryName* table, size_t rows, int32_t id,
                                         unsigned char* name) {
  for (size_t i = 0; i < rows; ++i)
    if (table[i].fID == id) {
      size_t length = std::strlen(table[i].fName);
      if (length > 255) length = 255;
      name[0] = static_cast<unsigned char>(length);
      std::memcpy(name + 1, table[i].fName, length);
      return 0;
    }
  return -1;
}

int32_t UDigiLibAccess::BindFunction(int32_t id) {
  if (fEntries[id]) return 0;
  unsigned char name[256];
  if (GetFunctionName(id, name) != 0) return HostStatus::kEntryNameUnknown;
  void* address = fBundle ? fBundle->function(PStringToString(name)) : nullptr;
  if (!address) return HostStatus::kEntryNameUnknown;
  fEntries[id] = address;
  return 0;
}

int32_t UDigiLibAccess::LoadByIdentifier() {
  if (fBundle) return 0;
  BundleRef bundle = platform::findLoadedBundle(PStringToString(fLibraryIdentifier));
  if (!bundle) return HostStatus::kBundleNotLoadable;
  if (!bundle->loadExecutable()) return HostStatus::kBundleNotLoadable;
  fBundle = bundle;
  return 0;
}

int32_t UDigiLibAccess::LoadFrameworkIn(const std::string& folder, const char* fileName) {
  std::string path = folder + fileName;
  if (!exists(path)) return HostStatus::kFrameworkNotFound;
  BundleRef bundle = platform::Bundle::open(path);
  if (!bundle) return HostStatus::kBundleNotLoadable;
  if (!bundle->loadExecutable()) return HostStatus::kBundleNotLoadable;
  fBundle = bundle;
  return 0;
}

int32_t UDigiLibAccess::LocateFramework(const char* fileName) {
  if (fBundle) return 0;
  int32_t result = HostStatus::kFrameworkNotFound;
  // Beside the host application: the folder that holds its bundle.
  if (BundleRef application = platform::Bundle::main()) {
    std::string path = application->path(); // ends in '/'
    path.pop_back();
    result = LoadFrameworkIn(path.substr(0, path.rfind('/') + 1), fileName);
  }
  if (result == 0) return 0;
  // Then in the host's frameworks folder.
  std::string root;
  if (const char* r = std::getenv("ZARN_HOST_ROOT"); r && *r) {
    root = r;
    if (root[0] != '/') return HostStatus::kBundleNotLoadable; // not a file-system path
    while (!root.empty() && root.back() == '/') root.pop_back();
  }
  return LoadFrameworkIn(root + "/Library/Frameworks/", fileName);
}

int32_t UDigiLibAccess::Load() {
  // Loading may switch resource files; the caller's stays current on every
  // path out of here.
  platform::ResourceFileSaver resourceFile;

  int32_t result;
  if (sameIdentifier(fLibraryIdentifier, kStreamManagerLibraryIdentifier.text))
    result = LocateFramework(kStreamManagerFrameworkName);
  else
    result = LoadByIdentifier();

  if (result != 0) {
    if (sameIdentifier(fLibraryIdentifier, kDAELibraryIdentifier.text)) result = LocateFramework(kDAEFrameworkName);
    if (result != 0) {
      fBundle = nullptr;
      return result;
    }
  }

  for (int32_t id = 0; id < fEntryCount; ++id) {
    fEntries[id] = nullptr;
    BindFunction(id); // an entry the library lacks stays null
  }
  return 0;
}
