#pragma once

// Hand-made MIDI file bytes for the reader's tests.

#include <cstdint>
#include <initializer_list>
#include <string>

namespace midibytes {

inline std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

inline std::string be32(uint32_t v) { return bytes({int(v >> 24), int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF)}); }

inline std::string chunk(const std::string& id, const std::string& body) { return id + be32(uint32_t(body.size())) + body; }

inline std::string header(int format, int tracks, int division) {
  return chunk("MThd", bytes({format >> 8, format & 0xFF, tracks >> 8, tracks & 0xFF, division >> 8, division & 0xFF}));
}

inline std::string track(std::initializer_list<int> body) { return chunk("MTrk", bytes(body)); }

} // namespace midibytes
