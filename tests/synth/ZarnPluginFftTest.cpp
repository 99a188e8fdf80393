// What each waveform, filter response and routing does to the spectrum,
// noise colours, hard sync, pulse-width modulation, and portamento timing.

#include "synth/ModulationMatrixParameterSet.h"
#include "tests/synth/ZarnTestSupport.h"

#include <gtest/gtest.h>

using namespace zarntest;

namespace {

// The natural Freq value of a cut-off in Hz.
float cutoff(ZarnFilterParameters& f, float hz) { return f.freq.getTransform().invertValue(std::log2(hz)); }

// Harmonic h of a note, in dB relative to the fundamental.
double harmonicDB(const Spectrum& sp, double f0, int h) { return 10.0 * std::log10(sp.at(f0 * h) / sp.at(f0)); }

Spectrum playAndAnalyse(Synth& s, int note, double seconds = 0.6, int size = 16384) {
  s.noteOn(note, 127);
  s.render(seconds);
  return spectrum(s.left, 4410, size);
}

// Noise through the filters: osc 1 silent, white noise at full level.
void noisePatch(Synth& s) {
  plainPatch(s);
  Synth::set(s->osc1.level, 0.0f);
  Synth::set(s->noiseLevel, 1.0f);
  s.settle();
}

// Power per hertz between lo and hi.
double density(const Spectrum& sp, double lo, double hi) { return sp.band(lo, hi) / (hi - lo); }

} // namespace

TEST(ZarnPluginSpectrumTest, WaveFormsHaveTheirHarmonics) {
  const double f0 = 220.0;
  {
    Synth s;
    plainPatch(s, Oscillator::Sawtooth);
    const Spectrum sp = playAndAnalyse(s, 57);
    EXPECT_NEAR(harmonicDB(sp, f0, 2), -6.0, 1.5);
    EXPECT_NEAR(harmonicDB(sp, f0, 3), -9.5, 1.5);
  }
  {
    Synth s;
    plainPatch(s, Oscillator::Triangle);
    const Spectrum sp = playAndAnalyse(s, 57);
    // A soft triangle: its own third harmonic is damped far below the
    // plain triangle's -19 dB, and what is left of the upper partials is
    // the 2 % of sawtooth added for edge.
    EXPECT_NEAR(harmonicDB(sp, f0, 3), -45.8, 2.5);
    EXPECT_NEAR(harmonicDB(sp, f0, 2), -43.0, 2.5);
  }
  {
    Synth s;
    plainPatch(s, Oscillator::Square);
    const Spectrum sp = playAndAnalyse(s, 57);
    // Half pulse, half sawtooth: the odd harmonics of both and the even
    // ones of the sawtooth.
    EXPECT_NEAR(harmonicDB(sp, f0, 3), -9.5, 1.5);
    EXPECT_NEAR(harmonicDB(sp, f0, 2), -16.0, 1.5);
  }
  {
    // A narrower pulse has even harmonics.
    Synth s;
    plainPatch(s, Oscillator::Square);
    Synth::set(s->osc1.pulseWidth, 0.5f);
    s.settle();
    const Spectrum sp = playAndAnalyse(s, 57);
    EXPECT_GT(harmonicDB(sp, f0, 2), -15.0);
  }
}

TEST(ZarnPluginSpectrumTest, NoiseSitsBelowASawtoothOfTheSameLevel) {
  Synth saw;
  plainPatch(saw, Oscillator::Sawtooth);
  saw.noteOn(57, 127);
  saw.render(0.5);
  Synth noise;
  noisePatch(noise);
  noise.noteOn(57, 127);
  noise.render(0.5);
  // Full-level noise is a seasoning, about 12 dB under a full-level
  // sawtooth, so that it does not drive the filters into distortion.
  EXPECT_NEAR(toDB(rms(noise.left, 4410, noise.size()) / rms(saw.left, 4410, saw.size())), -12.0, 2.0);
}

TEST(ZarnPluginSpectrumTest, HardSyncBrightensButKeepsThePitch) {
  auto centroid = [](const Spectrum& sp) {
    double m = 0, w = 0;
    for (size_t k = 1; k < sp.power.size(); ++k) {
      m += sp.power[k] * static_cast<double>(k);
      w += sp.power[k];
    }
    return m / w * sp.binHz;
  };
  Synth plain;
  plainPatch(plain, Oscillator::Sawtooth);
  const Spectrum a = playAndAnalyse(plain, 45);
  Synth synced;
  plainPatch(synced, Oscillator::Sawtooth);
  Synth::set(synced->osc1.sync, 2.7f);
  synced.settle();
  const Spectrum b = playAndAnalyse(synced, 45);
  EXPECT_GT(centroid(b), 1.5 * centroid(a));
  // Still periodic at the note: the strongest line near 110 Hz is 110 Hz.
  EXPECT_NEAR(b.peakHz(100.0, 120.0), 110.0, 0.5);
}

TEST(ZarnPluginSpectrumTest, AWholeSyncRatioSoundsAsThatHarmonicsSaw) {
  // Synced at a whole ratio n, the sawtooth restarts exactly at the end of
  // its n-th cycle: what sounds is a sawtooth n times the note, with the
  // harmonics n, 2n, ... alone; the others lie 60 dB or more below the
  // n-th. A ratio a little off lets every harmonic through.
  for (int ratio : {2, 3, 4}) {
    Synth synced;
    plainPatch(synced, Oscillator::Sawtooth);
    Synth::set(synced->osc1.sync, static_cast<float>(ratio));
    synced.settle();
    const Spectrum b = playAndAnalyse(synced, 45);
    const double top = b.at(110.0 * ratio, 2);
    for (int h = 1; h <= 8; ++h) {
      if (h % ratio != 0) {
        EXPECT_LT(10 * std::log10(b.at(110.0 * h, 2) / top), -60.0) << ratio << " " << h;
      }
    }
  }
}

// A slow sweep of the pulse width, by LFO 2 (a 0.25 Hz mono-polar
// triangle restarted by the key, so the width climbs from 0 to 0.9 over
// the note's first 2 s) through a slot at 0.9: the spectrum is the pulse's
// harmonics, each with the slow sweep's own narrow skirt (well within
// 20 Hz), and nothing between them. Measured as a listener's analyser
// would: 0.37 s frames along the climb, the strongest bin more than 20 Hz
// from every harmonic against the fundamental's peak in the same frame.
// A width that reached the oscillator in steps (rounded to the table's
// points, or held for a block) would put side bands at the steps' rate
// around every harmonic; the steps come faster the fewer points the table
// has, so the high notes show them most (they stood 45 to 57 dB under the
// fundamental, against about 85 dB for a width held still). The same
// with the pulse hard-synced an octave up, whose harmonics are those of
// the octave.
TEST(ZarnPluginSpectrumTest, APulseWidthSweepLeavesNothingBetweenTheHarmonics) {
  constexpr int kFrame = 16384;
  constexpr double kNear = 20.0;
  for (const float sync : {1.0f, 2.0f}) {
    for (const int note : {72, 84, 96, 100, 108}) {
      Synth s;
      plainPatch(s, Oscillator::Square);
      ZarnPlugin& p = *s;
      Synth::set(p.lfo2.waveForm, static_cast<float>(ModulationGenerator::cTriangle));
      Synth::set(p.lfo2.polarity, static_cast<float>(ModulationGenerator::cMonoPolar));
      Synth::set(p.lfo2.frequency, p.lfo2.frequency.getTransform().invertValue(0.25f));
      Synth::set(p.lfo2.midiTrigger, 1.0f);
      p.getModMatrixController()->makeConnection(0, ModulationMatrix::cSourceLFO2,
                                                 ModulationMatrix::cTargetOsc1PulseWidth);
      Synth::set(p.getModMatrixParameters()->at(0).level, 0.9f);
      Synth::set(p.osc1.sync, sync);
      s.settle();
      s.noteOn(note, 127);
      s.render(1.95);
      const double f0 = noteHz(note) * sync;
      double worst = -300.0, firstFundamental = 0.0, lastFundamental = 0.0;
      for (size_t at = 2205; at + kFrame <= s.size(); at += 4410) {
        const Spectrum sp = spectrum(s.left, at, kFrame);
        double fundamental = 0.0, rest = 0.0;
        for (size_t k = 0; k < sp.power.size(); ++k) {
          const double hz = static_cast<double>(k) * sp.binHz;
          const double h = std::round(hz / f0);
          if (std::fabs(hz - h * f0) > kNear)
            rest = std::max(rest, sp.power[k]);
          else if (h == 1.0)
            fundamental = std::max(fundamental, sp.power[k]);
        }
        worst = std::max(worst, 10.0 * std::log10(rest / fundamental));
        if (firstFundamental == 0.0) firstFundamental = fundamental;
        lastFundamental = fundamental;
      }
      EXPECT_LT(worst, -65.0) << "note " << note << " sync " << sync;
      // The width did move: from about 0.1 to 0.8 the pulse's (duty
      // (1 - width) / 2) fundamental and the sawtooth share under it
      // fall by 9 dB and more.
      EXPECT_LT(10.0 * std::log10(lastFundamental / firstFundamental), -6.0) << "note " << note << " sync " << sync;
    }
  }
}

TEST(ZarnPluginSpectrumTest, WhiteAndPinkNoise) {
  Synth white;
  noisePatch(white);
  white.noteOn(60, 127);
  white.render(1.0);
  const Spectrum w = spectrum(white.left, 4410, 32768);
  Synth pink;
  noisePatch(pink);
  Synth::set(pink->noiseType, 1.0f);
  pink.settle();
  pink.noteOn(60, 127);
  pink.render(1.0);
  const Spectrum p = spectrum(pink.left, 4410, 32768);
  // White: flat per hertz; pink: falls 3 dB an octave (15 dB over five).
  EXPECT_NEAR(10 * std::log10(density(w, 6400, 12800) / density(w, 200, 400)), 0.0, 3.0);
  EXPECT_NEAR(10 * std::log10(density(p, 6400, 12800) / density(p, 200, 400)), -15.0, 4.0);
}

TEST(ZarnPluginSpectrumTest, FilterResponsesAndSlopes) {
  struct Case {
    GenericFilter::Response response;
    GenericFilter::Slope slope;
  };
  auto run = [](GenericFilter::Response response, int slopeStep) {
    Synth s;
    noisePatch(s);
    Synth::set(s->filter1.enabled, 1.0f);
    Synth::set(s->filter1.freq, cutoff(s->filter1, 1000.0f));
    Synth::set(s->filter1.peak, 0.0f);
    Synth::set(s->filter1.response, static_cast<float>(response));
    Synth::set(s->filter1.slope, static_cast<float>(slopeStep));
    s.settle();
    s.noteOn(60, 127);
    s.render(1.0);
    return spectrum(s.left, 4410, 32768);
  };
  const Spectrum lp = run(GenericFilter::cLowPass, 0);
  const Spectrum lp24 = run(GenericFilter::cLowPass, 1);
  const Spectrum hp = run(GenericFilter::cHighPass, 0);
  const Spectrum bp = run(GenericFilter::cBandPass, 0);
  auto dB = [](double a, double b) { return 10 * std::log10(a / b); };
  const double lowBand[2] = {100, 300};
  const double highBand[2] = {4000, 8000};
  // Low pass: the octaves above the cut-off fall away; 24 dB steeper still.
  EXPECT_LT(dB(density(lp, highBand[0], highBand[1]), density(lp, lowBand[0], lowBand[1])), -20.0);
  EXPECT_LT(dB(density(lp24, highBand[0], highBand[1]), density(lp24, lowBand[0], lowBand[1])),
            dB(density(lp, highBand[0], highBand[1]), density(lp, lowBand[0], lowBand[1])) - 15.0);
  // High pass: the other way round.
  EXPECT_LT(dB(density(hp, lowBand[0], lowBand[1]), density(hp, highBand[0], highBand[1])), -20.0);
  // Band pass: the cut-off's octave stands out on both sides.
  const double centre = density(bp, 800, 1250);
  EXPECT_LT(dB(density(bp, lowBand[0], lowBand[1]), centre), -10.0);
  EXPECT_LT(dB(density(bp, highBand[0], highBand[1]), centre), -10.0);
}

TEST(ZarnPluginSpectrumTest, RoutingsCombineTheFiltersAsSaid) {
  // Filter 1 low pass at 400 Hz, filter 2 high pass at 3 kHz.
  auto run = [](int routing) {
    Synth s;
    plainPatch(s, Oscillator::Sawtooth);
    Synth::set(s->osc2.level, 1.0f);
    Synth::set(s->osc2.waveForm, static_cast<float>(Oscillator::Sawtooth));
    Synth::set(s->osc2.scale, 3.0f); // osc 2 three octaves up
    Synth::set(s->filter1.enabled, 1.0f);
    Synth::set(s->filter2.enabled, 1.0f);
    Synth::set(s->filter1.freq, cutoff(s->filter1, 400.0f));
    Synth::set(s->filter2.freq, cutoff(s->filter2, 3000.0f));
    Synth::set(s->filter1.peak, 0.0f);
    Synth::set(s->filter2.peak, 0.0f);
    Synth::set(s->filter2.response, static_cast<float>(GenericFilter::cHighPass));
    Synth::set(s->filterRouting, static_cast<float>(routing));
    // Both oscillators hard left: whichever way the filters are joined,
    // nothing reaches the right side.
    Synth::set(s->osc1.pan, -1.0f);
    Synth::set(s->osc2.pan, -1.0f);
    s.settle();
    const Spectrum left = playAndAnalyse(s, 45, 1.0, 32768); // osc 1 at 110 Hz, osc 2 at 880 Hz
    EXPECT_LT(rms(s.right, 4410, s.size()), 1e-4 * rms(s.left, 4410, s.size())) << routing;
    return left;
  };
  const Spectrum serial = run(ZarnVoice::cSerial);
  const Spectrum parallel = run(ZarnVoice::cParallel);
  const Spectrum perOsc = run(ZarnVoice::cPerOscillator);
  auto dB = [](double a, double b) { return 10 * std::log10(a / b); };
  // Serial: low pass and high pass in a row leave little anywhere.
  EXPECT_LT(dB(serial.at(110), parallel.at(110)), -20.0);
  EXPECT_LT(dB(serial.at(7040), parallel.at(7040)), -20.0);
  // Parallel: both filters' bands.
  EXPECT_GT(dB(parallel.at(110), parallel.at(7040)), -30.0);
  // Per oscillator: osc 1's bass through the low pass, osc 2's upper
  // harmonics through the high pass, each as loud as in parallel.
  EXPECT_NEAR(dB(perOsc.at(110), parallel.at(110)), 0.0, 3.0);
  EXPECT_NEAR(dB(perOsc.at(7040), parallel.at(7040)), 0.0, 3.0);
  EXPECT_GT(perOsc.at(7040), 100.0 * serial.at(7040));
}

TEST(ZarnPluginSpectrumTest, PortamentoGlidesInTheSetTime) {
  // The frequency of a triangle from its rising zero crossings, over a
  // window of w samples starting at `from`.
  auto frequencyAt = [](const std::vector<float>& x, size_t from, size_t w) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = from + 1; i < from + w && i < x.size(); ++i) {
      if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
        const double t = static_cast<double>(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
        if (first < 0) first = t;
        last = t;
        ++crossings;
      }
    }
    return crossings > 1 ? (crossings - 1) * kRate / (last - first) : 0.0;
  };
  for (int mono = 0; mono < 2; ++mono) {
    Synth s;
    plainPatch(s, Oscillator::Triangle);
    const float seconds = 0.4f;
    Synth::set(s->portamento, s->portamento.getTransform().invertValue(seconds));
    if (mono) Synth::set(s->polyphony, static_cast<float>(VoiceManager::cMono));
    s.settle();
    s.noteOn(57, 127);
    s.render(0.3);
    if (!mono) s.noteOff(57);
    s.noteOn(69, 127);
    s.clear();
    s.render(1.0);
    const size_t w = 1024;
    const double start = frequencyAt(s.left, 0, w);
    const double half = frequencyAt(s.left, static_cast<size_t>(seconds * 0.5 * kRate) - w / 2, w);
    const double nearEnd = frequencyAt(s.left, static_cast<size_t>(seconds * 0.8 * kRate) - w / 2, w);
    const double after = frequencyAt(s.left, static_cast<size_t>((seconds + 0.05) * kRate), 4096);
    EXPECT_LT(start, 260.0) << "mono " << mono;
    EXPECT_GT(half, 260.0) << "mono " << mono;
    // The glide curve moves fast at first and eases into the note; it
    // arrives at the set time, not before.
    EXPECT_LT(half, 435.0) << "mono " << mono;
    EXPECT_LT(nearEnd, 439.0) << "mono " << mono;
    EXPECT_NEAR(after, 440.0, 1.0) << "mono " << mono;
  }
}
