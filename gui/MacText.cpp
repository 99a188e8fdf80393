#include "gui/MacText.h"

#include "platform/Utf8.h"

namespace gui {

MacText::MacText() : bitmap(new MacBitmap()) {}

MacText::~MacText() { delete bitmap; }

void MacText::change() {
  state = cSizeStale;
  Text::change();
}

platform::TypeFace* MacText::getFontId() {
  const float pixels = size.get() * 1.25f;
  if (!fontId || font.get() != fontName || bold.get() != fontBold || italic.get() != fontItalic || pixels != fontPixels) {
    fontName = font.get();
    fontBold = bold;
    fontItalic = italic;
    fontPixels = pixels;
    fontId = platform::TypeFace::find(fontName, fontBold, fontItalic, pixels);
  }
  return fontId;
}

void MacText::updateStyle() { getFontId(); }

void MacText::updateLayout() {
  layout = std::make_unique<platform::TextLayout>(fontId, platform::decodeUtf8(text.get()));
  length = layout->text().size();
}

void MacText::calculateSize() {
  width = layout->width() >> 6;
  lineHeight = layout->lineHeight();
  height = lineHeight >> 6;
  baseline = layout->baseline();
  lineStarts.assign(1, {0, length});
}

void MacText::updateSize() {
  if (state != cSizeStale) return;
  updateStyle();
  updateLayout();
  calculateSize();
  if (maxWidth > 0) {
    if (overflowMode == cOverflowShorten) {
      layout->shorten(maxWidth);
      length = layout->text().size();
      calculateSize();
    } else if (overflowMode == cOverflowWrap) {
      lineStarts = layout->wrap(maxWidth);
      width = maxWidth;
      height = static_cast<int>((static_cast<int64_t>(lineStarts.size()) * lineHeight) >> 6);
    } else {
      width = maxWidth;
    }
  }
  state = cBitmapStale;
}

void MacText::drawText() {
  bitmap->fillRect(Rect(width, height), Color(255));
  const platform::Pixels pixels(bitmap->getPixels(), bitmap->getWidth(), bitmap->getHeight(), bitmap->getWidth());
  // The first line on top; each line's baseline sits `baseline` above its
  // bottom edge.
  int64_t bottom = lineHeight;
  for (const platform::TextLayout::Line& line : lineStarts) {
    layout->draw(pixels, 0, static_cast<int>((bottom - baseline + 32) >> 6), line, underline);
    bottom += lineHeight;
  }
}

void MacText::updateBitmap() {
  if (state == cUpToDate) return;
  updateSize();
  bitmap->resize(width, height);
  drawText();
  bitmap->convertGrayscaleToTransparency(color);
  state = cUpToDate;
}

Bitmap* MacText::getBitmap() {
  updateBitmap();
  return bitmap;
}

int MacText::getWidth() {
  updateSize();
  return width;
}

int MacText::getHeight() {
  updateSize();
  return height;
}

std::vector<std::string> MacText::getLines() {
  updateSize();
  std::vector<std::string> lines;
  for (const platform::TextLayout::Line& line : lineStarts)
    lines.push_back(platform::encodeUtf8(layout->text().substr(line.begin, line.end - line.begin)));
  return lines;
}

platform::TypeFace* MacText::getFace() {
  updateSize();
  return fontId;
}

} // namespace gui
