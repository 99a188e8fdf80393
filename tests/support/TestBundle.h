#pragma once

#include "base/PlatformUtils.h"
#include "platform/Bundle.h"
#include "tests/support/TempDir.h"

#include <string>

namespace zarn::test {

// A plug-in bundle laid out in a temporary folder ("Zarn.bundle" with an
// information file and an empty "Resources" folder) and registered as the
// module instance while the object lives. Bundles stay open for the rest of
// the process, so each test should give its own identifier.
class TestBundle {
public:
  explicit TestBundle(const std::string& identifier, const std::string& moreInfo = "") {
    mDir.write("Zarn.bundle/Info.txt", "CFBundleIdentifier=" + identifier + "\n" + moreInfo);
    mDir.write("Zarn.bundle/Resources/.keep", "");
    mBundle = platform::Bundle::open(mDir.file("Zarn.bundle"));
    mPrevious = getModuleInstance();
    registerModuleInstance(mBundle);
  }
  ~TestBundle() { registerModuleInstance(mPrevious); }
  TestBundle(const TestBundle&) = delete;
  TestBundle& operator=(const TestBundle&) = delete;

  platform::Bundle* bundle() const { return mBundle; }
  // Writes a file below "Resources", creating folders on the way.
  void writeResource(const std::string& relative, const std::string& bytes) const {
    mDir.write("Zarn.bundle/Resources/" + relative, bytes);
  }
  std::string resourcesPath() const { return mBundle->resourcesPath(); }

private:
  TempDir mDir{"zarn-bundle"};
  platform::Bundle* mBundle = nullptr;
  BundleRef mPrevious = nullptr;
};

} // namespace zarn::test
