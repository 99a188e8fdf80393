#include "host/services/CSliderControlEditor.h"

#include "host/PlugInGlobals.h"

#include <algorithm>

namespace {
constexpr int64_t kSpan = 0xFFFFFFFFLL;
} // namespace

void CSliderControlEditor::InitFromItemParse(SCustomParser* parser) {
  CControlEditor::InitFromItemParse(parser);
  if (!parser->elements) return;
  SCustomParseElem* e = TakeGroup(parser);
  if (!e) return;
  PlugInAssert(e->kind == kElemAttribute && e->value == kAttrReverse && !e->next);
  fReverse = true;
}

void CSliderControlEditor::InitializeTree() {
  if (!fKnob) {
    fKnob = new CCustomView;
    fKnob->SetViewType(kKnobType);
    fKnob->SetEnabled(false);
    fKnob->SetDraggable(false);
    fKnob->SetPlateBackground(true, kPlateNormal, IsHorizontal() ? 1 : 2);
    Rect r = KnobRect(GetValue());
    fKnob->SetRect(&r);
    AddSubView(fKnob, false);
    if (fPort) fKnob->SetViewPort(fPort);
  }
  CControlEditor::InitializeTree();
}

int CSliderControlEditor::KnobLength() const { return (IsHorizontal() ? fRect.height() : fRect.width()) * 3 / 4; }

int CSliderControlEditor::Travel() const {
  return std::max(0, (IsHorizontal() ? fRect.width() : fRect.height()) - KnobLength());
}

int CSliderControlEditor::OffsetOfValue(int32_t value, int range) {
  if (range <= 0) return 0;
  return static_cast<int>((static_cast<int64_t>(value) - INT32_MIN) * range / kSpan);
}

int32_t CSliderControlEditor::ValueOfOffset(int offset, int range) {
  if (range <= 0) return INT32_MIN;
  offset = std::clamp(offset, 0, range);
  return static_cast<int32_t>(INT32_MIN + offset * kSpan / range);
}

Rect CSliderControlEditor::KnobRect(int32_t value) const {
  int travel = Travel(), length = KnobLength();
  int offset = OffsetOfValue(value, travel);
  if (fReverse) offset = travel - offset;
  Rect r = fRect;
  if (IsHorizontal()) {
    r.left = static_cast<int16_t>(fRect.left + offset);
    r.right = static_cast<int16_t>(r.left + length);
  } else {
    r.bottom = static_cast<int16_t>(fRect.bottom - offset);
    r.top = static_cast<int16_t>(r.bottom - length);
  }
  return r;
}

void CSliderControlEditor::DrawContents(Rect* area) {
  DrawBackground(area);
  GrafPtr port = platform::currentPort();
  if (!port) return;
  RGBColor saved = port->foreColor();
  int half = KnobLength() / 2;
  port->setPenSize(1, 1);
  Rect slot{};
  if (IsHorizontal()) {
    int mid = (fRect.top + fRect.bottom) / 2;
    slot = Rect{int16_t(mid - 1), int16_t(fRect.left + half), int16_t(mid + 1), int16_t(fRect.right - half)};
  } else {
    int mid = (fRect.left + fRect.right) / 2;
    slot = Rect{int16_t(fRect.top + half), int16_t(mid - 1), int16_t(fRect.bottom - half), int16_t(mid + 1)};
  }
  // A black slot, shaded dark above and left, light below and right.
  port->setForeColor({0, 0, 0});
  port->paintRect(slot);
  port->setForeColor({0x3333, 0x3333, 0x3333});
  port->moveTo(slot.left - 1, slot.bottom);
  port->lineTo(slot.left - 1, slot.top - 1);
  port->lineTo(slot.right, slot.top - 1);
  port->setForeColor({0x9999, 0x9999, 0x9999});
  port->moveTo(slot.left, slot.bottom);
  port->lineTo(slot.right, slot.bottom);
  port->lineTo(slot.right, slot.top);
  port->setForeColor(saved);
}

void CSliderControlEditor::TrackClick(EventRecord* event, bool synthetic) {
  if (fKnob && fKnob->GetBounds().contains(event->where) && !synthetic)
    TrackKnob(event);
  else
    CControlEditor::TrackClick(event, synthetic);
}

void CSliderControlEditor::TrackKnob(EventRecord* event) {
  CClickedScope clicked(fKnob);
  int range = Travel() * ((event->modifiers & kCommandKeyBit) ? kFineFactor : 1);
  int start = OffsetOfValue(GetValue(), range);
  Point click = event->where;
  while (StillDown()) {
    Point p = GetMouse();
    int movement = IsHorizontal() ? p.h - click.h : click.v - p.v;
    if (fReverse) movement = -movement;
    int32_t value = ValueOfOffset(start + movement, range);
    if (range > 0 && value != GetValue())
      SetValue(value);
    else if (fControlView)
      fControlView->Idle(0);
  }
}

void CSliderControlEditor::Refresh() {
  if (!fKnob) return;
  Rect now = fKnob->GetBounds(), wanted = KnobRect(GetValue());
  fKnob->ScrollBy(static_cast<int16_t>(wanted.left - now.left), static_cast<int16_t>(wanted.top - now.top));
}

void CSliderControlEditor::Reposition() {
  if (!fKnob) return;
  Rect wanted = KnobRect(GetValue());
  fKnob->MoveTo(wanted.left, wanted.top);
}

CPlugInView* CreateCSliderControlEditor() { return new CSliderControlEditor; }
