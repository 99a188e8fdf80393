#pragma once

// The synthesizer's MIDI receivers: notes, the modulation wheel, pitch
// bend and pressure go to the synthesizer; learned controllers and program
// changes go to the plug-in core as for every product.

#include "plugin/DefaultEventReceiver.h"

class ZarnPlugin;

class ZarnChannelReceiver : public DefaultChannelEventReceiver {
public:
  // Controller 1, the modulation wheel.
  static constexpr int cModWheelController = 1;

  ZarnChannelReceiver(ControllerMapping* mapping, ZarnPlugin* plugin);

  void receiveNoteOn(int note, float velocity) override;
  void receiveNoteOff(int note, float velocity) override;
  // Releases every sounding voice at once (each through its release).
  void receiveAllNotesOff() override;
  // Learned controllers as usual; the modulation wheel also drives its
  // modulation source.
  void receiveControllerMessage(int controller, int value, float normalized) override;
  void receivePitchWheelChange(float bend) override;
  void receiveChannelPressure(float pressure) override;
  void receiveKeyPressure(int note, float pressure) override;

private:
  ZarnPlugin* synth;
};

class ZarnEventReceiver : public DefaultEventReceiver {
public:
  ZarnEventReceiver(ControllerMapping* mapping, ZarnPlugin* plugin);
};
