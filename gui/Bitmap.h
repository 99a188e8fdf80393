#pragma once

// The toolkit's 32-bit software image: skin images loaded from PNG files,
// rendered texts and the offscreen surface the control tree paints into.
// A bitmap owns its pixels, draws into itself (fills, pixels, blits with
// opacity, antialiased lines and curves, rotation) and is the owner behind
// its own Canvas. Changes are announced through onChange (UpdatedObject
// merges those made inside an update bracket).
//
// Pixels are 32 bits in rows from the top. Byte 3 (the top byte of the
// value) is alpha; bytes 0-2 are colour channels in an order the platform
// subclass chooses through colorToPixel and pixelToColor. Everything else
// here treats bytes 0-2 alike, so only getPixel, setPixel, fillRect,
// writeLine and the colours of lines and curves pass through the
// conversions.
//
// Every write into the bitmap follows one blend rule, for a pixel value p
// of alpha a:
//   a = 255   bytes 0-2 take p's and the alpha byte becomes 255;
//   else      nothing on a `transparent` bitmap, otherwise bytes 0-2 become
//             M[a][new] + M[255 - a][old] and the alpha byte is kept.
// A bitmap with meaningful alpha (a loaded image with translucent pixels, a
// text mask, a rotated copy) thus accepts only opaque writes: its alpha is
// its shape and translucent paint would have no sensible alpha to leave.
//
// Sizes are limited so that width x height x 4 bytes stays within
// cMaxBytes; a larger size is refused with std::bad_alloc and leaves the
// bitmap empty.

#include "base/NotifyEvent.h"
#include "base/Property.h"
#include "base/UpdatedObject.h"
#include "gui/Canvas.h"
#include "gui/Color.h"
#include "gui/Cubic.h"
#include "gui/Geometry.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace gui {

class BitmapFilerFactory;

class Bitmap : public UpdatedObject, public Canvas::Owner {
public:
  typedef uint32_t Pixel;

  static constexpr int64_t cMaxBytes = int64_t(1) << 30;

  // The bitmap carries meaningful alpha; translucent writes are skipped.
  Property<bool> transparent;
  // Fired with the bitmap (a gui::Bitmap*) as sender when a change is
  // announced: a resize or a load. Drawing into the pixels announces
  // nothing; whoever draws knows.
  NotifyEvent onChange;

  Bitmap();
  virtual ~Bitmap();
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;

  // New pixels (cleared to 0) when the size differs, and a change notice.
  // Negative sizes count as 0. Throws std::bad_alloc for a size beyond
  // cMaxBytes or that cannot be allocated; the bitmap is then 0 x 0.
  void resize(int width, int height);

  int getWidth() const { return width; }
  int getHeight() const { return height; }
  const Rect& getBounds() const { return bounds; }
  // Row y starts at pixel y * width; null while the bitmap is empty.
  Pixel* getPixels() { return pixels; }
  const Pixel* getPixels() const { return pixels; }

  // The bitmap's own canvas, its clip reset to the bounds and its origin to
  // (0, 0); its opacity is left as it was.
  Canvas* getCanvas();

  // Canvas::Owner: coordinates are the bitmap's own, and everything outside
  // the bounds is clipped.
  void drawBitmap(Bitmap* source, const Rect& destination, const Point& sourcePosition, int opacity) override;
  // An antialiased line of any thickness from `from` to `to`, both long
  // edges covered by exact area, cut square across its major axis; the end
  // point's own column is not drawn. Only pixels inside limit change.
  void drawLine(const Rect& limit, const Point& from, const Point& to, Color colour, float width) override;
  // The graph of a cubic as an antialiased stroke with fills on both sides,
  // in one pass over destination's columns (rows when vertical).
  void drawSpline(const Cubic& curve, const Rect& destination, const Point& sourcePosition, Color line,
                  Color fill1, Color fill2, float width, Orientation orientation) override;
  void fillRect(const Rect& r, Color colour) override;
  // Color() outside the bounds.
  Color getPixel(const Point& p) const override;
  void setPixel(const Point& p, Color colour) override;

  // Stores row y as given (no blending, alpha included); rows outside the
  // bitmap are ignored. colours holds width entries.
  virtual void writeLine(int y, Color* colours);

  // Turns dark ink on white into a mask of colour: black becomes colour,
  // white fully transparent; colour's alpha scales the result.
  void convertGrayscaleToTransparency(Color colour);
  // Fills this bitmap, at its current size, with source rotated by angle
  // radians (clockwise on the screen) about the centres of both, bilinearly
  // interpolated; what falls outside the source fades to transparent. The
  // result carries alpha, so `transparent` is set. A bitmap cannot be
  // rotated into itself: with source == this only the flag is set.
  void copyRotated(Bitmap* source, float angle);

  // The blend rule on one pixel or a half-open run, with no bounds test and
  // no conversion.
  void internalSetPixel(int x, int y, Pixel p);
  void internalFillRow(int x1, int y, int x2, Pixel p);
  void internalFillColumn(int x, int y1, int y2, Pixel p);

  virtual Pixel colorToPixel(Color colour) const = 0;
  virtual Color pixelToColor(Pixel p) const = 0;

  // Image readers, tried in registration order by loadFromStream; not owned.
  static std::vector<BitmapFilerFactory*> sFilerFactories;
  static void registerFilerFactory(BitmapFilerFactory* factory);
  // The gamma numerator the image readers use.
  static float sContrast;

  // Loading replaces size and pixels and is announced as one change; these
  // are defined with the image readers.
  void loadFromStream(std::istream& s);
  void loadFromResource(const std::string& name);
  void loadFromFile(const std::string& path);

protected:
  void change() override;
  // Subclasses extend these (and call them); deleteBitmapData takes null.
  virtual void deleteBitmapData(Pixel* data);
  virtual Pixel* newBitmapData();

  // The pixel count width x height in 64 bits; 0 unless both are above 0.
  std::size_t pixelCount() const;

private:
  Rect bounds;
  Canvas* canvas;
  Pixel* pixels;
  int height;
  int width;
};

} // namespace gui
