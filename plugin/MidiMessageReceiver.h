#pragma once

#include "plugin/MidiMessage.h"

// Anything that takes MIDI messages one at a time.
class MidiMessageReceiver {
public:
  virtual void receiveMidiMessage(const MidiMessage& message) = 0;

protected:
  // Receivers are never deleted through this interface.
  ~MidiMessageReceiver() = default;
};
