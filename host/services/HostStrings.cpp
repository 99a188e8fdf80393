#include "host/services/HostStrings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

void NumToString(int32_t number, unsigned char* text) {
  char buffer[16];
  int n = std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(number));
  text[0] = static_cast<unsigned char>(n);
  std::memcpy(text + 1, buffer, static_cast<size_t>(n));
}

namespace {

void copyCut(const unsigned char* src, unsigned char* dest, unsigned maxCharacters) {
  unsigned length = std::min<unsigned>(src[0], maxCharacters);
  std::memmove(dest + 1, src + 1, length);
  dest[0] = static_cast<unsigned char>(length);
}

} // namespace

void CopyPStringMax31(const unsigned char* src, unsigned char* dest) { copyCut(src, dest, 31); }
void CopyPStringMax63(const unsigned char* src, unsigned char* dest) { copyCut(src, dest, 63); }
void CopyPString(const unsigned char* src, unsigned char* dest) { std::memmove(dest, src, src[0] + 1u); }

void AppendPString(int32_t maxLength, const unsigned char* src, unsigned char* dest) {
  int32_t limit = std::min<int32_t>(maxLength, 255);
  int32_t room = limit - dest[0];
  if (room <= 0) return;
  int32_t count = std::min<int32_t>(src[0], room);
  std::memmove(dest + 1 + dest[0], src + 1, static_cast<size_t>(count));
  dest[0] = static_cast<unsigned char>(dest[0] + count);
}

bool EqualPStrings(const unsigned char* a, const unsigned char* b) {
  if (!a || !b) return a == b;
  return a[0] == b[0] && std::memcmp(a + 1, b + 1, a[0]) == 0;
}

void AppendZeroPaddedNumber(int32_t number, unsigned char* dest, int32_t width) {
  unsigned char digits[16];
  NumToString(number, digits);
  unsigned char padded[256];
  int32_t length = digits[0];
  // Padding never pushes the digits themselves out of dest.
  int32_t room = 255 - dest[0] - length;
  int32_t zeros = std::max<int32_t>(0, std::min<int32_t>(width - length, room));
  unsigned char* p = padded + 1;
  const unsigned char* d = digits + 1;
  if (number < 0) {
    *p++ = *d++;
    --length;
  }
  std::memset(p, '0', static_cast<size_t>(zeros));
  p += zeros;
  std::memcpy(p, d, static_cast<size_t>(length));
  padded[0] = static_cast<unsigned char>(digits[0] + zeros);
  AppendPString(255, padded, dest);
}

void GetStringOfLength(char* dest, const char* source, int32_t maxLength) {
  if (maxLength < 0) return;
  if (!source) {
    std::memset(dest, 0, static_cast<size_t>(maxLength) + 1);
    return;
  }
  const char* chosen = source;
  size_t chosenLength = 0;
  const char* p = source;
  while (true) {
    const char* end = std::strchr(p, '\n');
    size_t length = end ? static_cast<size_t>(end - p) : std::strlen(p);
    chosen = p;
    chosenLength = length;
    if (length <= static_cast<size_t>(maxLength) || !end) break;
    p = end + 1;
  }
  size_t n = std::min(chosenLength, static_cast<size_t>(maxLength));
  std::memcpy(dest, chosen, n);
  dest[n] = '\0';
}
