#pragma once

// Crossfades two inputs by one balance: 0 passes both at full level, +1
// leaves only the second, -1 only the first. Input gains and the mode are
// not used.

#include "wave/Mixer.h"

class EffectMixer : public Mixer {
public:
  EffectMixer(wave::Environment* env, wave::Producer* first, wave::Producer* second);
  ~EffectMixer() override;

  void produce(wave::Block* out, int n, int flags) override;

  // Limited to [-1, 1].
  wave::FloatParameterBus balance;
};
