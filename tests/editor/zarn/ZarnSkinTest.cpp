// The pictures the skin generator drew for the bundle.

#include "gui/MacBitmap.h"
#include "hints/ZarnHints.h"
#include "gui/MacText.h"
#include "editor/zarn/ZarnLayout.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

std::string bytesOf(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

} // namespace

// Every picture loads, has no gamma chunk (which would shift its colours on
// some systems), and each pair of a state's faces has one size, so a
// control does not jump when it lights up.
TEST(ZarnSkinTest, PicturesLoadWithoutGammaAndPairedFacesShareTheirSize) {
  std::map<std::string, std::pair<int, int>> sizes;
  for (const auto& entry : std::filesystem::directory_iterator(ZARN_SKIN_DIR)) {
    if (entry.path().extension() != ".png") continue;
    EXPECT_EQ(bytesOf(entry.path()).find("gAMA"), std::string::npos) << entry.path();
    gui::MacBitmap b;
    b.loadFromFile(entry.path().string());
    sizes[entry.path().filename().string()] = {b.getWidth(), b.getHeight()};
  }
  EXPECT_EQ(sizes.size(), 101u);
  EXPECT_EQ(sizes["Background.png"], std::make_pair(640, 522));
  int pairs = 0;
  for (const auto& [name, size] : sizes)
    for (const char* kind : {"Normal", "Off"}) {
      const size_t at = name.find(kind);
      if (at == std::string::npos) continue;
      std::string partner = name;
      partner.replace(at, std::string(kind).size(), kind == std::string("Normal") ? "Active" : "On");
      if (!sizes.count(partner)) continue;
      EXPECT_EQ(sizes[partner], size) << name << " and " << partner;
      ++pairs;
    }
  EXPECT_GT(pairs, 20);
  EXPECT_EQ(sizes["DisplayPeak1.png"], sizes["DisplayPeak1Active.png"]);
  // A ring is 8 pixels larger than its knob on each side.
  EXPECT_EQ(sizes["OuterKnobNormalBack.png"].first, sizes["KnobNormalBack.png"].first + 16);
  EXPECT_LE(sizes["HelpHintBackground.png"].first, 327);

  // The longest hint, wrapped inside the hint window's margins, fits in
  // the window below the hint's place.
  gui::MacText text;
  text.overflowMode = gui::Text::cOverflowWrap;
  text.maxWidth = sizes["HelpHintBackground.png"].first - 15 - 35;
  text.text = std::string(cHintMidiLearnButton);
  EXPECT_LE(5 + 10 + text.getHeight() + 15, zarnlayout::cHeight);
}
