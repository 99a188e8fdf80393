#include "wave/DcBlocker.h"

#include "wave/Environment.h"

#include <cmath>

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
    r = rate > 0.0f ? std::exp(-6.2831853f * cCornerHz / rate) : 1.0f;
  }
  const float* x = in->data;
  float* y = out->data;
  float a = x1;
  float b = y1;
  for (int i = 0; i < n; ++i) {
    b = x[i] - a + r * b;
    a = x[i];
    y[i] = b;
  }
  x1 = a;
  // The state decays towards zero in silence: keep it out of the
  // denormal range.
  y1 = std::fabs(b) < 1e-20f ? 0.0f : b;
}
