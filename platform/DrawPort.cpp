#include "platform/DrawPort.h"

#include "platform/Pixels.h"
#include "platform/PortPicture.h"
#include "platform/TypeFace.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace platform {

namespace {

DrawPort* sCurrent = nullptr;

TypeFace* faceFor(int16_t size, int16_t face) {
  return TypeFace::find("", (face & kFaceBold) != 0, (face & kFaceItalic) != 0, static_cast<float>(size));
}

int round26(int32_t x) { return (x + 32) >> 6; }

} // namespace

DrawPort* currentPort() { return sCurrent; }
void setCurrentPort(DrawPort* port) { sCurrent = port; }

DrawPort::DrawPort(int width, int height)
    : mWidth(std::max(width, 0)), mHeight(std::max(height, 0)),
      mPixels(static_cast<size_t>(mWidth) * mHeight * 4, 0xFF), mClip(bounds()) {}

void DrawPort::setWindow(WindowId window, ScreenPoint global, WindowServer* server) {
  mWindow = window;
  mGlobal = global;
  mServer = server;
}

PortRect DrawPort::bounds() const {
  return {mOriginV, mOriginH, static_cast<int16_t>(mOriginV + mHeight), static_cast<int16_t>(mOriginH + mWidth)};
}

void DrawPort::setOrigin(int h, int v) {
  mOriginH = static_cast<int16_t>(h);
  mOriginV = static_cast<int16_t>(v);
}

PortPoint DrawPort::localToGlobal(PortPoint p) const {
  return {static_cast<int16_t>(p.v - mOriginV + mGlobal.y), static_cast<int16_t>(p.h - mOriginH + mGlobal.x)};
}

PortPoint DrawPort::globalToLocal(PortPoint p) const {
  return {static_cast<int16_t>(p.v - mGlobal.y + mOriginV), static_cast<int16_t>(p.h - mGlobal.x + mOriginH)};
}

PortPoint DrawPort::mouse() const {
  ScreenPoint m = server().mouseLocation();
  return globalToLocal({static_cast<int16_t>(m.y), static_cast<int16_t>(m.x)});
}

bool DrawPort::stillDown() { return WindowServer::current().buttonStillDown(); }

void DrawPort::setPenSize(int width, int height) {
  mPenWidth = std::max(width, 0);
  mPenHeight = std::max(height, 0);
}

bool DrawPort::visible(int h, int v) const {
  return h >= mOriginH && h < mOriginH + mWidth && v >= mOriginV && v < mOriginV + mHeight &&
         mClip.contains({static_cast<int16_t>(v), static_cast<int16_t>(h)});
}

void DrawPort::set(int h, int v, PortColor c) {
  uint8_t* p = &mPixels[(static_cast<size_t>(v - mOriginV) * mWidth + (h - mOriginH)) * 4];
  p[0] = static_cast<uint8_t>(c.red >> 8);
  p[1] = static_cast<uint8_t>(c.green >> 8);
  p[2] = static_cast<uint8_t>(c.blue >> 8);
  p[3] = 0xFF;
}

void DrawPort::blend(int h, int v, PortColor c, int coverage) {
  if (!visible(h, v) || coverage <= 0) return;
  uint8_t* p = &mPixels[(static_cast<size_t>(v - mOriginV) * mWidth + (h - mOriginH)) * 4];
  const uint8_t ink[3] = {static_cast<uint8_t>(c.red >> 8), static_cast<uint8_t>(c.green >> 8),
                          static_cast<uint8_t>(c.blue >> 8)};
  for (int i = 0; i < 3; ++i) p[i] = static_cast<uint8_t>((ink[i] * coverage + p[i] * (255 - coverage) + 127) / 255);
}

void DrawPort::plot(int h, int v, PortColor c) {
  if (visible(h, v)) set(h, v, c);
}

void DrawPort::fill(const PortRect& r, PortColor c) {
  const uint8_t ink[4] = {static_cast<uint8_t>(c.red >> 8), static_cast<uint8_t>(c.green >> 8),
                          static_cast<uint8_t>(c.blue >> 8), 0xFF};
  for (const PortRect& clip : mClip.rects()) {
    PortRect part = r.intersected(bounds()).intersected(clip);
    for (int v = part.top; v < part.bottom; ++v) {
      uint8_t* d = &mPixels[(static_cast<size_t>(v - mOriginV) * mWidth + (part.left - mOriginH)) * 4];
      for (int h = part.left; h < part.right; ++h, d += 4) std::memcpy(d, ink, 4);
    }
  }
}

void DrawPort::erase(const PortRect& r) {
  if (!mBackPattern) {
    fill(r, mBack);
    return;
  }
  const PortPicture& pat = *mBackPattern;
  for (const PortRect& clip : mClip.rects()) {
    PortRect part = r.intersected(bounds()).intersected(clip);
    for (int v = part.top; v < part.bottom; ++v)
      for (int h = part.left; h < part.right; ++h) {
        const uint8_t* s = pat.at(((h % pat.width()) + pat.width()) % pat.width(),
                                  ((v % pat.height()) + pat.height()) % pat.height());
        set(h, v, {static_cast<uint16_t>(s[0] * 0x101), static_cast<uint16_t>(s[1] * 0x101),
                   static_cast<uint16_t>(s[2] * 0x101)});
      }
  }
}

void DrawPort::lineTo(int h, int v) {
  int h0 = mPen.h, v0 = mPen.v;
  int dh = std::abs(h - h0), dv = -std::abs(v - v0);
  int sh = h0 < h ? 1 : -1, sv = v0 < v ? 1 : -1;
  int err = dh + dv;
  for (;;) {
    fill({static_cast<int16_t>(v0), static_cast<int16_t>(h0), static_cast<int16_t>(v0 + mPenHeight),
          static_cast<int16_t>(h0 + mPenWidth)},
         mFore);
    if (h0 == h && v0 == v) break;
    int e2 = 2 * err;
    if (e2 >= dv) {
      err += dv;
      h0 += sh;
    }
    if (e2 <= dh) {
      err += dh;
      v0 += sv;
    }
  }
  moveTo(h, v);
}

void DrawPort::paintRect(const PortRect& r) { fill(r, mFore); }
void DrawPort::eraseRect(const PortRect& r) { erase(r); }

void DrawPort::frameRect(const PortRect& r) {
  if (r.empty()) return;
  int16_t pw = static_cast<int16_t>(mPenWidth), ph = static_cast<int16_t>(mPenHeight);
  fill({r.top, r.left, static_cast<int16_t>(r.top + ph), r.right}, mFore);
  fill({static_cast<int16_t>(r.bottom - ph), r.left, r.bottom, r.right}, mFore);
  fill({r.top, r.left, r.bottom, static_cast<int16_t>(r.left + pw)}, mFore);
  fill({r.top, static_cast<int16_t>(r.right - pw), r.bottom, r.right}, mFore);
}

PortRect DrawPort::drawable(const PortRect& r) const { return r.intersected(bounds()).intersected(mClip.bounds()); }

template <class Inside> void DrawPort::fillShape(const PortRect& r, Inside inside, bool eraseIt) {
  // A shape costs what can be seen of it, however large it claims to be.
  const PortRect part = drawable(r);
  for (int v = part.top; v < part.bottom; ++v)
    for (int h = part.left; h < part.right; ++h)
      if (inside(h + 0.5, v + 0.5) && visible(h, v)) {
        if (eraseIt)
          erase({static_cast<int16_t>(v), static_cast<int16_t>(h), static_cast<int16_t>(v + 1),
                 static_cast<int16_t>(h + 1)});
        else
          set(h, v, mFore);
      }
}

namespace {
// Whether (x, y) lies in the ellipse that fills r.
bool inOval(const PortRect& r, double x, double y) {
  double rx = r.width() / 2.0, ry = r.height() / 2.0;
  if (rx <= 0 || ry <= 0) return false;
  double dx = (x - (r.left + rx)) / rx, dy = (y - (r.top + ry)) / ry;
  return dx * dx + dy * dy <= 1.0;
}
} // namespace

void DrawPort::paintOval(const PortRect& r) {
  fillShape(r, [&](double x, double y) { return inOval(r, x, y); }, false);
}

void DrawPort::eraseOval(const PortRect& r) {
  fillShape(r, [&](double x, double y) { return inOval(r, x, y); }, true);
}

void DrawPort::frameOval(const PortRect& r) {
  PortRect in = r.inset(mPenWidth, mPenHeight);
  fillShape(r, [&](double x, double y) { return inOval(r, x, y) && !inOval(in, x, y); }, false);
}

void DrawPort::fillTriangle(PortPoint a, PortPoint b, PortPoint c) {
  PortRect box{std::min({a.v, b.v, c.v}), std::min({a.h, b.h, c.h}),
               static_cast<int16_t>(std::max({a.v, b.v, c.v}) + 1), static_cast<int16_t>(std::max({a.h, b.h, c.h}) + 1)};
  auto side = [](PortPoint p, PortPoint q, double x, double y) { return (q.h - p.h) * (y - p.v) - (q.v - p.v) * (x - p.h); };
  fillShape(box,
            [&](double x, double y) {
              double s1 = side(a, b, x, y), s2 = side(b, c, x, y), s3 = side(c, a, x, y);
              return (s1 >= 0 && s2 >= 0 && s3 >= 0) || (s1 <= 0 && s2 <= 0 && s3 <= 0);
            },
            false);
}

void DrawPort::drawPicture(const PortPicture& picture, const PortRect& r) {
  if (r.empty()) return;
  const PortRect part = drawable(r);
  for (int v = part.top; v < part.bottom; ++v)
    for (int h = part.left; h < part.right; ++h) {
      if (!visible(h, v)) continue;
      const uint8_t* s = picture.at((h - r.left) * picture.width() / r.width(), (v - r.top) * picture.height() / r.height());
      if (s[3] >= 128)
        set(h, v, {static_cast<uint16_t>(s[0] * 0x101), static_cast<uint16_t>(s[1] * 0x101),
                   static_cast<uint16_t>(s[2] * 0x101)});
    }
}

void DrawPort::plotIcon(const PortRect& r, const uint8_t* icon) {
  if (r.empty() || !icon) return;
  const PortRect part = drawable(r);
  for (int v = part.top; v < part.bottom; ++v)
    for (int h = part.left; h < part.right; ++h) {
      int x = (h - r.left) * 32 / r.width(), y = (v - r.top) * 32 / r.height();
      if (icon[y * 4 + x / 8] & (0x80 >> (x % 8))) plot(h, v, mFore);
    }
}

Region DrawPort::scrollRect(const PortRect& r, int dh, int dv) {
  PortRect area = r.intersected(bounds());
  PortRect moved = area.offset(dh, dv).intersected(area);
  std::vector<uint8_t> copy = mPixels;
  for (int v = moved.top; v < moved.bottom; ++v)
    for (int h = moved.left; h < moved.right; ++h)
      if (visible(h, v)) {
        const uint8_t* s = &copy[(static_cast<size_t>(v - dv - mOriginV) * mWidth + (h - dh - mOriginH)) * 4];
        set(h, v, {static_cast<uint16_t>(s[0] * 0x101), static_cast<uint16_t>(s[1] * 0x101),
                   static_cast<uint16_t>(s[2] * 0x101)});
      }
  Region exposed(area);
  exposed.subtract(moved);
  for (const PortRect& e : exposed.rects()) erase(e);
  return exposed;
}

DrawPort::FontInfo DrawPort::fontInfo() const {
  TypeFace* face = faceFor(mSize, mFace);
  return {round26(face->ascender()), round26(-face->descender()), 0};
}

int DrawPort::textWidth(const std::string& text) const {
  TypeFace* face = faceFor(mSize, mFace);
  int32_t w = 0;
  for (char c : text) w += face->advance(static_cast<unsigned char>(c));
  return round26(w);
}

void DrawPort::drawString(const std::string& text) {
  TypeFace* face = faceFor(mSize, mFace);
  int32_t x = mPen.h * 64;
  for (char ch : text) {
    const TypeFace::Glyph& g = face->glyph(static_cast<unsigned char>(ch));
    int gx = round26(x) + g.left, gy = mPen.v - g.top;
    for (int y = 0; y < g.height; ++y)
      for (int i = 0; i < g.width; ++i) blend(gx + i, gy + y, mFore, g.coverage[static_cast<size_t>(y) * g.width + i]);
    x += g.advance;
  }
  mPen.h = static_cast<int16_t>(round26(x));
}

void DrawPort::invalidate(const PortRect& r) {
  if (r.empty()) return;
  mInvalidated.push_back(r);
  if (mWindow == 0) return;
  // Window coordinates: the screen position less the content's top-left.
  ScreenRect content = server().contentArea(mWindow);
  int dx = mGlobal.x - mOriginH - content.left, dy = mGlobal.y - mOriginV - content.top;
  server().invalidateWindow(mWindow, {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy});
}

std::vector<PortRect> DrawPort::takeInvalidated() { return std::exchange(mInvalidated, {}); }

void DrawPort::drawImage(const uint8_t* rgba, int width, int height, int h, int v, int rowPixels) {
  if (width <= 0 || height <= 0) return;
  const size_t stride = static_cast<size_t>(rowPixels > 0 ? rowPixels : width);
  // Clip rectangle by clip rectangle, row by row: a pixel is copied when
  // the port and its clip hold it, without asking the region pixel by pixel.
  // A pixel two rectangles held would get the same bytes twice.
  const PortRect image{static_cast<int16_t>(std::clamp(v, -32768, 32767)),
                       static_cast<int16_t>(std::clamp(h, -32768, 32767)),
                       static_cast<int16_t>(std::clamp(v + height, -32768, 32767)),
                       static_cast<int16_t>(std::clamp(h + width, -32768, 32767))};
  const PortRect inPort = image.intersected(bounds());
  for (const PortRect& clip : mClip.rects()) {
    const PortRect part = inPort.intersected(clip);
    for (int y = part.top; y < part.bottom; ++y) {
      const uint8_t* s = rgba + (static_cast<size_t>(y - v) * stride + (part.left - h)) * 4;
      uint8_t* d = &mPixels[(static_cast<size_t>(y - mOriginV) * mWidth + (part.left - mOriginH)) * 4];
      copyOpaque(d, s, part.right - part.left);
    }
  }
}

PortColor DrawPort::pixel(int h, int v) const {
  if (h < mOriginH || h >= mOriginH + mWidth || v < mOriginV || v >= mOriginV + mHeight) return {};
  const uint8_t* p = &mPixels[(static_cast<size_t>(v - mOriginV) * mWidth + (h - mOriginH)) * 4];
  return {static_cast<uint16_t>(p[0] * 0x101), static_cast<uint16_t>(p[1] * 0x101), static_cast<uint16_t>(p[2] * 0x101)};
}

} // namespace platform
