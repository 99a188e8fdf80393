#include "wave/Mixer.h"

#include "wave/VectorKernels.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float cEpsilon = 1.1920929e-7f;

} // namespace

Mixer::Mixer(wave::Environment* env, int count) : wave::Source(env) { inputCount = count; }

Mixer::~Mixer() { inputCount = 0; }

void Mixer::propertyChange(const AbstractProperty* property) {
  if (property != &inputCount) return;
  size_t wanted = inputCount.get() > 0 ? static_cast<size_t>(inputCount.get()) : 0;
  while (inputs.size() > wanted) {
    delete inputs.back();
    inputs.pop_back();
  }
  inputs.reserve(wanted);
  while (inputs.size() < wanted) inputs.push_back(new MixerInput(env));
}

void Mixer::produce(wave::Block* out, int n, int flags) {
  if (flags & wave::cMuteCall) return;
  int m = mode.get();
  if (m == cSum) {
    produceAdd(out->data, n);
    return;
  }
  float* o = out->data;
  bool first = true;
  for (MixerInput* input : inputs) {
    if (!inputSet(input)) continue;
    wave::Block* xb = input->source->pull(n, flags);
    wave::Block* gb = input->gain.output->pull(n, flags);
    const float* x = (xb ? xb : env->silentBlock)->data;
    const float* g = (gb ? gb : env->silentBlock)->data;
    if (first) {
      if (m == cPeak || m == cRatio)
        vectorAbsFast(x, o, n);
      else
        vectorMultiplyFast(x, g, o, n);
      first = false;
      continue;
    }
    switch (m) {
    case cDifference:
      for (int i = 0; i < n; ++i) o[i] = o[i] - g[i] * x[i];
      break;
    case cPeak:
      vectorAbsMaxFast(x, o, o, n);
      break;
    case cProduct:
      vectorMultiply3Fast(g, x, o, o, n);
      break;
    case cRatio:
      for (int i = 0; i < n; ++i) {
        float d = std::fabs(g[i] * x[i]);
        // A zero or undefined divisor gives 0, as does a negative or
        // undefined quotient.
        if (d == 0.0f || std::isnan(d)) {
          o[i] = 0.0f;
        } else {
          float q = (1.0f / d) * o[i];
          o[i] = (q < 0.0f || std::isnan(q)) ? 0.0f : std::min(q, 1.0f);
        }
      }
      break;
    default:
      break;
    }
  }
  if (first) {
    current = env->silentBlock;
    stamp = env->stamp;
  }
}

void Mixer::produceAdd(float* out, int n) {
  enum { cEmpty, cHolding, cSumming } state = cEmpty;
  wave::Block* held = nullptr;
  for (MixerInput* input : inputs) {
    if (!inputSet(input)) continue;
    wave::Producer* gainProducer = input->gain.output;
    wave::Block* gb = gainProducer->pull(n, 0);
    if (!gb) continue;
    const float* g = gb->data;
    bool constant = gainProducer->constantBlock;
    if (constant && std::fabs(g[0]) <= cEpsilon) continue;
    wave::Block* xb = input->source->pull(n, 0);
    if (!xb) continue;
    const float* x = xb->data;
    const float* previous = out;
    if (state == cHolding) {
      previous = held->data;
      state = cSumming;
    }
    if (constant && std::fabs(g[0] - 1.0f) <= cEpsilon) {
      if (state == cEmpty) {
        held = xb;
        state = cHolding;
      } else {
        vectorAddFast(x, previous, out, n);
      }
    } else if (state == cEmpty) {
      vectorMultiplyFast(x, g, out, n);
      state = cSumming;
    } else if (constant) {
      vectorMulSAddFast(x, g[0], previous, out, n);
    } else {
      vectorMulAddFast(x, g, previous, out, n);
    }
  }
  if (state == cEmpty)
    current = env->silentBlock;
  else if (state == cHolding)
    current = held;
  stamp = env->stamp;
}
