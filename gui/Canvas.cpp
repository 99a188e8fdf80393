#include "gui/Canvas.h"

#include "gui/Bitmap.h"
#include "gui/Text.h"

#include <algorithm>

namespace gui {

Canvas::State::State(Canvas* canvas)
    : canvas(canvas), clip(canvas->clip), opacity(canvas->opacity), origin(canvas->origin) {}

void Canvas::State::restore() {
  // Property writes notify only when the value differs.
  canvas->clip = clip;
  canvas->opacity = opacity;
  canvas->origin = origin;
}

Canvas::Canvas(Owner* owner) : clip(nullptr, Rect()), opacity(nullptr, 255), origin(nullptr, Point()), owner(owner) {}

Color Canvas::scaled(Color c) const { return c.dilute(opacity); }

int Canvas::scaled(int o) const { return mul(Color::clampByte(opacity), Color::clampByte(o)); }

void Canvas::setPixel(const Point& p, Color c) const {
  if (clip.get().contains(p)) owner->setPixel(p + origin.get(), scaled(c));
}

Color Canvas::getPixel(const Point& p) const { return owner->getPixel(p + origin.get()); }

void Canvas::fillRect(const Rect& r, Color c) const {
  Rect area(r);
  area.intersect(clip);
  if (area.isEmpty()) return;
  owner->fillRect(area.moved(origin), scaled(c));
}

void Canvas::drawLine(const Point& from, const Point& to, Color c, float width) const {
  if (clip.get().isEmpty()) return;
  owner->drawLine(clip.get().moved(origin), from + origin.get(), to + origin.get(), scaled(c), width);
}

void Canvas::drawBitmap(Bitmap* b, const Rect& destination, const Point& sourcePosition, int o) const {
  if (!b) return;
  Rect area(destination);
  area.intersect(clip);
  if (area.isEmpty()) return;
  const Point source = sourcePosition + Point(area.left - destination.left, area.top - destination.top);
  owner->drawBitmap(b, area.moved(origin), source, scaled(o));
}

void Canvas::drawBitmap(Bitmap* b, const Point& p, int o) const {
  if (!b) return;
  drawBitmap(b, Rect(p, b->getWidth(), b->getHeight()), Point(0, 0), o);
}

void Canvas::drawText(Text* t, const Point& p, int o) const {
  if (!t) return;
  drawBitmap(t->getBitmap(), p, o);
}

void Canvas::drawTiledBitmap(Bitmap* b, const Rect& r, int o) const {
  if (!b) return;
  const int bw = b->getWidth(), bh = b->getHeight();
  const int rw = r.width(), rh = r.height();
  if (bh == rh && bw == rw) {
    drawBitmap(b, r, Point(0, 0), o);
  } else if (bh == rh) {
    const int e = std::min(rh, bw / 3);
    const int step = bw - 2 * e;
    drawBitmap(b, Rect(r.left, r.top, r.left + e, r.bottom), Point(0, 0), o);
    drawBitmap(b, Rect(r.right - e, r.top, r.right, r.bottom), Point(bw - e, 0), o);
    // A bitmap with no middle would never advance: it tiles nothing.
    if (step <= 0) return;
    for (int x = r.left + e; x < r.right - e; x += step)
      drawBitmap(b, Rect(x, r.top, std::min(x + step, r.right - e), r.bottom), Point(e, 0), o);
  } else {
    const int e = std::min(bw, bh / 3);
    const int step = bh - 2 * e;
    drawBitmap(b, Rect(r.left, r.top, r.right, r.top + e), Point(0, 0), o);
    drawBitmap(b, Rect(r.left, r.bottom - e, r.right, r.bottom), Point(0, bh - e), o);
    if (step <= 0) return;
    for (int y = r.top + e; y < r.bottom - e; y += step)
      drawBitmap(b, Rect(r.left, y, r.right, std::min(y + step, r.bottom - e)), Point(0, e), o);
  }
}

void Canvas::drawSpline(const Cubic& curve, const Rect& destination, const Point& sourcePosition, Color line,
                        Color fill1, Color fill2, float width, Orientation o) const {
  Rect area(destination);
  area.intersect(clip);
  if (area.isEmpty()) return;
  const Point source = sourcePosition + Point(area.left - destination.left, area.top - destination.top);
  owner->drawSpline(curve, area.moved(origin), source, scaled(line), scaled(fill1), scaled(fill2), width, o);
}

void Canvas::drawSpline(const Cubic& curve, const Rect& destination, const Point& sourcePosition, Color line,
                        float width, Orientation o) const {
  drawSpline(curve, destination, sourcePosition, line, Color(), Color(), width, o);
}

void Canvas::drawSpline(const Cubic& curve, int from, int to, Color line, float width, Orientation o) const {
  Rect r(clip);
  if (o == cHorizontal) {
    r.left = from;
    r.right = to;
  } else {
    r.top = from;
    r.bottom = to;
  }
  drawSpline(curve, r, Point(r.left, r.top), line, Color(), Color(), width, o);
}

} // namespace gui
