#include "synth/ZarnEventReceiver.h"

#include "synth/ZarnPlugin.h"

ZarnChannelReceiver::ZarnChannelReceiver(ControllerMapping* mapping, ZarnPlugin* plugin)
    : DefaultChannelEventReceiver(mapping, plugin), synth(plugin) {}

void ZarnChannelReceiver::receiveNoteOn(int note, float velocity) { synth->noteOn(note, velocity); }

void ZarnChannelReceiver::receiveNoteOff(int note, float velocity) { synth->noteOff(note, velocity); }

void ZarnChannelReceiver::receiveAllNotesOff() { synth->allNotesOff(); }

void ZarnChannelReceiver::receiveControllerMessage(int controller, int value, float normalized) {
  DefaultChannelEventReceiver::receiveControllerMessage(controller, value, normalized);
  switch (controller) {
  case cModWheelController:
    synth->setModWheel(normalized);
    break;
  case cSustainController:
    synth->setSustain(value >= 64);
    break;
  case cAllSoundOffController:
    synth->allSoundOff();
    break;
  case cResetAllControllersController:
    // Every performance control back at rest, as the MIDI rule has it: a
    // bend or pressure left over from a stopped take would detune the next.
    synth->setSustain(false);
    synth->setPitchBend(0.0f);
    synth->setAftertouch(0.0f);
    synth->setModWheel(0.0f);
    break;
  default:
    break;
  }
}

void ZarnChannelReceiver::receivePitchWheelChange(float bend) { synth->setPitchBend(bend * 2.0f); }

void ZarnChannelReceiver::receiveChannelPressure(float pressure) { synth->setAftertouch(pressure); }

void ZarnChannelReceiver::receiveKeyPressure(int, float pressure) { synth->setAftertouch(pressure); }

void ZarnChannelReceiver::receiveProgramChange(int bank, int program) {
  // MIDI is decoded on the render thread between slices, where the queued
  // parameter changes may be applied: at once, unless voices that the new
  // preset's voice layout ends must fade out first.
  if (synth->receiveProgramChange(bank, program)) synth->handOverParameterChanges();
}

ZarnEventReceiver::ZarnEventReceiver(ControllerMapping* mapping, ZarnPlugin* plugin)
    : DefaultEventReceiver(mapping, plugin, new ZarnChannelReceiver(mapping, plugin)) {}
