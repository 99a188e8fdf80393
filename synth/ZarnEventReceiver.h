#pragma once

// The synthesizer's MIDI receivers: notes, the modulation wheel, the
// sustain pedal, pitch bend and pressure go to the synthesizer; learned
// controllers and program changes go to the plug-in core as for every
// product.
//
// The sustain pedal (controller 64) always holds notes, even when a
// parameter has been learned on controller 64: that parameter moves as
// well. A pedal is first of all a performance control that songs rely on,
// and a learn completed by an accidental pedal press must not silently take
// sustain away.

#include "plugin/DefaultEventReceiver.h"

class ZarnPlugin;

class ZarnChannelReceiver : public DefaultChannelEventReceiver {
public:
  // Controller 1, the modulation wheel.
  static constexpr int cModWheelController = 1;
  // Down at values 64 and above.
  static constexpr int cSustainController = 64;
  // Silences every voice at once and lifts the pedal.
  static constexpr int cAllSoundOffController = 120;
  // Lifts the pedal, centres the bend and sets pressure and the
  // modulation wheel to 0.
  static constexpr int cResetAllControllersController = 121;

  ZarnChannelReceiver(ControllerMapping* mapping, ZarnPlugin* plugin);

  void receiveNoteOn(int note, float velocity) override;
  void receiveNoteOff(int note, float velocity) override;
  // Releases every sounding voice at once (each through its release),
  // those the pedal holds too, and lifts the pedal.
  void receiveAllNotesOff() override;
  // Learned controllers as usual; the modulation wheel also drives its
  // modulation source, and the sustain pedal, all sound off and reset all
  // controllers act on the synthesizer.
  void receiveControllerMessage(int controller, int value, float normalized) override;
  void receivePitchWheelChange(float bend) override;
  void receiveChannelPressure(float pressure) override;
  void receiveKeyPressure(int note, float pressure) override;
  // Loads the preset as every product does, and puts its values into the
  // engine at once: the new sound starts at the program change's own
  // sample, as every other MIDI message takes effect at its own, so notes
  // struck with it play the new sound and a song plays the same as one
  // started from that preset.
  void receiveProgramChange(int bank, int program) override;

private:
  ZarnPlugin* synth;
};

class ZarnEventReceiver : public DefaultEventReceiver {
public:
  ZarnEventReceiver(ControllerMapping* mapping, ZarnPlugin* plugin);
};
