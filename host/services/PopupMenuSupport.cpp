#include "host/services/PopupMenuSupport.h"

#include "platform/Clock.h"

#include <algorithm>

namespace popupmenu {

namespace {

// Moves [start, start + length) inside [low, high) when it fits; else keeps
// it covering the whole of it.
int Fit(int start, int length, int low, int high) {
  if (length <= high - low) return std::clamp(start, low, high - length);
  return std::clamp(start, high - length, low);
}

} // namespace

Rect ScrollingMenu::PlaceMenu(const platform::CustomMenu& menu, Point topLeft, const Rect& area, int16_t current) {
  const int left = Fit(topLeft.h, menu.width, area.left, area.right);
  const int top = Fit(topLeft.v, menu.height, area.top, area.bottom);
  fContent = {static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(top + menu.height),
              static_cast<int16_t>(left + menu.width)};
  fFrame = fContent.intersected(area);
  fCurrent = current;
  fHighlighted = 0;
  ComputeArrows();
  return fFrame;
}

void ScrollingMenu::ComputeArrows() {
  fArrows = 0;
  if (fContent.top < fFrame.top) fArrows |= kArrowTop;
  if (fContent.bottom > fFrame.bottom) fArrows |= kArrowBottom;
  if (fContent.left < fFrame.left) fArrows |= kArrowLeft;
  if (fContent.right > fFrame.right) fArrows |= kArrowRight;
}

Rect ScrollingMenu::InnerFrame() const {
  Rect r = fFrame;
  if (fArrows & kArrowTop) r.top = static_cast<int16_t>(r.top + kArrowStrip);
  if (fArrows & kArrowBottom) r.bottom = static_cast<int16_t>(r.bottom - kArrowStrip);
  if (fArrows & kArrowLeft) r.left = static_cast<int16_t>(r.left + kArrowStrip);
  if (fArrows & kArrowRight) r.right = static_cast<int16_t>(r.right - kArrowStrip);
  return r;
}

Rect ScrollingMenu::ItemRect(const platform::CustomMenu& menu, int16_t item) const {
  const int count = std::max<int>(static_cast<int>(menu.items.size()), 1);
  const int height = fContent.height() / count;
  const int top = fContent.top + (item - 1) * height;
  return {static_cast<int16_t>(top), fContent.left, static_cast<int16_t>(top + height), fContent.right};
}

int16_t ScrollingMenu::ItemAt(const platform::CustomMenu& menu, Point mouse) {
  const int count = static_cast<int>(menu.items.size());
  const int height = count > 0 ? fContent.height() / count : 0;
  if (height <= 0 || !InnerFrame().contains(mouse)) return 0;
  const int item = (mouse.v - fContent.top) / height + 1;
  return item <= count ? static_cast<int16_t>(item) : 0;
}

void ScrollingMenu::drawMenu(platform::CustomMenu& menu) {
  platform::DrawPort* port = menu.port;
  if (!port) return;
  platform::DrawPort* saved = platform::currentPort();
  platform::setCurrentPort(port);
  const platform::Region clip = port->clip();
  const RGBColor back = port->backColor();
  const platform::PortPicture* pattern = port->backPattern();
  port->setBackPattern(nullptr);
  port->setBackColor(kMenuBack);
  port->eraseRect(fFrame);
  port->clipRect(InnerFrame());
  DrawMenuContent(menu, *port);
  port->setClip(clip);
  DrawArrows(*port);
  port->setBackColor(back);
  port->setBackPattern(pattern);
  platform::setCurrentPort(saved);
}

void ScrollingMenu::DrawMenuContent(platform::CustomMenu& menu, platform::DrawPort& port) {
  const Rect inner = InnerFrame();
  for (int16_t item = 1; item <= static_cast<int16_t>(menu.items.size()); ++item) {
    const Rect r = ItemRect(menu, item);
    if (r.meets(inner)) DrawMenuItem(menu, port, item, r, item == fHighlighted);
  }
}

void ScrollingMenu::DrawArrows(platform::DrawPort& port) {
  const RGBColor fore = port.foreColor();
  port.setForeColor({0, 0, 0});
  const int midH = (fFrame.left + fFrame.right) / 2, midV = (fFrame.top + fFrame.bottom) / 2;
  const int gap = (kArrowStrip - kArrowHeight) / 2;
  auto point = [](int h, int v) { return Point{static_cast<int16_t>(v), static_cast<int16_t>(h)}; };
  if (fArrows & kArrowTop) {
    port.eraseRect({fFrame.top, fFrame.left, static_cast<int16_t>(fFrame.top + kArrowStrip), fFrame.right});
    const int apex = fFrame.top + gap, base = apex + kArrowHeight;
    port.fillTriangle(point(midH, apex), point(midH - kArrowHeight, base), point(midH + kArrowHeight, base));
  }
  if (fArrows & kArrowBottom) {
    port.eraseRect({static_cast<int16_t>(fFrame.bottom - kArrowStrip), fFrame.left, fFrame.bottom, fFrame.right});
    const int apex = fFrame.bottom - gap, base = apex - kArrowHeight;
    port.fillTriangle(point(midH, apex), point(midH - kArrowHeight, base), point(midH + kArrowHeight, base));
  }
  if (fArrows & kArrowLeft) {
    port.eraseRect({fFrame.top, fFrame.left, fFrame.bottom, static_cast<int16_t>(fFrame.left + kArrowStrip)});
    const int apex = fFrame.left + gap, base = apex + kArrowHeight;
    port.fillTriangle(point(apex, midV), point(base, midV - kArrowHeight), point(base, midV + kArrowHeight));
  }
  if (fArrows & kArrowRight) {
    port.eraseRect({fFrame.top, static_cast<int16_t>(fFrame.right - kArrowStrip), fFrame.bottom, fFrame.right});
    const int apex = fFrame.right - gap, base = apex - kArrowHeight;
    port.fillTriangle(point(apex, midV), point(base, midV - kArrowHeight), point(base, midV + kArrowHeight));
  }
  port.setForeColor(fore);
}

bool ScrollingMenu::ScrollToward(Point mouse) {
  int dh = 0, dv = 0;
  if ((fArrows & kArrowTop) && mouse.v < fFrame.top + kArrowStrip)
    dv = std::min(kScrollStep, fFrame.top - fContent.top);
  else if ((fArrows & kArrowBottom) && mouse.v >= fFrame.bottom - kArrowStrip)
    dv = -std::min(kScrollStep, fContent.bottom - fFrame.bottom);
  if ((fArrows & kArrowLeft) && mouse.h < fFrame.left + kArrowStrip)
    dh = std::min(kScrollStep, fFrame.left - fContent.left);
  else if ((fArrows & kArrowRight) && mouse.h >= fFrame.right - kArrowStrip)
    dh = -std::min(kScrollStep, fContent.right - fFrame.right);
  if (!dh && !dv) return false;
  fContent = fContent.offset(dh, dv);
  ComputeArrows();
  return true;
}

int16_t ScrollingMenu::findItem(platform::CustomMenu& menu, Point mouse) {
  if (!fFrame.contains(mouse)) return 0;
  if (ScrollToward(mouse)) {
    drawMenu(menu);
    platform::delayTicks(ScrollPause());
    return 0;
  }
  Tracked(menu, mouse);
  return ItemAt(menu, mouse);
}

void ScrollingMenu::highlightItem(platform::CustomMenu& menu, int16_t previous, int16_t item) {
  fHighlighted = item;
  platform::DrawPort* port = menu.port;
  if (!port) return;
  platform::DrawPort* saved = platform::currentPort();
  platform::setCurrentPort(port);
  const Rect inner = InnerFrame();
  for (int16_t i : {previous, item}) {
    if (i <= 0) continue;
    const Rect r = ItemRect(menu, i);
    if (inner.encloses(r)) DrawMenuItem(menu, *port, i, r, i == item);
  }
  platform::setCurrentPort(saved);
}

void OverlayScope::Cover(GrafPtr port, platform::DrawPort* menuPort, const Rect& where) {
  Point topLeft = port->globalToLocal({static_cast<int16_t>(where.top - 1), static_cast<int16_t>(where.left - 1)});
  Point bottomRight =
      port->globalToLocal({static_cast<int16_t>(where.bottom + 2), static_cast<int16_t>(where.right + 2)});
  Rect local{topLeft.v, topLeft.h, bottomRight.v, bottomRight.h};
  GrafPtr saved = platform::currentPort();
  platform::setCurrentPort(port);
  CPlugInView::SetOverlay(menuPort, &local);
  platform::setCurrentPort(saved);
  set = true;
}

} // namespace popupmenu
