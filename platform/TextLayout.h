#pragma once

// The text engine's layout: one run of text in one face, measured,
// broken into lines, shortened and drawn.
//
// Measurement is typographic, so a label's size does not depend on which
// letters it holds: the width of a run is the sum of its glyph advances, a
// line is ascender - descender high, and the baseline lies the descender's
// depth above the line's bottom edge.
//
// Drawing puts glyph coverage as dark ink into 32-bit pixels: each colour
// byte is scaled by (255 - coverage) / 255, so text drawn on white comes
// out as grey levels that can become an alpha mask; the fourth byte is
// left alone.

#include "platform/Pixels.h"
#include "platform/TypeFace.h"

#include <string>
#include <vector>

namespace platform {

class TextLayout {
public:
  // The ellipsis that ends a shortened text.
  static constexpr char32_t cEllipsis = 0x2026;

  // [begin, end) of the text, in characters.
  struct Line {
    size_t begin = 0, end = 0;
    bool operator==(const Line&) const = default;
  };

  TextLayout(TypeFace* face, std::u32string text) : mFace(face), mText(std::move(text)) {}

  TypeFace* face() const { return mFace; }
  const std::u32string& text() const { return mText; }
  void setText(std::u32string text) { mText = std::move(text); }

  // 26.6 fixed point.
  int32_t width(size_t begin, size_t end) const;
  int32_t width() const { return width(0, mText.size()); }
  int32_t lineHeight() const { return mFace->ascender() - mFace->descender(); }
  int32_t baseline() const { return -mFace->descender(); } // above the line's bottom

  // Breaks the text into lines no wider than maxWidth pixels. A line feed
  // ends a line (two give an empty line between); otherwise lines break
  // greedily at spaces, the spaces at a break belonging to neither line. A
  // word wider than maxWidth breaks inside, after as many characters as
  // fit, at least one. A text without characters is one empty line.
  std::vector<Line> wrap(int maxWidth) const;

  // While the text is wider than maxWidth pixels and has at least two
  // characters: drops the last character and puts an ellipsis in place of
  // the new last one. A text too wide for even one character ends as a lone
  // ellipsis; a single character stays as it is.
  void shorten(int maxWidth);

  // Draws the characters of line with the pen starting at x on the baseline
  // y (pixels), clipped to the target; underlined across the line's
  // advance width when underline is set.
  void draw(const Pixels& target, int x, int y, const Line& line, bool underline) const;

private:
  TypeFace* mFace;
  std::u32string mText;
};

} // namespace platform
