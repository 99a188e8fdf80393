#include "platform/KeyMap.h"

#include <atomic>

namespace platform {
namespace {

std::atomic<uint8_t> sKeys[16];

} // namespace

void getKeys(KeyMap& keys) {
  for (int i = 0; i < 16; ++i) keys.bytes[i] = sKeys[i].load(std::memory_order_relaxed);
}

void setKeyDown(int code, bool down) {
  if (code < 0 || code > 127) return;
  uint8_t bit = static_cast<uint8_t>(1u << (code % 8));
  if (down)
    sKeys[code / 8].fetch_or(bit, std::memory_order_relaxed);
  else
    sKeys[code / 8].fetch_and(static_cast<uint8_t>(~bit), std::memory_order_relaxed);
}

void releaseAllKeys() {
  for (auto& k : sKeys) k.store(0, std::memory_order_relaxed);
}

} // namespace platform
