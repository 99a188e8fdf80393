#include "wave/StaticMixer.h"

#include "wave/VectorKernels.h"

#include <cmath>

namespace {

constexpr float cEpsilon = 1.1920929e-7f;

} // namespace

StaticMixer::StaticMixer(wave::Environment* env, int count)
    : wave::Source(env), inputCount(count > 0 ? count : 0),
      moreInputs(inputCount > cInlineInputs ? new Input[static_cast<size_t>(inputCount)] : nullptr),
      inputs(moreInputs ? moreInputs.get() : inlineInputs) {}

StaticMixer::~StaticMixer() = default;

void StaticMixer::setInput(int index, wave::Producer* producer, float gain) {
  Input& slot = inputs[static_cast<size_t>(index)];
  slot.producer = producer;
  slot.gain = gain;
}

void StaticMixer::produce(wave::Block* out, int n, int flags) {
  if (flags & wave::cMuteCall) return;
  // empty: nothing yet; holding: one unity-gain input kept by reference;
  // summing: the sum so far is in out.
  enum { cEmpty, cHolding, cSumming } state = cEmpty;
  wave::Block* held = nullptr;
  // The own block is read only once two inputs are summed: a lone input
  // handed on by reference leaves it untouched, block object and all.
  float* o = nullptr;
  for (int k = 0; k < inputCount; ++k) {
    const Input& slot = inputs[k];
    if (!slot.producer) continue;
    wave::Block* xb = slot.producer->pull(n, 0);
    if (!xb) continue;
    const float* x = xb->data;
    const bool unity = std::fabs(slot.gain - 1.0f) <= cEpsilon;
    if (!o && !(unity && state == cEmpty)) o = out->data;
    const float* previous = o;
    if (state == cHolding) {
      previous = held->data;
      state = cSumming;
    }
    if (unity) {
      if (state == cEmpty) {
        held = xb;
        state = cHolding;
      } else {
        vectorAddFast(x, previous, o, n);
      }
    } else if (state == cEmpty) {
      vectorMultiplySFast(x, slot.gain, o, n);
      state = cSumming;
    } else {
      vectorMulSAddFast(x, slot.gain, previous, o, n);
    }
  }
  if (state == cEmpty)
    current = env->silentBlock;
  else if (state == cHolding)
    current = held;
  stamp = env->stamp;
}
