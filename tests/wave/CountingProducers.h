#pragma once

// Small producers for the mixing and voice tests: they write a known value
// and count how often they were asked to render.

#include "wave/Environment.h"
#include "wave/Producer.h"

#include <vector>

namespace zarn::test {

// Writes value (or values[i] when set) into its own block.
class CountingSource : public wave::Source {
public:
  CountingSource(wave::Environment* env, float value = 0.0f) : wave::Source(env), value(value) {}
  void produce(wave::Block* block, int n, int flags) override {
    ++calls;
    lastFlags = flags;
    if (flags & wave::cMuteCall) return;
    for (int i = 0; i < n; ++i)
      block->data[i] = values.empty() ? value : values[static_cast<size_t>(i) % values.size()];
  }
  float value;
  std::vector<float> values;
  int calls = 0;
  int lastFlags = -1;
};

// Renders one block of p and returns where its output lies.
inline wave::Block* renderOne(wave::Environment& env, wave::Producer& p, int n) {
  env.beginBlock();
  wave::Block* b = p.pull(n, 0);
  env.endBlock(n);
  return b;
}

// Renders one block the way the plug-in core does: pulls the given
// producers inside beginBlock/endBlock.
template <class... P>
void renderBlock(wave::Environment& env, int n, P*... producers) {
  env.beginBlock();
  (producers->pull(n, 0), ...);
  env.endBlock(n);
}

} // namespace zarn::test
