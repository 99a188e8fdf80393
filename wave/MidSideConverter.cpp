#include "wave/MidSideConverter.h"

MidSideConverter::MidSideConverter(wave::Environment* env) : wave::MultiProducer(env, 2) {}

MidSideConverter::~MidSideConverter() = default;

void MidSideConverter::setInputs(wave::Producer* first, wave::Producer* second) {
  firstInput = first;
  secondInput = second;
}

void MidSideConverter::produce(wave::Block* const* outputs, int n, int flags) {
  if (flags & wave::cMuteCall) return;
  wave::Block* ab = firstInput ? firstInput->pull(n, 0) : nullptr;
  wave::Block* bb = secondInput ? secondInput->pull(n, 0) : nullptr;
  if (!ab) ab = env->silentBlock;
  if (!bb) bb = env->silentBlock;
  int32_t m = mode.get();
  if (m == cPassThrough) {
    currentBlocks[0] = ab;
    currentBlocks[1] = bb;
    return;
  }
  const float* a = ab->data;
  const float* b = bb->data;
  float* out0 = outputs[0]->data;
  float* out1 = outputs[1]->data;
  if (m == cToMidSide) {
    for (int i = 0; i < n; ++i) {
      float d = (a[i] - b[i]) * 0.5f;
      out0[i] = a[i] - d;
      out1[i] = d;
    }
  } else {
    for (int i = 0; i < n; ++i) {
      float x = a[i], y = b[i];
      out0[i] = x + y;
      out1[i] = x - y;
    }
  }
}
