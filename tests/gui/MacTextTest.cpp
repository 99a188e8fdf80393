#include "gui/MacBitmap.h"
#include "gui/MacText.h"
#include "platform/Utf8.h"

#include <gtest/gtest.h>

namespace {

const std::string cEllipsis = "\xE2\x80\xA6";

int lineHeightOf(gui::MacText& t) {
  gui::MacText one;
  one.size = t.size.get();
  one.bold = t.bold.get();
  one.text = "x";
  return one.getHeight();
}

// The greys of the mask's alpha in rows [top, top + h) and columns [0, w).
std::vector<int> alphas(gui::Bitmap* b, int top, int h, int w) {
  std::vector<int> a;
  for (int y = top; y < top + h; ++y)
    for (int x = 0; x < w; ++x) a.push_back(b->getPixel(gui::Point(x, y)).a);
  return a;
}

} // namespace

TEST(MacTextTest, SizesFacesAndTypographicMeasures) {
  gui::MacText t;
  t.text = "Cutoff";
  EXPECT_FLOAT_EQ(t.getFace()->pixelSize(), 10.0f); // size 8 is set in 10-pixel type
  const std::string sans = t.getFace()->file();
  t.font = "No Such Font";
  EXPECT_EQ(t.getFace()->file(), sans); // an unknown name falls back to the default
  for (int size = 8; size <= 16; ++size) {
    t.size = size;
    int height = -1;
    // The height does not depend on the letters; the width is the sum of
    // the parts' widths (advances).
    for (const char* s : {"ace", "Hg|", "", "\xC3\x89t\xC3\xA9"}) {
      t.text = s;
      if (height < 0) height = t.getHeight();
      EXPECT_EQ(t.getHeight(), height) << s;
    }
    EXPECT_NEAR(height, size * 1.25 * 1.16, size * 1.25 * 0.25);
    t.text = "Reso";
    const int a = t.getWidth();
    t.text = "nance";
    const int b = t.getWidth();
    t.text = "Resonance";
    EXPECT_EQ(t.getWidth(), a + b);
    t.bold = true;
    EXPECT_GT(t.getWidth(), a + b);
    t.bold = false;
  }
}

TEST(MacTextTest, OverflowModesClipShortenAndWrap) {
  gui::MacText t;
  t.text = "Oscillator";
  t.maxWidth = 20;
  EXPECT_EQ(t.getWidth(), 20); // mode 0: exactly the limit
  t.overflowMode = gui::Text::cOverflowShorten;
  t.maxWidth = 1;
  EXPECT_EQ(t.getLines().at(0), cEllipsis); // nothing fits: a lone ellipsis
  t.text = "W";
  EXPECT_EQ(t.getLines().at(0), "W"); // one character is never shortened
  // Shortening goes by character, never into a UTF-8 sequence.
  t.text = "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9";
  for (int limit = 1; limit < 40; ++limit) {
    t.maxWidth = limit;
    const std::string shown = t.getLines().at(0);
    EXPECT_EQ(platform::encodeUtf8(platform::decodeUtf8(shown)), shown);
    EXPECT_EQ(platform::decodeUtf8(shown).find_first_not_of(U"\u00e9\u2026"), std::u32string::npos);
  }
  // Wrap: the limit's width, one line height per line, line feeds obeyed.
  t.overflowMode = gui::Text::cOverflowWrap;
  t.maxWidth = 60;
  t.text = "Sets the cutoff frequency\n\nof both filters";
  const std::vector<std::string> lines = t.getLines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Sets the");
  EXPECT_TRUE(std::find(lines.begin(), lines.end(), "") != lines.end());
  EXPECT_EQ(t.getWidth(), 60);
  EXPECT_EQ(t.getHeight(), static_cast<int>(lines.size()) * lineHeightOf(t));
}

TEST(MacTextTest, RendersAMaskOfItsColourLineByLineOnlyWhenAsked) {
  gui::MacText t;
  t.size = 10;
  t.color = gui::Color(200, 40, 10, 255);
  t.overflowMode = gui::Text::cOverflowWrap;
  t.maxWidth = 70;
  t.text = "Wide words wrapped here\nand here";
  gui::Bitmap* b = t.getBitmap();
  ASSERT_EQ(b->getWidth(), t.getWidth());
  ASSERT_EQ(b->getHeight(), t.getHeight());
  EXPECT_TRUE(b->transparent.get());
  int inked = 0;
  for (int y = 0; y < b->getHeight(); ++y)
    for (int x = 0; x < b->getWidth(); ++x) {
      const gui::Color c = b->getPixel(gui::Point(x, y));
      EXPECT_TRUE(c.r == 200 && c.g == 40 && c.b == 10);
      inked += c.a > 0;
    }
  EXPECT_GT(inked, 100);
  // Each band of the wrapped text is its own line drawn alone: no line
  // carries the characters of the ones after it.
  const std::vector<std::string> lines = t.getLines();
  const int lh = lineHeightOf(t);
  for (size_t k = 0; k < lines.size(); ++k) {
    gui::MacText one;
    one.size = 10;
    one.text = lines[k];
    gui::Bitmap* ob = one.getBitmap();
    std::vector<int> band = alphas(b, static_cast<int>(k) * lh, lh, b->getWidth());
    std::vector<int> alone(band.size(), 0);
    for (int y = 0; y < lh; ++y)
      for (int x = 0; x < std::min(ob->getWidth(), b->getWidth()); ++x) alone[y * b->getWidth() + x] = ob->getPixel(gui::Point(x, y)).a;
    EXPECT_EQ(band, alone) << "line " << k << " '" << lines[k] << "'";
  }
  // Measuring a changed text leaves the bitmap until it is asked for.
  const int before = b->getWidth();
  t.overflowMode = 0;
  t.maxWidth = 0;
  EXPECT_GT(t.getWidth(), before);
  EXPECT_EQ(b->getWidth(), before);
  EXPECT_EQ(t.getBitmap()->getWidth(), t.getWidth());
}

TEST(MacTextTest, BitmapContextDrawsInPlaceAndFollowsNewPixels) {
  gui::MacBitmap b;
  EXPECT_EQ(b.getContext(), nullptr);
  b.resize(4, 3);
  b.getContext();
  b.resize(8, 8); // the old context referred to the freed pixels
  std::vector<gui::Color> row(8, gui::Color(1, 2, 3, 4));
  for (int y = 0; y < 8; ++y) b.writeLine(y, row.data());
  b.getContext()->fillRect({7, 7, 9, 9}, 50, 60, 70);
  EXPECT_EQ(b.getPixel(gui::Point(7, 7)), gui::Color(50, 60, 70, 4));
  // Drawn into a window's context: colours only, the window's fourth byte stays.
  std::vector<uint8_t> window(10 * 10 * 4, 255);
  platform::DrawContext wc(platform::Pixels(window.data(), 10, 10, 10));
  b.draw(&wc, gui::Point(-6, -6));
  EXPECT_EQ(std::vector<uint8_t>(window.begin() + 44, window.begin() + 48), (std::vector<uint8_t>{50, 60, 70, 255}));
  EXPECT_EQ(window[0], 1);
  EXPECT_EQ(window[(2 * 10 + 2) * 4], 255);
}
