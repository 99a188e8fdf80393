#pragma once

// A control signal: a smoothed base value plus any number of modulating
// producers, each scaled by its own smoothed depth after adding its own
// smoothed offset, the sum clamped to the base value's limits. Its output
// can drive any FloatParameterBus.

#include "wave/FloatParameter.h"
#include "wave/Producer.h"

#include <vector>

class ParameterController : public wave::Source {
public:
  // Adds (input + offset) x depth to a control signal.
  class ModulationSource : public wave::Consumer {
  public:
    // input is not owned.
    ModulationSource(wave::Environment* env, wave::Producer* input);

    // Adds this source's share to out (count samples). A mute call only
    // advances the depth and offset glides.
    void modulate(float* out, int count, int flags);

    wave::FloatParameter depth;
    wave::FloatParameter offset;
  };

  explicit ParameterController(wave::Environment* env);
  ~ParameterController() override;

  ParameterController(const ParameterController&) = delete;
  ParameterController& operator=(const ParameterController&) = delete;

  // The depth and offset start at 0 and are limited as given. Allocates:
  // not while rendering. Sources stay until the controller is destroyed.
  ModulationSource* addModulationSource(wave::Producer* input, float minDepth, float maxDepth, float minOffset,
                                        float maxOffset);
  // The first source on input, or null.
  ModulationSource* getModulationSource(wave::Producer* input);
  static bool usesInput(const ModulationSource* source, const wave::Producer* input) {
    return source->input == input;
  }

  void produce(wave::Block* block, int count, int flags) override;

  // The base value; its limits are the output's limits.
  wave::FloatParameter value;
  // In the order added; owned.
  std::vector<ModulationSource*> modulationSources;
};
