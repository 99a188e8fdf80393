#pragma once

// MIDI note numbers and frequencies: note 69 is 440 Hz, 12 notes an octave.
// Fractional notes are allowed both ways.

// 8.175799 * exp(0.057762265 * note) Hz.
float noteNumToFreq(float note);
// 17.31234 * log(hz * 0.1223122); 0 for hz <= 0 (and for a NaN), which has
// no note.
float freqToNoteNum(float hz);
