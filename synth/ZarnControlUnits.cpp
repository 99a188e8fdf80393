#include "synth/ZarnControlUnits.h"

#include <algorithm>

namespace {

// The block of p for this block, or null (read as 0).
const float* pullData(wave::Consumer& c, int n, bool& constant) {
  if (!c.input) {
    constant = true;
    return nullptr;
  }
  wave::Block* b = c.input->pull(n, 0);
  constant = c.input->constantBlock;
  return b ? b->data : nullptr;
}

float at(const float* x, int i) { return x ? x[i] : 0.0f; }

} // namespace

void ControlOffset::produce(wave::Block* block, int n, int flags) {
  if (flags & wave::cMuteCall) return;
  bool inputConstant, addendConstant;
  const float* x = pullData(input, n, inputConstant);
  const float* a = pullData(addend, n, addendConstant);
  constantBlock = inputConstant && addendConstant;
  if (!a && offset == 0.0f && x) {
    // Handed on: the input's block stays valid for the rest of this block.
    current = input.input->current;
    return;
  }
  float* out = block->data;
  const float o = offset;
  const float s = addendScale;
  if (constantBlock) {
    const float v = at(x, 0) + o + s * at(a, 0);
    std::fill(out, out + n, v);
    return;
  }
  if (x && a) {
    for (int i = 0; i < n; ++i) out[i] = x[i] + o + s * a[i];
  } else if (x) {
    for (int i = 0; i < n; ++i) out[i] = x[i] + o;
  } else if (a) {
    for (int i = 0; i < n; ++i) out[i] = o + s * a[i];
  } else {
    std::fill(out, out + n, o);
  }
}

void BalanceGains::produce(wave::Block* const* blocks, int n, int flags) {
  if (flags & wave::cMuteCall) return;
  bool levelConstant, panConstant;
  const float* l = pullData(level, n, levelConstant);
  const float* p = pullData(pan, n, panConstant);
  float* left = blocks[0]->data;
  float* right = blocks[1]->data;
  const float s = scale;
  const bool constant = levelConstant && panConstant;
  outputs[0]->constantBlock = constant;
  outputs[1]->constantBlock = constant;
  const int count = constant ? std::min(n, 1) : n;
  for (int i = 0; i < count; ++i) {
    const float g = at(l, i) * s;
    const float q = std::clamp(at(p, i), -1.0f, 1.0f);
    left[i] = q > 0.0f ? g * (1.0f - q) : g;
    right[i] = q < 0.0f ? g * (1.0f + q) : g;
  }
  if (constant && n > 1) {
    std::fill(left + 1, left + n, left[0]);
    std::fill(right + 1, right + n, right[0]);
  }
}

void StereoCutoff::produce(wave::Block* const* blocks, int n, int flags) {
  if (flags & wave::cMuteCall) return;
  bool baseConstant, panConstant;
  const float* b = pullData(base, n, baseConstant);
  const float* p = pullData(pan, n, panConstant);
  float* left = blocks[0]->data;
  float* right = blocks[1]->data;
  const float s = span;
  const bool constant = baseConstant && panConstant;
  outputs[0]->constantBlock = constant;
  outputs[1]->constantBlock = constant;
  const int count = constant ? std::min(n, 1) : n;
  for (int i = 0; i < count; ++i) {
    const float d = at(p, i) * s;
    left[i] = at(b, i) + d;
    right[i] = at(b, i) - d;
  }
  if (constant && n > 1) {
    std::fill(left + 1, left + n, left[0]);
    std::fill(right + 1, right + n, right[0]);
  }
}
