#include "wave/DcBlocker.h"

#include "wave/Environment.h"

#include <cmath>
#include <xmmintrin.h>

namespace {

// One channel's run through the recursion: its samples and its state (the
// last input a and the last output b).
struct Channel {
  const float* x;
  float* y;
  float a;
  float b;
  __m128 before;
  __m128 last;
};

// The weights of the four-sample step: each sample from the output before
// the group, the differences weighted by powers of r.
struct Weights {
  __m128 c0, c1, c2, c3, cb;
  float r1;

  explicit Weights(const float* r)
      : c0(_mm_setr_ps(1.0f, r[0], r[1], r[2])), c1(_mm_setr_ps(0.0f, 1.0f, r[0], r[1])),
        c2(_mm_setr_ps(0.0f, 0.0f, 1.0f, r[0])), c3(_mm_setr_ps(0.0f, 0.0f, 0.0f, 1.0f)),
        cb(_mm_setr_ps(r[0], r[1], r[2], r[3])), r1(r[0]) {}
};

inline void begin(Channel& c) {
  c.before = _mm_set1_ps(c.a);
  c.last = _mm_set1_ps(c.b);
}

// Samples i .. i + 3: the recursion waits on itself once per four samples,
// not every sample.
inline void fourSamples(const Weights& w, Channel& c, int i) {
  const __m128 v = _mm_loadu_ps(c.x + i);
  // [a, x0, x1, x2]: each sample's predecessor.
  const __m128 previous = _mm_move_ss(_mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 1, 0, 0)), c.before);
  const __m128 d = _mm_sub_ps(v, previous);
  __m128 o = _mm_mul_ps(w.cb, c.last);
  o = _mm_add_ps(o, _mm_mul_ps(w.c0, _mm_shuffle_ps(d, d, 0x00)));
  o = _mm_add_ps(o, _mm_mul_ps(w.c1, _mm_shuffle_ps(d, d, 0x55)));
  o = _mm_add_ps(o, _mm_mul_ps(w.c2, _mm_shuffle_ps(d, d, 0xAA)));
  o = _mm_add_ps(o, _mm_mul_ps(w.c3, _mm_shuffle_ps(d, d, 0xFF)));
  _mm_storeu_ps(c.y + i, o);
  c.last = _mm_shuffle_ps(o, o, 0xFF);
  c.before = _mm_shuffle_ps(v, v, 0xFF);
}

// Samples i .. i + 3 of four channels side by side, one channel per lane:
// lane k of fourSamples' vectors, worked out for every channel at once with
// the weights of position k broadcast, in the same order. Four chains
// advance for the wait of one.
struct FourChannels {
  Channel* c[4];
  __m128 a; // each channel's last input
  __m128 b; // each channel's last output
  __m128 cb[4], c0[4], c1[4], c2[4], c3[4];

  FourChannels(const Weights& w, Channel* const* channels) {
    for (int k = 0; k < 4; ++k) c[k] = channels[k];
    a = _mm_setr_ps(c[0]->a, c[1]->a, c[2]->a, c[3]->a);
    b = _mm_setr_ps(c[0]->b, c[1]->b, c[2]->b, c[3]->b);
    alignas(16) float v[5][4];
    _mm_store_ps(v[0], w.cb);
    _mm_store_ps(v[1], w.c0);
    _mm_store_ps(v[2], w.c1);
    _mm_store_ps(v[3], w.c2);
    _mm_store_ps(v[4], w.c3);
    for (int k = 0; k < 4; ++k) {
      cb[k] = _mm_set1_ps(v[0][k]);
      c0[k] = _mm_set1_ps(v[1][k]);
      c1[k] = _mm_set1_ps(v[2][k]);
      c2[k] = _mm_set1_ps(v[3][k]);
      c3[k] = _mm_set1_ps(v[4][k]);
    }
  }
  void step(int i) {
    __m128 x0 = _mm_loadu_ps(c[0]->x + i);
    __m128 x1 = _mm_loadu_ps(c[1]->x + i);
    __m128 x2 = _mm_loadu_ps(c[2]->x + i);
    __m128 x3 = _mm_loadu_ps(c[3]->x + i);
    _MM_TRANSPOSE4_PS(x0, x1, x2, x3); // xj: sample j of every channel
    const __m128 d0 = _mm_sub_ps(x0, a);
    const __m128 d1 = _mm_sub_ps(x1, x0);
    const __m128 d2 = _mm_sub_ps(x2, x1);
    const __m128 d3 = _mm_sub_ps(x3, x2);
    __m128 o[4];
    for (int k = 0; k < 4; ++k) {
      __m128 y = _mm_mul_ps(cb[k], b);
      y = _mm_add_ps(y, _mm_mul_ps(c0[k], d0));
      y = _mm_add_ps(y, _mm_mul_ps(c1[k], d1));
      y = _mm_add_ps(y, _mm_mul_ps(c2[k], d2));
      o[k] = _mm_add_ps(y, _mm_mul_ps(c3[k], d3));
    }
    b = o[3];
    a = x3;
    _MM_TRANSPOSE4_PS(o[0], o[1], o[2], o[3]); // o[k]: the four samples of channel k
    for (int k = 0; k < 4; ++k) _mm_storeu_ps(c[k]->y + i, o[k]);
  }
  // Hands each channel its state back.
  void end() {
    alignas(16) float va[4], vb[4];
    _mm_store_ps(va, a);
    _mm_store_ps(vb, b);
    for (int k = 0; k < 4; ++k) {
      c[k]->a = va[k];
      c[k]->b = vb[k];
    }
  }
};

// The samples from i to n one at a time.
inline void finish(const Weights& w, Channel& c, bool grouped, int i, int n) {
  if (grouped) {
    c.a = _mm_cvtss_f32(c.before);
    c.b = _mm_cvtss_f32(c.last);
  }
  for (; i < n; ++i) {
    c.b = c.x[i] - c.a + w.r1 * c.b;
    c.a = c.x[i];
    c.y[i] = c.b;
  }
}

} // namespace

DcBlocker::DcBlocker(wave::Environment* env) : wave::Source(env) {}

void DcBlocker::resetState() {
  x1 = 0.0f;
  y1 = 0.0f;
}

void DcBlocker::updateRate() {
  if (env->sampleRate == rate) return;
  rate = env->sampleRate;
  r[0] = rate > 0.0f ? std::exp(-6.2831853f * cCornerHz / rate) : 1.0f;
  for (int k = 1; k < 4; ++k) r[k] = r[k - 1] * r[0];
}

const wave::Block* DcBlocker::pullInput(int n) {
  const wave::Block* in = input ? input->pull(n, 0) : nullptr;
  if (!in) {
    current = env->silentBlock;
    resetState();
  }
  return in;
}

void DcBlocker::setNeighbours(DcBlocker* const* blockers, int count) {
  neighbourCount = 0;
  for (int k = 0; k < count && neighbourCount < cMaxNeighbours; ++k)
    if (blockers[k] && blockers[k] != this) neighbours[neighbourCount++] = blockers[k];
}

bool DcBlocker::goesAlong() {
  if (isProduced() || (partner && partner->isProduced())) return false;
  return muteController && !muteController->isMute() && !muteController->mayMuteWhenPulled();
}

void DcBlocker::produce(wave::Block* out, int n, int flags) {
  if (flags & wave::cMuteCall) return;
  // This blocker, its partner, and the pairs of the neighbours that go
  // along.
  constexpr int cMaxBlockers = 2 * (cMaxNeighbours + 1);
  DcBlocker* taken[cMaxBlockers];
  int takenCount = 0;
  taken[takenCount++] = this;
  if (partner && !partner->isProduced()) taken[takenCount++] = partner;
  const DcBlocker* first = neighbourCount > 0 || !partner ? this : partner;
  for (int k = 0; k < first->neighbourCount; ++k) {
    DcBlocker* d = first->neighbours[k];
    if (!d->goesAlong()) continue;
    taken[takenCount++] = d;
    if (d->partner) taken[takenCount++] = d->partner;
  }

  Channel channels[cMaxBlockers];
  DcBlocker* filtered[cMaxBlockers];
  int count = 0;
  for (int k = 0; k < takenCount; ++k) {
    DcBlocker* d = taken[k];
    if (d != this) d->current = d->ownBlock;
    const wave::Block* in = d->pullInput(n);
    d->updateRate();
    if (d != this) d->stamp = env->stamp;
    if (!in) continue;
    Channel& c = channels[count];
    c.x = in->data;
    c.y = (d == this ? out : d->ownBlock)->data;
    c.a = d->x1;
    c.b = d->y1;
    filtered[count++] = d;
  }
  if (count == 0) return;
  // All channels share the rate and so the weights.
  const Weights w(r);
  int i = 0;
  const bool grouped = n >= 4;
  // Sets of four channels side by side, the rest (at most three) each in
  // its own chain.
  const int sets = n >= 4 ? count / 4 : 0;
  const int alone = 4 * sets;
  if (sets > 0) {
    Channel* set[4];
    for (int q = 0; q < sets; ++q) {
      for (int k = 0; k < 4; ++k) set[k] = &channels[4 * q + k];
      FourChannels f(w, set);
      for (int j = 0; j + 4 <= n; j += 4) f.step(j);
      f.end();
    }
  }
  if (grouped) {
    for (int k = alone; k < count; ++k) begin(channels[k]);
    if (count - alone == 2) {
      for (; i + 4 <= n; i += 4) {
        fourSamples(w, channels[alone], i);
        fourSamples(w, channels[alone + 1], i);
      }
    } else {
      for (; i + 4 <= n; i += 4)
        for (int k = alone; k < count; ++k) fourSamples(w, channels[k], i);
    }
  }
  for (int k = 0; k < count; ++k) {
    Channel& c = channels[k];
    // The sets handed their states back already.
    finish(w, c, grouped && k >= alone, i, n);
    DcBlocker* d = filtered[k];
    d->x1 = c.a;
    // The state decays towards zero in silence: keep it out of the
    // denormal range.
    d->y1 = std::fabs(c.b) < 1e-20f ? 0.0f : c.b;
  }
}
