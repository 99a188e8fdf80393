#include "wave/UnisonMixer.h"

#include <cmath>
#include <emmintrin.h>

namespace {

constexpr float cEpsilon = 1.1920929e-7f;

bool isSilent(const wave::Producer* gain, const wave::Block* block) {
  return gain->constantBlock && block && std::fabs(block->data[0]) <= cEpsilon;
}

// One source's share of a block: its signal, its gains and its pan factors.
// A gain whose block holds one value throughout is read as that value.
struct Share {
  const float* x;
  const float* leftGain;
  const float* rightGain;
  float leftFactor;
  float rightFactor;
  bool constantGains;
};

// One side of a share at group g: (x x gain) x factor. With constant gains
// the gain is the block's first value in every lane, which is what the
// block holds; the products are the same.
template <bool constant>
inline __m128 side(const float* x, const float* gain, __m128 constantGain, __m128 factor, int g) {
  const __m128 gv = constant ? constantGain : _mm_load_ps(gain + g);
  return _mm_mul_ps(_mm_mul_ps(_mm_load_ps(x + g), gv), factor);
}

// Both sides of one share (or of two, a then b) at once, each sample
// (x x gain) x factor, written (add false) or added to what the sides hold;
// the sums are formed in the order of the sources, as adding one share
// after the other would. Whole groups of four, as the vector kernels do.
template <bool add, bool pair, bool constA, bool constB>
void mixShares(const Share& a, const Share& b, float* left, float* right, int n) {
  const __m128 la = _mm_set1_ps(a.leftFactor), ra = _mm_set1_ps(a.rightFactor);
  const __m128 lb = _mm_set1_ps(b.leftFactor), rb = _mm_set1_ps(b.rightFactor);
  const __m128 gla = _mm_set1_ps(a.leftGain[0]), gra = _mm_set1_ps(a.rightGain[0]);
  const __m128 glb = _mm_set1_ps(b.leftGain[0]), grb = _mm_set1_ps(b.rightGain[0]);
  for (int g = 0; g < n; g += 4) {
    __m128 l = side<constA>(a.x, a.leftGain, gla, la, g);
    __m128 r = side<constA>(a.x, a.rightGain, gra, ra, g);
    if (add) {
      l = _mm_add_ps(l, _mm_load_ps(left + g));
      r = _mm_add_ps(r, _mm_load_ps(right + g));
    }
    if (pair) {
      l = _mm_add_ps(side<constB>(b.x, b.leftGain, glb, lb, g), l);
      r = _mm_add_ps(side<constB>(b.x, b.rightGain, grb, rb, g), r);
    }
    _mm_store_ps(left + g, l);
    _mm_store_ps(right + g, r);
  }
}

template <bool add, bool pair>
void mixSharesOf(const Share& a, const Share& b, float* left, float* right, int n) {
  if (a.constantGains) {
    if (pair && b.constantGains)
      mixShares<add, pair, true, true>(a, b, left, right, n);
    else
      mixShares<add, pair, true, false>(a, b, left, right, n);
  } else if (pair && b.constantGains) {
    mixShares<add, pair, false, true>(a, b, left, right, n);
  } else {
    mixShares<add, pair, false, false>(a, b, left, right, n);
  }
}

} // namespace

UnisonMixer::UnisonMixer(wave::Environment* env, int capacity) : wave::MultiProducer(env, 2) {
  sources.reserve(capacity > 0 ? static_cast<size_t>(capacity) : 0);
}

UnisonMixer::~UnisonMixer() = default;

void UnisonMixer::addSource(wave::Producer* signal, wave::Producer* leftGain, wave::Producer* rightGain, float pan) {
  sources.push_back(Source{leftGain, rightGain, signal, pan});
}

void UnisonMixer::clearAll() { sources.clear(); }

void UnisonMixer::produce(wave::Block* const* outputs, int n, int flags) {
  if (flags & wave::cMuteCall) return;
  float* left = outputs[0]->data;
  float* right = outputs[1]->data;
  // Sounding sources are mixed two at a time, in one pass over both sides.
  bool first = true;
  bool waiting = false;
  Share held{};
  for (const Source& s : sources) {
    wave::Block* lg = s.leftGain->pull(n, 0);
    wave::Block* rg = s.rightGain->pull(n, 0);
    if (!lg || !rg) continue;
    if (isSilent(s.leftGain, lg) && isSilent(s.rightGain, rg)) continue;
    wave::Block* x = s.signal->pull(n, 0);
    if (!x) continue;
    const Share share{x->data,
                      lg->data,
                      rg->data,
                      s.pan >= 0.0f ? 1.0f - s.pan : 1.0f,
                      s.pan >= 0.0f ? 1.0f : 1.0f + s.pan,
                      s.leftGain->constantBlock && s.rightGain->constantBlock};
    if (!waiting) {
      held = share;
      waiting = true;
      continue;
    }
    if (first)
      mixSharesOf<false, true>(held, share, left, right, n);
    else
      mixSharesOf<true, true>(held, share, left, right, n);
    first = false;
    waiting = false;
  }
  if (waiting) {
    if (first)
      mixSharesOf<false, false>(held, held, left, right, n);
    else
      mixSharesOf<true, false>(held, held, left, right, n);
    first = false;
  }
  if (first) {
    // Nothing sounds: hand out silence without writing a sample.
    currentBlocks[0] = env->silentBlock;
    currentBlocks[1] = env->silentBlock;
  }
}
