#include "gui/Bitmap.h"

#include "gui/PixelBlend.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

namespace gui {

static_assert(std::endian::native == std::endian::little, "the alpha byte is the top byte of a pixel value");

constinit std::vector<BitmapFilerFactory*> Bitmap::sFilerFactories;
float Bitmap::sContrast = 1.0f;

void Bitmap::registerFilerFactory(BitmapFilerFactory* factory) { sFilerFactories.push_back(factory); }

Bitmap::Bitmap() : transparent(nullptr, false), bounds(), canvas(nullptr), pixels(nullptr), height(0), width(0) {
  canvas = new Canvas(this);
}

Bitmap::~Bitmap() {
  // Freed without a change notice: listeners must not hear from an object
  // that is going away.
  if (pixels) deleteBitmapData(pixels);
  pixels = nullptr;
  delete canvas;
}

std::size_t Bitmap::pixelCount() const {
  if (width <= 0 || height <= 0) return 0;
  return static_cast<std::size_t>(static_cast<int64_t>(width) * static_cast<int64_t>(height));
}

void Bitmap::resize(int newWidth, int newHeight) {
  newWidth = std::max(0, newWidth);
  newHeight = std::max(0, newHeight);
  if (newWidth == width && newHeight == height) return;
  if (pixels) deleteBitmapData(pixels);
  pixels = nullptr;
  width = newWidth;
  height = newHeight;
  bounds = Rect(width, height);
  const std::size_t count = pixelCount();
  if (count > 0) {
    try {
      if (static_cast<int64_t>(count) * 4 > cMaxBytes) throw std::bad_alloc();
      pixels = newBitmapData();
    } catch (...) {
      width = height = 0;
      bounds = Rect();
      notifyChange();
      throw;
    }
    std::memset(pixels, 0, count * sizeof(Pixel));
  }
  notifyChange();
}

void Bitmap::change() { onChange(this); }

Bitmap::Pixel* Bitmap::newBitmapData() { return new Pixel[pixelCount()]; }

void Bitmap::deleteBitmapData(Pixel* data) { delete[] data; }

Canvas* Bitmap::getCanvas() {
  canvas->clip = bounds;
  canvas->origin = Point(0, 0);
  return canvas;
}

Color Bitmap::getPixel(const Point& p) const {
  if (!bounds.contains(p)) return Color();
  return pixelToColor(pixels[static_cast<std::size_t>(p.y) * width + p.x]);
}

void Bitmap::setPixel(const Point& p, Color colour) {
  if (!bounds.contains(p)) return;
  internalSetPixel(p.x, p.y, colorToPixel(colour));
}

void Bitmap::internalSetPixel(int x, int y, Pixel p) {
  pixel::put(pixels + static_cast<std::size_t>(y) * width + x, p, pixel::alpha(p), transparent);
}

void Bitmap::internalFillRow(int x1, int y, int x2, Pixel p) {
  if (x2 <= x1) return;
  Pixel* q = pixels + static_cast<std::size_t>(y) * width;
  const int a = pixel::alpha(p);
  if (a == 255) {
    std::fill(q + x1, q + x2, pixel::opaque(p));
  } else if (a > 0 && !transparent) {
    for (int x = x1; x < x2; ++x) q[x] = pixel::mix(q[x], p, a);
  }
}

void Bitmap::internalFillColumn(int x, int y1, int y2, Pixel p) {
  if (y2 <= y1) return;
  Pixel* q = pixels + static_cast<std::size_t>(y1) * width + x;
  const int a = pixel::alpha(p);
  if (a == 255) {
    const Pixel v = pixel::opaque(p);
    for (int y = y1; y < y2; ++y, q += width) *q = v;
  } else if (a > 0 && !transparent) {
    for (int y = y1; y < y2; ++y, q += width) *q = pixel::mix(*q, p, a);
  }
}

void Bitmap::fillRect(const Rect& r, Color colour) {
  Rect area(r);
  area.intersect(bounds);
  if (area.isEmpty()) return;
  const Pixel p = colorToPixel(colour);
  const int a = pixel::alpha(p);
  // A translucent fill of a transparent bitmap, or a clear one, changes
  // nothing.
  if (a == 0 || (a < 255 && transparent)) return;
  for (int y = area.top; y < area.bottom; ++y) internalFillRow(area.left, y, area.right, p);
}

void Bitmap::writeLine(int y, Color* colours) {
  if (y < 0 || y >= height || width < 1 || !pixels) return;
  Pixel* q = pixels + static_cast<std::size_t>(y) * width;
  for (int x = 0; x < width; ++x) q[x] = colorToPixel(colours[x]);
}

void Bitmap::drawBitmap(Bitmap* source, const Rect& destination, const Point& sourcePosition, int opacity) {
  if (!source || transparent) return;
  const Point d(destination.left - sourcePosition.x, destination.top - sourcePosition.y);
  Rect area(bounds);
  area.intersect(destination);
  area.intersect(source->bounds.moved(d));
  if (area.isEmpty()) return;
  opacity = pixel::clampByte(opacity);
  const bool sourceAlpha = source->transparent;
  if (!sourceAlpha && opacity == 0) return;

  // Drawing a bitmap onto itself reads from a copy of the rows it covers.
  std::vector<Pixel> copy;
  const Pixel* from = source->pixels;
  int fromWidth = source->width;
  int fromTop = 0;
  int fromLeft = 0;
  if (source == this) {
    const int w = area.width(), h = area.height();
    copy.resize(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
      std::memcpy(&copy[static_cast<std::size_t>(y) * w],
                  pixels + static_cast<std::size_t>(area.top - d.y + y) * width + (area.left - d.x),
                  w * sizeof(Pixel));
    from = copy.data();
    fromWidth = w;
    fromTop = area.top - d.y;
    fromLeft = area.left - d.x;
  }

  const int count = area.width();
  for (int y = area.top; y < area.bottom; ++y) {
    Pixel* q = pixels + static_cast<std::size_t>(y) * width + area.left;
    const Pixel* s =
        from + static_cast<std::size_t>(y - d.y - fromTop) * fromWidth + (area.left - d.x - fromLeft);
    if (!sourceAlpha && opacity == 255) {
      std::memcpy(q, s, count * sizeof(Pixel));
    } else if (!sourceAlpha) {
      for (int i = 0; i < count; ++i) q[i] = pixel::mix(q[i], s[i], opacity);
    } else {
      const unsigned char* scale = multiplyTable[opacity];
      for (int i = 0; i < count; ++i) {
        const int a = scale[pixel::alpha(s[i])];
        if (a == 255)
          q[i] = (q[i] & 0xff000000u) | (s[i] & 0x00ffffffu);
        else if (a > 0)
          q[i] = pixel::mix(q[i], s[i], a);
      }
    }
  }
}

void Bitmap::convertGrayscaleToTransparency(Color colour) {
  const Pixel p = colorToPixel(colour);
  transparent = true;
  const unsigned char* scale = multiplyTable[pixel::alpha(p)];
  const std::size_t count = pixelCount();
  for (std::size_t i = 0; i < count; ++i) {
    const Pixel a = scale[255 - (pixels[i] & 255)];
    pixels[i] = (p & 0x00ffffffu) | (a << 24);
  }
}

void Bitmap::copyRotated(Bitmap* source, float angle) {
  transparent = true;
  if (height < 1 || width < 1 || !source || source == this) return;
  const float c = std::cos(angle);
  const float s = std::sin(angle);
  const int du = static_cast<int>(c * 1024.0f);
  const int dv = static_cast<int>(-s * 1024.0f);
  const int sw = source->width, sh = source->height;
  const bool sourceAlpha = source->transparent;
  const Pixel* from = source->pixels;
  const int dx0 = -(width / 2);
  for (int y = 0; y < height; ++y) {
    const int dy = y - height / 2;
    int u = static_cast<int>((static_cast<float>(sw / 2) + c * dx0 + s * dy) * 1024.0f);
    int v = static_cast<int>((static_cast<float>(sh / 2) + c * dy - s * dx0) * 1024.0f);
    Pixel* q = pixels + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x, u += du, v += dv) {
      const int xi = u >> 10, yi = v >> 10;
      const unsigned char* w = interpolateTable.weights((u >> 5) & 31, (v >> 5) & 31);
      int r = 0, g = 0, b = 0, a = 0;
      for (int k = 0; k < 4; ++k) {
        const int sx = xi + (k & 1), sy = yi + (k >> 1);
        if (sx < 0 || sy < 0 || sx >= sw || sy >= sh) continue;
        const Pixel sp = from[static_cast<std::size_t>(sy) * sw + sx];
        const int wk = sourceAlpha ? mul(w[k], pixel::alpha(sp)) : w[k];
        r += mul(sp & 255, wk);
        g += mul((sp >> 8) & 255, wk);
        b += mul((sp >> 16) & 255, wk);
        a += wk;
      }
      q[x] = static_cast<Pixel>(dvd(r, a)) | (static_cast<Pixel>(dvd(g, a)) << 8) |
             (static_cast<Pixel>(dvd(b, a)) << 16) | (static_cast<Pixel>(a) << 24);
    }
  }
}

} // namespace gui
