#include "platform/SystemTrees.h"

#include <sys/stat.h>
#include <sys/vfs.h>

namespace platform {

SystemTrees::SystemTrees() {
  struct stat root;
  const bool rootKnown = ::stat("/", &root) == 0;
  for (const char* tree : {"/proc", "/sys", "/dev"}) {
    struct stat info;
    // A tree that is no file system of its own (a bare /dev in a
    // container) cannot be told apart by its device.
    if (::stat(tree, &info) == 0 && (!rootKnown || info.st_dev != root.st_dev)) mDevices.push_back(info.st_dev);
  }
}

bool SystemTrees::contains(const std::string& path, dev_t device) const {
  for (dev_t d : mDevices)
    if (d == device) return true;
  struct statfs fs;
  if (::statfs(path.c_str(), &fs) != 0) return false;
  // The kernel's numbers for its virtual file systems.
  switch (static_cast<unsigned long>(fs.f_type)) {
  case 0x9fa0UL:     // proc
  case 0x62656572UL: // sysfs
  case 0x1cd1UL:     // devpts
  case 0x64626720UL: // debugfs
  case 0x74726163UL: // tracefs
  case 0x27e0ebUL:   // cgroup
  case 0x63677270UL: // cgroup2
    return true;
  default: return false;
  }
}

} // namespace platform
