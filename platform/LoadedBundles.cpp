#include "platform/LoadedBundles.h"

#include <link.h>
#include <sys/stat.h>
#include <string>
#include <vector>

namespace platform {
namespace {

int collect(dl_phdr_info* info, size_t, void* data) {
  if (info->dlpi_name && info->dlpi_name[0] == '/')
    static_cast<std::vector<std::string>*>(data)->push_back(info->dlpi_name);
  return 0;
}

} // namespace

Bundle* findLoadedBundle(const std::string& identifier) {
  if (identifier.empty()) return nullptr;
  if (Bundle* b = Bundle::findByIdentifier(identifier)) return b;
  std::vector<std::string> objects;
  dl_iterate_phdr(collect, &objects);
  for (const std::string& path : objects) {
    std::string folder = path.substr(0, path.rfind('/') + 1);
    // Only folders laid out as bundles (with an information file) count.
    struct stat st;
    if (::stat((folder + "Info.txt").c_str(), &st) != 0) continue;
    Bundle* b = Bundle::open(folder);
    if (b && b->identifier() == identifier) return b;
  }
  return nullptr;
}

} // namespace platform
