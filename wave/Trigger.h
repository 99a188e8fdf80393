#pragma once

// A hysteresis gate over a signal: it switches on when the input reaches the
// threshold and off once the input has stayed below half the threshold for
// longer than the hold time, and lists for each block the on/off events with
// their sample positions. An envelope generator can follow it instead of
// key presses.

#include "base/Property.h"
#include "wave/Input.h"

#include <cstdint>
#include <vector>

class Trigger : public PropertyOwner, public wave::Output {
public:
  enum State { cOff = 0, cOn = 1 };

  struct TriggerEvent {
    State state;
    int32_t offset; // sample position in the block
  };

  explicit Trigger(wave::Environment* env);
  virtual ~Trigger() = default;

  Trigger(const Trigger&) = delete;
  Trigger& operator=(const Trigger&) = delete;

  // Recomputes the hold samples when the hold time changes.
  void propertyChange(const AbstractProperty* p) override;

  // Pulls the input (not on a mute call), forgets the last block's events
  // and lists this block's. Does nothing more without an input, while
  // disabled or for an empty block. The state carries over between blocks.
  void evaluate(int count, int flags);
  // Switches to state at offset, unless the trigger is in that state
  // already.
  void doTrigger(int offset, State state);

  const std::vector<TriggerEvent>& getEvents() const { return events; }
  State getState() const { return state; }
  int32_t getHoldSamples() const { return holdSamples; }

  // Milliseconds below the release level before the gate switches off.
  Property<float> holdTime;
  // 0 disables the trigger.
  Property<int> enabled;
  // The on level; the release level is half of it.
  LimitedProperty<float> threshold;

private:
  void updateHoldSamples();

  // Samples spent below the release level while on.
  int32_t counter = 0;
  int32_t holdSamples = 1;
  std::vector<TriggerEvent> events;
  State state = cOff;
  // The sample rate holdSamples was computed for: the host may set the rate
  // after the trigger was built.
  float holdSampleRate = 0.0f;
};
