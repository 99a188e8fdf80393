#include "platform/Region.h"

#include <algorithm>

namespace platform {

namespace {
int16_t clamp16(int x) { return static_cast<int16_t>(std::clamp(x, -32768, 32767)); }
} // namespace

PortRect PortRect::intersected(const PortRect& r) const {
  PortRect o{std::max(top, r.top), std::max(left, r.left), std::min(bottom, r.bottom), std::min(right, r.right)};
  return o.empty() ? PortRect{} : o;
}

PortRect PortRect::united(const PortRect& r) const {
  if (r.empty()) return *this;
  if (empty()) return r;
  return {std::min(top, r.top), std::min(left, r.left), std::max(bottom, r.bottom), std::max(right, r.right)};
}

PortRect PortRect::offset(int dh, int dv) const {
  return {clamp16(top + dv), clamp16(left + dh), clamp16(bottom + dv), clamp16(right + dh)};
}

PortRect PortRect::inset(int dh, int dv) const {
  return {clamp16(top + dv), clamp16(left + dh), clamp16(bottom - dv), clamp16(right - dh)};
}

PortRect Region::bounds() const {
  PortRect b;
  for (const PortRect& r : mRects) b = b.united(r);
  return b;
}

bool Region::contains(PortPoint p) const {
  return std::any_of(mRects.begin(), mRects.end(), [p](const PortRect& r) { return r.contains(p); });
}

int Region::area() const {
  int a = 0;
  for (const PortRect& r : mRects) a += r.width() * r.height();
  return a;
}

void Region::unite(const PortRect& r) {
  if (r.empty()) return;
  // An empty region keeps its room.
  if (!mRects.empty()) subtract(r);
  mRects.push_back(r);
}

void Region::subtract(const PortRect& s) {
  if (s.empty()) return;
  std::vector<PortRect> out;
  for (const PortRect& r : mRects) {
    PortRect c = r.intersected(s);
    if (c.empty()) {
      out.push_back(r);
      continue;
    }
    // The parts of r above, below, left and right of the cut.
    PortRect pieces[4] = {{r.top, r.left, c.top, r.right},
                          {c.bottom, r.left, r.bottom, r.right},
                          {c.top, r.left, c.bottom, c.left},
                          {c.top, c.right, c.bottom, r.right}};
    for (const PortRect& p : pieces)
      if (!p.empty()) out.push_back(p);
  }
  mRects = std::move(out);
}

void Region::intersect(const PortRect& r) {
  std::vector<PortRect> out;
  for (const PortRect& x : mRects) {
    PortRect c = x.intersected(r);
    if (!c.empty()) out.push_back(c);
  }
  mRects = std::move(out);
}

void Region::offset(int dh, int dv) {
  for (PortRect& r : mRects) r = r.offset(dh, dv);
}

} // namespace platform
