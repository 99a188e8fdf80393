#include "tools/scene/Scene.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace {

bool has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

// A whole scripted session: hover hint after 1500 ms, a knob drag that
// keeps the capture outside the window, a submenu choice, a save dialog
// answer with the extension added, a snapshot; a bad line stops the run
// with an error.
TEST(SceneTest, RunsAScriptAndReportsTheTimeline) {
  zarn::test::TempDir dir;
  std::istringstream script("move 40 60\nwait 1600\ndown 40 60\ndrag 40 50\nup 300 300\n"
                            "menu Bank/Lead\nmove 150 35\ndown 150 35\nup 150 35\n"
                            "save Warm Pad\nmove 150 75\ndown 150 75 shift\nup 150 75\n"
                            "snapshot " + dir.file("s.png") + "\nwobble 1 2\nwait 10\n");
  const auto lines = scene::runScene(script);
  EXPECT_TRUE(has(lines, "50 knob enter"));
  EXPECT_TRUE(has(lines, "1550 hint \"Cutoff frequency\""));
  EXPECT_TRUE(has(lines, "1600 knob value 60"));
  EXPECT_TRUE(has(lines, "1600 knob up 276,276"));
  EXPECT_FALSE(has(lines, "1600 knob click"));
  EXPECT_TRUE(has(lines, "1600 menu chose \"Lead\""));
  EXPECT_TRUE(has(lines, "1600 save down 46,11 shift-state 1"));
  EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                         [](const std::string& l) { return l.ends_with("/Warm Pad.qvp"); }),
            lines.end());
  EXPECT_TRUE(std::filesystem::file_size(dir.file("s.png")) > 100);
  EXPECT_EQ(lines.back(), "error: line 15: unknown command wobble");
}
