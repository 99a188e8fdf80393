#include "wave/DcBlocker.h"

#include "wave/Environment.h"

#include <cmath>
#include <xmmintrin.h>

DcBlocker::DcBlocker(wave::Environment* env) : wave::Source(env) {}

void DcBlocker::resetState() { average = 0.0f; }

void DcBlocker::produce(wave::Block* out, int n, int flags) {
  if (flags & wave::cMuteCall) return;
  wave::Block* in = input ? input->pull(n, 0) : nullptr;
  if (!in || n < 1) {
    current = env->silentBlock;
    resetState();
    return;
  }
  if (env->sampleRate != rate || n != size) {
    rate = env->sampleRate;
    size = n;
    // n samples of a one-pole low pass at the corner.
    factor = rate > 0.0f ? 1.0f - std::exp(-6.2831853f * cCornerHz * static_cast<float>(n) / rate) : 0.0f;
  }
  const float* x = in->data;
  float* y = out->data;
  // Four running sums side by side: one would wait on itself every sample.
  __m128 four = _mm_setzero_ps();
  int i = 0;
  for (; i + 4 <= n; i += 4) four = _mm_add_ps(four, _mm_loadu_ps(x + i));
  four = _mm_add_ps(four, _mm_movehl_ps(four, four));
  float sum = _mm_cvtss_f32(_mm_add_ss(four, _mm_shuffle_ps(four, four, 1)));
  for (; i < n; ++i) sum += x[i];
  const float from = average;
  float to = from + factor * (sum / static_cast<float>(n) - from);
  // Silence decays the average towards zero: keep it out of the denormal
  // range.
  if (std::fabs(to) < 1e-20f) to = 0.0f;
  const float step = (to - from) / static_cast<float>(n);
  for (int k = 0; k < n; ++k) y[k] = x[k] - (from + step * static_cast<float>(k + 1));
  average = to;
}
