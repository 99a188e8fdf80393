#pragma once

// Fonts of the text engine: a face of a font file at one pixel size,
// found through fontconfig and rasterised by FreeType.
//
// Fonts are asked for by name. The empty name and "Lucida Grande" (the
// toolkit's default font on the Mac) mean DejaVu Sans; so does any name
// that names no installed family or face, because a label in some other
// font the system happens to pick is worse than one in the default font.
// A family name is matched with the weight and slant asked for; a face's
// full name ("DejaVu Sans Bold") selects that face as it is.
//
// Faces are made once per name, style and size and kept until the process
// ends; each keeps the glyphs it has rendered. The text engine is used on
// the GUI thread only and takes no lock.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class TypeFace {
public:
  static constexpr const char* cDefaultFamily = "DejaVu Sans";

  // Never null; throws std::runtime_error when not even the default font
  // can be loaded. pixelSize is in pixels (fractions allowed).
  static TypeFace* find(const std::string& name, bool bold, bool italic, float pixelSize);

  // One rendered glyph: its advance (26.6 fixed point, pixels x 64), the
  // offset of its coverage image from the pen position on the baseline
  // (left to the right, top upwards) and 8-bit coverage, width x height,
  // rows from the top. Control characters have no advance and no image.
  struct Glyph {
    int32_t advance = 0;
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> coverage;
  };
  const Glyph& glyph(char32_t c);
  int32_t advance(char32_t c) { return glyph(c).advance; }

  const std::string& family() const { return mFamily; }
  const std::string& style() const { return mStyle; }
  const std::string& file() const { return mFile; }
  float pixelSize() const { return mPixelSize; }
  // Typographic metrics of the face at its size, 26.6 fixed point: the
  // ascender above the baseline (positive), the descender (negative), and
  // the underline's top below the baseline and its thickness. Ascender and
  // descender are the font's, widened where hinting moves a printable
  // Latin-1 glyph beyond them (accented capitals at some sizes), so a line
  // holds such text whole; they never depend on the text being set.
  int32_t ascender() const { return mAscender; }
  int32_t descender() const { return mDescender; }
  int32_t underlinePosition() const { return mUnderlinePosition; }
  int32_t underlineThickness() const { return mUnderlineThickness; }

  TypeFace(const TypeFace&) = delete;
  TypeFace& operator=(const TypeFace&) = delete;
  ~TypeFace();

private:
  friend class TypeFaceCache;
  TypeFace(void* face, const std::string& file, float pixelSize);

  void* mFace; // FT_Face
  std::string mFile, mFamily, mStyle;
  float mPixelSize;
  int32_t mAscender = 0, mDescender = 0, mUnderlinePosition = 64, mUnderlineThickness = 64;
  std::vector<std::pair<char32_t, Glyph>> mGlyphs; // sorted by character
};

} // namespace platform
