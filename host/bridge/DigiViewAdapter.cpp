#include "host/bridge/DigiViewAdapter.h"

#include "host/bridge/DigiPluginAdapter.h"

DigiViewAdapter::~DigiViewAdapter() {
  if (fAdapter) fAdapter->viewDeleted(this);
}

void DigiViewAdapter::DrawContents(Rect* area) {
  if (!fAdapter || !area) return;
  fAdapter->updateRect(gui::Rect(area->left, area->top, area->right, area->bottom));
}

CPlugInView* createDigiViewAdapter() { return new DigiViewAdapter; }
