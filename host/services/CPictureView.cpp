#include "host/services/CPictureView.h"

#include "host/PlugInGlobals.h"

#include <cstdint>

namespace {
CCachedPictureManager* sManager = nullptr;
} // namespace

CCachedPictureManager* CPictureView::GetPictureManager() { return sManager; }

CPictureView::~CPictureView() {
  for (auto& state : fPictures)
    for (CCachedPicture*& p : state) {
      if (p && sManager) sManager->Release(p);
      p = nullptr;
    }
  if (sManager && sManager->GetCount() == 0) {
    delete sManager;
    sManager = nullptr;
  }
}

void CPictureView::InitFromItem(SItemDescriptor* item) {
  CCustomView::InitFromItem(item);
  PlugInAssert(item->data[0] >= 2);
  SetPicture(kNormal, static_cast<int16_t>(item->data[1] << 8 | item->data[2]));
}

void CPictureView::InitFromItemParse(SCustomParser* parser) {
  CCustomView::InitFromItemParse(parser);
  if (!parser->elements) return;
  for (SCustomParseElem* e = TakeGroup(parser); e; e = e->next) {
    PlugInAssert(e->kind == kElemAttribute);
    int16_t state = e->value == kAttrNormal ? kNormal : e->value == kAttrClicked ? kClicked
                                                      : e->value == kAttrDisabled ? kDisabled : -1;
    PlugInAssert(state >= 0);
    e = e->next;
    PlugInAssert(e && (e->kind == kElemNumber || e->kind == kElemString));
    if (e->kind == kElemNumber) {
      PlugInAssert(e->value >= INT16_MIN && e->value <= kMaxPictureID);
      SetPicture(state, static_cast<int16_t>(e->value));
    }
  }
}

void CPictureView::SetPicture(int16_t state, int16_t id) {
  PlugInAssert(state >= 0 && state < kStates);
  PlugInAssert(id <= kMaxPictureID);
  if (!sManager) sManager = new CCachedPictureManager;
  CCachedPicture* old[2] = {fPictures[state][0], fPictures[state][1]};
  if (id == -1) {
    fPictures[state][0] = fPictures[state][1] = nullptr;
  } else {
    fPictures[state][0] = sManager->AcquireLoaded(id);
    fPictures[state][1] = sManager->AcquireLoaded(static_cast<int16_t>(id + 10000));
  }
  for (CCachedPicture* p : old)
    if (p) sManager->Release(p);
  Invalidate();
}

CCachedPicture* CPictureView::GetCurrentPicture() {
  if (!fEnabled && fPictures[kDisabled][0]) return fPictures[kDisabled][0];
  if (fClicked && fPictures[kClicked][0]) return fPictures[kClicked][0];
  return fPictures[kNormal][0];
}

void CPictureView::DrawContents(Rect* area) {
  DrawBackground(area);
  if (CCachedPicture* p = GetCurrentPicture()) p->Draw(&fRect);
}

void CPictureView::SetEnabled(bool enabled) {
  if (enabled == fEnabled) return;
  CCustomView::SetEnabled(enabled);
  Update(nullptr);
}

CPlugInView* CreateCPictureView() { return new CPictureView; }
