#pragma once

// A level detector normalised to a threshold: the input is smoothed by a
// one-pole lag with the given time constant, and the output is 1 while the
// smoothed level is at or above the threshold, else the level divided by
// the threshold. The input is expected to be a level (a rectified signal or
// an envelope): a signed audio signal smooths towards its mean.

#include "base/Property.h"
#include "wave/Filter.h"

class FilterAnalyzer : public wave::Filter, public PropertyOwner {
public:
  explicit FilterAnalyzer(wave::Environment* env);

  // Milliseconds; 20 at first.
  Property<float> time{nullptr, 20.0f};
  // 0.005 at first.
  Property<float> threshold{this, 0.005f};

  void propertyChange(const AbstractProperty* p) override;
  void resetState() override { level = 0.0f; }
  void filter(const wave::Block* in, wave::Block* out, int count, int flags) override;

  float getLevel() const { return level; }

private:
  float level = 0.0f;
  float reciprocal = 200.0f;
};
