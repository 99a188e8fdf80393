#include "tools/host/snapshot/SnapshotCommand.h"
#include "tools/host/RenderCommand.h"
#include "tests/tools/host/HostCommandRun.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/tools/host/RgbPng.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <vector>

using simhost::runSnapshotCommand;

namespace {

struct Outcome {
  int status;
  std::string out, err;
};

Outcome run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = runSnapshotCommand(args, out, err);
  return {status, out.str(), err.str()};
}

// Width and height from the PNG header, or 0 x 0.
std::pair<int, int> pngSize(const std::string& bytes) {
  if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0 || bytes.compare(12, 4, "IHDR") != 0) return {0, 0};
  auto word = [&](size_t at) {
    return int(uint8_t(bytes[at])) << 24 | int(uint8_t(bytes[at + 1])) << 16 | int(uint8_t(bytes[at + 2])) << 8 |
           int(uint8_t(bytes[at + 3]));
  };
  return {word(16), word(20)};
}

} // namespace

TEST(SnapshotCommandTest, BadCommandLinesAndMissingBundlesGetOneLineReasons) {
  const Outcome noOutput = run({});
  EXPECT_EQ(noOutput.status, 2);
  const Outcome unknown = run({"--zoom", "2", "out.png"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err, "zarn-host snapshot: unknown option --zoom\n");
  EXPECT_EQ(run({"--set"}).status, 2);
  zarn::test::TempDir dir("zarn-snapshot");
  const Outcome missing = run({"--bundle", dir.file("Nothing.bundle"), dir.file("out.png")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);
  EXPECT_EQ(run({"--help"}).status, 0);
}

#ifdef ZARN_BUNDLE
// The whole window, after a preset, a setting and a script that opens the
// second slot bank; a script or a setting that cannot be used fails.
TEST(SnapshotCommandTest, WritesTheEditorWindowAfterPresetSettingsAndScript) {
  zarn::test::TempDir dir("zarn-snapshot");
  dir.write("bank.txt", "# the second bank\nmove 608 212\nclick 608 212\nwait 100\n");
  const Outcome ok = run({"--bundle", ZARN_BUNDLE, "--preset", "Default Sound", "--set", "Filter 2 Enabled=On",
                      "--script", dir.file("bank.txt"), dir.file("out.png")});
  ASSERT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(pngSize(dir.read("out.png")), std::make_pair(640, 522));

  // A picture that cannot be written whole (a file size limit stands for a
  // full disk) leaves the earlier one as it was, and no temporary file.
  const std::string earlier = dir.read("out.png");
  const zarn::test::ChildResult limited = zarn::test::runInChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit size{};
    ::getrlimit(RLIMIT_FSIZE, &size);
    size.rlim_cur = earlier.size() / 2;
    ::setrlimit(RLIMIT_FSIZE, &size);
    const Outcome r = run({"--bundle", ZARN_BUNDLE, dir.file("out.png")});
    return std::to_string(r.status) + "\n" + r.err;
  });
  ASSERT_TRUE(limited.finished);
  EXPECT_EQ(limited.output.compare(0, 2, "1\n"), 0) << limited.output;
  EXPECT_NE(limited.output.find("cannot write " + dir.file("out.png") + ": File too large"), std::string::npos)
      << limited.output;
  EXPECT_TRUE(dir.read("out.png") == earlier);
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();

  dir.write("bad.txt", "click 1 2\nspin 3 4\n");
  const Outcome badScript = run({"--bundle", ZARN_BUNDLE, "--script", dir.file("bad.txt"), dir.file("bad.png")});
  EXPECT_EQ(badScript.status, 1);
  EXPECT_NE(badScript.err.find("bad.txt:2: unknown step \"spin\""), std::string::npos) << badScript.err;
  // A menu step that chooses nothing fails, naming the step and what the
  // menu had; so does one that no menu ever met. (The help button opens the
  // help menu.)
  dir.write("nomatch.txt", "menu About\nclick 600 14\nwait 50\n");
  const Outcome noMatch = run({"--bundle", ZARN_BUNDLE, "--script", dir.file("nomatch.txt"), dir.file("bad.png")});
  EXPECT_EQ(noMatch.status, 1);
  EXPECT_NE(noMatch.err.find("nomatch.txt:1: menu: no item \"About\" in the menu; it had \"Help Topics\", "),
            std::string::npos)
      << noMatch.err;
  EXPECT_NE(noMatch.err.find(", \"About...\"\n"), std::string::npos) << noMatch.err;
  dir.write("nomenu.txt", "click 1 1\nmenu About...\nwait 50\n");
  const Outcome noMenu = run({"--bundle", ZARN_BUNDLE, "--script", dir.file("nomenu.txt"), dir.file("bad.png")});
  EXPECT_EQ(noMenu.status, 1);
  EXPECT_NE(noMenu.err.find("nomenu.txt:2: menu: no menu opened after it"), std::string::npos) << noMenu.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("bad.png")));

  const Outcome badSetting = run({"--bundle", ZARN_BUNDLE, "--set", "Volume=loud", dir.file("bad.png")});
  EXPECT_EQ(badSetting.status, 1);
  EXPECT_NE(badSetting.err.find("Volume"), std::string::npos);
}

// A state saved by a render opens as the same picture as the settings it
// was made from, and not as the default one.
TEST(SnapshotCommandTest, ASavedStateOpensAsItWasSaved) {
  zarn::test::TempDir dir("zarn-snapshot");
  // Settings only: another test of this program damages a factory preset
  // in the home they share when the program runs whole.
  const std::vector<std::string> sound = {"--set", "Filter 2 Enabled=On", "--set", "Volume=0.3", "--set",
                                          "Unison Voices=4"};
  std::vector<std::string> render = {"render", "--quiet", "--bundle", ZARN_BUNDLE, "--tail", "0"};
  render.insert(render.end(), sound.begin(), sound.end());
  render.insert(render.end(), {"--save-state", dir.file("s.state"),
                               std::string(std::getenv("ZARN_SOURCE_DIR")) + "/tools/demo/demo.mid", dir.file("o.wav")});
  std::ostringstream out, err;
  ASSERT_EQ(simhost::runHostCommand(render, out, err), 0) << err.str();

  const Outcome loaded = run({"--bundle", ZARN_BUNDLE, "--load-state", dir.file("s.state"), dir.file("loaded.png")});
  ASSERT_EQ(loaded.status, 0) << loaded.err;
  std::vector<std::string> direct = {"--bundle", ZARN_BUNDLE};
  direct.insert(direct.end(), sound.begin(), sound.end());
  direct.push_back(dir.file("direct.png"));
  ASSERT_EQ(run(direct).status, 0);
  ASSERT_EQ(run({"--bundle", ZARN_BUNDLE, dir.file("default.png")}).status, 0);
  EXPECT_TRUE(dir.read("loaded.png") == dir.read("direct.png"));
  EXPECT_FALSE(dir.read("loaded.png") == dir.read("default.png"));
  EXPECT_EQ(run({"--bundle", ZARN_BUNDLE, "--load-state", dir.file("none.state"), dir.file("x.png")}).status, 1);
}

// A preset chosen by name opens as chosen, not as changed: its name on the
// presets button is as bright as that of the preset a fresh editor shows.
// A script that waits long enough for a hint shows no welcome.
TEST(SnapshotCommandTest, APresetChosenByNameIsUnchangedAndNoWelcomeShows) {
  zarn::test::TempDir dir("zarn-snapshot");
  dir.write("rest.txt", "move 2 300\nwait 100\n");
  dir.write("wait.txt", "move 2 300\nwait 2000\n");
  ASSERT_EQ(run({"--bundle", ZARN_BUNDLE, "--preset", "Clean", "--script", dir.file("rest.txt"), dir.file("clean.png")})
                .status,
            0);
  ASSERT_EQ(run({"--bundle", ZARN_BUNDLE, "--script", dir.file("rest.txt"), dir.file("plain.png")}).status, 0);
  // The brightest pixel of the caption (the button's face is dark).
  auto captionLight = [&](const std::string& name) {
    int width = 0, height = 0;
    const std::vector<uint8_t> rgb = hosttest::readRgbPng(dir.file(name), width, height);
    int light = 0;
    for (int y = 12; y < 29 && !rgb.empty(); ++y)
      for (int x = 400; x < 530; ++x) {
        const uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
        light = std::max(light, p[0] + p[1] + p[2]);
      }
    return light;
  };
  const int plain = captionLight("plain.png");
  EXPECT_GT(plain, 600);
  EXPECT_GE(captionLight("clean.png"), plain - 30);
  EXPECT_FALSE(dir.read("clean.png") == dir.read("plain.png")); // another preset all the same

  ASSERT_EQ(run({"--bundle", ZARN_BUNDLE, "--script", dir.file("wait.txt"), dir.file("waited.png")}).status, 0);
  EXPECT_TRUE(dir.read("waited.png") == dir.read("plain.png"));
}
// A preset of the user's own library opens as render finds it: the panel
// shows its values (here those of Sub Bass, whose copy it is), though the
// snapshot's private home holds the factory presets alone.
TEST(SnapshotCommandTest, APresetOfTheUsersOwnLibraryIsFound) {
  zarn::test::TempDir dir("zarn-snapshot");
  std::ostringstream out, err;
  // The first run in the user's home puts the factory presets in place.
  ASSERT_EQ(simhost::runHostCommand({"info", "--bundle", ZARN_BUNDLE}, out, err), 0) << err.str();
  const hosttest::LibraryFolder mine("Mine");
  ASSERT_FALSE(mine.path().empty());
  std::filesystem::copy_file(mine.subBass(), mine.path() / "My Sub.qvp");

  const Outcome own = run({"--bundle", ZARN_BUNDLE, "--preset", "My Sub", dir.file("own.png")});
  ASSERT_EQ(own.status, 0) << own.err;
  ASSERT_EQ(run({"--bundle", ZARN_BUNDLE, "--preset", "Sub Bass", dir.file("sub.png")}).status, 0);
  ASSERT_EQ(run({"--bundle", ZARN_BUNDLE, dir.file("plain.png")}).status, 0);
  // Below the header (the preset's name), the panels are alike.
  auto panel = [&](const std::string& name) {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb = hosttest::readRgbPng(dir.file(name), width, height);
    rgb.erase(rgb.begin(), rgb.begin() + std::min(rgb.size(), size_t(width) * 60 * 3));
    return rgb;
  };
  EXPECT_FALSE(panel("own.png").empty());
  EXPECT_TRUE(panel("own.png") == panel("sub.png"));
  EXPECT_FALSE(panel("own.png") == panel("plain.png"));
}
#endif
