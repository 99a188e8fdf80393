#include "base/PlatformPaths.h"

#include "platform/Alerts.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestBundle.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace {

std::string realPath(const std::string& p) {
  char buffer[PATH_MAX];
  return ::realpath(p.c_str(), buffer) ? buffer : "";
}

} // namespace

TEST(PlatformPathsTest, StringsCarryTheirBytesUnchanged) {
  const std::string text("Quorvane \xA5 Zarn\0tail", 19);
  PlatformStringRef s = createCFString(text);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(getStringFromCFString(s), text);
  releasePlatformString(s);
  EXPECT_EQ(getStringFromCFString(nullptr), "");
}

TEST(PlatformPathsTest, FileReferencesResolveExistingItems) {
  zarn::test::TempDir dir;
  dir.write("Sub Folder/file \xC3\xA9.txt", "x");
  const std::string root = realPath(dir.path());

  FSRef ref;
  unsigned char isFolder = 7;
  ASSERT_TRUE(getFSRefFromPath(dir.file("Sub Folder/"), &ref, &isFolder));
  EXPECT_EQ(isFolder, 1);
  EXPECT_EQ(getPathFromFSRef(&ref), root + "/Sub Folder");
  ASSERT_TRUE(getFSRefFromPath(dir.file("Sub Folder/../Sub Folder/file \xC3\xA9.txt"), &ref, &isFolder));
  EXPECT_EQ(isFolder, 0);
  EXPECT_EQ(getPathFromFSRef(&ref), root + "/Sub Folder/file \xC3\xA9.txt");
  EXPECT_TRUE(getFSRefFromPath(dir.path(), nullptr, nullptr));
  ASSERT_TRUE(getFSRefFromPath("/", &ref, nullptr));
  EXPECT_EQ(getPathFromFSRef(&ref), "/");

  // Nothing there: false, and the arguments keep their values.
  FSRef untouched{"/kept"};
  isFolder = 7;
  EXPECT_FALSE(getFSRefFromPath(dir.file("missing"), &untouched, &isFolder));
  EXPECT_FALSE(getFSRefFromPath("", &untouched, &isFolder));
  EXPECT_FALSE(getFSRefFromPath(dir.path() + std::string("\0/x", 3), &untouched, &isFolder));
  EXPECT_EQ(untouched.path, "/kept");
  EXPECT_EQ(isFolder, 7);

  // Invalid references give "".
  FSRef empty;
  EXPECT_EQ(getPathFromFSRef(&empty), "");
  EXPECT_EQ(getPathFromFSRef(nullptr), "");
  ASSERT_TRUE(getFSRefFromPath(dir.file("Sub Folder/file \xC3\xA9.txt"), &ref, nullptr));
  std::remove(dir.file("Sub Folder/file \xC3\xA9.txt").c_str());
  EXPECT_EQ(getPathFromFSRef(&ref), "");
}

TEST(PlatformPathsTest, BundleResourcesAndHelpBook) {
  zarn::test::TestBundle bundle("com.quorvane.test.platformpaths", "CFBundleHelpBookName=Zarn Help\n");
  bundle.writeResource("Gentle.fil", "f");
  bundle.writeResource("Help/index.html", "<html></html>");
  EXPECT_EQ(getResourcePath("Gentle.fil"), bundle.resourcesPath() + "Gentle.fil");
  EXPECT_EQ(getResourcePath("Help"), bundle.resourcesPath() + "Help");
  EXPECT_EQ(getResourcePath("Missing.fil"), "");
  EXPECT_EQ(getResourcePath(""), "");

  PlatformStringRef id = createCFString("com.quorvane.test.platformpaths");
  PlatformStringRef unknown = createCFString("com.quorvane.test.nobody");
  EXPECT_EQ(registerHelpBook(id), 0);
  EXPECT_EQ(getHelpBookName(id), "Zarn Help");
  EXPECT_EQ(registerHelpBook(unknown), cFileNotFoundStatus);
  EXPECT_EQ(registerHelpBook(nullptr), -43);
  EXPECT_EQ(getHelpBookName(unknown), "");
  EXPECT_EQ(getHelpBookName(nullptr), "");
  releasePlatformString(id);
  releasePlatformString(unknown);

  zarn::test::TestBundle bare("com.quorvane.test.platformpaths.bare");
  PlatformStringRef bareId = createCFString("com.quorvane.test.platformpaths.bare");
  EXPECT_EQ(getHelpBookName(bareId), "");
  releasePlatformString(bareId);
}

TEST(PlatformPathsTest, MessagesAndIdentity) {
  std::vector<std::string> shown;
  platform::setAlertHandler([&](const std::string& m) { shown.push_back(m); });
  showMessageDialog("The preset could not be saved.");
  platform::setAlertHandler(nullptr);
  EXPECT_EQ(shown, std::vector<std::string>{"The preset could not be saved."});

  const uint32_t id = getQuorvaneId();
  EXPECT_EQ(id, 0x5176726Eu);
  EXPECT_EQ(std::string({char(id >> 24), char(id >> 16), char(id >> 8), char(id)}), "Qvrn");
}
