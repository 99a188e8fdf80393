#include "host/services/CNoResourceView.h"

#include "host/HostInterface.h"
#include "host/services/CDAEError.h"
#include "host/services/CStaticTextView.h"
#include "platform/Alerts.h"

#include <cctype>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>

namespace {

// The view keyword a description names, for messages: the word after the
// marker, else the description's first characters.
std::string ViewName(const char* description) {
  const char* p = description;
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == ',') ++p;
  if (*p == '!') {
    const char* start = ++p;
    while (std::isalnum(static_cast<unsigned char>(*p))) ++p;
    if (p > start) return std::string(start, p);
  }
  return std::string(description, strnlen(description, 32));
}

} // namespace

CPlugInView* CNoResourceView::AddView2(const char* description, long h, long v, long width, long height,
                                        unsigned char enabled) {
  fLastError = 0;
  std::unique_ptr<SItemDescriptor> item(new (std::nothrow) SItemDescriptor);
  if (!item || !description) return nullptr;
  item->rect = {static_cast<int16_t>(v), static_cast<int16_t>(h), static_cast<int16_t>(v + height),
                static_cast<int16_t>(h + width)};
  item->type = enabled ? 8 : 8 | kItemDisabled;
  // The item's length byte holds the low 8 bits of the length; what that
  // cuts off is not silently lost.
  const size_t fullLength = std::strlen(description);
  const size_t length = fullLength & 0xFF;
  if (fullLength > 0xFF)
    platform::showAlert("The description of the view \"" + ViewName(description) + "\" is " +
                        std::to_string(fullLength) + " characters long; only its first " + std::to_string(length) +
                        " are read.");
  item->data[0] = static_cast<uint8_t>(length);
  for (size_t i = 0; i < length; ++i) item->data[1 + i] = description[i] == '`' ? '"' : static_cast<uint8_t>(description[i]);

  CPlugInView* made = nullptr;
  try {
    unsigned char ok = false;
    std::unique_ptr<CPlugInView> view(CCustomView::NewCustomItem(item.get(), &ok));
    if (!ok) {
      view.reset(CreateCStaticTextView());
      view->InitFromItem(item.get());
    }
    made = view.release();
    AddSubView(made, true);
    made->Initialize();
  } catch (const CDAEError& e) {
    fLastError = e.GetErrorCode();
  } catch (const std::exception&) {
    fLastError = kPlugInErr_Unexpected;
  }
  if (fLastError != 0) {
    // Deleting it takes it out of the tree again.
    delete made;
    return nullptr;
  }
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
