#pragma once

// Integer points and rectangles in pixel coordinates: x grows to the right,
// y downwards. A rectangle includes its left and top edges and excludes its
// right and bottom ones, so Rect(0, 0, 1, 1) is exactly one pixel. A
// rectangle narrower or lower than one pixel is empty; it may be inverted
// (negative width or height) and still keeps its corners, which some
// operations rely on (an intersection keeps the place where it emptied).

#include <string>

namespace gui {

struct Point {
  int x;
  int y;

  Point() : x(0), y(0) {}
  Point(int v) : x(v), y(v) {}
  Point(int x, int y) : x(x), y(y) {}

  bool operator==(const Point& o) const { return x == o.x && y == o.y; }
  bool operator!=(const Point& o) const { return !(*this == o); }
  Point operator+(const Point& o) const { return Point(x + o.x, y + o.y); }
  Point operator-(const Point& o) const { return Point(x - o.x, y - o.y); }
};

struct Rect {
  int left;
  int top;
  int right;
  int bottom;

  Rect() : left(0), top(0), right(0), bottom(0) {}
  Rect(int size) : left(0), top(0), right(size), bottom(size) {}
  Rect(int width, int height) : left(0), top(0), right(width), bottom(height) {}
  Rect(int left, int top, int right, int bottom) : left(left), top(top), right(right), bottom(bottom) {}
  Rect(const Point& p, int width, int height) : left(p.x), top(p.y), right(p.x + width), bottom(p.y + height) {}
  Rect(const Point& topLeft, const Point& bottomRight)
      : left(topLeft.x), top(topLeft.y), right(bottomRight.x), bottom(bottomRight.y) {}

  int width() const { return right - left; }
  int height() const { return bottom - top; }
  Point topLeft() const { return Point(left, top); }

  // All four fields equal: two differently placed empty rectangles differ.
  bool equals(const Rect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
  bool operator==(const Rect& o) const { return equals(o); }
  bool operator!=(const Rect& o) const { return !equals(o); }

  bool isEmpty() const { return right - left < 1 || bottom - top < 1; }
  bool contains(const Point& p) const { return left <= p.x && p.x < right && top <= p.y && p.y < bottom; }

  void offset(const Point& d) {
    left += d.x;
    right += d.x;
    top += d.y;
    bottom += d.y;
  }
  // This rectangle moved by d, for call sites that keep the original.
  Rect moved(const Point& d) const {
    Rect r(*this);
    r.offset(d);
    return r;
  }

  // In place. An empty other collapses this rectangle onto its own top-left
  // corner; otherwise the overlap, not normalised (disjoint rectangles leave
  // an inverted, empty result).
  void intersect(const Rect& other);
  bool intersects(const Rect& other) const;
  // In place: the smallest rectangle holding both; empty rectangles count as
  // nothing.
  void setUnion(const Rect& other);

  // "left, top, right, bottom" in decimal.
  std::string toString() const;
};

} // namespace gui
