#pragma once

// A gain stage: its input times a smoothed volume, and times an envelope
// signal when one is connected. While its mute controller reports mute it
// outputs silence without pulling its input or the envelope.

#include "wave/Filter.h"
#include "wave/FloatParameter.h"
#include "wave/MuteController.h"

class VolumeFilter : public wave::Filter {
public:
  explicit VolumeFilter(wave::Environment* env);

  void produce(wave::Block* out, int count, int flags) override;
  void resetState() override {}
  void filter(const wave::Block* in, wave::Block* out, int count, int flags) override;

  // Not owned; null disconnects.
  void setEnvelopeModulator(wave::Producer* p) { envelope.setInput(p); }
  void setMuteController(wave::MuteController* m) { muteController = m; }

  wave::FloatParameterBus volume;

private:
  wave::Consumer envelope;
  wave::MuteController* muteController = nullptr;
};
