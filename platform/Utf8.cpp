#include "platform/Utf8.h"

namespace platform {

size_t utf8SequenceAt(const std::string& bytes, size_t at, char32_t& code) {
  const unsigned char b = static_cast<unsigned char>(bytes[at]);
  size_t length = 0;
  char32_t least = 0;
  if (b < 0x80) {
    code = b;
    return 1;
  }
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2, code = b & 0x1F, least = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3, code = b & 0x0F, least = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4, code = b & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (bytes.size() - at < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned char t = static_cast<unsigned char>(bytes[at + k]);
    if ((t & 0xC0) != 0x80) return 0;
    code = (code << 6) | (t & 0x3F);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

std::u32string decodeUtf8(const std::string& bytes) {
  std::u32string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    char32_t c = 0;
    const size_t length = utf8SequenceAt(bytes, i, c);
    // A byte outside a well-formed sequence: Latin-1, the byte's own value.
    out.push_back(length > 0 ? c : static_cast<unsigned char>(bytes[i]));
    i += length > 0 ? length : 1;
  }
  return out;
}

std::string encodeUtf8(const std::u32string& text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

} // namespace platform
