#include "base/PathUtils.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

TEST(PathUtilsTest, NamesAndExtensions) {
  EXPECT_EQ(getPathDelimiter(), '/');
  EXPECT_EQ(getFileName("/a/b/Bass.qvp"), "Bass.qvp");
  EXPECT_EQ(getFileName("Bass.qvp"), "Bass.qvp");
  EXPECT_EQ(getFileName("/a/b/"), "");
  EXPECT_EQ(stripExtension(".hidden"), "");
  EXPECT_EQ(stripExtension("a.b.c"), "a.b");
  EXPECT_EQ(stripExtension("plain"), "plain");
  EXPECT_EQ(getFileNameNoExt("/x.y/Lead 1.qvp"), "Lead 1");
  EXPECT_EQ(getFileNameNoExt("/x.y/Lead"), "Lead");
}

TEST(PathUtilsTest, TrailingDelimiters) {
  EXPECT_EQ(includeTrailingPathDelimiter(""), "");
  EXPECT_EQ(includeTrailingPathDelimiter("a"), "a/");
  EXPECT_EQ(includeTrailingPathDelimiter("a/"), "a/");
  EXPECT_EQ(excludeTrailingPathDelimiter("a//"), "a/");
  EXPECT_EQ(excludeTrailingPathDelimiter("a"), "a");
  EXPECT_EQ(excludeTrailingPathDelimiter(""), "");
}

TEST(PathUtilsTest, ExistenceTellsFilesFromFolders) {
  zarn::test::TempDir dir;
  dir.write("sub/file.txt", "x");
  EXPECT_TRUE(folderExists(dir.path()));
  EXPECT_TRUE(folderExists(dir.file("sub/")));
  EXPECT_FALSE(fileExists(dir.file("sub")));
  EXPECT_TRUE(fileExists(dir.file("sub/file.txt")));
  EXPECT_FALSE(folderExists(dir.file("sub/file.txt")));
  EXPECT_FALSE(fileExists(dir.file("missing")));
  EXPECT_FALSE(folderExists(dir.file("missing")));
  EXPECT_FALSE(folderExists(""));
}
