#include "host/services/CIconView.h"

#include "host/PlugInGlobals.h"

void CIconView::InitFromItem(SItemDescriptor* item) {
  CCustomView::InitFromItem(item);
  PlugInAssert(item->data[0] >= 2);
  LoadIcon(static_cast<int16_t>(item->data[1] << 8 | item->data[2]));
}

void CIconView::LoadIcon(int16_t id) {
  CResourceFileScope resources;
  std::optional<std::vector<uint8_t>> data = platform::getResource(fourCharCode("ICON"), id);
  fIcon = data && data->size() == 128 ? std::move(*data) : std::vector<uint8_t>{};
}

void CIconView::DrawContents(Rect* area) {
  DrawBackground(area);
  GrafPtr port = platform::currentPort();
  if (!port || fIcon.empty()) return;
  RGBColor fore, saved = port->foreColor();
  GetForegroundColor(&fore);
  port->setForeColor(fore);
  port->plotIcon(fRect, fIcon.data());
  port->setForeColor(saved);
}

CPlugInView* CreateCIconView() { return new CIconView; }
