#include "platform/TypeFace.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <memory>
#include <stdexcept>
#include <tuple>

namespace platform {

namespace {

bool sameName(const std::string& a, const char* b) {
  const size_t n = a.size();
  if (std::char_traits<char>::length(b) != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

struct FontFile {
  std::string path;
  int index = 0;
};

// A pattern's values of one string object, any of which may name it.
bool patternHasName(FcPattern* p, const char* object, const std::string& name) {
  FcChar8* s = nullptr;
  for (int i = 0; FcPatternGetString(p, object, i, &s) == FcResultMatch; ++i)
    if (sameName(name, reinterpret_cast<const char*>(s))) return true;
  return false;
}

bool fileOf(FcPattern* p, FontFile& file) {
  FcChar8* path = nullptr;
  if (FcPatternGetString(p, FC_FILE, 0, &path) != FcResultMatch) return false;
  file.path = reinterpret_cast<const char*>(path);
  if (FcPatternGetInteger(p, FC_INDEX, 0, &file.index) != FcResultMatch) file.index = 0;
  return true;
}

// The best face of family name in the given style; false when fontconfig's
// best match belongs to another family.
bool matchFamily(const std::string& name, bool bold, bool italic, FontFile& file) {
  FcPattern* p = FcPatternCreate();
  FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcPatternAddInteger(p, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddInteger(p, FC_WIDTH, FC_WIDTH_NORMAL);
  FcConfigSubstitute(nullptr, p, FcMatchPattern);
  FcDefaultSubstitute(p);
  FcResult result;
  FcPattern* m = FcFontMatch(nullptr, p, &result);
  FcPatternDestroy(p);
  bool found = m && patternHasName(m, FC_FAMILY, name) && fileOf(m, file);
  if (m) FcPatternDestroy(m);
  return found;
}

bool matchFullName(const std::string& name, FontFile& file) {
  FcPattern* p = FcPatternCreate();
  FcPatternAddString(p, FC_FULLNAME, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcObjectSet* os = FcObjectSetBuild(FC_FILE, FC_INDEX, FC_FULLNAME, nullptr);
  FcFontSet* set = FcFontList(nullptr, p, os);
  bool found = false;
  for (int i = 0; set && i < set->nfont && !found; ++i)
    found = patternHasName(set->fonts[i], FC_FULLNAME, name) && fileOf(set->fonts[i], file);
  if (set) FcFontSetDestroy(set);
  FcObjectSetDestroy(os);
  FcPatternDestroy(p);
  return found;
}

} // namespace

// The process's FreeType library, the resolved names and the faces.
class TypeFaceCache {
public:
  static TypeFaceCache& instance() {
    static TypeFaceCache cache;
    return cache;
  }

  TypeFace* find(const std::string& name, bool bold, bool italic, float pixelSize) {
    const int32_t size = std::max<int32_t>(1, static_cast<int32_t>(std::lround(pixelSize * 64)));
    const FontFile& file = resolve(name, bold, italic);
    auto key = std::make_tuple(file.path, file.index, size);
    auto it = mFaces.find(key);
    if (it != mFaces.end()) return it->second.get();
    FT_Face face = nullptr;
    if (FT_New_Face(mLibrary, file.path.c_str(), file.index, &face) != 0)
      throw std::runtime_error("Cannot load the font " + file.path);
    FT_Set_Char_Size(face, 0, size, 72, 72);
    std::unique_ptr<TypeFace> tf(new TypeFace(face, file.path, size / 64.0f));
    return mFaces.emplace(key, std::move(tf)).first->second.get();
  }

private:
  TypeFaceCache() {
    FcInit();
    if (FT_Init_FreeType(&mLibrary) != 0) throw std::runtime_error("Cannot start the font rasteriser");
  }
  ~TypeFaceCache() {
    mFaces.clear(); // before the library they belong to
    FT_Done_FreeType(mLibrary);
    FcFini();
  }

  const FontFile& resolve(const std::string& name, bool bold, bool italic) {
    auto key = std::make_tuple(name, bold, italic);
    auto it = mNames.find(key);
    if (it != mNames.end()) return it->second;
    FontFile file;
    const bool isDefault = name.empty() || sameName(name, "Lucida Grande");
    const bool found = !isDefault && (matchFamily(name, bold, italic, file) || matchFullName(name, file));
    if (!found && !matchFamily(TypeFace::cDefaultFamily, bold, italic, file))
      throw std::runtime_error("The default font DejaVu Sans is not installed");
    return mNames.emplace(key, file).first->second;
  }

  FT_Library mLibrary = nullptr;
  std::map<std::tuple<std::string, bool, bool>, FontFile> mNames;
  std::map<std::tuple<std::string, int, int32_t>, std::unique_ptr<TypeFace>> mFaces;
};

TypeFace* TypeFace::find(const std::string& name, bool bold, bool italic, float pixelSize) {
  return TypeFaceCache::instance().find(name, bold, italic, pixelSize);
}

TypeFace::TypeFace(void* face, const std::string& file, float pixelSize)
    : mFace(face), mFile(file), mPixelSize(pixelSize) {
  FT_Face f = static_cast<FT_Face>(face);
  if (f->family_name) mFamily = f->family_name;
  if (f->style_name) mStyle = f->style_name;
  mAscender = static_cast<int32_t>(f->size->metrics.ascender);
  mDescender = static_cast<int32_t>(f->size->metrics.descender);
  // Hinting can lift an accent or sink a descender a pixel beyond the
  // font's own lines; widen them to hold every printable Latin-1 character,
  // so no label of such text loses a row.
  for (char32_t c = 0x21; c <= 0xFF; ++c) {
    if (c >= 0x7F && c < 0xA1) continue;
    const Glyph& g = glyph(c);
    if (g.height == 0) continue;
    mAscender = std::max(mAscender, static_cast<int32_t>(g.top) * 64);
    mDescender = std::min(mDescender, static_cast<int32_t>(g.top - g.height) * 64);
  }
  if (FT_IS_SCALABLE(f) && f->units_per_EM > 0) {
    // The file gives the underline's centre, negative below the baseline;
    // keep whole pixels and the top edge at least one pixel down.
    const double px = static_cast<double>(pixelSize) / f->units_per_EM;
    const long thickness = std::max(1L, std::lround(f->underline_thickness * px));
    const long top = std::max(1L, std::lround(-f->underline_position * px - thickness / 2.0));
    mUnderlineThickness = static_cast<int32_t>(thickness * 64);
    mUnderlinePosition = static_cast<int32_t>(top * 64);
  }
}

TypeFace::~TypeFace() { FT_Done_Face(static_cast<FT_Face>(mFace)); }

const TypeFace::Glyph& TypeFace::glyph(char32_t c) {
  auto it = std::lower_bound(mGlyphs.begin(), mGlyphs.end(), c,
                             [](const std::pair<char32_t, Glyph>& e, char32_t k) { return e.first < k; });
  if (it != mGlyphs.end() && it->first == c) return it->second;
  Glyph g;
  FT_Face f = static_cast<FT_Face>(mFace);
  if (c >= 0x20 && c != 0x7F && FT_Load_Char(f, c, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) == 0) {
    FT_GlyphSlot slot = f->glyph;
    g.advance = static_cast<int32_t>(slot->advance.x);
    const FT_Bitmap& b = slot->bitmap;
    if (b.pixel_mode == FT_PIXEL_MODE_GRAY && b.width > 0 && b.rows > 0) {
      g.left = slot->bitmap_left;
      g.top = slot->bitmap_top;
      g.width = static_cast<int>(b.width);
      g.height = static_cast<int>(b.rows);
      g.coverage.resize(static_cast<size_t>(g.width) * g.height);
      for (int y = 0; y < g.height; ++y)
        std::copy_n(b.buffer + static_cast<ptrdiff_t>(y) * b.pitch, g.width, g.coverage.data() + static_cast<size_t>(y) * g.width);
    }
  }
  return mGlyphs.insert(it, {c, std::move(g)})->second;
}

} // namespace platform
