#pragma once

#include "host/services/CCustomView.h"

#include <cstdint>
#include <vector>

// A view that plots a 32 x 32 one-bit icon ("ICON" resource, 128 bytes).
class CIconView : public CCustomView {
public:
  void InitFromItem(SItemDescriptor* item) override;
  void DrawContents(Rect* area) override;
  void LoadIcon(int16_t id);
  bool HasIcon() const { return !fIcon.empty(); }

private:
  std::vector<uint8_t> fIcon;
};

CPlugInView* CreateCIconView();
