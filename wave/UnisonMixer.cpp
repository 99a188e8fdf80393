#include "wave/UnisonMixer.h"

#include <cmath>
#include <cstring>
#include <emmintrin.h>

namespace {

constexpr float cEpsilon = 1.1920929e-7f;

bool isSilent(const wave::Producer* gain, const wave::Block* block) {
  return gain->constantBlock && block && std::fabs(block->data[0]) <= cEpsilon;
}

bool sameBits(float a, float b) {
  uint32_t x, y;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x == y;
}

// How a call's shares weigh their sides: by their pan factors; by factors
// of 1 (centred), which leave x x gain as it is; or by factors of 1 with one
// gain for both sides, where the right side's part is the left's.
enum Factors { cScaled, cUnit, cUnitOneGain };

// One side of a share at group g: (x x gain) x factor. With constant gains
// the gain is the block's first value in every lane, which is what the
// block holds; the products are the same.
template <bool constant, Factors factors>
inline __m128 side(const float* x, const float* gain, __m128 constantGain, __m128 factor, int g) {
  const __m128 gv = constant ? constantGain : _mm_load_ps(gain + g);
  const __m128 product = _mm_mul_ps(_mm_load_ps(x + g), gv);
  return factors == cScaled ? _mm_mul_ps(product, factor) : product;
}

} // namespace

// Both sides of one share (or of two, a then b) at once, each sample
// (x x gain) x factor, written (add false) or added to what the sides hold;
// the sums are formed in the order of the sources, as adding one share
// after the other would. Whole groups of four, as the vector kernels do.
// With mono, only the left side is formed (the right would be the same).
template <bool add, bool pair, bool constA, bool constB, bool mono, Factors factors>
static void mixShares(const UnisonMixer::Share& a, const UnisonMixer::Share& b, float* left, float* right, int n) {
  const __m128 la = _mm_set1_ps(a.leftFactor), ra = _mm_set1_ps(a.rightFactor);
  const __m128 lb = _mm_set1_ps(b.leftFactor), rb = _mm_set1_ps(b.rightFactor);
  const __m128 gla = _mm_set1_ps(a.leftGain[0]), gra = _mm_set1_ps(a.rightGain[0]);
  const __m128 glb = _mm_set1_ps(b.leftGain[0]), grb = _mm_set1_ps(b.rightGain[0]);
  for (int g = 0; g < n; g += 4) {
    const __m128 pa = side<constA, factors>(a.x, a.leftGain, gla, la, g);
    const __m128 pb = pair ? side<constB, factors>(b.x, b.leftGain, glb, lb, g) : pa;
    __m128 l = pa;
    if (add) l = _mm_add_ps(l, _mm_load_ps(left + g));
    if (pair) l = _mm_add_ps(pb, l);
    _mm_store_ps(left + g, l);
    if (!mono) {
      __m128 r = factors == cUnitOneGain ? pa : side<constA, factors>(a.x, a.rightGain, gra, ra, g);
      if (add) r = _mm_add_ps(r, _mm_load_ps(right + g));
      if (pair) r = _mm_add_ps(factors == cUnitOneGain ? pb : side<constB, factors>(b.x, b.rightGain, grb, rb, g), r);
      _mm_store_ps(right + g, r);
    }
  }
}

template <bool add, bool pair, Factors factors>
static void mixSharesBy(const UnisonMixer::Share& a, const UnisonMixer::Share& b, float* left, float* right, int n,
                        bool mono) {
  if (mono)
    mixShares<add, pair, true, true, true, factors>(a, b, left, right, n);
  else if (a.constantGains && pair && b.constantGains)
    mixShares<add, pair, true, true, false, factors>(a, b, left, right, n);
  else if (a.constantGains)
    mixShares<add, pair, true, false, false, factors>(a, b, left, right, n);
  else if (pair && b.constantGains)
    mixShares<add, pair, false, true, false, factors>(a, b, left, right, n);
  else
    mixShares<add, pair, false, false, false, factors>(a, b, left, right, n);
}

// A centred share: both factors are 1.
static bool isUnit(const UnisonMixer::Share& s) { return s.leftFactor == 1.0f && s.rightFactor == 1.0f; }

// Both sides of a share read the same gains: one block, or one constant
// value.
static bool hasOneGain(const UnisonMixer::Share& s) {
  return s.leftGain == s.rightGain || (s.constantGains && sameBits(s.leftGain[0], s.rightGain[0]));
}

template <bool add, bool pair>
static void mixSharesOf(const UnisonMixer::Share& a, const UnisonMixer::Share& b, float* left, float* right, int n,
                        bool mono) {
  if (!isUnit(a) || (pair && !isUnit(b)))
    mixSharesBy<add, pair, cScaled>(a, b, left, right, n, mono);
  else if (!mono && hasOneGain(a) && (!pair || hasOneGain(b)))
    mixSharesBy<add, pair, cUnitOneGain>(a, b, left, right, n, mono);
  else
    mixSharesBy<add, pair, cUnit>(a, b, left, right, n, mono);
}

UnisonMixer::UnisonMixer(wave::Environment* env, int capacity) : wave::MultiProducer(env, 2) {
  sources.reserve(capacity > 0 ? static_cast<size_t>(capacity) : 0);
  shares.resize(capacity > 0 ? static_cast<size_t>(capacity) : 0);
}

UnisonMixer::~UnisonMixer() = default;

void UnisonMixer::addSource(wave::Producer* signal, wave::Producer* leftGain, wave::Producer* rightGain, float pan) {
  sources.push_back(Source{leftGain, rightGain, signal, pan});
  if (shares.size() < sources.size()) shares.resize(sources.size());
}

void UnisonMixer::clearAll() { sources.clear(); }

void UnisonMixer::produce(wave::Block* const* outputs, int n, int flags) {
  if (flags & wave::cMuteCall) return;
  float* left = outputs[0]->data;
  // The sounding sources, in order; mono while both sides come out the same.
  // A voice's few shares go on the stack, whose lines are at hand, rather
  // than into lines of the heap that each voice's call would fetch again.
  Share local[cLocalShares];
  Share* const shares = sources.size() <= cLocalShares ? local : this->shares.data();
  size_t count = 0;
  bool mono = true;
  for (const Source& s : sources) {
    wave::Block* lg = s.leftGain->pull(n, 0);
    wave::Block* rg = s.rightGain->pull(n, 0);
    if (!lg || !rg) continue;
    if (isSilent(s.leftGain, lg) && isSilent(s.rightGain, rg)) continue;
    wave::Block* x = s.signal->pull(n, 0);
    if (!x) continue;
    Share& share = shares[count++];
    share = Share{x->data,
                  lg->data,
                  rg->data,
                  s.pan >= 0.0f ? 1.0f - s.pan : 1.0f,
                  s.pan >= 0.0f ? 1.0f : 1.0f + s.pan,
                  s.leftGain->constantBlock && s.rightGain->constantBlock};
    mono = mono && share.constantGains && sameBits(lg->data[0], rg->data[0]) &&
           sameBits(share.leftFactor, share.rightFactor);
  }
  if (count == 0) {
    // Nothing sounds: hand out silence without writing a sample.
    currentBlocks[0] = env->silentBlock;
    currentBlocks[1] = env->silentBlock;
    return;
  }
  float* right = mono ? nullptr : outputs[1]->data;
  // Mixed two at a time, in one pass over the sides.
  size_t k = 0;
  for (; k + 1 < count; k += 2) {
    if (k == 0)
      mixSharesOf<false, true>(shares[k], shares[k + 1], left, right, n, mono);
    else
      mixSharesOf<true, true>(shares[k], shares[k + 1], left, right, n, mono);
  }
  if (k < count) {
    if (k == 0)
      mixSharesOf<false, false>(shares[k], shares[k], left, right, n, mono);
    else
      mixSharesOf<true, false>(shares[k], shares[k], left, right, n, mono);
  }
  if (mono) currentBlocks[1] = outputs[0];
}
