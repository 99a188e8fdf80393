#include "host/services/CPlugInView.h"

#include "host/CProcessGroup.h"
#include "host/PlugInGlobals.h"
#include "host/services/CDAEError.h"
#include "platform/PortPicture.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

RGBColor ToColor(const SHostColor& c) { return {c.red, c.green, c.blue}; }

// Drawing state shared by every view.
struct DeferredRedraw {
  CPlugInView* view;
  Rect rect;
};
const platform::PortPicture* sSavedBackPattern = nullptr;
bool sBackPatternSaved = false;
GrafPtr sOverlayPort = nullptr;
Rect sOverlayRect;
std::vector<DeferredRedraw> sDeferred;

} // namespace

CPlugInView::CPlugInView() : fForeColor(ToColor(gDefaultForeColor)), fBackColor(ToColor(gDefaultBackColor)) {}

CPlugInView::~CPlugInView() {
  std::erase_if(sDeferred, [this](const DeferredRedraw& d) { return d.view == this; });
  for (CPlugInView* v = fParent; v; v = v->fParent)
    if (v->fFocus == this) v->fFocus = nullptr;
  if (fParent) fParent->RemoveSubView(this);
  while (CPlugInView* child = fFirstChild) {
    fFirstChild = child->fNextSibling;
    child->fParent = nullptr;
    child->fNextSibling = nullptr;
    delete child;
  }
}

void CPlugInView::Initialize() { InitializeTree(); }

void CPlugInView::InitFromItem(SItemDescriptor* item) {
  PlugInAssertPointer(item);
  fEnabled = (item->type & kItemDisabled) == 0;
  fRect = item->rect;
}

void CPlugInView::AddSubView(CPlugInView* view, bool nest) {
  if (!view) return;
  if (nest)
    for (CPlugInView* c = fFirstChild; c; c = c->fNextSibling)
      if (c->fRect.encloses(view->fRect)) {
        c->AddSubView(view, true);
        return;
      }
  if (fFirstChild)
    fFirstChild->AddSibling(view);
  else
    fFirstChild = view;
  view->SetParent(this);
  view->fNextSibling = nullptr;
}

void CPlugInView::AddSibling(CPlugInView* view) {
  view->SetParent(fParent);
  CPlugInView* last = this;
  while (last->fNextSibling) last = last->fNextSibling;
  last->fNextSibling = view;
  view->fNextSibling = nullptr;
}

void CPlugInView::SetParent(CPlugInView* parent) { fParent = parent; }

CPlugInView* CPlugInView::FindSubViewAt(Point where) {
  if (!fRect.contains(where)) return nullptr;
  for (CPlugInView* c = fFirstChild; c; c = c->fNextSibling)
    if (c->fRect.contains(where)) return c->FindSubViewAt(where);
  return this;
}

void CPlugInView::SubViewDragged(CPlugInView*) {}

void CPlugInView::Deactivate() {
  fActive = false;
  for (CPlugInView* c = fFirstChild; c; c = c->fNextSibling) c->Deactivate();
}

void CPlugInView::Activate() {
  fActive = true;
  for (CPlugInView* c = fFirstChild; c; c = c->fNextSibling) c->Activate();
}

void CPlugInView::SetViewPort(GrafPtr port) {
  fPort = port;
  if (port) {
    Rect b = port->bounds();
    fPortOriginTop = b.top;
    fPortOriginLeft = b.left;
  } else if (fFocus) {
    CPlugInView* focus = fFocus;
    fFocus = nullptr;
    if (focus != this) focus->SetViewPort(nullptr);
    focus->EndEdit(false);
  }
  for (CPlugInView* c = fFirstChild; c; c = c->fNextSibling) c->SetViewPort(port);
}

Rect CPlugInView::GetBounds() { return fRect; }
void CPlugInView::HandleKey(char, bool* handled) { *handled = false; }
void CPlugInView::EndEdit(bool) {}
void CPlugInView::BeginEdit() {}
bool CPlugInView::WantsFocus() { return false; }

void CPlugInView::HandleKeyEvent(EventRecord* event, bool* handled) {
  CDrawScope scope(this, nullptr);
  *handled = false;
  if (!fFocus) return;
  char key = static_cast<char>(event->message & 0xFF);
  switch (key) {
  case 3: // Enter: accept and go on editing
    fFocus->EndEdit(true);
    fFocus->BeginEdit();
    *handled = true;
    return;
  case 13: { // Return
    CPlugInView* focus = fFocus;
    fFocus = nullptr;
    focus->EndEdit(true);
    *handled = true;
    return;
  }
  case 27: { // Escape
    CPlugInView* focus = fFocus;
    fFocus = nullptr;
    focus->EndEdit(false);
    *handled = true;
    return;
  }
  case 9: { // Tab: the next focusable sibling, Shift-Tab the previous one
    CPlugInView* current = fFocus;
    current->EndEdit(true);
    *handled = true;
    auto takes = [current](CPlugInView* v) { return v != current && v->WantsFocus() && v->IsEnabled(); };
    CPlugInView* first = current->fParent ? current->fParent->fFirstChild : current;
    CPlugInView* before = nullptr; // forward: first before; backward: last before
    CPlugInView* after = nullptr;  // forward: first after; backward: last after
    bool backward = (event->modifiers & kShiftKeyBit) != 0;
    bool passed = false;
    for (CPlugInView* v = first; v; v = v->fNextSibling) {
      if (v == current) {
        passed = true;
        continue;
      }
      if (!takes(v)) continue;
      if (!passed) {
        if (!before || backward) before = v;
      } else if (!after || backward) {
        after = v;
      }
    }
    CPlugInView* next = backward ? (before ? before : after) : (after ? after : before);
    fFocus = next;
    if (next) next->BeginEdit();
    return;
  }
  default:
    fFocus->HandleKey(key, handled);
  }
}

void CPlugInView::HandleMouseDown(EventRecord* event) {
  CDrawScope scope(this, nullptr);
  CPlugInView* target = FindSubViewAt(event->where);
  while (target && !target->IsEnabled()) target = target->fParent;
  if (fFocus && fFocus != target) {
    CPlugInView* focus = fFocus;
    fFocus = nullptr;
    focus->EndEdit(false);
  }
  if (!target) return;
  if (target->WantsFocus() && fActive) fFocus = target;
  target->Click(event);
}

void CPlugInView::TrackClick(EventRecord* event, bool synthetic) {
  (void)event;
  if (synthetic || !StillDown()) return;
  bool inside = false, first = true;
  do {
    bool now = fRect.contains(GetMouse());
    if (first || now != inside) SetClicked(now);
    inside = now;
    first = false;
    IdleWhileTracking();
  } while (StillDown());
  SetClicked(false);
}

void CPlugInView::DragSubView(EventRecord* event, CPlugInView* view) {
  PlugInAssertPointer(view);
  Rect area = fRect.inset(1, 1);
  Point click = event->where;
  // The click point may go where view stays inside area.
  int minH = area.left + (click.h - view->fRect.left), maxH = area.right - (view->fRect.right - click.h);
  int minV = area.top + (click.v - view->fRect.top), maxV = area.bottom - (view->fRect.bottom - click.v);
  auto confine = [&](Point p) {
    return Point{static_cast<int16_t>(std::clamp<int>(p.v, minV, std::max(minV, maxV))),
                 static_cast<int16_t>(std::clamp<int>(p.h, minH, std::max(minH, maxH)))};
  };
  struct Dragging {
    CPlugInView* v;
    ~Dragging() { v->fDragging = false; }
  } dragging{view};
  view->fDragging = true;
  Point last = confine(click);
  while (StillDown()) {
    Point p = confine(GetMouse());
    if (!(p == last)) {
      view->ScrollBy(static_cast<int16_t>(p.h - last.h), static_cast<int16_t>(p.v - last.v));
      SubViewDragged(view);
      last = p;
    }
    IdleWhileTracking();
  }
}

void CPlugInView::Draw(Rect* area) {
  DrawContents(area);
  for (CPlugInView* c = fFirstChild; c; c = c->fNextSibling) {
    Rect part = c->fRect.intersected(*area);
    if (!part.empty()) c->Draw(&part);
  }
}

void CPlugInView::Update(Rect* area) {
  if (!fPort) return;
  Rect visible;
  GetVisibleRect(&visible);
  if (area) visible = visible.intersected(*area);
  if (visible.empty()) return;
  CDrawScope scope(this, &visible);
  Draw(&visible);
}

void CPlugInView::Idle(int32_t ticks) {
  for (CPlugInView* c = fFirstChild; c; c = c->fNextSibling) c->Idle(ticks);
  // Only the host's share: the group's own idle time idles the processes,
  // which may be what idles this tree.
  if (gProcessGroup) gProcessGroup->IdleHost();
}

void CPlugInView::SetClicked(bool clicked) {
  if (clicked == fClicked) return;
  fClicked = clicked;
  Update(nullptr);
}

void CPlugInView::SetEnabled(bool enabled) { fEnabled = enabled; }
bool CPlugInView::IsEnabled() { return fEnabled; }

void CPlugInView::Offset(int16_t dh, int16_t dv) {
  fRect = fRect.offset(dh, dv);
  for (CPlugInView* c = fFirstChild; c; c = c->fNextSibling) c->Offset(dh, dv);
}

void CPlugInView::GetForegroundColor(RGBColor* color) { *color = fClicked ? ToColor(gHighlightColor) : fForeColor; }

void CPlugInView::GetBackgroundColor(RGBColor* color) {
  if (fParent)
    fParent->GetBackgroundColor(color);
  else
    *color = fBackColor;
}

void CPlugInView::SetForegroundColor(RGBColor* color) { fForeColor = *color; }
void CPlugInView::SetBackgroundColor(RGBColor* color) { fBackColor = *color; }
PixPatHandle CPlugInView::GetBackgroundPattern() { return fParent ? fParent->GetBackgroundPattern() : nullptr; }

void CPlugInView::ApplyBackground() {
  GrafPtr port = platform::currentPort();
  if (!port) return;
  PixPatHandle pattern = GetBackgroundPattern();
  if (!pattern) {
    port->setBackPattern(nullptr);
    return;
  }
  sSavedBackPattern = port->backPattern();
  sBackPatternSaved = true;
  port->setBackPattern(pattern);
}

void CPlugInView::RestoreBackground() {
  if (!sBackPatternSaved) return;
  if (GrafPtr port = platform::currentPort()) port->setBackPattern(sSavedBackPattern);
  sSavedBackPattern = nullptr;
  sBackPatternSaved = false;
}

void CPlugInView::GetControlIndex(int32_t* index) { *index = 0; }
bool CPlugInView::HasControl() { return false; }
bool CPlugInView::IsHighlighted() { return fParent ? fParent->IsHighlighted() : false; }

void CPlugInView::GetHighlightInfo(int16_t* color, int16_t* other, char* text) {
  if (fParent) {
    fParent->GetHighlightInfo(color, other, text);
    return;
  }
  *color = 0;
  *other = 0;
  if (text) text[0] = 0;
}

PixPatHandle CPlugInView::GetPixPat(int16_t id) {
  CResourceFileScope resources;
  std::optional<std::vector<uint8_t>> data = platform::getResource(fourCharCode("ppat"), id);
  if (!data) return nullptr;
  std::optional<platform::PortPicture> pattern = platform::PortPicture::decode(*data);
  return pattern ? new platform::PortPicture(std::move(*pattern)) : nullptr;
}

void CPlugInView::InitializeTree() {
  if (!fParent) Attach();
}

void CPlugInView::Attach() {
  for (CPlugInView* c = fFirstChild; c; c = c->fNextSibling) c->Attach();
}

void CPlugInView::Detach() {
  for (CPlugInView* c = fFirstChild; c; c = c->fNextSibling) c->Detach();
}

void CPlugInView::DrawBackground(Rect* area) {
  if (fParent) return;
  GrafPtr port = platform::currentPort();
  if (!port) return;
  RGBColor saved = port->backColor(), back;
  GetBackgroundColor(&back);
  port->setBackColor(back);
  ApplyBackground();
  port->eraseRect(area->intersected(fRect));
  RestoreBackground();
  port->setBackColor(saved);
}

void CPlugInView::DrawContents(Rect* area) { DrawBackground(area); }

void CPlugInView::Click(EventRecord* event) {
  if (!fDraggable) {
    if (fEnabled) TrackClick(event, event->message == kSyntheticClickMessage);
    return;
  }
  PlugInAssertPointer(fParent);
  SetClicked(true);
  fParent->DragSubView(event, this);
  SetClicked(false);
}

void CPlugInView::RemoveSubView(CPlugInView* view) {
  if (!view) return;
  for (CPlugInView** link = &fFirstChild; *link; link = &(*link)->fNextSibling)
    if (*link == view) {
      *link = view->fNextSibling;
      break;
    }
  view->SetParent(nullptr);
  view->fNextSibling = nullptr;
}

CPlugInView* CPlugInView::FindViewByType(uint32_t type) {
  if (type == kNoType) return nullptr;
  for (CPlugInView* c = fFirstChild; c; c = c->fNextSibling)
    if (c->fViewType == type) return c;
  for (CPlugInView* c = fFirstChild; c; c = c->fNextSibling)
    if (CPlugInView* found = c->FindViewByType(type)) return found;
  return nullptr;
}

void CPlugInView::GetVisibleRect(Rect* r) {
  *r = fRect.intersected(fLimitRect);
  if (fParent) {
    Rect outer;
    fParent->GetVisibleRect(&outer);
    *r = r->intersected(outer);
  }
}

void CPlugInView::BeginDraw(Rect* clip) {
  PlugInAssertPointer(fPort);
  PlugInAssert(fDrawDepth < kMaxDrawDepth);
  Rect clipRect = fRect.intersected(fLimitRect);
  if (fParent) {
    Rect outer;
    fParent->GetVisibleRect(&outer);
    clipRect = clipRect.intersected(outer);
  }
  if (clip) clipRect = clipRect.intersected(*clip);

  SavedState& saved = fDrawStates[fDrawDepth];
  saved.port = platform::currentPort();
  platform::setCurrentPort(fPort);
  fPort->setPenMode(platform::kPatCopy);
  fPort->setTextMode(platform::kPatCopy);
  saved.clip = fPort->clip();
  Rect bounds = fPort->bounds();
  saved.originTop = bounds.top;
  saved.originLeft = bounds.left;
  fPort->setOrigin(fPortOriginLeft, fPortOriginTop);
  ++fDrawDepth;

  if (sOverlayPort && sOverlayPort != fPort) {
    Point topLeft = fPort->globalToLocal({sOverlayRect.top, sOverlayRect.left});
    Point bottomRight = fPort->globalToLocal({sOverlayRect.bottom, sOverlayRect.right});
    Rect overlay{topLeft.v, topLeft.h, bottomRight.v, bottomRight.h};
    if (overlay.meets(clipRect)) {
      platform::Region region(clipRect);
      region.subtract(overlay);
      fPort->setClip(region);
      auto entry = std::find_if(sDeferred.begin(), sDeferred.end(), [this](const DeferredRedraw& d) { return d.view == this; });
      if (entry != sDeferred.end()) {
        entry->rect = entry->rect.united(clipRect);
      } else if (static_cast<int>(sDeferred.size()) < kMaxDeferred) {
        sDeferred.push_back({this, clipRect});
      } else {
        EndDraw();
        PlugInAssert(false);
      }
      return;
    }
  }
  fPort->clipRect(clipRect);
}

void CPlugInView::EndDraw() {
  PlugInAssert(fDrawDepth >= 1);
  SavedState& saved = fDrawStates[--fDrawDepth];
  fPort->setOrigin(saved.originLeft, saved.originTop);
  fPort->setClip(saved.clip);
  platform::setCurrentPort(saved.port);
}

void CPlugInView::Invalidate() {
  if (!fPort) return;
  CDrawScope scope(this, nullptr);
  fPort->invalidate(fRect);
}

void CPlugInView::MoveTo(int16_t h, int16_t v) {
  MoveBy(static_cast<int16_t>(h - fRect.left), static_cast<int16_t>(v - fRect.top));
}

void CPlugInView::MoveBy(int16_t dh, int16_t dv) {
  if (dh == 0 && dv == 0) return;
  Invalidate();
  Offset(dh, dv);
  Invalidate();
}

void CPlugInView::ScrollBy(int16_t dh, int16_t dv) {
  if (!fPort) {
    Offset(dh, dv);
    return;
  }
  if (dh == 0 && dv == 0) return;
  CDrawScope scope(this, nullptr);
  Rect old = fRect;
  Offset(dh, dv);
  // What the view uncovered: the old rectangle less the new one.
  platform::Region uncovered(old);
  uncovered.subtract(fRect);
  Update(&fRect);
  CPlugInView* root = GetRoot();
  for (Rect strip : uncovered.rects()) root->Update(&strip);
}

int16_t CPlugInView::UseResourceFile() { return UseGroupResourceFile(); }
void CPlugInView::RestoreResourceFile(int16_t previous) { RestoreGroupResourceFile(previous); }

void CPlugInView::SetOverlay(GrafPtr port, Rect* rect) {
  sOverlayPort = port;
  if (rect) {
    sOverlayRect = *rect;
    if (GrafPtr current = platform::currentPort()) {
      Point topLeft = current->localToGlobal({rect->top, rect->left});
      Point bottomRight = current->localToGlobal({rect->bottom, rect->right});
      sOverlayRect = {topLeft.v, topLeft.h, bottomRight.v, bottomRight.h};
    }
  }
  if (port) return;
  while (!sDeferred.empty()) {
    DeferredRedraw last = sDeferred.back();
    sDeferred.pop_back();
    last.view->Update(&last.rect);
  }
}

int CPlugInView::GetDeferredCount() { return static_cast<int>(sDeferred.size()); }

void CPlugInView::IdleWhileTracking() {
  if (gProcessGroup) gProcessGroup->IdleWhileTracking();
}

Point CPlugInView::GetMouse() const { return fPort ? fPort->mouse() : Point{}; }
bool CPlugInView::StillDown() { return platform::DrawPort::stillDown(); }

CPlugInView* CPlugInView::GetRoot() {
  CPlugInView* v = this;
  while (v->fParent) v = v->fParent;
  return v;
}
