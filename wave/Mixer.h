#pragma once

// Combines a variable number of inputs, each with a smoothed gain, by one of
// five modes.

#include "base/Property.h"
#include "wave/FloatParameter.h"
#include "wave/Producer.h"

#include <vector>

class Mixer : public wave::Source, public PropertyOwner {
public:
  enum Mode {
    cSum = 0,        // x0 g0 + x1 g1 + ...
    cDifference = 1, // x0 g0 - g1 x1 - g2 x2 - ...
    cPeak = 2,       // max(|x0|, |x1|, ...); gains unused
    cProduct = 3,    // x0 g0 (g1 x1) (g2 x2) ...
    cRatio = 4       // |x0| / |g1 x1| / ..., each step limited to [0, 1]
    // any other value: x0 g0 alone
  };

  struct MixerInput {
    explicit MixerInput(wave::Environment* env) : gain(env, 1.0f) {}
    wave::FloatParameterBus gain;
    // Not owned; an input without a source is skipped by every mode.
    wave::Producer* source = nullptr;
  };

  // Creates count inputs, each at gain 1 and without a source.
  Mixer(wave::Environment* env, int count);
  ~Mixer() override;

  Mixer(const Mixer&) = delete;
  Mixer& operator=(const Mixer&) = delete;

  static bool inputSet(const MixerInput* input) { return input->source != nullptr; }

  void produce(wave::Block* out, int n, int flags) override;
  // The sum mode. Inputs whose gain is constantly zero in this block are
  // not even pulled; a lone unity-gain input is handed on by reference.
  void produceAdd(float* out, int n);
  // Creates or deletes inputs when inputCount changes (never while
  // rendering: it allocates).
  void propertyChange(const AbstractProperty* property) override;

  Property<int> inputCount{this, 0};
  // Read at every block; changes notify nobody.
  Property<int> mode{nullptr, cSum};
  std::vector<MixerInput*> inputs;
};
