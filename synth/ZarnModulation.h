#pragma once

// The synthesizer's view of the modulation matrix's numbering: the sources
// and targets are the matrix's own (the editor binds its target knobs and
// source buttons by these numbers, and presets store them in the slot
// parameters, so they never change); this header adds what the voice needs
// on top of them.

#include "synth/ModulationMatrix.h"

namespace zarn {

using Target = ModulationMatrix::Target;
using Source = ModulationMatrix::Source;
using enum ModulationMatrix::Target;
using enum ModulationMatrix::Source;

constexpr int cTargetCount = ModulationMatrix::cNumTargets;
constexpr int cSourceCount = ModulationMatrix::cNumSources;
constexpr int cSlotCount = ModulationMatrix::cNumSlots;
// Targets below this one belong to the instrument's own parameters.
constexpr int cInstrumentTargetCount = ModulationMatrix::cNumParameterTargets;

// Offsets within an envelope's five targets.
enum EnvelopeTarget : int {
  cEnvelopeDelayOrHold = 0,
  cEnvelopeAttack = 1,
  cEnvelopeDecay = 2,
  cEnvelopeSustain = 3,
  cEnvelopeRelease = 4
};

// True for the sources that have one value per voice (the envelopes,
// velocity and key tracking); the others are shared by all voices.
constexpr bool isVoiceSource(int source) {
  return source == cSourceEG1 || source == cSourceEG2 || source == cSourceEGMain || source == cSourceVelocity ||
         source == cSourceKBTrack;
}

// True for the targets that are inputs of a voice; the others (Stereo, the
// LFO frequencies) act on the sum of all voices or on shared units.
constexpr bool isVoiceTarget(int target) {
  return target >= 0 && target < cInstrumentTargetCount && target != cTargetStereo &&
         !(target >= cTargetLFO1Frequency && target <= cTargetLFO3Frequency);
}

} // namespace zarn
