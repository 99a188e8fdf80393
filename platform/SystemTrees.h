#pragma once

// The system's own trees: /proc, /sys, /dev and the kernel's other virtual
// file systems (control groups, debugging and tracing). They hold no user's
// files but endless links and files that never end, so a walk over the
// user's folders never enters them, wherever a link leads into them from.
//
// A tree that is a file system of its own is known by its device; a bare
// /dev in a container, which is not, by the kind of file system the folder
// lies on.
//
// Threads: any; an object answers from what it found when it was made.

#include <sys/types.h>

#include <string>
#include <vector>

namespace platform {

class SystemTrees {
public:
  // Looks up the devices of the system's trees.
  SystemTrees();

  // Whether the folder at path, on device (its stat's st_dev), is one of
  // the system's trees or lies inside one.
  bool contains(const std::string& path, dev_t device) const;

private:
  std::vector<dev_t> mDevices;
};

} // namespace platform
