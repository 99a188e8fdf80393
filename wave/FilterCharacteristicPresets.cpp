#include "wave/FilterCharacteristicPresets.h"

#include "wave/FilterCharacteristic.h"

#include <cmath>

// How the designs are described.
//
// The grid has 11 cut-off columns spaced 1.394 octaves apart from 4.8 Hz
// (column 0) to 75 kHz (column 10): 4.8, 12.6, 33, 87, 227, 596, 1560, 4100,
// 10700, 28000, 75000 Hz; and 11 peak rows, 0, 0.1, .. 1.
//
// Damping input (d): 0 is the broad, unresonant filter (damping 2), 1 the
// undamped one; above 1 the damping is negative and the filter oscillates on
// its own, its amplitude held either by the cubic damping (a round tone) or,
// when that is weak, by the hard limit on the band state (a clipped, gritty
// tone). A design gives d on the top peak row per column and a curve
// exponent: d(peak) = dBottom + (dTop - dBottom) peak^dCurve, so an
// exponent above 1 holds the resonance back until late in the peak range.
//
// Cubic damping (g) acts per pass of the section, like the linear damping
// times the frequency coefficient f of the column. A design therefore gives
// it relative to f, as kappa: g = kappa f, capped at 0.1 (more would make the
// non-linear step itself ring). The self-oscillation then settles where the
// band state B meets (3/4) kappa B^2 = -damping, whatever the cut-off; and a
// resonance driven by a loud input is compressed the same way in every
// register. kappa rises from kappaLow at peak 0 to kappaTop at peak 1 with
// the square of the peak. f is taken at 44.1 kHz; at other sample rates the
// balance shifts a little.
//
// Clip scale (s): the drive into the output soft clipper, whose output is
// scaled back by 1 / (level s). Together with the level, level x s is the
// saturation an input of full scale meets: below about 0.2 the filter is
// clean, around 1 warm, above 2 hard. It rises from clipLow at peak 0 to
// clipTop at peak 1 with the square of the peak. The clip balance shapes the
// clipper: 1 symmetric (odd harmonics), smaller values let positive swings
// through later than negative ones (even harmonics, a warmer colour).

namespace {

constexpr int cSteps = 11;

struct Design {
  FilterCharacteristicPreset preset;
  float clipBalance;
  float dampBottom;
  float dampTop[cSteps];
  float dampCurve;
  float kappaLow;
  float kappaTop;
  float clipLow[cSteps];
  float clipTop[cSteps];
};

const Design cDesigns[FilterCharacteristicPresets::cCount] = {
    // Ulk: the house sound. Full and punchy; the resonance holds back in the
    // lower half of the peak range and then rises fast. The top row
    // oscillates at every cut-off, most eagerly in the bass, with a round
    // tone of moderate loudness held by the cubic damping (no hard
    // clipping). The output clipper is driven harder as the peak rises, so
    // the resonance sits inside the mix instead of jumping out of it.
    // Mildly asymmetric clipping adds a little warmth.
    {{"Ulk.fil", 1.0f},
     0.7f,
     0.02f,
     {1.30f, 1.30f, 1.28f, 1.24f, 1.20f, 1.16f, 1.12f, 1.09f, 1.05f, 1.03f, 1.03f},
     1.6f,
     0.05f,
     0.25f,
     {0.6f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f},
     {1.2f, 1.2f, 1.2f, 1.4f, 1.6f, 1.8f, 2.0f, 2.2f, 2.5f, 2.5f, 2.5f}},

    // Gentle: clean and polite, never oscillating. The resonance tops out at
    // a quality of about 20 in the mids and less towards both ends, so a
    // sweep sings without whistling; strong cubic damping compresses a
    // resonance that a loud input excites, keeping the band state clear of
    // its hard limit. The clipper stays in its linear part (symmetric, at a
    // drive of about 0.1).
    {{"Gentle.fil", 0.56f},
     1.0f,
     0.0f,
     {0.78f, 0.80f, 0.84f, 0.88f, 0.90f, 0.90f, 0.88f, 0.84f, 0.78f, 0.74f, 0.74f},
     1.3f,
     0.6f,
     2.0f,
     {0.15f, 0.15f, 0.15f, 0.15f, 0.15f, 0.15f, 0.15f, 0.15f, 0.15f, 0.15f, 0.15f},
     {0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f}},

    // Raw: gritty and aggressive. The output is saturated even with the peak
    // at 0 (drive about 1, asymmetric), and harder towards high cut-offs.
    // From about 0.75 up the filter oscillates, with almost no cubic
    // damping, so the oscillation runs into the band limit and comes out
    // clipped and buzzing; the clipper, driven hard at the top of the range,
    // squares it further and holds its loudness near that of the input.
    {{"Raw.fil", 0.35f},
     0.6f,
     0.0f,
     {1.80f, 1.80f, 1.75f, 1.70f, 1.65f, 1.60f, 1.50f, 1.40f, 1.30f, 1.25f, 1.25f},
     1.5f,
     0.0f,
     0.01f,
     {2.5f, 2.5f, 2.5f, 2.8f, 3.0f, 3.2f, 3.5f, 3.8f, 4.0f, 4.0f, 4.0f},
     {7.0f, 7.0f, 7.0f, 7.5f, 8.0f, 8.0f, 8.5f, 9.0f, 9.0f, 9.0f, 9.0f}},

    // Tube: warm. A constant, asymmetric saturation (drive about 0.8 at
    // full scale, clip balance 0.5) gives even harmonics at any
    // setting. The resonance comes late and stays soft; only the very top
    // of the range oscillates, below a few kHz, and then quietly and round,
    // held by firm cubic damping.
    {{"Tube.fil", 0.4f},
     0.5f,
     0.0f,
     {1.06f, 1.06f, 1.05f, 1.04f, 1.03f, 1.02f, 1.01f, 0.98f, 0.96f, 0.95f, 0.95f},
     1.8f,
     0.3f,
     0.4f,
     {2.0f, 2.0f, 2.0f, 2.0f, 2.0f, 2.0f, 2.0f, 2.0f, 2.0f, 2.0f, 2.0f},
     {3.0f, 3.0f, 3.0f, 3.0f, 3.0f, 3.0f, 3.0f, 3.0f, 3.0f, 3.0f, 3.0f}},

    // Metal: bright and ringing. The resonance comes in early and is
    // strongest in the upper mids and the treble, so sweeps whistle and
    // clang; a little resonance remains even at peak 0. The top rows
    // oscillate with little cubic damping, so the tone hits the band limit
    // and comes out edgy. Symmetric, hard clipping that grows with the
    // cut-off adds odd harmonics to the highs.
    {{"Metal.fil", 0.8f},
     1.0f,
     0.05f,
     {1.05f, 1.05f, 1.08f, 1.12f, 1.18f, 1.25f, 1.32f, 1.36f, 1.30f, 1.20f, 1.20f},
     1.1f,
     0.02f,
     0.06f,
     {0.8f, 0.8f, 0.8f, 1.0f, 1.2f, 1.5f, 1.8f, 2.2f, 2.5f, 2.5f, 2.5f},
     {1.6f, 1.6f, 1.6f, 2.0f, 2.4f, 3.0f, 3.6f, 4.4f, 5.0f, 5.0f, 5.0f}},

    // Easy Going: smooth and relaxed, never oscillating. The resonance rises
    // evenly with the peak but stays modest (a quality of at most about 9)
    // and is kept lower in the bass, so low notes keep their body when the
    // peak is up. Cubic damping rounds off loud resonances; the clipper
    // only softens peaks (drive about 0.1 to 0.25, slightly asymmetric).
    {{"EasyGoing.fil", 0.7f},
     0.8f,
     0.0f,
     {0.45f, 0.50f, 0.55f, 0.62f, 0.70f, 0.76f, 0.80f, 0.80f, 0.76f, 0.72f, 0.72f},
     1.0f,
     0.3f,
     1.0f,
     {0.15f, 0.15f, 0.15f, 0.15f, 0.15f, 0.15f, 0.15f, 0.15f, 0.15f, 0.15f, 0.15f},
     {0.35f, 0.35f, 0.35f, 0.35f, 0.35f, 0.35f, 0.35f, 0.35f, 0.35f, 0.35f, 0.35f}},
};

// The frequency coefficient of the filter section at column c (44.1 kHz).
double columnCoefficient(int c) {
  const double step =
      (FilterCharacteristic::cDefaultMaxFrequency - FilterCharacteristic::cDefaultMinFrequency) / (cSteps - 1);
  const double hz = std::exp2(FilterCharacteristic::cDefaultMinFrequency + step * c);
  const double ratio = std::fmin(hz / 44100.0, 1.0);
  return std::fmin(2.0 * std::sin(M_PI / 3.0 * ratio), 0.95);
}

} // namespace

namespace FilterCharacteristicPresets {

const FilterCharacteristicPreset& get(int index) {
  if (index < 0 || index >= cCount) index = 0;
  return cDesigns[index].preset;
}

int find(const std::string& fileName) {
  for (int i = 0; i < cCount; ++i)
    if (fileName == cDesigns[i].preset.fileName) return i;
  return -1;
}

bool apply(int index, FilterCharacteristic& style) {
  if (index < 0 || index >= cCount) return false;
  const Design& d = cDesigns[index];
  style.tableSize = cSteps;
  style.minFrequency = FilterCharacteristic::cDefaultMinFrequency;
  style.maxFrequency = FilterCharacteristic::cDefaultMaxFrequency;
  style.clipBalance = d.clipBalance;
  for (int r = 0; r < cSteps; ++r) {
    const double peak = r / double(cSteps - 1);
    const double peakSquared = peak * peak;
    const double dampShape = std::pow(peak, static_cast<double>(d.dampCurve));
    for (int c = 0; c < cSteps; ++c) {
      const double damp = d.dampBottom + (d.dampTop[c] - d.dampBottom) * dampShape;
      const double kappa = d.kappaLow + (d.kappaTop - d.kappaLow) * peakSquared;
      const double cubic = std::fmin(kappa * columnCoefficient(c), 0.1);
      const double clip = d.clipLow[c] + (d.clipTop[c] - d.clipLow[c]) * peakSquared;
      style.getDampInputTable().setValue(c, r, static_cast<float>(damp));
      style.getCubicDampingTable().setValue(c, r, static_cast<float>(cubic));
      style.getClipScaleTable().setValue(c, r, static_cast<float>(clip));
    }
  }
  return true;
}

int writeAll(const std::string& folder) {
  std::string base = folder;
  if (!base.empty() && base.back() != '/') base += '/';
  int written = 0;
  for (int i = 0; i < cCount; ++i) {
    FilterCharacteristic style("", cDesigns[i].preset.level);
    apply(i, style);
    if (style.saveToFile(base + cDesigns[i].preset.fileName)) ++written;
  }
  return written;
}

} // namespace FilterCharacteristicPresets
