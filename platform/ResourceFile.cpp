#include "platform/ResourceFile.h"

#include <map>
#include <mutex>
#include <sys/stat.h>

namespace platform {
namespace {

struct Chain {
  std::mutex mutex;
  std::map<ResourceFileRef, Bundle*> open;
  ResourceFileRef current = 0;
  ResourceFileRef next = 1;
};

Chain& chain() {
  static auto* c = new Chain;
  return *c;
}

} // namespace

ResourceFileRef currentResourceFile() {
  std::lock_guard<std::mutex> lock(chain().mutex);
  return chain().current;
}

void useResourceFile(ResourceFileRef ref) {
  std::lock_guard<std::mutex> lock(chain().mutex);
  if (ref == 0 || chain().open.count(ref)) chain().current = ref;
}

ResourceFileRef openResourceMap(Bundle* bundle) {
  if (!bundle) return -1;
  struct stat st;
  if (::stat(bundle->resourcesPath().c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return -1;
  std::lock_guard<std::mutex> lock(chain().mutex);
  Chain& c = chain();
  for (auto& [ref, b] : c.open)
    if (b == bundle) {
      c.current = ref;
      return ref;
    }
  if (c.next <= 0) return -1; // every reference number is in use
  ResourceFileRef ref = c.next++;
  c.open[ref] = bundle;
  c.current = ref;
  return ref;
}

void closeResourceMap(ResourceFileRef ref) {
  std::lock_guard<std::mutex> lock(chain().mutex);
  Chain& c = chain();
  if (ref == 0 || !c.open.erase(ref)) return;
  if (c.current == ref) c.current = 0;
}

Bundle* resourceMapBundle(ResourceFileRef ref) {
  std::lock_guard<std::mutex> lock(chain().mutex);
  auto it = chain().open.find(ref);
  return it == chain().open.end() ? nullptr : it->second;
}

} // namespace platform
