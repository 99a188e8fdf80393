#include "wave/Trigger.h"

#include "wave/Environment.h"
#include "wave/Producer.h"

#include <algorithm>

namespace {

// Room for one event per sample of the largest block (and a few triggered
// by hand), so that listing events never allocates while rendering.
constexpr int cReservedEvents = 1024;

} // namespace

Trigger::Trigger(wave::Environment* env)
    : wave::Output(env), holdTime(this, 15.0f), enabled(this, 1), threshold(this, 0.0f, 1.0f, 0.9f) {
  events.reserve(static_cast<size_t>(std::max(cReservedEvents, env->maxBlockSize + 16)));
  updateHoldSamples();
}

void Trigger::propertyChange(const AbstractProperty* p) {
  if (p == &holdTime) updateHoldSamples();
}

void Trigger::updateHoldSamples() {
  holdSampleRate = env->sampleRate;
  const double samples = static_cast<double>(holdSampleRate) * holdTime.get() * 0.001;
  // Also keeps a negative, huge or undefined hold time inside the int range.
  holdSamples = samples >= 1.0 ? static_cast<int32_t>(std::min(samples, 1.0e9)) : 1;
}

void Trigger::evaluate(int count, int flags) {
  wave::Block* in = input ? input->pull(count, flags) : nullptr;
  events.clear();
  if (!input || !in || enabled.get() == 0 || count < 1) return;
  if (holdSampleRate != env->sampleRate) updateHoldSamples();

  const float onLevel = threshold.get();
  const float releaseLevel = 0.5f * onLevel;
  const float* x = in->data;
  for (int i = 0; i < count; ++i) {
    if (state == cOff) {
      if (x[i] >= onLevel) {
        state = cOn;
        counter = 0;
        events.push_back({cOn, i});
      }
    } else if (x[i] >= releaseLevel) {
      counter = 0;
    } else if (++counter > holdSamples) {
      state = cOff;
      counter = 0;
      events.push_back({cOff, i});
    }
  }
}

void Trigger::doTrigger(int offset, State s) {
  if (s == state) return;
  state = s;
  counter = 0;
  events.push_back({s, offset});
}
