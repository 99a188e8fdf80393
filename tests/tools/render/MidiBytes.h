#pragma once

// Hand-made MIDI file bytes for the reader's tests.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

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

// A delta time or length: seven bits a byte, the high bit set on all but
// the last.
inline std::string variableLength(uint32_t v) {
  std::string s(1, static_cast<char>(v & 0x7F));
  while (v >>= 7) s.insert(s.begin(), static_cast<char>(0x80 | (v & 0x7F)));
  return s;
}

// A message at a time in seconds.
struct TimedMessage {
  double seconds;
  std::string message;
};

// A song of one track whose tick is 100 microseconds (480 ticks to a
// quarter of 48 ms), fine enough for keys a millisecond long: the messages
// in time order (those at one time in the order given).
inline std::string timedSong(std::vector<TimedMessage> messages) {
  std::stable_sort(messages.begin(), messages.end(),
                   [](const TimedMessage& a, const TimedMessage& b) { return a.seconds < b.seconds; });
  std::string body = bytes({0x00, 0xFF, 0x51, 0x03, 0x00, 0xBB, 0x80}); // 48000 us a quarter
  long last = 0;
  for (const TimedMessage& m : messages) {
    const long tick = std::lround(m.seconds * 1e4);
    body += variableLength(static_cast<uint32_t>(tick - last)) + m.message;
    last = tick;
  }
  body += bytes({0x00, 0xFF, 0x2F, 0x00});
  return header(0, 1, 480) + chunk("MTrk", body);
}

} // namespace midibytes
