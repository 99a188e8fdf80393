#include "platform/ResourceFile.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

TEST(ResourceFileTest, MapsOpenBecomeCurrentAndCloseBackToTheApplication) {
  zarn::test::TempDir dir;
  dir.write("A.bundle/Resources/x", "");
  dir.write("B.bundle/Resources/y", "");
  dir.write("NoResources.bundle/Info.txt", "");
  platform::Bundle* a = platform::Bundle::open(dir.file("A.bundle"));
  platform::Bundle* b = platform::Bundle::open(dir.file("B.bundle"));
  platform::ResourceFileRef start = platform::currentResourceFile();

  EXPECT_EQ(platform::openResourceMap(nullptr), -1);
  EXPECT_EQ(platform::openResourceMap(platform::Bundle::open(dir.file("NoResources.bundle"))), -1);
  EXPECT_EQ(platform::currentResourceFile(), start);

  platform::ResourceFileRef ra = platform::openResourceMap(a);
  ASSERT_GT(ra, 0);
  EXPECT_EQ(platform::currentResourceFile(), ra);
  EXPECT_EQ(platform::resourceMapBundle(ra), a);
  platform::ResourceFileRef rb = platform::openResourceMap(b);
  EXPECT_NE(rb, ra);
  {
    platform::ResourceFileSaver saver;
    platform::useResourceFile(ra);
    EXPECT_EQ(platform::currentResourceFile(), ra);
    platform::useResourceFile(999); // not open: nothing changes
    EXPECT_EQ(platform::currentResourceFile(), ra);
  }
  EXPECT_EQ(platform::currentResourceFile(), rb);
  EXPECT_EQ(platform::openResourceMap(a), ra); // opened once
  EXPECT_EQ(platform::currentResourceFile(), ra);

  platform::closeResourceMap(ra);
  EXPECT_EQ(platform::currentResourceFile(), 0);
  EXPECT_EQ(platform::resourceMapBundle(ra), nullptr);
  platform::useResourceFile(rb);
  platform::closeResourceMap(ra); // already closed
  platform::closeResourceMap(0);
  EXPECT_EQ(platform::currentResourceFile(), rb);
  platform::useResourceFile(0); // back to the application's own
  EXPECT_EQ(platform::currentResourceFile(), 0);
  platform::closeResourceMap(rb);
  platform::useResourceFile(start);
}
