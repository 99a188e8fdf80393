#include "host/services/CNoResourceView.h"

#include "host/services/CStaticTextView.h"

#include <cstring>
#include <memory>
#include <new>

CPlugInView* CNoResourceView::AddView2(const char* description, long h, long v, long width, long height,
                                        unsigned char enabled) {
  std::unique_ptr<SItemDescriptor> item(new (std::nothrow) SItemDescriptor);
  if (!item || !description) return nullptr;
  item->rect = {static_cast<int16_t>(v), static_cast<int16_t>(h), static_cast<int16_t>(v + height),
                static_cast<int16_t>(h + width)};
  item->type = enabled ? 8 : 8 | kItemDisabled;
  // The item's length byte holds the low 8 bits of the length.
  const size_t length = std::strlen(description) & 0xFF;
  item->data[0] = static_cast<uint8_t>(length);
  for (size_t i = 0; i < length; ++i) item->data[1 + i] = description[i] == '`' ? '"' : static_cast<uint8_t>(description[i]);

  unsigned char ok = false;
  std::unique_ptr<CPlugInView> view(CCustomView::NewCustomItem(item.get(), &ok));
  if (!ok) {
    view.reset(CreateCStaticTextView());
    view->InitFromItem(item.get());
  }
  CPlugInView* made = view.release();
  AddSubView(made, true);
  made->Initialize();
  return made;
}

bool CNoResourceView::AddView(const char* description, long h, long v, long width, long height,
                              unsigned char enabled) {
  return AddView2(description, h, v, width - 1, height - 1, enabled) != nullptr;
}

void CNoResourceView::SetSize(long width, long height) {
  Rect r{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
  SetRect(&r);
}

CNoResourceView* CreateCNoResourceView() { return new CNoResourceView; }
