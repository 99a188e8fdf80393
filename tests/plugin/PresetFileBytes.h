#pragma once

// Byte strings of preset and controller map files, built by hand in the
// tests so that the files the code writes are checked against the layout
// itself and not against the code's own reader.

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace presettest {

inline std::string le32(int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((u >> (8 * i)) & 0xFF);
  return s;
}

inline std::string f32(float v) {
  int32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return le32(bits);
}

constexpr int64_t cCountOfValues = INT64_MIN;

// The tag padded to 4 bytes, the version and the values, with `count` as
// the stored count (the number of values unless given).
inline std::string presetBytes(const std::string& tag, int version, const std::vector<float>& values,
                               int64_t count = cCountOfValues) {
  std::string s = tag.substr(0, 4);
  s.resize(4, '\0');
  s += le32(version);
  s += le32(static_cast<int32_t>(count == cCountOfValues ? static_cast<int64_t>(values.size()) : count));
  for (float v : values) s += f32(v);
  return s;
}

inline std::string mapBytes(const std::vector<int>& entries, int version = 1, const std::string& tag = "QVCM") {
  std::string s = tag + le32(version);
  for (int c = 0; c < 127; ++c) s += le32(c < static_cast<int>(entries.size()) ? entries[static_cast<size_t>(c)] : -1);
  return s;
}

inline bool fileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

} // namespace presettest
