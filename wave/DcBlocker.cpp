#include "wave/DcBlocker.h"

#include "wave/Environment.h"

#include <cmath>
#include <xmmintrin.h>

DcBlocker::DcBlocker(wave::Environment* env) : wave::Source(env) {}

void DcBlocker::resetState() {
  x1 = 0.0f;
  y1 = 0.0f;
}

void DcBlocker::produce(wave::Block* out, int n, int flags) {
  if (flags & wave::cMuteCall) return;
  wave::Block* in = input ? input->pull(n, 0) : nullptr;
  if (!in) {
    current = env->silentBlock;
    resetState();
    return;
  }
  if (env->sampleRate != rate) {
    rate = env->sampleRate;
    r[0] = rate > 0.0f ? std::exp(-6.2831853f * cCornerHz / rate) : 1.0f;
    for (int k = 1; k < 4; ++k) r[k] = r[k - 1] * r[0];
  }
  const float* x = in->data;
  float* y = out->data;
  float a = x1;
  float b = y1;
  const float r1 = r[0], r2 = r[1], r3 = r[2], r4 = r[3];
  int i = 0;
  // Four samples at a time, each from the output before them (the
  // differences weighted by powers of r): the recursion waits on itself
  // once per four samples, not every sample.
  if (n >= 4) {
    const __m128 c0 = _mm_setr_ps(1.0f, r1, r2, r3);
    const __m128 c1 = _mm_setr_ps(0.0f, 1.0f, r1, r2);
    const __m128 c2 = _mm_setr_ps(0.0f, 0.0f, 1.0f, r1);
    const __m128 c3 = _mm_setr_ps(0.0f, 0.0f, 0.0f, 1.0f);
    const __m128 cb = _mm_setr_ps(r1, r2, r3, r4);
    __m128 before = _mm_set1_ps(a);
    __m128 last = _mm_set1_ps(b);
    for (; i + 4 <= n; i += 4) {
      const __m128 v = _mm_loadu_ps(x + i);
      // [a, x0, x1, x2]: each sample's predecessor.
      const __m128 previous = _mm_move_ss(_mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 1, 0, 0)), before);
      const __m128 d = _mm_sub_ps(v, previous);
      __m128 o = _mm_mul_ps(cb, last);
      o = _mm_add_ps(o, _mm_mul_ps(c0, _mm_shuffle_ps(d, d, 0x00)));
      o = _mm_add_ps(o, _mm_mul_ps(c1, _mm_shuffle_ps(d, d, 0x55)));
      o = _mm_add_ps(o, _mm_mul_ps(c2, _mm_shuffle_ps(d, d, 0xAA)));
      o = _mm_add_ps(o, _mm_mul_ps(c3, _mm_shuffle_ps(d, d, 0xFF)));
      _mm_storeu_ps(y + i, o);
      last = _mm_shuffle_ps(o, o, 0xFF);
      before = _mm_shuffle_ps(v, v, 0xFF);
    }
    a = _mm_cvtss_f32(before);
    b = _mm_cvtss_f32(last);
  }
  for (; i < n; ++i) {
    b = x[i] - a + r1 * b;
    a = x[i];
    y[i] = b;
  }
  x1 = a;
  // The state decays towards zero in silence: keep it out of the denormal
  // range.
  y1 = std::fabs(b) < 1e-20f ? 0.0f : b;
}
