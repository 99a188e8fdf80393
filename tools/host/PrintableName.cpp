#include "tools/host/PrintableName.h"

#include "platform/Utf8.h"

namespace simhost {
namespace {

// Characters that are no text of a line: controls, separators of lines,
// and the marks that turn a line's direction.
bool shownAsBytes(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x200E || c == 0x200F ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void appendEscape(std::string& out, unsigned char byte) {
  static const char* const digits = "0123456789ABCDEF";
  out += "\\x";
  out += digits[byte >> 4];
  out += digits[byte & 0xF];
}

} // namespace

std::string printableName(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (size_t at = 0; at < name.size();) {
    char32_t code = 0;
    const size_t length = platform::utf8SequenceAt(name, at, code);
    if (length == 0) {
      appendEscape(out, static_cast<unsigned char>(name[at]));
      ++at;
      continue;
    }
    if (code == '\n') {
      out += "\\n";
    } else if (code == '\\') {
      out += "\\\\";
    } else if (shownAsBytes(code)) {
      for (size_t k = 0; k < length; ++k) appendEscape(out, static_cast<unsigned char>(name[at + k]));
    } else {
      out.append(name, at, length);
    }
    at += length;
  }
  return out;
}

} // namespace simhost
