#pragma once

// The shape of the synthesizer's oscillators: the values with which it
// customizes the shared Oscillator::Style before building the tables.
//
//   triangle: level 0.7, brightness 0.45 (each further partial damped, a
//             soft, round tone), 2 % of the sawtooth added (a little edge)
//   sawtooth: level 0.5
//   square:   level 0.6, half of it a pulse and half a sawtooth, so the
//             "square" has even harmonics and sits between the other two
//   noise:    level 0.2, a seasoning about 12 dB under a sawtooth of the
//             same level that leaves the filters clean, and a faint floor
//             of 0.0006 under the tonal waves
//
// The plug-in, the tests and the benchmarks all customize through
// customizeOscillatorStyle, so that what is measured is what plays. The
// style's cache file is keyed on the triangle and sawtooth values, so a
// change here rebuilds it once.
//
// Header only: the engine's own tests use it without linking the
// synthesizer.

#include "wave/OscillatorStyle.h"

namespace zarn {

struct OscillatorShape {
  static constexpr float cTriangleLevel = 0.7f;
  static constexpr float cTriangleBrightness = 0.45f;
  static constexpr float cTriangleSawAmount = 0.02f;
  static constexpr float cSawtoothLevel = 0.5f;
  static constexpr float cSquareLevel = 0.6f;
  static constexpr float cSquarePulseShare = 0.5f;
  static constexpr float cNoiseLevel = 0.2f;
  static constexpr float cBackgroundNoiseLevel = 0.0006f;
};

// Sets the synthesizer's shape values on a style; call before initialize.
inline void customizeOscillatorStyle(Oscillator::Style& style) {
  style.customizeTriangle(OscillatorShape::cTriangleLevel, OscillatorShape::cTriangleBrightness,
                          OscillatorShape::cTriangleSawAmount);
  style.customizeSawtooth(OscillatorShape::cSawtoothLevel);
  style.customizeSquare(OscillatorShape::cSquareLevel, OscillatorShape::cSquarePulseShare);
  style.customizeNoise(OscillatorShape::cNoiseLevel, OscillatorShape::cBackgroundNoiseLevel);
}

} // namespace zarn
