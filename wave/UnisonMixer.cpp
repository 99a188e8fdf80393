#include "wave/UnisonMixer.h"

#include "wave/VectorKernels.h"

#include <cmath>

namespace {

constexpr float cEpsilon = 1.1920929e-7f;

bool isSilent(const wave::Producer* gain, const wave::Block* block) {
  return gain->constantBlock && block && std::fabs(block->data[0]) <= cEpsilon;
}

} // namespace

UnisonMixer::UnisonMixer(wave::Environment* env, int capacity) : wave::MultiProducer(env, 2) {
  sources.reserve(capacity > 0 ? static_cast<size_t>(capacity) : 0);
}

UnisonMixer::~UnisonMixer() = default;

void UnisonMixer::addSource(wave::Producer* signal, wave::Producer* leftGain, wave::Producer* rightGain, float pan) {
  sources.push_back(Source{leftGain, rightGain, signal, pan});
}

void UnisonMixer::clearAll() { sources.clear(); }

void UnisonMixer::produce(wave::Block* const* outputs, int n, int flags) {
  if (flags & wave::cMuteCall) return;
  float* left = outputs[0]->data;
  float* right = outputs[1]->data;
  bool first = true;
  for (const Source& s : sources) {
    wave::Block* lg = s.leftGain->pull(n, 0);
    wave::Block* rg = s.rightGain->pull(n, 0);
    if (!lg || !rg) continue;
    if (isSilent(s.leftGain, lg) && isSilent(s.rightGain, rg)) continue;
    wave::Block* x = s.signal->pull(n, 0);
    if (!x) continue;
    float leftFactor = s.pan >= 0.0f ? 1.0f - s.pan : 1.0f;
    float rightFactor = s.pan >= 0.0f ? 1.0f : 1.0f + s.pan;
    if (first) {
      vectorMul2MulSFast(x->data, lg->data, leftFactor, left, n);
      vectorMul2MulSFast(x->data, rg->data, rightFactor, right, n);
      first = false;
    } else {
      vectorMul2MulSAddFast(x->data, lg->data, leftFactor, left, left, n);
      vectorMul2MulSAddFast(x->data, rg->data, rightFactor, right, right, n);
    }
  }
  if (first) {
    // Nothing sounds: hand out silence without writing a sample.
    currentBlocks[0] = env->silentBlock;
    currentBlocks[1] = env->silentBlock;
  }
}
