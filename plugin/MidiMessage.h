#pragma once

// One short MIDI message as the host delivered it, with its position in the
// current host buffer. A plain record, copied by value through the plug-in's
// MIDI queue.

#include <cstdint>

struct MidiMessage {
  // High nibble: the message kind; low nibble: the channel - 1 (for system
  // messages, the system message kind).
  unsigned char status = 0;
  // Note, controller or program number, or the pitch wheel's low 7 bits; 0
  // when the host packet has fewer bytes.
  unsigned char data1 = 0;
  // Velocity, pressure, controller value or the pitch wheel's high 7 bits; 0
  // when absent.
  unsigned char data2 = 0;
  // Samples from the start of the current host buffer.
  int32_t sampleOffset = 0;
};

// Message kinds (the status byte's high nibble).
enum MidiMessageType {
  cMidiNoteOff = 0x8,
  cMidiNoteOn = 0x9,
  cMidiKeyPressure = 0xA,
  cMidiControlChange = 0xB,
  cMidiProgramChange = 0xC,
  cMidiChannelPressure = 0xD,
  cMidiPitchWheel = 0xE
};

// Controller numbers the decoder consumes itself.
enum MidiControllerNumber {
  cMidiBankSelectMsb = 0,
  cMidiBankSelectLsb = 32,
  cMidiAllNotesOff = 123
};

inline bool isSystemMessage(const MidiMessage& m) { return m.status >= 0xF0; }
inline bool isChannelMessage(const MidiMessage& m) { return m.status >= 0x80 && m.status < 0xF0; }
inline int getChannelMessageType(const MidiMessage& m) { return m.status >> 4; }
// 1-16.
inline int getChannel(const MidiMessage& m) { return (m.status & 15) + 1; }
inline int getSystemMessageType(const MidiMessage& m) { return m.status & 15; }
inline int getControlChangeType(const MidiMessage& m) { return m.data1; }
