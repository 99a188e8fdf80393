#include "host/services/ScrapText.h"

#include "platform/WindowServer.h"

#include <algorithm>
#include <optional>
#include <string>

namespace scrap {

void GetScrapText(unsigned char* out, size_t max) {
  out[0] = 0;
  std::optional<std::string> text = platform::WindowServer::current().clipboardText();
  if (!text) return;
  size_t length = std::min(text->find_first_of("\r\n"), text->size());
  if (length > max) {
    length = max;
    // Back to the start of the character that would be cut.
    while (length > 0 && (static_cast<unsigned char>((*text)[length]) & 0xC0) == 0x80) --length;
  }
  out[0] = static_cast<unsigned char>(length);
  text->copy(reinterpret_cast<char*>(out + 1), length);
}

void CopySelection(const platform::TextEdit& edit) {
  const int start = std::min(edit.selectionStart(), edit.selectionEnd());
  const int end = std::max(edit.selectionStart(), edit.selectionEnd());
  if (end <= start) return;
  platform::WindowServer::current().setClipboardText(edit.text().substr(static_cast<size_t>(start),
                                                                           static_cast<size_t>(end - start)));
}

} // namespace scrap
