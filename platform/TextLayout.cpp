#include "platform/TextLayout.h"

#include <algorithm>

namespace platform {

namespace {

inline void ink(uint8_t* p, unsigned coverage) {
  const unsigned keep = 255 - coverage;
  p[0] = static_cast<uint8_t>(p[0] * keep / 255);
  p[1] = static_cast<uint8_t>(p[1] * keep / 255);
  p[2] = static_cast<uint8_t>(p[2] * keep / 255);
}

} // namespace

int32_t TextLayout::width(size_t begin, size_t end) const {
  int32_t w = 0;
  for (size_t i = begin; i < end && i < mText.size(); ++i) w += mFace->advance(mText[i]);
  return w;
}

std::vector<TextLayout::Line> TextLayout::wrap(int maxWidth) const {
  std::vector<Line> lines;
  const int64_t limit = static_cast<int64_t>(maxWidth) * 64;
  const size_t n = mText.size();
  size_t paragraph = 0;
  for (;;) {
    size_t end = mText.find(U'\n', paragraph);
    if (end == std::u32string::npos) end = n;
    size_t i = paragraph;
    if (i == end) lines.push_back({i, i});
    while (i < end) {
      int64_t w = 0;
      size_t contentEnd = i; // end of the last word before a space, if > i
      size_t j = i;
      for (; j < end; ++j) {
        const char32_t c = mText[j];
        if (c == U' ') {
          if (j > i && mText[j - 1] != U' ') contentEnd = j;
        } else if (w + mFace->advance(c) > limit) {
          break;
        }
        w += mFace->advance(c);
      }
      if (j == end) {
        lines.push_back({i, end});
        i = end;
        continue;
      }
      // At the last space before the word that does not fit, else inside
      // the word, after at least one character; a break point's spaces
      // belong to neither line.
      const size_t cut = contentEnd > i ? contentEnd : std::max(j, i + 1);
      lines.push_back({i, cut});
      i = cut;
      while (i < end && mText[i] == U' ') ++i;
    }
    if (end == n) break;
    paragraph = end + 1;
  }
  return lines;
}

void TextLayout::shorten(int maxWidth) {
  const int64_t limit = static_cast<int64_t>(maxWidth) * 64;
  while (limit < width() && mText.size() >= 2) {
    mText.pop_back();
    mText.back() = cEllipsis;
  }
}

void TextLayout::draw(const Pixels& target, int x, int y, const Line& line, bool underline) const {
  if (target.isEmpty()) return;
  int64_t pen = static_cast<int64_t>(x) * 64;
  for (size_t i = line.begin; i < line.end && i < mText.size(); ++i) {
    const TypeFace::Glyph& g = mFace->glyph(mText[i]);
    const int64_t gx = ((pen + 32) >> 6) + g.left;
    const int64_t gy = static_cast<int64_t>(y) - g.top;
    for (int row = 0; row < g.height; ++row) {
      const int64_t ty = gy + row;
      if (ty < 0 || ty >= target.height) continue;
      const uint8_t* c = g.coverage.data() + static_cast<size_t>(row) * g.width;
      for (int col = 0; col < g.width; ++col) {
        const int64_t tx = gx + col;
        if (c[col] && tx >= 0 && tx < target.width) ink(target.at(static_cast<int>(tx), static_cast<int>(ty)), c[col]);
      }
    }
    pen += g.advance;
  }
  if (underline) {
    const int64_t left = std::max<int64_t>(0, x), right = std::min<int64_t>(target.width, (pen + 32) >> 6);
    const int64_t top = static_cast<int64_t>(y) + (mFace->underlinePosition() >> 6);
    const int64_t bottom = top + (mFace->underlineThickness() >> 6);
    for (int64_t ty = std::max<int64_t>(0, top); ty < std::min<int64_t>(target.height, bottom); ++ty)
      for (int64_t tx = left; tx < right; ++tx) ink(target.at(static_cast<int>(tx), static_cast<int>(ty)), 255);
  }
}

} // namespace platform
