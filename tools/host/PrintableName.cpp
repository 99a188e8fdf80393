#include "tools/host/PrintableName.h"

namespace simhost {
namespace {

// The length of the well-formed UTF-8 sequence at text[at] and its code
// point; 0 when the byte there begins none.
size_t sequenceAt(const std::string& text, size_t at, char32_t& code) {
  const auto lead = static_cast<unsigned char>(text[at]);
  size_t length = 0;
  char32_t least = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[at + k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

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
    const size_t length = sequenceAt(name, at, code);
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
