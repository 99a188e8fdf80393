#include "wave/Input.h"

#include <cstring>

namespace wave {

void Input::setInputBuffer(float* b, int count) {
  buffer = b;
  remaining = count;
}

void Input::produce(Block* block, int n, int) {
  if (n <= 0) return;
  int available = buffer ? (remaining < n ? (remaining > 0 ? remaining : 0) : n) : 0;
  if (available > 0) std::memcpy(block->data, buffer, static_cast<size_t>(available) * sizeof(float));
  if (available < n) std::memset(block->data + available, 0, static_cast<size_t>(n - available) * sizeof(float));
  if (buffer) buffer += available;
  remaining -= available;
}

} // namespace wave
