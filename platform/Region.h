#pragma once

// Integer geometry of drawing ports and the regions made of it. A port
// rectangle holds 16-bit edges (top, left, bottom, right), the pixels between
// its edges (right and bottom excluded); a point is (v, h). A region is a
// list of disjoint rectangles: enough for clipping a view around a floating
// window and for the area a scroll exposes, without the general shapes no
// caller here draws.

#include <cstdint>
#include <vector>

namespace platform {

struct PortPoint {
  int16_t v = 0;
  int16_t h = 0;
  bool operator==(const PortPoint&) const = default;
};

struct PortRect {
  int16_t top = 0;
  int16_t left = 0;
  int16_t bottom = 0;
  int16_t right = 0;

  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool empty() const { return bottom <= top || right <= left; }
  bool contains(PortPoint p) const { return p.h >= left && p.h < right && p.v >= top && p.v < bottom; }
  // Holds the whole of r.
  bool encloses(const PortRect& r) const {
    return r.top >= top && r.left >= left && r.bottom <= bottom && r.right <= right;
  }
  bool meets(const PortRect& r) const { return !intersected(r).empty(); }
  // The common part; all zero when there is none.
  PortRect intersected(const PortRect& r) const;
  // The bounds of both; an empty rectangle adds nothing.
  PortRect united(const PortRect& r) const;
  PortRect offset(int dh, int dv) const;
  PortRect inset(int dh, int dv) const;
  bool operator==(const PortRect&) const = default;
};

// Colours of ports: 16 bits per component.
struct PortColor {
  uint16_t red = 0;
  uint16_t green = 0;
  uint16_t blue = 0;
  bool operator==(const PortColor&) const = default;
};

class Region {
public:
  Region() = default;
  explicit Region(const PortRect& r) { unite(r); }

  bool empty() const { return mRects.empty(); }
  const std::vector<PortRect>& rects() const { return mRects; }
  PortRect bounds() const;
  bool contains(PortPoint p) const;
  int area() const;

  void clear() { mRects.clear(); }
  void unite(const PortRect& r);
  void subtract(const PortRect& r);
  void intersect(const PortRect& r);
  void offset(int dh, int dv);

private:
  std::vector<PortRect> mRects; // disjoint, none empty
};

} // namespace platform
