#include "host/services/CDialControlEditor.h"

#include "host/PlugInGlobals.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {
// The dial's face.
constexpr RGBColor kFaceColor{0xAAAA, 0xAAAA, 0xAAAA};
constexpr double kPi = 3.14159265358979323846;
} // namespace

void CDialControlEditor::InitFromItemParse(SCustomParser* parser) {
  CControlEditor::InitFromItemParse(parser);
  if (!parser->elements) return;
  for (SCustomParseElem* e = TakeGroup(parser); e; e = e->next) {
    PlugInAssert(e->kind == kElemAttribute && (e->value == kAttrReverse || e->value == kAttrCyclical));
    if (e->value == kAttrReverse)
      fReverse = true;
    else
      fCyclic = true;
  }
}

int CDialControlEditor::PointToAngle(Point p) const {
  double w = std::max(fRect.width(), 1), h = std::max(fRect.height(), 1);
  double dx = (p.h - (fRect.left + fRect.right) / 2.0) / w, dy = (p.v - (fRect.top + fRect.bottom) / 2.0) / h;
  if (dx == 0 && dy == 0) return 0;
  int degrees = static_cast<int>(std::lround(std::atan2(dx, -dy) * 180.0 / kPi));
  return (degrees % 360 + 360) % 360;
}

int32_t CDialControlEditor::AngleToValue(int degrees) const {
  degrees = (degrees % 360 + 360) % 360;
  if (degrees > 180) degrees -= 360;
  if (fReverse) degrees = -degrees;
  // Non-cyclic dials cover the range with +-144 degrees (x 10/8).
  int64_t scaled = fCyclic ? int64_t{degrees} * 8 : int64_t{degrees} * 10; // eighths of a degree
  int64_t value = scaled * 2147483648LL / (180 * 8);
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

int32_t CDialControlEditor::MoveLinear(int32_t value, int dh, int dv, bool fine) const {
  int larger = std::abs(dh) >= std::abs(dv) ? dh : dv, smaller = larger == dh ? dv : dh;
  if ((larger > 0 && smaller < 0) || (larger < 0 && smaller > 0)) smaller = 0;
  int64_t change = int64_t{larger + smaller} * (fine ? fFine : fCoarse) * kLinearStep;
  return static_cast<int32_t>(std::clamp<int64_t>(value + change, INT32_MIN, INT32_MAX));
}

void CDialControlEditor::PointerFor(int32_t value, Point* start, Point* end) const {
  double turn = value / 2147483648.0 * (fCyclic ? 180.0 : 144.0);
  if (fReverse) turn = -turn;
  double a = turn * kPi / 180.0;
  Rect r = fRect.inset(8, 8);
  double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
  double rx = r.width() / 2.0, ry = r.height() / 2.0;
  *start = {static_cast<int16_t>(std::lround(cy - std::cos(a) * ry / 4)),
            static_cast<int16_t>(std::lround(cx + std::sin(a) * rx / 4))};
  *end = {static_cast<int16_t>(std::lround(cy - std::cos(a) * ry)), static_cast<int16_t>(std::lround(cx + std::sin(a) * rx))};
}

void CDialControlEditor::DrawPointer(const RGBColor& color) {
  GrafPtr port = platform::currentPort();
  RGBColor saved = port->foreColor();
  port->setPenSize(1, 1);
  port->setForeColor(color);
  port->moveTo(fPointerStart.h, fPointerStart.v);
  port->lineTo(fPointerEnd.h, fPointerEnd.v);
  port->setForeColor(saved);
}

void CDialControlEditor::DrawContents(Rect* area) {
  DrawBackground(area);
  GrafPtr port = platform::currentPort();
  if (!port) return;
  RGBColor fore, savedFore = port->foreColor(), savedBack = port->backColor();
  GetForegroundColor(&fore);
  Rect face = fRect.inset(4, 4);
  port->setBackColor(kFaceColor);
  port->setBackPattern(nullptr);
  port->eraseOval(face);
  port->setForeColor(fore);
  port->setPenSize(2, 2);
  port->frameOval(face);
  port->setForeColor(savedFore);
  port->setBackColor(savedBack);
  PointerFor(GetValue(), &fPointerStart, &fPointerEnd);
  DrawPointer(fore);
}

void CDialControlEditor::Refresh() {
  Point start, end;
  PointerFor(GetValue(), &start, &end);
  if (start == fPointerStart && end == fPointerEnd) return;
  if (!fPort) {
    fPointerStart = start;
    fPointerEnd = end;
    return;
  }
  Rect visible;
  GetVisibleRect(&visible);
  if (visible.empty()) return;
  CDrawScope scope(this, &visible);
  DrawPointer(kFaceColor);
  fPointerStart = start;
  fPointerEnd = end;
  RGBColor fore;
  GetForegroundColor(&fore);
  DrawPointer(fore);
}

void CDialControlEditor::TrackClick(EventRecord* event, bool) {
  CClickedScope clicked(this);
  bool fine = (event->modifiers & kCommandKeyBit) != 0;
  Point last = event->where;
  while (StillDown()) {
    if (fControlView) fControlView->Idle(0);
    Point p = GetMouse();
    if (p == last) continue;
    if (fAngleMode)
      SetValue(AngleToValue(PointToAngle(p)));
    else
      SetValue(MoveLinear(GetValue(), p.h - last.h, last.v - p.v, fine));
    last = p;
  }
}

void CDialControlEditor::GetForegroundColor(RGBColor* color) {
  if (IsHighlighted() && GetHighlightForeColor(color)) return;
  CControlEditor::GetForegroundColor(color);
}

CPlugInView* CreateCDialControlEditor() { return new CDialControlEditor; }
