#include "host/services/CStaticTextView.h"

#include "host/PlugInGlobals.h"
#include "host/services/CDAEError.h"
#include "host/services/CIconView.h"
#include "host/services/CMacControlView.h"
#include "host/services/CPictureView.h"
#include "platform/Resources.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr size_t kMaxText = 255;
constexpr RGBColor kDisabledTextColor{0x0000, 0x0000, 0xAAAA};
constexpr RGBColor kLibraryHighlight{0x0000, 0x6666, 0xFFFF};

int16_t BigEndian16(const std::vector<uint8_t>& b, size_t at) {
  PlugInAssert(at + 1 < b.size());
  return static_cast<int16_t>(b[at] << 8 | b[at + 1]);
}

// The saved text settings and colours of a port, put back when the scope
// ends.
class TextStateScope {
public:
  explicit TextStateScope(GrafPtr port)
      : port(port), font(port->textFont()), size(port->textSize()), face(port->textFace()),
        fore(port->foreColor()), back(port->backColor()) {}
  ~TextStateScope() {
    port->setTextFont(font);
    port->setTextSize(size);
    port->setTextFace(face);
    port->setForeColor(fore);
    port->setBackColor(back);
    port->setTextMode(platform::kPatCopy);
  }
  TextStateScope(const TextStateScope&) = delete;
  TextStateScope& operator=(const TextStateScope&) = delete;

private:
  GrafPtr port;
  int16_t font, size, face;
  RGBColor fore, back;
};

// The item lists and dialogs being built, outermost first. Views built
// from resources may hold views built from other resources; a resource met
// again inside its own build would never end, and a deep or wide web of
// them would take as long, so both are refused (-7400).
class ResourceBuildScope {
public:
  static constexpr size_t kMaxDepth = 8;
  static constexpr int kMaxBuilds = 256;

  ResourceBuildScope(uint32_t type, int16_t id) {
    if (sBuilding.empty()) sBuilds = 0;
    for (const auto& [t, i] : sBuilding) PlugInAssert(t != type || i != id);
    ++sBuilds;
    PlugInAssert(sBuilding.size() < kMaxDepth && sBuilds <= kMaxBuilds);
    sBuilding.emplace_back(type, id);
  }
  ~ResourceBuildScope() { sBuilding.pop_back(); }
  ResourceBuildScope(const ResourceBuildScope&) = delete;
  ResourceBuildScope& operator=(const ResourceBuildScope&) = delete;

private:
  static inline std::vector<std::pair<uint32_t, int16_t>> sBuilding;
  static inline int sBuilds = 0;
};

} // namespace

// ------------------------------------------------------------- static text

CStaticTextView::~CStaticTextView() = default;

void CStaticTextView::InitFromItem(SItemDescriptor* item) {
  CCustomView::InitFromItem(item);
  fText.assign(reinterpret_cast<const char*>(item->data + 1), item->data[0]);
}

void CStaticTextView::InitFromItemParse(SCustomParser* parser) {
  CCustomView::InitFromItemParse(parser);
  ReadTextGroup(TakeGroup(parser));
}

void CStaticTextView::ReadTextGroup(SCustomParseElem* first) {
  fJustification = kJustDefault;
  fText.clear();
  for (SCustomParseElem* e = first; e; e = e->next) {
    if (e->kind == kElemString) {
      const unsigned char* s = ElemString(e);
      fText.assign(reinterpret_cast<const char*>(s + 1), s[0]);
    } else {
      PlugInAssert(e->kind == kElemAttribute);
      switch (e->value) {
      case kAttrLeft: fJustification = kJustLeft; break;
      case kAttrRight: fJustification = kJustRight; break;
      case kAttrCenter: fJustification = kJustCenter; break;
      case kAttrDefault: fJustification = kJustDefault; break;
      default: PlugInAssert(false);
      }
    }
  }
}

void CStaticTextView::GetText(unsigned char* out) const {
  out[0] = static_cast<unsigned char>(std::min(fText.size(), kMaxText));
  std::memcpy(out + 1, fText.data(), out[0]);
}

void CStaticTextView::SetText(const unsigned char* text) {
  SetTextString(std::string(reinterpret_cast<const char*>(text + 1), text[0]));
}

void CStaticTextView::SetTextString(const std::string& text) {
  std::string t = text.substr(0, kMaxText);
  if (t == fText) return;
  fText = std::move(t);
  if (!fPort) return;
  CPlugInView* painter = fParent ? fParent : this;
  CDrawScope scope(painter, nullptr);
  painter->Update(&fRect);
}

void CStaticTextView::DrawContents(Rect* area) {
  DrawBackground(area);
  DrawTextContents();
}

void CStaticTextView::DrawTextContents() {
  GrafPtr port = platform::currentPort();
  if (!port) return;
  TextStateScope saved(port);
  Rect box = fRect.inset(3, 3);
  RGBColor fore, back;
  GetForegroundColor(&fore);
  GetBackgroundColor(&back);
  port->setForeColor(fore);
  port->setBackColor(back);
  port->setTextFont(GetTextFont());
  port->setTextSize(GetTextSize());
  port->setTextFace(GetTextFace());
  port->setTextMode(platform::kSrcOr);
  DrawTextBox(fText.data(), static_cast<int32_t>(fText.size()), &box, fJustification);
}

void CStaticTextView::DrawTextBox(const char* text, int32_t length, Rect* box, int16_t justification) {
  GrafPtr port = platform::currentPort();
  if (!port || length <= 0) return;
  const platform::DrawPort::FontInfo info = port->fontInfo();
  const int lineHeight = info.ascent + info.descent + info.leading;
  if (lineHeight <= 0) return;
  // The lines: split at returns and line feeds; in a box at least one line
  // high, also wrapped at spaces to the box's width.
  const bool wrap = box->height() >= lineHeight;
  std::vector<std::string> lines;
  std::string line;
  auto flush = [&] { lines.push_back(std::exchange(line, {})); };
  for (int32_t i = 0; i < length; ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      flush();
      continue;
    }
    line += c;
    if (wrap && port->textWidth(line) > box->width()) {
      const size_t space = line.rfind(' ');
      if (space != std::string::npos && space > 0) {
        std::string rest = line.substr(space + 1);
        line.resize(space);
        flush();
        line = rest;
      }
    }
  }
  flush();
  // A box lower than one line starts 2 pixels above its top.
  int top = wrap ? box->top : box->top - 2;
  for (std::string& l : lines) {
    // A box of whole lines takes the lines that fit; a lower one each line
    // that starts inside it.
    if (wrap ? top + lineHeight > box->bottom : top >= box->bottom) break;
    while (!l.empty() && port->textWidth(l) > box->width()) l.pop_back();
    const int width = port->textWidth(l);
    const int free = box->width() - width;
    int h = box->left;
    if (justification == kJustCenter)
      h += free / 2;
    else if (justification == kJustRight)
      h += free;
    if (!wrap) {
      // The parts of the line's rect beside the text are erased.
      const Rect lineRect{static_cast<int16_t>(top), box->left, static_cast<int16_t>(top + lineHeight), box->right};
      port->eraseRect(lineRect);
    }
    port->moveTo(h, top + info.ascent);
    port->drawString(l);
    top += lineHeight;
  }
}

void CStaticTextView::GetForegroundColor(RGBColor* color) {
  if ((!fParent || fParent->IsEnabled()) && IsHighlighted() && fClicked) {
    if (!GetHighlightForeColor(color)) CCustomView::GetForegroundColor(color);
    return;
  }
  const int16_t state = GetPlateColorState();
  if (state == kPlateClicked)
    *color = kLibraryHighlight;
  else if (state == kPlateLightGrey)
    *color = kDisabledTextColor;
  else
    CCustomView::GetForegroundColor(color);
}

void CStaticTextView::GetEditRect(Rect* r) {
  GetVisibleRect(r);
  r->top += 3;
  r->bottom -= 3;
  r->left += 1;
  r->right -= 3;
  if (r->height() > 11) {
    r->top = static_cast<int16_t>(r->top + (r->height() - 11) / 2);
    r->bottom = static_cast<int16_t>(r->top + 11);
  }
  r->top -= 2;
}

void CStaticTextView::GetScrapText(unsigned char* out) { scrap::GetScrapText(out); }

void CStaticTextView::BeginEdit() {
  if (!fPort || fEdit) return;
  Rect r;
  GetEditRect(&r);
  fSavedFore = fForeColor;
  fSavedBack = fBackColor;
  fForeColor = {0, 0, 0};
  fBackColor = {0xFFFF, 0xFFFF, 0xFFFF};
  fPort->setTextFont(GetTextFont());
  fPort->setTextSize(GetTextSize());
  fPort->setTextFace(GetTextFace());
  fEdit = std::make_unique<platform::TextEdit>(fPort, r);
  fEdit->setJustification(fJustification);
  fEdit->setText(fText);
  fEdit->setSelection(0, static_cast<int>(fText.size()));
  fEdit->activate(true);
  fModified = false;
  SetClicked(true);
}

void CStaticTextView::EndEdit(bool) {
  if (!fEdit) return;
  std::string edited = fEdit->text().substr(0, kMaxText - 1);
  fEdit.reset();
  fForeColor = fSavedFore;
  fBackColor = fSavedBack;
  SetClicked(false);
  SetTextString(edited);
}

void CStaticTextView::HandleKey(char key, bool* handled) {
  *handled = false;
  if (!fEdit) return;
  *handled = true;
  // Option+V pastes; an empty clipboard leaves the text alone. Option+C
  // copies the selection.
  if (scrap::IsCopy(key)) {
    scrap::CopySelection(*fEdit);
    return;
  }
  if (scrap::IsPaste(key)) {
    unsigned char scrap[256];
    GetScrapText(scrap);
    if (scrap[0]) {
      fEdit->setText(std::string(reinterpret_cast<const char*>(scrap + 1), scrap[0]));
      fModified = false;
      if (fPort) Update(nullptr);
    }
    return;
  }
  fEdit->key(key);
  fModified = true;
  if (fPort) Update(nullptr);
}

void CStaticTextView::TrackClick(EventRecord* event, bool synthetic) {
  if (!fEdit) {
    CCustomView::TrackClick(event, synthetic);
    return;
  }
  fEdit->click(event->where, (event->modifiers & kShiftKeyBit) != 0);
}

void CStaticTextView::Idle(int32_t ticks) {
  if (fEdit) fEdit->idle(static_cast<uint32_t>(ticks));
  CCustomView::Idle(ticks);
}

// --------------------------------------------------------------- item list

CItemListView::~CItemListView() = default;

void CItemListView::InitFromItemParse(SCustomParser* parser) {
  CCustomView::InitFromItemParse(parser);
  SCustomParseElem* e = PlugInAssertPointer(TakeGroup(parser));
  fItemListID = ShortNumber(e);
  e = e->next;
  if (!e) return;
  PlugInAssert(e->kind == kElemCode);
  fHScrollerType = static_cast<uint32_t>(e->value);
  e = PlugInAssertPointer(static_cast<SCustomParseElem*>(e->next));
  PlugInAssert(e->kind == kElemCode && !e->next);
  fVScrollerType = static_cast<uint32_t>(e->value);
}

void CItemListView::InitializeTree() {
  ResourceBuildScope building(fourCharCode("DITL"), fItemListID);
  std::optional<std::vector<uint8_t>> list;
  {
    CResourceFileScope resources;
    list = platform::getResource(fourCharCode("DITL"), fItemListID);
  }
  if (!list) throw CDAEError(-7053);
  BuildItems(*list);
  CCustomView::InitializeTree();
}

void CItemListView::BuildItems(const std::vector<uint8_t>& list) {
  const int count = BigEndian16(list, 0) + 1;
  size_t at = 2;
  for (int i = 0; i < count; ++i) {
    PlugInAssert(at + 14 <= list.size());
    SItemDescriptor item;
    item.rect = {BigEndian16(list, at + 4), BigEndian16(list, at + 6), BigEndian16(list, at + 8),
                 BigEndian16(list, at + 10)};
    item.type = list[at + 12];
    const size_t length = list[at + 13];
    PlugInAssert(at + 14 + length <= list.size());
    item.data[0] = static_cast<uint8_t>(length);
    std::memcpy(item.data + 1, list.data() + at + 14, length);
    at += 14 + ((length + 1) & ~size_t(1));

    unsigned char ok = false;
    std::unique_ptr<CPlugInView> view;
    const int type = item.type & 0x7C;
    if (type == 4 || type == 8 || type == 16) view.reset(CCustomView::NewCustomItem(&item, &ok));
    if (!ok) {
      switch (type) {
      case 0: view.reset(new CPlugInView); break;
      case 4:
        switch (item.type & 3) {
        case 0: view.reset(CreateCButtonView()); break;
        case 1: view.reset(CreateCCheckBoxView()); break;
        case 2: view.reset(CreateCRadioButtonView()); break;
        default: view.reset(new CResControlView); break;
        }
        break;
      case 8:
      case 16: view.reset(CreateCStaticTextView()); break;
      case 32: view.reset(CreateCIconView()); break;
      case 64: view.reset(CreateCPictureView()); break;
      default: throw CDAEError(-7400);
      }
      view->InitFromItem(&item);
    }
    CPlugInView* made = view.release();
    AddSubView(made, true);
    made->Initialize();
  }
  // Item rectangles are relative to the list view.
  for (CPlugInView* c = fFirstChild; c; c = c->GetNextSibling()) c->Offset(fRect.left, fRect.top);
}

void CItemListView::Attach() {
  for (int axis : {CScrollControlView::kHorizontal, CScrollControlView::kVertical}) {
    const uint32_t code = axis == CScrollControlView::kHorizontal ? fHScrollerType : fVScrollerType;
    CScrollControlView*& scroller = axis == CScrollControlView::kHorizontal ? fHScroller : fVScroller;
    if (code == kNoType) continue;
    for (CPlugInView* a = fParent; a && !scroller; a = a->GetParent())
      scroller = dynamic_cast<CScrollControlView*>(a->FindViewByType(code));
    if (scroller) scroller->SetScrolledView(this, static_cast<int16_t>(axis));
  }
  CCustomView::Attach();
}

void CItemListView::Detach() {
  if (fHScroller) fHScroller->SetScrolledView(nullptr, CScrollControlView::kHorizontal);
  if (fVScroller) fVScroller->SetScrolledView(nullptr, CScrollControlView::kVertical);
  fHScroller = fVScroller = nullptr;
  CCustomView::Detach();
}

void CItemListView::Draw(Rect* area) {
  CDrawScope scope(this, area);
  CCustomView::Draw(area);
}

void CItemListView::ScrollContents(int16_t dh, int16_t dv) {
  for (CPlugInView* c = fFirstChild; c; c = c->GetNextSibling()) c->Offset(dh, dv);
  if (!fPort) return;
  Rect visible;
  GetVisibleRect(&visible);
  CDrawScope scope(this, nullptr);
  GrafPtr port = platform::currentPort();
  RGBColor saved = port->backColor(), back;
  GetBackgroundColor(&back);
  port->setBackColor(back);
  ApplyBackground();
  platform::Region exposed = port->scrollRect(visible, dh, dv);
  RestoreBackground();
  port->setBackColor(saved);
  if (!exposed.empty()) {
    Rect r = exposed.bounds();
    Draw(&r);
  }
}

void CItemListView::GetContentBounds(Rect* bounds) {
  *bounds = Rect{};
  for (CPlugInView* c = fFirstChild; c; c = c->GetNextSibling()) {
    Rect r;
    c->GetRect(&r);
    *bounds = bounds->united(r);
  }
}

// ------------------------------------------------------------------ dialog

CDialogView::~CDialogView() { delete fPattern; }

void CDialogView::InitializeTree() {
  ResourceBuildScope building(fourCharCode("DLOG"), fDialogID);
  std::optional<std::vector<uint8_t>> dialog;
  {
    CResourceFileScope resources;
    dialog = platform::getResource(fourCharCode("DLOG"), fDialogID);
  }
  if (!dialog || dialog->size() < 20) throw CDAEError(-7053);
  const int16_t top = BigEndian16(*dialog, 0), left = BigEndian16(*dialog, 2);
  const int16_t bottom = BigEndian16(*dialog, 4), right = BigEndian16(*dialog, 6);
  Rect r{0, 0, static_cast<int16_t>(bottom - top), static_cast<int16_t>(right - left)};
  SetRect(&r);
  SetEnabled(false);
  fItemListID = BigEndian16(*dialog, 18);
  CItemListView::InitializeTree();
}

void CDialogView::SetViewPort(GrafPtr port) {
  if (port && !fPattern) {
    try {
      fPattern = GetPixPat(fPatternID);
    } catch (const CDAEError&) {
      fPattern = nullptr;
    }
  }
  CCustomView::SetViewPort(port);
}

PixPatHandle CDialogView::GetBackgroundPattern() { return fPattern; }

CPlugInView* CreateCStaticTextView() { return new CStaticTextView; }
CPlugInView* CreateCItemListView() { return new CItemListView; }
CPlugInView* CreateCDialogView() { return new CDialogView; }
