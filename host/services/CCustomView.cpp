#include "host/services/CCustomView.h"

#include "host/PlugInGlobals.h"

const RGBColor CCustomView::fPlateColor[kPlateStates][6] = {
    {{0xDDDD, 0xDDDD, 0xDDDD}, {0xBBBB, 0xBBBB, 0xBBBB}, {0xAAAA, 0xAAAA, 0xAAAA}, {0x8888, 0x8888, 0x8888},
     {0x5555, 0x5555, 0x5555}, {0x2222, 0x2222, 0x2222}},
    {{0xFFFF, 0xFFFF, 0xFFFF}, {0xFFFF, 0xFFFF, 0xFFFF}, {0xEEEE, 0xEEEE, 0xEEEE}, {0xCCCC, 0xCCCC, 0xCCCC},
     {0x8888, 0x8888, 0x8888}, {0x3333, 0x3333, 0x3333}},
    {{0xFFFF, 0xCCCC, 0xCCCC}, {0xFFFF, 0x9999, 0x9999}, {0xFFFF, 0x9999, 0x9999}, {0xFFFF, 0x6666, 0x6666},
     {0xFFFF, 0x3333, 0x3333}, {0x6666, 0x0000, 0x0000}},
    {{0xCCCC, 0xFFFF, 0xCCCC}, {0xCCCC, 0xFFFF, 0x9999}, {0x9999, 0xCCCC, 0x9999}, {0x6666, 0x9999, 0x6666},
     {0x3333, 0x6666, 0x3333}, {0x0000, 0x3333, 0x0000}},
    {{0xEEEE, 0xEEEE, 0xEEEE}, {0xEEEE, 0xEEEE, 0xEEEE}, {0xDDDD, 0xDDDD, 0xDDDD}, {0xBBBB, 0xBBBB, 0xBBBB},
     {0x7777, 0x7777, 0x7777}, {0x3333, 0x3333, 0x3333}},
    {{0xFFFF, 0xFFFF, 0xFFFF}, {0xCCCC, 0xFFFF, 0xFFFF}, {0x9999, 0xCCCC, 0xFFFF}, {0x6666, 0x9999, 0xCCCC},
     {0x3333, 0x6666, 0x9999}, {0x0000, 0x3333, 0x6666}},
    {{0xFFFF, 0xFFFF, 0xCCCC}, {0xFFFF, 0xFFFF, 0x9999}, {0xCCCC, 0xCCCC, 0x6666}, {0x9999, 0x9999, 0x3333},
     {0x6666, 0x6666, 0x0000}, {0x3333, 0x3333, 0x0000}},
};

void CCustomView::SetViewPort(GrafPtr port) { CPlugInView::SetViewPort(port); }
void CCustomView::SetClicked(bool clicked) { CPlugInView::SetClicked(clicked); }
void CCustomView::GetForegroundColor(RGBColor* color) { CPlugInView::GetForegroundColor(color); }

void CCustomView::GetBackgroundColor(RGBColor* color) {
  if (!fPlateBackground) {
    CPlugInView::GetBackgroundColor(color);
    return;
  }
  int16_t state = GetPlateColorState();
  *color = fPlateColor[state >= 0 && state < kPlateStates ? state : 0][2];
}

PixPatHandle CCustomView::GetBackgroundPattern() {
  // Plates are drawn in their colours; the shared plate patterns come with
  // the description parser.
  return fPlateBackground ? nullptr : CPlugInView::GetBackgroundPattern();
}

void CCustomView::DrawBackground(Rect* area) {
  if (fPlateBackground)
    DrawPlate(area);
  else
    CPlugInView::DrawBackground(area);
}

bool CCustomView::ValidCustomParse(const SCustomParseElem* first) {
  if (!first || first->kind != kElemMarker) return false;
  const SCustomParseElem* view = first->next;
  if (!view || view->kind != kElemView) return false;
  const SCustomParseElem* groups = view->next;
  if (!groups || groups->kind != kElemList || groups->next) return false;
  const SCustomParseElem* g = ElemList(groups);
  if (!g) return false;
  for (; g; g = g->next)
    if (g->kind != kElemList) return false;
  return true;
}

SCustomParseElem* CCustomView::TakeGroup(SCustomParser* parser) {
  SCustomParseElem* group = PlugInAssertPointer(parser->elements);
  PlugInAssert(group->kind == kElemList);
  parser->elements = group->next;
  return ElemList(group);
}

void CCustomView::InitFromItemParse(SCustomParser* parser) {
  PlugInAssertPointer(parser);
  PlugInAssert(ValidCustomParse(parser->elements));
  parser->elements = ElemList(parser->elements->next->next);
  SCustomParseElem* e = TakeGroup(parser);
  PlugInAssertPointer(e);
  PlugInAssert(e->kind == kElemCode);
  SetViewType(static_cast<uint32_t>(e->value));
  for (e = e->next; e; e = e->next) {
    if (e->kind == kElemAttribute && e->value == kAttrPlate) {
      fPlateBackground = true;
    } else if (e->kind == kElemAttribute && e->value == kAttrInversePlate) {
      fPlateBackground = true;
      fInversePlate = true;
    } else if (e->kind == kElemNumber) {
      PlugInAssert(e->value >= 0 && e->value < kPlateStates);
      fPlateColorState = static_cast<int16_t>(e->value);
    } else {
      PlugInAssert(false);
    }
  }
}

void CCustomView::SetPlateBackground(bool plate, int16_t colourState, int16_t ridgeFlags) {
  PlugInAssert(colourState >= 0 && colourState < kPlateStates);
  fPlateBackground = plate;
  fPlateColorState = colourState;
  fPlateRidgeFlags = ridgeFlags;
  if (fPort) Update(&fRect);
}

int16_t CCustomView::GetPlateColorState() {
  if (fClicked) return kPlateClicked;
  if (IsHighlighted()) {
    int16_t colour = 0, other = 0;
    char text[256] = {};
    GetHighlightInfo(&colour, &other, text);
    static const int16_t states[4] = {kPlateRed, kPlateBlue, kPlateGreen, kPlateAmber};
    if (colour >= 0 && colour < 4) return states[colour];
  }
  return fPlateColorState;
}

void CCustomView::DrawRidges(const Rect& r, int pass) {
  GrafPtr port = platform::currentPort();
  Rect inner = r.inset(3, 3);
  bool horizontal = pass < 2;
  int n = (horizontal ? inner.height() : inner.width()) / 3;
  int length = (horizontal ? inner.width() : inner.height()) - 2;
  for (int i = 0; i < n; ++i) {
    int h = inner.left + (horizontal ? 0 : 3 * i), v = inner.top + (horizontal ? 3 * i : 0);
    switch (pass) {
    case 0: // a line below and right of the pen, a tick back up at its end
      port->moveTo(h + 1, v + 1);
      port->lineTo(h + 1 + length, v + 1);
      port->lineTo(h + 1 + length, v);
      break;
    case 1: // a tick at the pen, then the line
      port->moveTo(h, v + 1);
      port->lineTo(h, v);
      port->lineTo(h + length, v);
      break;
    case 2:
      port->moveTo(h + 1, v + 1);
      port->lineTo(h + 1, v + 1 + length);
      port->lineTo(h, v + 1 + length);
      break;
    default:
      port->moveTo(h + 1, v);
      port->lineTo(h, v);
      port->lineTo(h, v + length);
    }
  }
}

void CCustomView::DrawPlate(Rect*) {
  GrafPtr port = platform::currentPort();
  if (!port) return;
  int16_t state = GetPlateColorState();
  const RGBColor* c = fPlateColor[state >= 0 && state < kPlateStates ? state : 0];
  const Rect& r = fRect;
  int l = r.left, t = r.top, rt = r.right, b = r.bottom;
  RGBColor savedFore = port->foreColor();
  port->setPenSize(1, 1);
  auto line = [port](int h0, int v0, int h1, int v1) {
    port->moveTo(h0, v0);
    port->lineTo(h1, v1);
  };
  port->setForeColor(c[2]);
  port->paintRect(fInversePlate ? Rect{int16_t(t + 3), int16_t(l + 3), int16_t(b - 2), int16_t(rt - 2)}
                                : Rect{int16_t(t + 2), int16_t(l + 2), int16_t(b - 3), int16_t(rt - 3)});
  port->setForeColor(fInversePlate ? c[5] : c[0]);
  line(l, b - 2, l, t);
  port->lineTo(rt - 2, t);
  if (fPlateRidgeFlags & 1) DrawRidges(r, 0);
  if (fPlateRidgeFlags & 2) DrawRidges(r, 2);
  port->setForeColor(fInversePlate ? c[4] : c[1]);
  line(l + 1, b - 3, l + 1, t + 1);
  port->lineTo(rt - 3, t + 1);
  port->setForeColor(c[3]);
  line(l, b - 1, l + 2, b - 3);
  if (fInversePlate)
    port->lineTo(l + 2, t + 2);
  else
    port->lineTo(rt - 3, b - 3);
  port->lineTo(rt - 3, t + 2);
  port->lineTo(rt - 1, t);
  if (fPlateRidgeFlags & 1) DrawRidges(r, 1);
  if (fPlateRidgeFlags & 2) DrawRidges(r, 3);
  port->setForeColor(fInversePlate ? c[1] : c[4]);
  line(l + 2, b - 2, rt - 2, b - 2);
  port->lineTo(rt - 2, t + 2);
  port->setForeColor(fInversePlate ? c[0] : c[5]);
  line(l + 1, b - 1, rt - 1, b - 1);
  port->lineTo(rt - 1, t + 1);
  port->setForeColor(savedFore);
}

CPlugInView* CreateCCustomView() { return new CCustomView; }
