#include "wave/VolumeFilter.h"

#include "wave/VectorKernels.h"

VolumeFilter::VolumeFilter(wave::Environment* env) : wave::Filter(env), volume(env, 1.0f) {}

void VolumeFilter::produce(wave::Block* out, int count, int flags) {
  if (muteController && muteController->isMute()) {
    // The volume still advances; input and envelope are left alone.
    wave::Filter::produce(out, count, flags | wave::cMuteCall);
    for (int i = 0; i < count; ++i) out->data[i] = 0.0f;
    return;
  }
  wave::Filter::produce(out, count, flags);
}

void VolumeFilter::filter(const wave::Block* in, wave::Block* out, int count, int flags) {
  const wave::Block* shape = nullptr;
  if (envelope.input)
    shape = (flags & wave::cMuteCall) ? envelope.input->current : envelope.input->pull(count, flags);
  const wave::Block* v = volume.output->pull(count, 0);
  if (flags & wave::cMuteCall) return;
  if (!in || !v) {
    // Nothing to scale: silence.
    for (int i = 0; i < count; ++i) out->data[i] = 0.0f;
    return;
  }
  if (shape)
    vectorMultiply3Fast(in->data, v->data, shape->data, out->data, count);
  else
    vectorMultiplyFast(in->data, v->data, out->data, count);
}
