#include "plugin/MidiPitch.h"

#include <cmath>

float noteNumToFreq(float note) { return 8.175799f * std::exp(0.057762265f * note); }

float freqToNoteNum(float hz) {
  if (!(hz > 0.0f)) return 0.0f;
  return 17.31234f * std::log(hz * 0.1223122f);
}
