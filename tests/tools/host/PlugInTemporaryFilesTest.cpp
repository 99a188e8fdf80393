// The plug-in writes its files (a first run's copies of the factory
// presets, its wave-table cache) through the private copy of the platform
// library its bundle links. zarn-host ended by a signal while the plug-in
// holds such a file half written removes it, as it removes its own.

#include "tests/tools/host/HostCommandRun.h"

#include "tests/support/TempDir.h"
#include "tests/support/Waiting.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

#if defined(ZARN_BUNDLE) && defined(ZARN_HOST_EXECUTABLE) && defined(ZARN_STOP_AT_TEMPORARY_FILE)
namespace {

namespace fs = std::filesystem;

// The temporary files below folder (recursive).
std::vector<std::string> temporaryFilesBelow(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    const std::string name = e.path().filename();
    if (name.size() > 14 && name.compare(name.size() - 14, 14, ".quorvane-part") == 0)
      found.push_back(e.path().lexically_relative(folder).string());
  }
  return found;
}

} // namespace

// The host is stopped by a library preloaded into it the moment the plug-in
// has made and locked a temporary file there (tests/tools/host/preload/),
// then sent SIGTERM. It ends by that signal, and no temporary file is left
// in the home: neither a factory preset's copy nor the wave-table cache.
TEST(PlugInTemporaryFilesTest, AHostEndedBySigtermTakesThePlugInsTemporaryFilesWithIt) {
  struct Case {
    const char* what;
    const char* below; // in the home, where the plug-in is stopped
  };
  const std::vector<Case> cases = {
      {"a factory preset copied on a first run", ".local/share/Presets/Quorvane/Quorvane Zarn"},
      {"the wave-table cache", ".local/share/Quorvane/Zarn"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zarn::test::TempDir dir("zarn-plugin-signal");
    // As the kernel names the plug-in's files: no link on the way.
    const std::string home = fs::canonical(dir.path()).string() + "/home";
    fs::create_directories(home);
    const std::string mark = dir.file("stopped-at");
    // The sanitizer's run time need not come first: the library preloaded
    // comes before it.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const pid_t host = hosttest::startHost(
        {"info", "--bundle", ZARN_BUNDLE},
        {"HOME=" + home, "PATH=/usr/bin:/bin", std::string("LD_PRELOAD=") + ZARN_STOP_AT_TEMPORARY_FILE,
         "ZARN_STOP_BELOW=" + home + "/" + c.below, "ZARN_STOP_MARK=" + mark,
         "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":verify_asan_link_order=0"},
        "/dev/null", dir.file("err.txt"));
    ASSERT_GT(host, 0);
    // A first run builds the wave tables first: as long as the host's
    // other commands are given.
    const bool stopped = zarn::test::eventually([&] { return fs::exists(mark); }, std::chrono::seconds(120));
    if (!stopped) {
      ::kill(host, SIGKILL);
      hosttest::waitForExit(host);
      FAIL() << "the plug-in made no temporary file there: " << dir.read("err.txt");
    }
    // It holds its file now, named as the host's own.
    const std::string held = dir.read("stopped-at");
    EXPECT_TRUE(fs::exists(held)) << held;
    EXPECT_NE(held.find("." + std::to_string(host) + "-"), std::string::npos) << held;
    ::kill(host, SIGTERM);
    const int status = hosttest::waitForExit(host);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status << ": " << dir.read("err.txt");
    EXPECT_FALSE(fs::exists(held)) << held;
    EXPECT_EQ(temporaryFilesBelow(home), std::vector<std::string>{});
  }
}
#endif
