#include "gui/Geometry.h"

#include <algorithm>
#include <cstdio>

namespace gui {

void Rect::intersect(const Rect& other) {
  if (other.isEmpty()) {
    right = left;
    bottom = top;
    return;
  }
  left = std::max(left, other.left);
  top = std::max(top, other.top);
  right = std::min(right, other.right);
  bottom = std::min(bottom, other.bottom);
}

bool Rect::intersects(const Rect& other) const {
  Rect r(*this);
  r.intersect(other);
  return r.right - r.left >= 1 && r.bottom - r.top >= 1;
}

void Rect::setUnion(const Rect& other) {
  if (other.isEmpty()) return;
  if (isEmpty()) {
    *this = other;
    return;
  }
  left = std::min(left, other.left);
  top = std::min(top, other.top);
  right = std::max(right, other.right);
  bottom = std::max(bottom, other.bottom);
}

std::string Rect::toString() const {
  char text[64];
  std::snprintf(text, sizeof text, "%d, %d, %d, %d", left, top, right, bottom);
  return text;
}

} // namespace gui
