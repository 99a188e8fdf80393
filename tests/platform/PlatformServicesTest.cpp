#include "base/PlatformUtils.h"
#include "platform/Alerts.h"
#include "platform/Clock.h"
#include "platform/Opener.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ClockTest, VirtualClockMovesOnlyWhenAdvanced) {
  platform::useVirtualClock(true);
  int64_t t0 = platform::microseconds();
  EXPECT_EQ(platform::microseconds(), t0);
  platform::advanceVirtualClock(1000000);
  EXPECT_EQ(platform::microseconds(), t0 + 1000000);
  EXPECT_EQ(platform::ticks(), 60u);
  platform::useVirtualClock(false);
  int64_t a = platform::microseconds();
  sleepCurrentThread(2);
  EXPECT_GE(platform::microseconds() - a, 2000);
}

TEST(OpenerTest, OnlyWellFormedUrlsAreOpened) {
  std::vector<std::string> opened;
  platform::setUrlLauncher([&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  openWebPage("https://www.example.com/support");
  openWebPage("mailto:info@example.com");
  openWebPage("not a url");
  openWebPage("");
  openWebPage("https://www.example.com/a b");
  openWebPage("1http://x");
  EXPECT_EQ(opened, (std::vector<std::string>{"https://www.example.com/support", "mailto:info@example.com"}));
  platform::setUrlLauncher(nullptr);
}

TEST(OpenerTest, HelpBookOpensItsStartPageFromTheBundle) {
  zarn::test::TempDir dir;
  dir.write("H.bundle/Info.txt", "CFBundleIdentifier=com.quorvane.test.help\n");
  dir.write("H.bundle/Resources/ZarnHelp/index.html", "<html></html>");
  BundleRef previous = getModuleInstance();
  registerModuleInstance(platform::Bundle::open(dir.file("H.bundle")));
  std::vector<std::string> opened;
  platform::setUrlLauncher([&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  openHelpFile("ZarnHelp");
  openHelpFile("NoSuchBook");
  openHelpFile("");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].substr(0, 7), "file://");
  EXPECT_NE(opened[0].find("/Resources/ZarnHelp/index.html"), std::string::npos);
  platform::setUrlLauncher(nullptr);
  registerModuleInstance(previous);
}

TEST(AlertsTest, AHandlerReceivesTheMessage) {
  std::vector<std::string> seen;
  platform::setAlertHandler([&](const std::string& m) { seen.push_back(m); });
  platform::showAlert("Preset could not be saved");
  platform::setAlertHandler(nullptr);
  EXPECT_EQ(seen, std::vector<std::string>{"Preset could not be saved"});
}

TEST(PlatformUtilsTest, UserInterfaceSettings) {
  EXPECT_EQ(getDoubleClickInterval(), 500u);
  EXPECT_EQ(getDoubleClickDistance(), 4);
  EXPECT_FLOAT_EQ(getDefaultGammaCorrection(), 1.8f);
  int state = initFloor();
  doneFloor(state);
  EXPECT_EQ(state, 0);
}
