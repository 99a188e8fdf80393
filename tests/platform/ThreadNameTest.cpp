#include "platform/ThreadName.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

std::string ownName() {
  std::ifstream comm("/proc/self/task/" + std::to_string(gettid()) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

} // namespace

// A name within the kernel's 15 bytes is kept whole; a longer one is cut to
// them instead of being refused (which would leave the thread unnamed).
TEST(ThreadNameTest, NamesTheCallingThreadCuttingLongNames) {
  std::string shortName, longName, mainAfter;
  const std::string mainBefore = ownName();
  std::thread([&] {
    platform::nameThisThread("zarn-render");
    shortName = ownName();
    platform::nameThisThread("a-name-longer-than-the-kernel-keeps");
    longName = ownName();
  }).join();
  EXPECT_EQ(shortName, "zarn-render");
  EXPECT_EQ(longName, "a-name-longer-t");
  EXPECT_EQ(longName.size(), size_t(platform::cMaxThreadNameLength));
  EXPECT_EQ(ownName(), mainBefore);
}
