#include "base/PlatformUtils.h"
#include "platform/Alerts.h"
#include "platform/Clock.h"
#include "platform/Opener.h"
#include "tests/support/TempDir.h"
#include "tests/support/Waiting.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <vector>

TEST(ClockTest, VirtualClockMovesOnlyWhenAdvanced) {
  platform::useVirtualClock(true);
  int64_t t0 = platform::microseconds();
  EXPECT_EQ(platform::microseconds(), t0);
  platform::advanceVirtualClock(1000000);
  EXPECT_EQ(platform::microseconds(), t0 + 1000000);
  EXPECT_EQ(platform::ticks(), 60u);
  // Its calendar moves with it in whole seconds, and a delay of 30 ticks is
  // half a second that passes at once.
  const int64_t second = platform::calendarSeconds();
  platform::advanceVirtualClock(1500000);
  EXPECT_EQ(platform::calendarSeconds(), second + 1);
  platform::delayTicks(30);
  EXPECT_EQ(platform::microseconds(), t0 + 3000000);
  EXPECT_EQ(platform::calendarSeconds(), second + 2);
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
  openWebPage("https:"); // a scheme and nothing after it
  EXPECT_EQ(opened, (std::vector<std::string>{"https://www.example.com/support", "mailto:info@example.com"}));
  platform::setUrlLauncher(nullptr);
}

TEST(OpenerTest, HelpBookOpensItsStartPageFromTheBundle) {
  zarn::test::TempDir dir;
  dir.write("H.bundle/Info.txt", "CFBundleIdentifier=com.quorvane.test.help\n");
  dir.write("H.bundle/Resources/Zarn Help/index.html", "<html></html>");
  BundleRef previous = getModuleInstance();
  registerModuleInstance(platform::Bundle::open(dir.file("H.bundle")));
  std::vector<std::string> opened;
  platform::setUrlLauncher([&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  openHelpFile("Zarn Help");
  openHelpFile("NoSuchBook");
  openHelpFile("");
  ASSERT_EQ(opened.size(), 1u);
  // The blank of the book's folder is encoded: a raw path is no URL.
  EXPECT_EQ(opened[0], platform::fileUrl(dir.path()) + "/H.bundle/Resources/Zarn%20Help/index.html");
  platform::setUrlLauncher(nullptr);
  registerModuleInstance(previous);
}

TEST(OpenerTest, FileUrlsEncodeEveryByteThatIsNoPlainPathCharacter) {
  EXPECT_EQ(platform::fileUrl("/a b/Zarn Help/index.html"), "file:///a%20b/Zarn%20Help/index.html");
  EXPECT_EQ(platform::fileUrl("/x/100%#?;\"'\xC3\xA9~_.-"), "file:///x/100%25%23%3F%3B%22%27%C3%A9~_.-");
  EXPECT_TRUE(platform::isValidUrl(platform::fileUrl("/tab\there/new\nline")));
}

TEST(OpenerTest, XdgOpenGetsTheUrlAsItsOnlyArgumentWithoutAShell) {
  // A stand-in for xdg-open that writes down how it was called.
  zarn::test::TempDir dir;
  const std::string record = dir.file("called");
  dir.write("bin/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > '" + record + ".part'\nmv '" + record + ".part' '" +
                                record + "'\n");
  ASSERT_EQ(chmod(dir.file("bin/xdg-open").c_str(), 0755), 0);
  const char* oldPath = getenv("PATH");
  const std::string saved = oldPath ? oldPath : "";
  setenv("PATH", (dir.file("bin") + ":/usr/bin:/bin").c_str(), 1);
  // Quotes, a semicolon and a dollar sign would do harm in a shell.
  const std::string url = "https://www.example.com/a'b;c$HOME";
  EXPECT_TRUE(platform::openUrl(url));
  std::string called;
  zarn::test::eventually([&] { return !(called = dir.read("called")).empty(); });
  EXPECT_EQ(called, "1\n" + url + "\n");

  // No opener at all: false, nothing started.
  setenv("PATH", dir.file("nothing").c_str(), 1);
  EXPECT_FALSE(platform::openUrl("https://www.example.com/"));
  setenv("PATH", saved.c_str(), 1);
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
