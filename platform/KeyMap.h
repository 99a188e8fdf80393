#pragma once

// The state of the keyboard as a map of 128 key codes, one bit each: bit
// (code mod 8) of byte (code / 8). The window server (or a test) reports key
// presses and releases; readers take a copy.

#include <cstdint>

namespace platform {

struct KeyMap {
  uint8_t bytes[16];
};

void getKeys(KeyMap& keys);
// Codes outside 0..127 are ignored.
void setKeyDown(int code, bool down);
void releaseAllKeys();

} // namespace platform
