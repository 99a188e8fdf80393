#include "platform/Bundle.h"

#include "base/PlatformUtils.h"
#include "platform/ResourceFile.h"
#include "platform/Resources.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string layOutBundle(const zarn::test::TempDir& dir, const std::string& id) {
  dir.write("B.bundle/Info.txt", "# information\nCFBundleIdentifier = " + id +
                                     "\nCFBundleShortVersionString=1.2.3\n"
                                     "NSHumanReadableCopyright=Copyright 2026 Quorvane\nbroken line\n"
                                     "ZarnHelpQuery = topic=filters\n");
  dir.write("B.bundle/Resources/Background.png", "png");
  dir.write("B.bundle/Resources/FactoryPresets/Bass/A.qvp", "p");
  return dir.file("B.bundle");
}

} // namespace

TEST(BundleTest, ReadsInformationKeysAndFindsResources) {
  zarn::test::TempDir dir;
  platform::Bundle* b = platform::Bundle::open(layOutBundle(dir, "com.quorvane.test.one"));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->identifier(), "com.quorvane.test.one");
  std::string v;
  EXPECT_TRUE(b->infoString("CFBundleShortVersionString", v));
  EXPECT_EQ(v, "1.2.3");
  EXPECT_FALSE(b->infoString("broken line", v));
  EXPECT_TRUE(b->infoString("ZarnHelpQuery", v)); // the first '=' ends the key
  EXPECT_EQ(v, "topic=filters");
  EXPECT_FALSE(b->infoString("Missing", v));
  EXPECT_EQ(b->resourcePath("Background.png"), b->resourcesPath() + "Background.png");
  EXPECT_EQ(b->resourcePath("FactoryPresets"), b->resourcesPath() + "FactoryPresets");
  EXPECT_EQ(b->resourcePath("Missing.png"), "");
  // Resources are looked up directly in the resource folder, never above it.
  EXPECT_EQ(b->resourcePath("../Info.txt"), "");
  EXPECT_EQ(b->resourcePath(".."), "");
  EXPECT_EQ(b->resourcePath("."), "");
  EXPECT_EQ(b->resourcePath("FactoryPresets/Bass"), "");

  // Opening the same folder again gives the same bundle; it can be found by
  // identifier.
  EXPECT_EQ(platform::Bundle::open(dir.file("B.bundle/")), b);
  EXPECT_EQ(platform::Bundle::findByIdentifier("com.quorvane.test.one"), b);
  EXPECT_EQ(platform::Bundle::findByIdentifier("com.quorvane.none"), nullptr);
  EXPECT_EQ(platform::Bundle::open(dir.file("nothing")), nullptr);
  EXPECT_FALSE(b->loadExecutable());
  EXPECT_EQ(b->function("NewPlugIn"), nullptr);
}

// A plug-in finds its own bundle by identifier; a copy removed from the
// disk (an update installed elsewhere, a test's folder) must not answer for
// the copy that is there now.
TEST(BundleTest, ABundleRemovedFromTheDiskIsNoLongerFoundByIdentifier) {
  platform::Bundle* gone = nullptr;
  {
    zarn::test::TempDir old;
    gone = platform::Bundle::open(layOutBundle(old, "com.quorvane.test.moved"));
    ASSERT_NE(gone, nullptr);
    ASSERT_EQ(platform::Bundle::findByIdentifier("com.quorvane.test.moved"), gone);
  }
  EXPECT_EQ(platform::Bundle::findByIdentifier("com.quorvane.test.moved"), nullptr);
  zarn::test::TempDir now;
  platform::Bundle* installed = platform::Bundle::open(layOutBundle(now, "com.quorvane.test.moved"));
  ASSERT_NE(installed, nullptr);
  EXPECT_NE(installed, gone);
  EXPECT_EQ(platform::Bundle::findByIdentifier("com.quorvane.test.moved"), installed);
  // The removed one still answers what it read while it was there.
  EXPECT_EQ(gone->identifier(), "com.quorvane.test.moved");
}

TEST(BundleTest, VersionInformationComesFromTheRegisteredModule) {
  zarn::test::TempDir dir;
  platform::Bundle* b = platform::Bundle::open(layOutBundle(dir, "com.quorvane.test.two"));
  BundleRef previous = getModuleInstance();
  registerModuleInstance(b);
  EXPECT_EQ(getBundle(), b);
  EXPECT_EQ(getVersionInformation(viVersion, ""), "1.2.3");
  EXPECT_EQ(getVersionInformation(viCopyright, "ignored"), "Copyright 2026 Quorvane");
  for (int which : {0, 1, 2, 4, 6, 7})
    EXPECT_EQ(getVersionInformation(static_cast<VersionInformation>(which), ""), "") << which;
  registerModuleInstance(previous);
}

TEST(BundleTest, MainBundleIsTheExecutablesFolderUnlessNamed) {
  platform::Bundle* m = platform::Bundle::main();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->path().back(), '/');
  EXPECT_EQ(getModuleInstance() ? getModuleInstance() : m, getBundle());
}
