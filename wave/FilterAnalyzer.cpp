#include "wave/FilterAnalyzer.h"

#include "wave/Environment.h"

FilterAnalyzer::FilterAnalyzer(wave::Environment* env) : wave::Filter(env) {
  enableResetNotifications();
  time = 20.0f;
  threshold = 0.005f;
  reciprocal = 1.0f / threshold.get();
}

void FilterAnalyzer::propertyChange(const AbstractProperty* p) {
  // A threshold of 0 (or less) would divide by zero; every level at or
  // above it reads 1 anyway, and one below it reads 0.
  if (p == &threshold) reciprocal = threshold.get() > 0.0f ? 1.0f / threshold.get() : 0.0f;
}

void FilterAnalyzer::filter(const wave::Block* in, wave::Block* out, int count, int flags) {
  if (flags & wave::cMuteCall) return;
  // The lag coefficient of one sample. A time shorter than a sample (or
  // none) follows the input at once instead of overshooting it, which would
  // diverge.
  const float t = time.get() * env->sampleRate;
  float k = t > 0.0f ? 1000.0f / t : 1.0f;
  if (!(k <= 1.0f)) k = 1.0f;
  const float* x = in ? in->data : env->silentBlock->data;
  float* y = out->data;
  const float thr = threshold.get();
  float l = level;
  for (int i = 0; i < count; ++i) {
    l = l + (x[i] - l) * k;
    y[i] = l >= thr ? 1.0f : l * reciprocal;
  }
  level = l;
}
