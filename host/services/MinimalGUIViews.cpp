#include "host/services/MinimalGUIViews.h"

#include "host/PlugInGlobals.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Codes of the style words, above the view library's own attributes.
enum : int32_t {
  kStyleFontType = 200, kStyleFontSize, kStyleFontFace, kStyleFontColor, kStyleEngraved, kStyleShadow,
  kStyleTextColor, kStyleTextSize, kStyleTextFont, kStyleTextFace, kAttrLabels
};

int32_t NumberAfter(SCustomParseElem*& e, int32_t low, int32_t high) {
  e = PlugInAssertPointer(static_cast<SCustomParseElem*>(e->next));
  PlugInAssert(e->kind == kElemNumber && e->value >= low && e->value <= high);
  return e->value;
}

std::string StringAfter(SCustomParseElem*& e) {
  e = PlugInAssertPointer(static_cast<SCustomParseElem*>(e->next));
  PlugInAssert(e->kind == kElemString);
  const unsigned char* s = ElemString(e);
  return std::string(reinterpret_cast<const char*>(s + 1), s[0]);
}

RGBColor ColorAfter(SCustomParseElem*& e) {
  uint16_t c[3];
  for (uint16_t& x : c) x = static_cast<uint16_t>(NumberAfter(e, 0, 255) * 0x101);
  return {c[0], c[1], c[2]};
}

// Font numbers of the names a description may give.
int16_t FontNumber(const std::string& name) {
  if (name == "Geneva") return 3;
  if (name == "Monaco") return 4;
  if (name == "Times") return 20;
  if (name == "Helvetica") return 21;
  if (name == "Courier") return 22;
  return 0; // the system font
}

int16_t FaceBits(const std::string& name) {
  int16_t face = 0;
  if (name.find("bold") != std::string::npos) face |= platform::kFaceBold;
  if (name.find("italic") != std::string::npos) face |= platform::kFaceItalic;
  return face;
}

void EraseWith(const Rect& r, const RGBColor& back) {
  GrafPtr port = platform::currentPort();
  if (!port) return;
  RGBColor saved = port->backColor();
  const platform::PortPicture* pattern = port->backPattern();
  port->setBackPattern(nullptr);
  port->setBackColor(back);
  port->eraseRect(r);
  port->setBackColor(saved);
  port->setBackPattern(pattern);
}

void FillWith(const Rect& r, const RGBColor& color) {
  GrafPtr port = platform::currentPort();
  if (!port) return;
  RGBColor saved = port->foreColor();
  port->setForeColor(color);
  port->paintRect(r);
  port->setForeColor(saved);
}

constexpr RGBColor kDarkFace{0x2222, 0x2222, 0x2222};

} // namespace

void ReadTextStyle(SCustomParseElem* e, STextStyle& style) {
  for (; e; e = e->next) {
    PlugInAssert(e->kind == kElemAttribute);
    switch (e->value) {
    case kStyleFontType: style.font = static_cast<int16_t>(NumberAfter(e, 0, 32767)); break;
    case kStyleFontSize:
    case kStyleTextSize: style.size = static_cast<int16_t>(NumberAfter(e, 1, 127)); break;
    case kStyleFontFace: style.face = static_cast<int16_t>(NumberAfter(e, 0, 127)); break;
    case kStyleShadow: NumberAfter(e, 0, 127); break; // drawn without shadows
    case kStyleFontColor:
    case kStyleTextColor:
      style.color = ColorAfter(e);
      style.hasColor = true;
      break;
    case kStyleEngraved: style.engraved = true; break;
    case kStyleTextFont: style.font = FontNumber(StringAfter(e)); break;
    case kStyleTextFace: style.face = FaceBits(StringAfter(e)); break;
    default: PlugInAssert(false);
    }
  }
}

// ------------------------------------------------------------------ label

void CStyledTextView::InitFromItemParse(SCustomParser* parser) {
  // The type code leads the text group: split it off for the base.
  PlugInAssert(ValidCustomParse(parser->elements));
  SCustomParseElem* groups = ElemList(parser->elements->next->next);
  PlugInAssert(PlugInAssertPointer(groups)->kind == kElemList);
  SCustomParseElem* first = PlugInAssertPointer(ElemList(groups));
  PlugInAssert(first->kind == kElemCode);
  SetViewType(static_cast<uint32_t>(first->value));
  ReadTextGroup(first->next);
  parser->elements = groups->next;
  if (parser->elements) ReadTextStyle(TakeGroup(parser), fStyle);
  PlugInAssert(!parser->elements);
}

void CStyledTextView::GetForegroundColor(RGBColor* color) {
  if (fStyle.hasColor && !IsEditing())
    *color = fStyle.color;
  else
    CStaticTextView::GetForegroundColor(color);
}

void CStyledTextView::GetBackgroundColor(RGBColor* color) {
  if (fStyle.hasBack && !IsEditing())
    *color = fStyle.back;
  else
    CStaticTextView::GetBackgroundColor(color);
}

void CStyledTextView::DrawContents(Rect* area) {
  if (fStyle.hasBack && !IsEditing()) EraseWith(fRect, fStyle.back);
  CStaticTextView::DrawContents(area);
}

// ------------------------------------------------------------------ pop-up

void CStyledTextPopupEditor::InitFromItemParse(SCustomParser* parser) {
  CTextPopupControlEditor::InitFromItemParse(parser);
  STextStyle style;
  if (parser->elements) ReadTextStyle(TakeGroup(parser), style);
  PlugInAssert(!parser->elements);
  SetTextStyle(style.font, style.size, style.face);
}

// ------------------------------------------------------------ typed value

void CStyledTextControlEditor::InitFromItemParse(SCustomParser* parser) {
  CTextControlEditor::InitFromItemParse(parser);
  if (parser->elements) ReadTextStyle(TakeGroup(parser), fStyle);
  PlugInAssert(!parser->elements);
}

void CStyledTextControlEditor::InitializeTree() {
  if (!FindViewByType(kTextType)) {
    auto* text = new CStyledTextView;
    text->SetViewType(kTextType);
    text->SetRect(&fRect);
    STextStyle style = fStyle;
    style.back = kDarkFace;
    style.hasBack = true;
    text->SetStyle(style);
    text->SetJustification(CStaticTextView::kJustRight);
    text->SetEnabled(false); // clicks go to the editor
    AddSubView(text, false);
  }
  CTextControlEditor::InitializeTree();
}


// ------------------------------------------------------------------ meters

void CGainMeterView::InitFromItemParse(SCustomParser* parser) {
  CCustomView::InitFromItemParse(parser);
  fLabels = false;
  if (parser->elements)
    for (SCustomParseElem* e = TakeGroup(parser); e; e = e->next) {
      PlugInAssert(e->kind == kElemAttribute && e->value == kAttrLabels);
      fLabels = true;
    }
  PlugInAssert(!parser->elements);
}

void CGainMeterView::SetLevel(int32_t level) {
  level = std::max<int32_t>(level, 0);
  if (level == fLevel) return;
  fLevel = level;
  if (fPort) Update(nullptr);
}

void CGainMeterView::DrawContents(Rect*) {
  EraseWith(fRect, {0, 0, 0});
  const int width = fRect.width();
  const int lit = static_cast<int>(static_cast<int64_t>(width) * fLevel / 2147483647);
  if (lit > 0)
    FillWith({fRect.top, fRect.left, fRect.bottom, static_cast<int16_t>(fRect.left + lit)}, {0x0000, 0xCCCC, 0x0000});
  if (!fLabels) return;
  for (int i = 1; i < 10; ++i) {
    const int16_t h = static_cast<int16_t>(fRect.left + width * i / 10);
    FillWith({fRect.top, h, static_cast<int16_t>(fRect.top + 3), static_cast<int16_t>(h + 1)}, {0x8888, 0x8888, 0x8888});
  }
}

void CClippingView::InitFromItemParse(SCustomParser* parser) {
  CCustomView::InitFromItemParse(parser);
  if (parser->elements) PlugInAssert(!TakeGroup(parser));
  PlugInAssert(!parser->elements);
}

void CClippingView::SetClipped(bool clipped) {
  if (clipped == fClipped) return;
  fClipped = clipped;
  if (fPort) Update(nullptr);
}

void CClippingView::DrawContents(Rect*) {
  FillWith(fRect, fClipped ? RGBColor{0xFFFF, 0, 0} : RGBColor{0x4444, 0, 0});
}

// ---------------------------------------------------------------- the words

namespace {
CPlugInView* CreateStyledText() { return new CStyledTextView; }
CPlugInView* CreateStyledPopup() { return new CStyledTextPopupEditor; }
CPlugInView* CreateStyledTextEditor() { return new CStyledTextControlEditor; }
CPlugInView* CreateGainMeter() { return new CGainMeterView; }
CPlugInView* CreateClipping() { return new CClippingView; }
} // namespace

void RegisterMinimalGUIViews() {
  SCustomParseElem found{};
  static const unsigned char kProbe[] = "\x10StaticCustomText";
  if (CCustomView::FindKeyword(kProbe, &found)) return;
  CCustomView::AddNewViewProc("StaticCustomText", CreateStyledText);
  CCustomView::AddNewViewProc("TextCustomPopupEditor", CreateStyledPopup);
  CCustomView::AddNewViewProc("PictBackgroundTextEditor", CreateStyledTextEditor);
  CCustomView::AddNewViewProc("GainMeterView", CreateGainMeter);
  CCustomView::AddNewViewProc("ClippingView", CreateClipping);
  static const struct {
    const char* word;
    int32_t code;
  } words[] = {{"FontType", kStyleFontType}, {"FontSize", kStyleFontSize},   {"FontFace", kStyleFontFace},
               {"FontColor", kStyleFontColor}, {"kEngraved", kStyleEngraved}, {"Shadow", kStyleShadow},
               {"TextColor", kStyleTextColor}, {"TextSize", kStyleTextSize},  {"TextFont", kStyleTextFont},
               {"TextFace", kStyleTextFace},   {"labels", kAttrLabels}};
  for (const auto& w : words) CCustomView::AddKeyword(w.word, kElemAttribute, w.code);
}
