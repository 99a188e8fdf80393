#pragma once

// Narrows or widens a stereo pair: the side signal is scaled by the spread,
// and beyond normal width the mid fades out as the side grows.
// Spread 0 = mono, 1 = unchanged, 2 = side only.

#include "wave/FloatParameter.h"
#include "wave/HeldInput.h"
#include "wave/MultiProducer.h"

class StereoSpread : public wave::MultiProducer {
public:
  explicit StereoSpread(wave::Environment* env);
  ~StereoSpread() override;

  // Not owned. A missing input is silence.
  void setInputs(wave::Producer* left, wave::Producer* right);

  void produce(wave::Block* const* outputs, int n, int flags) override;

  // The spread per sample; no limits of its own. The owner sets its value
  // or connects a controller.
  wave::FloatParameterBus spread;
  wave::Producer* leftInput = nullptr;
  wave::Producer* rightInput = nullptr;

private:
  // The spread last pulled stands within [0, 2].
  wave::HeldInput heldSpread;
};
