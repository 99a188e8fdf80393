#include "wave/StereoSpread.h"

StereoSpread::StereoSpread(wave::Environment* env) : wave::MultiProducer(env, 2), spread(env, 0.0f) {}

StereoSpread::~StereoSpread() = default;

void StereoSpread::setInputs(wave::Producer* left, wave::Producer* right) {
  leftInput = left;
  rightInput = right;
}

void StereoSpread::produce(wave::Block* const* outputs, int n, int flags) {
  if (flags & wave::cMuteCall) return;
  wave::Block* silence = env->silentBlock;
  wave::Producer* sp = spread.output;
  // A settled spread within [0, 2] found before is not pulled again while
  // it stands: with silence in, it is not needed.
  const bool heldQuiet = heldSpread.holds(sp, env);
  wave::Block* sb = nullptr;
  if (!heldQuiet) {
    sb = sp->pull(n, 0);
    if (sb && sb->data[0] >= 0.0f && sb->data[0] <= 2.0f)
      heldSpread.keepIfHeld(sp, env);
    else
      heldSpread.forget();
  }
  wave::Block* lb = leftInput ? leftInput->pull(n, 0) : nullptr;
  wave::Block* rb = rightInput ? rightInput->pull(n, 0) : nullptr;
  // Silence in and a spread that holds within [0, 2] give +0 on both
  // sides: hand on the shared silence without computing it.
  const bool silentIn = (!lb || lb == silence) && (!rb || rb == silence);
  if (silentIn && (heldQuiet || !sb || (sp->constantBlock && sb->data[0] >= 0.0f && sb->data[0] <= 2.0f))) {
    currentBlocks[0] = currentBlocks[1] = silence;
    return;
  }
  if (heldQuiet) sb = sp->pull(n, 0);
  const float* s = (sb ? sb : silence)->data;
  const float* l = (lb ? lb : silence)->data;
  const float* r = (rb ? rb : silence)->data;
  float* out0 = outputs[0]->data;
  float* out1 = outputs[1]->data;
  for (int i = 0; i < n; ++i) {
    float side = (l[i] - r[i]) * 0.5f;
    float mid = l[i] - side;
    // The mid fades out between spread 1 and 2.
    float g = s[i] < 1.0f ? 1.0f : 1.0f - (s[i] - 1.0f);
    out0[i] = s[i] * side + g * mid;
    out1[i] = g * mid - s[i] * side;
  }
}
