#pragma once

// The numbers by which the modulation matrix names what it can modulate
// (targets) and what it modulates with (sources). The editor binds its
// target knobs and source buttons by these numbers, and presets store them
// in the slot parameters, so they never change.

namespace zarn {

enum Target : int {
  cTargetNoiseLevel = 0,
  cTargetNoisePan = 1,
  cTargetMasterTune = 2,
  cTargetOsc1Sync = 3,
  cTargetOsc1PulseWidth = 4,
  cTargetOsc1Level = 5,
  cTargetOsc1Pan = 6,
  cTargetOsc2Detune = 7,
  cTargetOsc2Sync = 8,
  cTargetOsc2PulseWidth = 9,
  cTargetOsc2Level = 10,
  cTargetOsc2Pan = 11,
  cTargetFilter1Freq = 12,
  cTargetFilter1Pan = 13,
  cTargetFilter1Peak = 14,
  cTargetFilter2Freq = 15,
  cTargetFilter2Pan = 16,
  cTargetFilter2Peak = 17,
  cTargetVolume = 18,
  cTargetStereo = 19,
  cTargetLfo1Frequency = 20, // LFO n: 20 + n
  cTargetEg1Delay = 23,      // EG 1 Delay, Attack, Decay, Sustain, Release: 23..27
  cTargetEg2Delay = 28,      // EG 2: 28..32
  cTargetEgMainHold = 33,    // EG Main Hold, Attack, Decay, Sustain, Release: 33..37
  cTargetSlotLevel = 38,     // the Level of slot s: 38 + s
  cTargetCount = 62
};

// Offsets within an envelope's five targets.
enum EnvelopeTarget : int {
  cEnvelopeDelayOrHold = 0,
  cEnvelopeAttack = 1,
  cEnvelopeDecay = 2,
  cEnvelopeSustain = 3,
  cEnvelopeRelease = 4
};

// Targets below this one belong to the instrument's own parameters.
constexpr int cInstrumentTargetCount = cTargetSlotLevel;
constexpr int cSlotCount = 24;

enum Source : int {
  cSourceLfo1 = 0, // LFO n: 0 + n
  cSourceEg1 = 3,
  cSourceEg2 = 4,
  cSourceEgMain = 5,
  cSourceVelocity = 6,
  cSourceKeyTrack = 7,
  cSourceModWheel = 8,
  cSourcePitchBend = 9,
  cSourceAftertouch = 10,
  cSourceCount = 11
};

// True for the sources that have one value per voice (the envelopes,
// velocity and key tracking); the others are shared by all voices.
constexpr bool isVoiceSource(int source) {
  return source == cSourceEg1 || source == cSourceEg2 || source == cSourceEgMain || source == cSourceVelocity ||
         source == cSourceKeyTrack;
}

// True for the targets that are inputs of a voice; the others (Stereo, the
// LFO frequencies) act on the sum of all voices or on shared units.
constexpr bool isVoiceTarget(int target) {
  return target >= 0 && target < cInstrumentTargetCount && target != cTargetStereo &&
         !(target >= cTargetLfo1Frequency && target < cTargetLfo1Frequency + 3);
}

} // namespace zarn
