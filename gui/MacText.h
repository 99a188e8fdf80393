#pragma once

// The window layer's text: measured and rendered with the platform's text
// engine (FreeType, fontconfig, the DejaVu fonts) into a MacBitmap, black
// on white, then turned into a mask of the text's colour.
//
// Size: `size` x 1.25 pixels. The default font (empty `font`) is DejaVu
// Sans, `bold` and `italic` choose its faces, and a name that names no
// installed font falls back to it. Text bytes are UTF-8, a byte outside a
// well-formed sequence standing for itself as Latin-1.
//
// Measurement is typographic: the width is the sum of the advances, a line
// is ascender - descender high and the baseline lies the descender's depth
// above its bottom, so a label is as high whatever its letters. With
// `maxWidth` above 0:
//   overflowMode 0  the width is maxWidth (the text is cut or padded);
//   overflowMode 1  while too wide and two or more characters long, the last
//                   character is dropped and the new last one becomes an
//                   ellipsis (by character, never inside a UTF-8 sequence);
//   overflowMode 2  lines break greedily at spaces, a line feed forces a
//                   break ("\n\n" leaves an empty line), a word wider than
//                   maxWidth breaks inside; the width is maxWidth and the
//                   height the line count x the line height.
// Outside wrap mode a line feed is an invisible character.
//
// State: 2 after any change of a property (size stale), 1 once measured, 0
// once rendered; measuring never renders.

#include "gui/MacBitmap.h"
#include "gui/Text.h"
#include "platform/TextLayout.h"

#include <memory>
#include <string>
#include <vector>

namespace gui {

class MacText : public Text {
public:
  MacText();
  ~MacText() override;

  Bitmap* getBitmap() override;
  int getHeight() override;
  int getWidth() override;

  // The characters of each line as laid out (shortened in overflowMode 1),
  // in UTF-8; measures first.
  std::vector<std::string> getLines();
  // The face in use; measures first.
  platform::TypeFace* getFace();

protected:
  void change() override;

private:
  platform::TypeFace* getFontId();
  void updateStyle();
  void updateLayout();
  void updateSize();
  void calculateSize();
  void drawText();
  void updateBitmap();

  enum State { cUpToDate = 0, cBitmapStale = 1, cSizeStale = 2 };

  int32_t baseline = 0; // 26.6, above the bottom of a line
  MacBitmap* bitmap;
  platform::TypeFace* fontId = nullptr;
  std::string fontName = "?"; // matches no font, so the first use looks up
  bool fontBold = false, fontItalic = false;
  float fontPixels = 0;
  int height = 0;
  std::unique_ptr<platform::TextLayout> layout;
  size_t length = 0;
  int32_t lineHeight = 0; // 26.6
  std::vector<platform::TextLayout::Line> lineStarts;
  int state = cSizeStale;
  int width = 0;
};

} // namespace gui
