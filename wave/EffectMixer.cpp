#include "wave/EffectMixer.h"

EffectMixer::EffectMixer(wave::Environment* env, wave::Producer* first, wave::Producer* second)
    : Mixer(env, 2), balance(env, 0.0f) {
  balance.getParameter().setLimits(-1.0f, 1.0f);
  inputs[0]->source = first;
  inputs[1]->source = second;
}

EffectMixer::~EffectMixer() = default;

void EffectMixer::produce(wave::Block* out, int n, int flags) {
  if (flags & wave::cMuteCall) {
    current = env->silentBlock;
    stamp = env->stamp;
    return;
  }
  const float* silence = env->silentBlock->data;
  wave::Block* mb = balance.output->pull(n, flags);
  const float* m = mb ? mb->data : silence;
  const float* a = silence;
  const float* b = silence;
  // The input count may have been changed on the members.
  if (inputs.size() > 0 && inputSet(inputs[0])) {
    wave::Block* block = inputs[0]->source->pull(n, flags);
    if (block) a = block->data;
  }
  if (inputs.size() > 1 && inputSet(inputs[1])) {
    wave::Block* block = inputs[1]->source->pull(n, flags);
    if (block) b = block->data;
  }
  float* o = out->data;
  for (int i = 0; i < n; ++i)
    o[i] = m[i] >= 0.0f ? a[i] * (1.0f - m[i]) + b[i] : a[i] + b[i] * (m[i] + 1.0f);
}
