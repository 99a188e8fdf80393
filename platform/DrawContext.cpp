#include "platform/DrawContext.h"

#include <algorithm>

namespace platform {

namespace {

DrawContext::Box intersect(const DrawContext::Box& a, const DrawContext::Box& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

// new x a + old x (255 - a), both rounded down per term as the toolkit's
// blending tables do.
inline uint8_t blend(uint8_t oldValue, uint8_t newValue, unsigned a) {
  return static_cast<uint8_t>(newValue * a / 255 + oldValue * (255 - a) / 255);
}

// One axis of a box: a negative scale mirrors the span about the origin.
void toDeviceSpan(int origin, int scale, int lo, int hi, int& deviceLo, int& deviceHi) {
  if (scale > 0) {
    deviceLo = origin + lo;
    deviceHi = origin + hi;
  } else {
    deviceLo = origin - hi;
    deviceHi = origin - lo;
  }
}

} // namespace

DrawContext::DrawContext(const Pixels& target) : mTarget(target) {
  if (!target.isEmpty()) mState.clip = {0, 0, target.width, target.height};
}

void DrawContext::translate(int dx, int dy) {
  mState.tx += mState.sx * dx;
  mState.ty += mState.sy * dy;
}

void DrawContext::scale(int sx, int sy) {
  if (sx < 0) mState.sx = -mState.sx;
  if (sy < 0) mState.sy = -mState.sy;
}

DrawContext::Box DrawContext::toDevice(const Box& r) const {
  Box d;
  toDeviceSpan(mState.tx, mState.sx, r.left, r.right, d.left, d.right);
  toDeviceSpan(mState.ty, mState.sy, r.top, r.bottom, d.top, d.bottom);
  return d;
}

void DrawContext::saveState() { mSaved.push_back(mState); }

void DrawContext::restoreState() {
  if (mSaved.empty()) return;
  mState = mSaved.back();
  mSaved.pop_back();
}

void DrawContext::clipToRect(const Box& r) { mState.clip = intersect(mState.clip, toDevice(r)); }

void DrawContext::fillRect(const Box& r, uint8_t red, uint8_t green, uint8_t blue, uint8_t a) {
  const Box d = intersect(toDevice(r), mState.clip);
  if (d.isEmpty() || a == 0) return;
  for (int y = d.top; y < d.bottom; ++y) {
    uint8_t* p = mTarget.at(d.left, y);
    for (int x = d.left; x < d.right; ++x, p += 4) {
      p[0] = blend(p[0], red, a);
      p[1] = blend(p[1], green, a);
      p[2] = blend(p[2], blue, a);
    }
  }
}

void DrawContext::drawImage(const Box& r, const Pixels& image, bool useAlpha) {
  const Box full = toDevice(r);
  const Box d = intersect(full, mState.clip);
  if (d.isEmpty() || image.isEmpty()) return;
  const int64_t fw = full.right - full.left, fh = full.bottom - full.top;
  for (int y = d.top; y < d.bottom; ++y) {
    // Distance from the edge where the image's row 0 lies.
    const int64_t ry = mState.sy > 0 ? y - full.top : full.bottom - 1 - y;
    const int sy = static_cast<int>(ry * image.height / fh);
    uint8_t* p = mTarget.at(d.left, y);
    for (int x = d.left; x < d.right; ++x, p += 4) {
      const int64_t rx = mState.sx > 0 ? x - full.left : full.right - 1 - x;
      const uint8_t* s = image.at(static_cast<int>(rx * image.width / fw), sy);
      if (!useAlpha || s[3] == 255) {
        p[0] = s[0];
        p[1] = s[1];
        p[2] = s[2];
      } else if (s[3] != 0) {
        p[0] = blend(p[0], s[0], s[3]);
        p[1] = blend(p[1], s[1], s[3]);
        p[2] = blend(p[2], s[2], s[3]);
      }
    }
  }
}

} // namespace platform
