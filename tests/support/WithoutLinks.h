#pragma once
// A file system with neither a rename that may not replace nor hard links
// (vfat, some FUSE mounts), played on any machine while an object of this
// class lives: ReplacingFile::commitAsNew meets EINVAL from its rename and
// EPERM from its link, as it would there (platform/ReplacingFileSeams.h).
// between, when set, runs once the name is reserved and before the file
// is renamed over the reservation: a test makes a file there meanwhile.

#include "platform/ReplacingFileSeams.h"

#include <cerrno>
#include <functional>
#include <string>

namespace zarn::test {

class WithoutLinks {
public:
  explicit WithoutLinks(std::function<void(const std::string& at)> between = {}) {
    sBetween = std::move(between);
    sReserved = 0;
    platform::seams::gMoveAsNew = {[](const char*, const char*) { return fail(EINVAL); },
                                   [](const char*, const char*) { return fail(EPERM); },
                                   [](const char* at) {
                                     ++sReserved;
                                     if (sBetween) sBetween(at);
                                   }};
  }
  ~WithoutLinks() {
    platform::seams::gMoveAsNew = platform::seams::defaultMoveAsNewCalls();
    sBetween = {};
  }
  WithoutLinks(const WithoutLinks&) = delete;
  WithoutLinks& operator=(const WithoutLinks&) = delete;

  // How many times a name was reserved since this object was made.
  int reservations() const { return sReserved; }

private:
  static int fail(int error) {
    errno = error;
    return -1;
  }
  static inline std::function<void(const std::string&)> sBetween;
  static inline int sReserved = 0;
};

} // namespace zarn::test
