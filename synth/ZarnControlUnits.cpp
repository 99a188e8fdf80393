#include "synth/ZarnControlUnits.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <xmmintrin.h>

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

// Renders a left/right pair from the blocks of two control inputs (null
// reads as 0), value by value with f(a, b, left, right); once, and filled,
// when both inputs are constant.
template <class F>
void producePairOf(wave::MultiProducer& unit, wave::Block* const* blocks, const float* a, bool firstConstant,
                   const float* b, bool secondConstant, int n, wave::ConstantFill* fills, F f) {
  float* left = blocks[0]->data;
  float* right = blocks[1]->data;
  const bool constant = firstConstant && secondConstant;
  unit.getOutput(0)->constantBlock = constant;
  unit.getOutput(1)->constantBlock = constant;
  if (constant) {
    float l, r;
    f(at(a, 0), at(b, 0), l, r);
    fills[0].fill(left, n, l);
    uint32_t lb, rb;
    std::memcpy(&lb, &l, sizeof lb);
    std::memcpy(&rb, &r, sizeof rb);
    if (lb == rb) {
      // Both sides one value (a centred pan): the left block serves both,
      // and a reader of both finds one block, one cache line, not two.
      // The right block keeps what its fill wrote.
      unit.currentBlocks[1] = blocks[0];
      return;
    }
    fills[1].fill(right, n, r);
    return;
  }
  fills[0].forget();
  fills[1].forget();
  for (int i = 0; i < n; ++i) f(at(a, i), at(b, i), left[i], right[i]);
}

// The same from the two inputs' blocks of this block.
template <class F>
void producePair(wave::MultiProducer& unit, wave::Block* const* blocks, wave::Consumer& first,
                 wave::Consumer& second, int n, wave::ConstantFill* fills, F f) {
  bool firstConstant, secondConstant;
  const float* a = pullData(first, n, firstConstant);
  const float* b = pullData(second, n, secondConstant);
  producePairOf(unit, blocks, a, firstConstant, b, secondConstant, n, fills, f);
}

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
    fill.fill(out, n, at(x, 0) + o + s * at(a, 0));
    return;
  }
  fill.forget();
  if (x && a && inputConstant) {
    // A held key under a moving addend (a detune LFO): x + o is one value.
    // Whole groups of four, as the vector kernels write a block.
    const __m128 xo = _mm_set1_ps(x[0] + o), vs = _mm_set1_ps(s);
    for (int i = 0; i < n; i += 4) _mm_store_ps(out + i, _mm_add_ps(xo, _mm_mul_ps(vs, _mm_loadu_ps(a + i))));
  } else if (x && a) {
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
  const float s = scale;
  auto gains = [s](float gain, float position, float& left, float& right) {
    const float g = gain * s;
    const float q = std::clamp(position, -1.0f, 1.0f);
    left = q > 0.0f ? g * (1.0f - q) : g;
    right = q < 0.0f ? g * (1.0f + q) : g;
  };
  bool levelConstant, panConstant;
  const float* a = pullData(level, n, levelConstant);
  const float* b = pullData(pan, n, panConstant);
  if (!a || levelConstant || !panConstant) {
    producePairOf(*this, blocks, a, levelConstant, b, panConstant, n, fills, gains);
    return;
  }
  // A moving level under a held pan (an envelope on the level): each side
  // is the level times one factor, the same values as above.
  getOutput(0)->constantBlock = false;
  getOutput(1)->constantBlock = false;
  const float q = std::clamp(at(b, 0), -1.0f, 1.0f);
  if (s == 1.0f && !(q > 0.0f) && !(q < 0.0f)) {
    // Centred at unity scale: both sides are the level's own samples
    // (g x 1 is g), handed on without a copy.
    currentBlocks[0] = level.input->current;
    currentBlocks[1] = level.input->current;
    return;
  }
  fills[0].forget();
  fills[1].forget();
  float* left = blocks[0]->data;
  float* right = blocks[1]->data;
  const float leftFactor = 1.0f - q;
  const float rightFactor = 1.0f + q;
  if (q > 0.0f) {
    for (int i = 0; i < n; ++i) left[i] = a[i] * s * leftFactor;
  } else {
    for (int i = 0; i < n; ++i) left[i] = a[i] * s;
  }
  if (q < 0.0f) {
    for (int i = 0; i < n; ++i) right[i] = a[i] * s * rightFactor;
  } else {
    for (int i = 0; i < n; ++i) right[i] = a[i] * s;
  }
}

void StereoCutoff::produce(wave::Block* const* blocks, int n, int flags) {
  if (flags & wave::cMuteCall) return;
  const float s = span;
  // Without a pan both channels take the base as it is: its block is
  // handed on to both, which stays valid for the rest of this block.
  if (base.input) {
    bool panConstant;
    const float* q = pullData(pan, n, panConstant);
    if (panConstant && at(q, 0) * s == 0.0f) {
      if (wave::Block* b = base.input->pull(n, 0)) {
        currentBlocks[0] = currentBlocks[1] = b;
        getOutput(0)->constantBlock = getOutput(1)->constantBlock = base.input->constantBlock;
        return;
      }
    }
  }
  producePair(*this, blocks, base, pan, n, fills, [s](float centre, float position, float& left, float& right) {
    const float d = position * s;
    left = centre + d;
    right = centre - d;
  });
}
