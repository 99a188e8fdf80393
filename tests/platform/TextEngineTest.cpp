#include "platform/TextLayout.h"
#include "platform/Utf8.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using platform::TextLayout;
using platform::TypeFace;

namespace {

TypeFace* sans(float pixels = 10, bool bold = false, bool italic = false) {
  return TypeFace::find("", bold, italic, pixels);
}

// Random words of 1-12 letters (some accented, some wider than most limits)
// joined by one or two spaces, with line feeds now and then.
std::u32string randomText(std::mt19937& rng) {
  const std::u32string letters = U"aeimwWlMx\u00e9\u00fc";
  std::u32string t;
  const int words = std::uniform_int_distribution<int>(0, 14)(rng);
  for (int w = 0; w < words; ++w) {
    if (w > 0) t += std::uniform_int_distribution<int>(0, 9)(rng) == 0 ? U"\n" : (rng() % 4 ? U" " : U"  ");
    const int n = std::uniform_int_distribution<int>(1, 12)(rng);
    for (int i = 0; i < n; ++i) t += letters[rng() % letters.size()];
  }
  return t;
}

} // namespace

TEST(TextEngineTest, Utf8DecodesWellFormedTextAndKeepsEveryOtherByteAsLatin1) {
  const std::u32string text = U"Filter \u00e9 \u2026 \U0001F3B9 \u00ff";
  EXPECT_EQ(platform::decodeUtf8(platform::encodeUtf8(text)), text);
  // Each of these is malformed as a whole; every byte stands for itself.
  for (const std::string bad : {"\x80", "\xC3", "\xC0\x80", "\xE2\x82", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                "\xF5\x80\x80\x80", "\xFF", "\xE2\x28\xA1"}) {
    const std::u32string d = platform::decodeUtf8("<" + bad + ">");
    ASSERT_EQ(d.size(), bad.size() + 2) << "byte count of a malformed sequence";
    for (size_t i = 0; i < bad.size(); ++i) EXPECT_EQ(d[i + 1], char32_t(static_cast<unsigned char>(bad[i])));
    EXPECT_EQ(d.back(), U'>');
  }
}

TEST(TextEngineTest, FontNamesResolveToDejaVuFacesAndUnknownNamesToTheDefault) {
  for (const char* name : {"", "Lucida Grande", "No Such Font Anywhere", "DejaVu Sans", "dejavu sans"})
    EXPECT_EQ(TypeFace::find(name, false, false, 10)->file(), sans()->file()) << name;
  EXPECT_EQ(sans()->family(), "DejaVu Sans");
  EXPECT_EQ(sans(10, true)->style(), "Bold");
  EXPECT_EQ(sans(10, false, true)->style(), "Oblique");
  EXPECT_EQ(sans(10, true, true)->style(), "Bold Oblique");
  EXPECT_EQ(TypeFace::find("DejaVu Serif", false, false, 10)->family(), "DejaVu Serif");
  EXPECT_EQ(TypeFace::find("DejaVu Sans Mono Bold", false, false, 10)->style(), "Bold");
  EXPECT_EQ(sans(12.5f), sans(12.5f)); // made once
}

TEST(TextEngineTest, WrappedLinesFitAreGreedyAndLoseOnlyTheSpacesAtBreaks) {
  std::mt19937 rng(7);
  for (int round = 0; round < 400; ++round) {
    TextLayout layout(sans(), randomText(rng));
    const std::u32string& t = layout.text();
    const int maxWidth = std::uniform_int_distribution<int>(1, 150)(rng);
    const std::vector<TextLayout::Line> lines = layout.wrap(maxWidth);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().begin, 0u);
    EXPECT_EQ(lines.back().end, t.size());
    for (size_t k = 0; k < lines.size(); ++k) {
      const TextLayout::Line& l = lines[k];
      // Fits, unless one character is wider than the limit (or the line ends
      // in spaces, which take no room on the screen).
      size_t inkEnd = l.end;
      while (inkEnd > l.begin && t[inkEnd - 1] == U' ') --inkEnd;
      if (inkEnd - l.begin > 1) {
        EXPECT_LE(layout.width(l.begin, inkEnd), maxWidth * 64);
      }
      if (k + 1 == lines.size()) break;
      const TextLayout::Line& next = lines[k + 1];
      // Between two lines lies a line feed, or spaces only, or nothing (a
      // word broken inside).
      const std::u32string gap = t.substr(l.end, next.begin - l.end);
      EXPECT_TRUE(gap == U"\n" || gap.find_first_not_of(U' ') == std::u32string::npos);
      if (gap == U"\n") continue;
      EXPECT_NE(t[next.begin], U' ') << platform::encodeUtf8(t) << " / " << maxWidth << " line " << k;
      // Greedy: the next line's first word (or first character, when it was
      // broken inside a word) would not have fitted here.
      size_t wordEnd = gap.empty() ? next.begin + 1 : next.begin;
      while (!gap.empty() && wordEnd < t.size() && t[wordEnd] != U' ' && t[wordEnd] != U'\n') ++wordEnd;
      EXPECT_GT(layout.width(l.begin, wordEnd), maxWidth * 64) << "line " << k << " of round " << round;
    }
  }
  // A line feed forces a break, two leave an empty line, an empty text is one
  // empty line.
  TextLayout hint(sans(), U"One\n\nTwo three");
  EXPECT_EQ(hint.wrap(1000), (std::vector<TextLayout::Line>{{0, 3}, {4, 4}, {5, 14}}));
  const std::vector<TextLayout::Line> empty{{0, 0}};
  EXPECT_EQ(TextLayout(sans(), U"").wrap(50), empty);
}

TEST(TextEngineTest, ShorteningKeepsAPrefixEndingInAnEllipsisThatFits) {
  const std::u32string word = U"R\u00e9sonances";
  TextLayout full(sans(), word);
  for (int maxWidth = 0; maxWidth <= (full.width() >> 6) + 2; ++maxWidth) {
    TextLayout l(sans(), word);
    l.shorten(maxWidth);
    const std::u32string& s = l.text();
    if (maxWidth * 64 >= full.width()) {
      EXPECT_EQ(s, word);
      continue;
    }
    ASSERT_GE(s.size(), 1u);
    EXPECT_EQ(s.back(), TextLayout::cEllipsis);
    EXPECT_EQ(s.substr(0, s.size() - 1), word.substr(0, s.size() - 1));
    if (s.size() > 1) {
      EXPECT_LE(l.width(), maxWidth * 64);
      // The longest such prefix: one more character would not fit.
      TextLayout longer(sans(), word.substr(0, s.size()) + TextLayout::cEllipsis);
      EXPECT_GT(longer.width(), maxWidth * 64);
    }
  }
  TextLayout one(sans(), U"W");
  one.shorten(1);
  EXPECT_EQ(one.text(), U"W");
}

TEST(TextEngineTest, DrawingInksGreyGlyphsAndUnderlinesButNeverTheFourthByte) {
  const int w = 60, h = 20, baseline = 12;
  std::vector<uint8_t> px(w * h * 4, 255);
  platform::Pixels target(px.data(), w, h, w);
  TextLayout l(sans(), U"Hi g");
  l.draw(target, 0, baseline, {0, 4}, true);
  const int uy = baseline + (l.face()->underlinePosition() >> 6);
  int inked = 0, below = 0, right = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = target.at(x, y);
      EXPECT_TRUE(p[0] == p[1] && p[1] == p[2] && p[3] == 255);
      inked += p[0] < 255, below += p[0] < 255 && y >= baseline && y != uy, right = p[0] < 255 ? std::max(right, x + 1) : right;
    }
  EXPECT_GT(inked, 40);
  EXPECT_GT(below, 0); // the g's descender
  EXPECT_EQ(right, l.width() >> 6); // the underline spans the advance width
  for (int x = 0; x < right; ++x) EXPECT_EQ(target.at(x, uy)[0], 0) << x;
}

TEST(TextEngineTest, ALineBoxHoldsEveryLatin1GlyphWhole) {
  // Drawn into a box one line high (the baseline the descender's depth
  // above its bottom), no glyph loses ink at any label size or style.
  for (int size = 8; size <= 16; ++size)
    for (int style = 0; style < 4; ++style) {
      TypeFace* face = sans(size * 1.25f, style & 1, style & 2);
      TextLayout l(face, U"");
      const int h = l.lineHeight() >> 6, baseline = h - (l.baseline() >> 6), w = 3 * size;
      for (char32_t c = 0x21; c <= 0xFF; ++c) {
        const TypeFace::Glyph& g = face->glyph(c);
        long expected = 0;
        for (uint8_t v : g.coverage) expected += v;
        std::vector<uint8_t> px(w * h * 4, 255);
        l.setText(std::u32string(1, c));
        l.draw(platform::Pixels(px.data(), w, h, w), size / 2, baseline, {0, 1}, false);
        long ink = 0;
        for (size_t i = 0; i < px.size(); i += 4) ink += 255 - px[i];
        EXPECT_EQ(ink, expected) << "U+" << std::hex << unsigned(c) << " size " << std::dec << size << " style " << style;
      }
    }
}
