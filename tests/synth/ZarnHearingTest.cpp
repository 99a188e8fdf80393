// What a musician hears and could check with a meter: how a release and a
// decay bend, how far velocity and the level knobs move the level, how a
// hard-panned oscillator sits, how the filter follows the keys and its
// pan, that note changes, a filter switched under a note, a restart of a
// sounding phase-synced voice and an LFO restarted under held notes do not
// click, and that the output carries no DC.
// Every expected value comes from the musical rule, never from the
// engine's own functions.

#include "synth/ModulationMatrixParameterSet.h"
#include "tests/synth/ZarnTestSupport.h"
#include "tests/support/LargestStep.h"

#include <gtest/gtest.h>

#include <memory>

using namespace zarntest;

namespace {

double rmsAt(const std::vector<float>& x, double seconds, double width = 0.01) {
  const size_t centre = static_cast<size_t>(seconds * kRate);
  const size_t half = static_cast<size_t>(width * kRate / 2);
  return rms(x, centre - half, centre + half);
}

// The largest step between neighbouring samples of either channel in [from, to) seconds.
double largestStep(const Synth& s, double from, double to) {
  const size_t a = static_cast<size_t>(from * kRate) + 1, b = static_cast<size_t>(to * kRate);
  return std::max(zarn::test::largestStep(s.left, a, b), zarn::test::largestStep(s.right, a, b));
}

double mean(const std::vector<float>& x, size_t from, size_t to) {
  double sum = 0.0;
  for (size_t i = from; i < to; ++i) sum += x[i];
  return sum / static_cast<double>(to - from);
}

// White noise through Filter 1 as a resonant low pass at 1 kHz.
void resonantNoise(Synth& s) {
  plainPatch(s);
  Synth::set(s->osc1.level, 0.0f);
  Synth::set(s->noiseLevel, 1.0f);
  Synth::set(s->filter1.enabled, 1.0f);
  Synth::set(s->filter1.freq, s->filter1.freq.getTransform().invertValue(std::log2(1000.0f)));
  Synth::set(s->filter1.peak, 0.9f);
}

// The resonance peak of a channel of filtered noise held from 0.1 s, from
// seven averaged spectra.
double resonancePeakHz(const std::vector<float>& x) {
  Spectrum sum = spectrum(x, 4410, 8192);
  for (int k = 1; k < 7; ++k) {
    const Spectrum more = spectrum(x, 4410 + static_cast<size_t>(k) * 8192, 8192);
    for (size_t b = 0; b < sum.power.size(); ++b) sum.power[b] += more.power[b];
  }
  return sum.peakHz(100.0, 12000.0);
}

void slot(ZarnPlugin& z, int n, int source, int target, float level) {
  ModulationMatrixParameterSet::SlotParameters& s = z.getModMatrixParameters()->at(n);
  Synth::set(s.source, static_cast<float>(source + 1));
  Synth::set(s.target, static_cast<float>(target + 1));
  Synth::set(s.level, level);
}

} // namespace

TEST(ZarnHearingTest, TheReleaseFallsExponentially) {
  // Release 0.6 s: the level falls like e^(-5t/T) (bent to reach zero at
  // T), -10.9 dB a quarter of the way in and -22.4 dB halfway.
  Synth s;
  plainPatch(s, Oscillator::Triangle);
  Synth::set(s->egMain.release, s->egMain.release.getTransform().invertValue(0.6f));
  s.settle();
  s.noteOn(57, 127);
  s.render(0.5);
  s.noteOff(57);
  s.render(0.7);
  const double held = rms(s.left, static_cast<size_t>(0.3 * kRate), static_cast<size_t>(0.5 * kRate));
  auto expected = [](double x) { return toDB((std::exp(-5.0 * x) - std::exp(-5.0)) / (1.0 - std::exp(-5.0))); };
  EXPECT_NEAR(toDB(rmsAt(s.left, 0.5 + 0.15) / held), expected(0.25), 1.0);
  EXPECT_NEAR(toDB(rmsAt(s.left, 0.5 + 0.3) / held), expected(0.5), 1.5);
  EXPECT_LT(rmsAt(s.left, 0.5 + 0.62), held * 1e-4);
}

TEST(ZarnHearingTest, AReleaseEndsWhereNobodyCanHearItAndNotBefore) {
  // A 2.75 s release played soft (velocity 1) and loud (127) on two
  // instances: a saw through two driven resonant filters side by side
  // (peaks near three times a full-scale wave); and a saw that the mod
  // wheel silences from 1 s into the release until 120 ms before its end.
  // The soft voice sounds as the loud one scaled by the ratio of their
  // held levels, to within the floor of -96 dBFS at every sample: nothing
  // above the floor is lost (not the resonant peaks, not the saw coming
  // back after more than a second of silence) and its end steps by less
  // than the floor. And it does end where it can no longer be heard: 10 ms before
  // the release's curve would end, the soft voice is silent while the
  // loud one sounds on.
  const double floorLevel = std::pow(10.0, -96.0 / 20.0);
  const double release = 2.75;
  for (bool wheel : {false, true}) {
    SCOPED_TRACE(wheel ? "a saw the wheel silences" : "two resonant filters");
    auto play = [&](int velocity) {
      auto s = std::make_unique<Synth>();
      plainPatch(*s);
      ZarnPlugin& z = **s;
      Synth::set(z.egMain.release, z.egMain.release.getTransform().invertValue(static_cast<float>(release)));
      Synth::set(z.volume, 0.3f);
      if (wheel) {
        slot(z, 0, zarn::cSourceModWheel, zarn::cTargetOsc1Level, 1.0f);
        Synth::set(z.getModMatrixParameters()->at(0).inverted, 1.0f);
      } else {
        // Both filters side by side, each a driven resonant low pass.
        Synth::set(z.filterRouting, static_cast<float>(ZarnVoice::cParallel));
        for (auto* f : {&z.filter1, &z.filter2}) {
          Synth::set(f->enabled, 1.0f);
          Synth::set(f->freq, f->freq.getTransform().invertValue(std::log2(600.0f)));
          Synth::set(f->peak, 0.8f);
          Synth::set(f->characteristic, 3.0f);
        }
      }
      s->settle();
      s->noteOn(45, velocity);
      s->render(0.25);
      s->noteOff(45);
      s->render(1.0);
      if (wheel) s->controller(1, 127);
      s->render(release - 1.0 - 0.12);
      if (wheel) s->controller(1, 0);
      s->render(0.12 - 0.01);
      return s;
    };
    const auto soft = play(1);
    const auto loud = play(127);
    EXPECT_TRUE((*soft)->getVoice(0)->isMute());
    EXPECT_FALSE((*loud)->getVoice(0)->isMute());
    soft->render(0.1);
    loud->render(0.1);
    const size_t held = static_cast<size_t>(0.25 * kRate);
    const double ratio = rms(soft->left, 0, held) / rms(loud->left, 0, held);
    ASSERT_NEAR(toDB(ratio), -18.0 * 126.0 / 127.0, 0.5);
    double lost = 0.0;
    for (std::vector<float> Synth::*ch : {&Synth::left, &Synth::right})
      for (size_t i = 0; i < soft->size(); ++i)
        lost = std::max(lost, std::fabs((*soft.*ch)[i] - ratio * (*loud.*ch)[i]));
    EXPECT_LT(lost, floorLevel);
  }
}

TEST(ZarnHearingTest, TheDecayBendsTowardsTheSustainEitherWay) {
  // Decay 0.6 s, no attack: from full level the envelope falls towards a
  // sustain of 0.25 along the release's curve, e^(-5t/T) bent to arrive at
  // T. Raising the sustain to 1 while the key is held starts the decay
  // over, upwards from where it stands, along the mirrored curve,
  // 1 - e^(-5t/T) bent the same way; the new level reaches the envelope
  // over a few milliseconds, so the rise lags its curve a little.
  Synth s;
  plainPatch(s, Oscillator::Triangle);
  Synth::set(s->egMain.decay, s->egMain.decay.getTransform().invertValue(0.6f));
  Synth::set(s->egMain.sustain, 0.25f);
  s.settle();
  s.noteOn(57, 127);
  s.render(1.0);
  const double low = rms(s.left, static_cast<size_t>(0.8 * kRate), static_cast<size_t>(1.0 * kRate));
  Synth::set(s->egMain.sustain, 1.0f);
  s.render(1.0);
  const double full = rms(s.left, static_cast<size_t>(1.8 * kRate), static_cast<size_t>(2.0 * kRate));
  EXPECT_NEAR(toDB(full / low), toDB(4.0), 0.2);
  const double e5 = std::exp(-5.0);
  auto falling = [&](double x) { return toDB(0.25 + 0.75 * (std::exp(-5.0 * x) - e5) / (1.0 - e5)); };
  auto rising = [&](double x) { return toDB(0.25 + 0.75 * (1.0 - std::exp(-5.0 * x)) / (1.0 - e5)); };
  EXPECT_NEAR(toDB(rmsAt(s.left, 0.6 * 0.25) / full), falling(0.25), 0.3);
  EXPECT_NEAR(toDB(rmsAt(s.left, 0.6 * 0.5) / full), falling(0.5), 0.3);
  EXPECT_NEAR(toDB(rmsAt(s.left, 1.0 + 0.6 * 0.25) / full), rising(0.25), 0.5);
  EXPECT_NEAR(toDB(rmsAt(s.left, 1.0 + 0.6 * 0.5) / full), rising(0.5), 0.2);
}

TEST(ZarnHearingTest, VelocitySpansEighteenDecibels) {
  // The touch is linear in decibels: 18 dB from velocity 127 down to 0, so
  // 13.7 dB between 127 and 30.
  double level[2];
  const int velocities[2] = {127, 30};
  for (int k = 0; k < 2; ++k) {
    Synth s;
    plainPatch(s);
    s.settle();
    s.noteOn(60, velocities[k]);
    s.render(0.3);
    level[k] = rms(s.left, 4410, 13230);
  }
  EXPECT_NEAR(toDB(level[0] / level[1]), 18.0 * 97.0 / 127.0, 0.3);
}

TEST(ZarnHearingTest, LevelKnobsAreSquareLawInAmplitude) {
  // An oscillator's level knob at half way sounds 12 dB below its top, at
  // a quarter 24 dB; the noise level knob follows the same law.
  auto level = [](float osc, float noise) {
    Synth s;
    plainPatch(s);
    Synth::set(s->osc1.level, osc);
    Synth::set(s->noiseLevel, noise);
    s.settle();
    s.noteOn(60, 127);
    s.render(0.3);
    return rms(s.left, 4410, 13230);
  };
  const double top = level(1.0f, 0.0f);
  EXPECT_NEAR(toDB(level(0.5f, 0.0f) / top), -12.04, 0.1);
  EXPECT_NEAR(toDB(level(0.25f, 0.0f) / top), -24.08, 0.1);
  const double noise = level(0.0f, 1.0f);
  EXPECT_NEAR(toDB(level(0.0f, 0.5f) / noise), -12.04, 0.3);
}

TEST(ZarnHearingTest, AHardPannedOscillatorSitsOnOneSide) {
  // A balance law: the near side keeps the full level, the far side falls
  // in proportion, to half (-6 dB) at half pan and to silence at the end.
  for (float pan : {1.0f, -1.0f, 0.5f}) {
    Synth s;
    plainPatch(s);
    Synth::set(s->osc1.pan, pan);
    s.settle();
    s.noteOn(60, 127);
    s.render(0.3);
    Synth centre;
    plainPatch(centre);
    centre.settle();
    centre.noteOn(60, 127);
    centre.render(0.3);
    const double full = rms(centre.left, 4410, 13230);
    const std::vector<float>& nearSide = pan > 0.0f ? s.right : s.left;
    const std::vector<float>& farSide = pan > 0.0f ? s.left : s.right;
    EXPECT_NEAR(toDB(rms(nearSide, 4410, 13230) / full), 0.0, 0.1) << pan;
    if (std::fabs(pan) == 1.0f)
      EXPECT_LT(rms(farSide, 4410, 13230), full * 1e-4) << pan;
    else
      EXPECT_NEAR(toDB(rms(farSide, 4410, 13230) / full), -6.02, 0.2) << pan;
  }
}

TEST(ZarnHearingTest, FullKeyTrackingMovesTheCutoffWithThePitch) {
  // White noise through a resonant low pass whose cut-off follows the keys
  // one to one (slot level 1): two octaves down or up the keyboard from
  // middle C, the resonance peak moves two octaves down or up. The peak
  // is found to about 0.02 octave, so a slope a few per cent off fails.
  auto resonance = [](int note) {
    Synth s;
    resonantNoise(s);
    slot(*s, 0, ModulationMatrix::cSourceKBTrack, ModulationMatrix::cTargetFilter1Freq, 1.0f);
    s.settle();
    s.noteOn(note, 127);
    s.render(1.6);
    return resonancePeakHz(s.left);
  };
  const double low = resonance(36);
  const double middle = resonance(60);
  const double high = resonance(84);
  EXPECT_NEAR(std::log2(middle / low), 2.0, 0.06);
  EXPECT_NEAR(std::log2(high / middle), 2.0, 0.06);
  EXPECT_NEAR(std::log2(middle / 1000.0), 0.0, 0.03);
}

TEST(ZarnHearingTest, FilterPanPartsTheSidesCutOffs) {
  // The filter's pan moves the two sides' cut-offs apart, an octave each
  // way at full pan: to the left, the left side darker and the right
  // brighter; half way, half an octave each.
  for (float pan : {-1.0f, 0.5f}) {
    Synth s;
    resonantNoise(s);
    Synth::set(s->filter1.pan, pan);
    s.settle();
    s.noteOn(60, 127);
    s.render(1.6);
    EXPECT_NEAR(std::log2(resonancePeakHz(s.left) / 1000.0), pan, 0.04) << pan;
    EXPECT_NEAR(std::log2(resonancePeakHz(s.right) / 1000.0), -pan, 0.04) << pan;
  }
}

TEST(ZarnHearingTest, NoteAndFilterChangesDoNotClick) {
  // A mono line (triangle, legato): root held at velocity 120 for half a
  // second, then a two-note chord at velocity 40 arriving in the same sample.
  auto monoChord = [](int root, double after) {
    auto s = std::make_unique<Synth>();
    plainPatch(*s, Oscillator::Triangle);
    Synth::set((*s)->polyphony, static_cast<float>(VoiceManager::cMono));
    Synth::set((*s)->portamentoMode, 1.0f);
    s->settle();
    s->noteOn(root, 120);
    s->render(0.5);
    s->noteOn(root + 4, 40);
    s->noteOn(root + 7, 40);
    s->render(after);
    return s;
  };
  // The voice moves to the new touch and pitch without a step larger than
  // the wave's own.
  {
    const auto s = monoChord(48, 0.3);
    const double before = largestStep(*s, 0.25, 0.5);
    EXPECT_LT(largestStep(*s, 0.5, 0.8), 1.5 * before);
  }
  // The same high up, where a millisecond holds two cycles: the touch
  // glides over 5 ms from velocity 120 to 40 (-11.3 dB on the 18 dB scale)
  // instead of jumping there.
  {
    const auto p = monoChord(96, 0.1);
    const Synth& s = *p;
    const double held = rms(s.left, static_cast<size_t>(0.4 * kRate), static_cast<size_t>(0.5 * kRate));
    const size_t at = static_cast<size_t>(0.5 * kRate);
    const size_t ms = static_cast<size_t>(0.001 * kRate);
    EXPECT_GT(toDB(rms(s.left, at, at + ms) / held), -3.0);
    EXPECT_NEAR(toDB(rms(s.left, at + 10 * ms, at + 50 * ms) / held), -18.0 * 80.0 / 127.0, 1.0);
  }
  // Poly: an overlapping line of uneven velocities over a held note; each
  // new voice enters through its attack.
  {
    Synth s;
    plainPatch(s, Oscillator::Triangle);
    Synth::set(s->egMain.attack, s->egMain.attack.getTransform().invertValue(0.005f));
    s.settle();
    s.noteOn(48, 100);
    s.render(0.3);
    const double before = largestStep(s, 0.1, 0.3);
    const int line[4][2] = {{52, 127}, {55, 30}, {59, 110}, {62, 50}};
    for (const auto& n : line) {
      s.noteOn(n[0], n[1]);
      s.render(0.05);
      s.noteOff(n[0]);
      s.render(0.05);
    }
    // Five voices at once step at most by the sum of their own slopes.
    EXPECT_LT(largestStep(s, 0.3, 0.7), 5.0 * before);
  }
  // A filter switched on or off under a held note glides between the open
  // and the filtered wave instead of jumping from one to the other.
  {
    Synth s;
    plainPatch(s, Oscillator::Triangle);
    Synth::set(s->filter1.freq, s->filter1.freq.getTransform().invertValue(std::log2(200.0f)));
    s.settle();
    s.noteOn(69, 127);
    s.render(0.3);
    const double before = largestStep(s, 0.1, 0.3);
    Synth::set(s->filter1.enabled, 1.0f);
    s.render(0.3);
    Synth::set(s->filter1.enabled, 0.0f);
    s.render(0.3);
    EXPECT_LT(largestStep(s, 0.3, 0.9), 1.5 * before);
  }
}

namespace {

// Osc 1's triangle alone with phase sync, filters off, EG Main rising over
// 50 ms to full sustain: nothing hides a step of the wave.
void phaseSyncedTriangle(Synth& s) {
  plainPatch(s, Oscillator::Triangle);
  Synth::set(s->osc1.phaseSync, 1.0f);
  Synth::set(s->egMain.attack, s->egMain.attack.getTransform().invertValue(0.05f));
  s.settle();
}

} // namespace

TEST(ZarnHearingTest, APhaseSyncedVoiceRestartedWhileSoundingDoesNotClick) {
  // Each way a sounding voice starts again: the largest step from a
  // millisecond before the restart to 10 ms after it, against the new
  // note's own largest step once it holds (a jump to the synced phase
  // stepped 2.5 to 27 times as far).
  enum Way { cMonoLine, cPedal, cStolen, cHardSync };
  for (Way way : {cMonoLine, cPedal, cStolen, cHardSync}) {
    SCOPED_TRACE(testing::Message() << "way " << way);
    Synth s;
    phaseSyncedTriangle(s);
    if (way == cMonoLine || way == cHardSync) Synth::set(s->polyphony, static_cast<float>(VoiceManager::cMono));
    if (way == cHardSync) Synth::set(s->osc1.sync, 1.5f); // a ratio: 0.58 octaves
    if (way == cStolen) Synth::set(s->totalVoices, 1.0f);
    s.settle();
    if (way == cPedal) s.controller(64, 127);
    s.noteOn(57, 127);
    s.render(0.2);
    // A mono line's key let go just before the next one comes (the voice
    // releases); under the pedal the same key again; a held key's only
    // voice taken for another.
    if (way != cStolen) s.noteOff(57);
    s.render(0.0213);
    const double at = static_cast<double>(s.size()) / kRate;
    s.noteOn(way == cPedal ? 57 : 60, 127);
    s.render(0.3);
    const double own = largestStep(s, at + 0.05, at + 0.3);
    EXPECT_LT(largestStep(s, at - 0.001, at + 0.01), 1.5 * own);
  }
}

TEST(ZarnHearingTest, APhaseSyncedVoiceStartingFromSilenceStartsAsItAlwaysDid) {
  // Two instances play the same mono line, the first with phase sync, the
  // second without, and are silenced (All Sound Off) 64 samples after a
  // restart, in the middle of the first one's crossfade. With phase sync
  // on in both, the next note starts from silence in both: the same
  // samples, to the bit, whatever the voice did before.
  Synth a, b;
  for (Synth* s : {&a, &b}) {
    phaseSyncedTriangle(*s);
    Synth::set((*s)->polyphony, static_cast<float>(VoiceManager::cMono));
    Synth::set((*s)->osc1.phaseSync, s == &a ? 1.0f : 0.0f);
    s->settle();
    s->noteOn(57, 127);
    s->render(0.2);
    s->noteOn(60, 127);
    s->renderSamples(64);
    s->controller(120, 0);
    s->render(0.1);
    Synth::set((*s)->osc1.phaseSync, 1.0f);
    s->clear();
    s->noteOn(64, 100);
    s->render(0.2);
  }
  EXPECT_GT(peak(a.left), 0.1);
  for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(a.left[i], b.left[i]) << "sample " << i;
}

TEST(ZarnHearingTest, AnLfoRestartedByANoteDoesNotClickOnHeldNotes) {
  // LFO 2 (sine, mono-polar, 1.5 Hz) moves Osc 1's level through a slot;
  // a second note 0.25 s after the first restarts it under the first. The
  // step at the restart against the wave's own largest step before it
  // (7 times as far when the LFO jumped); the LFO still restarts: after
  // its ramp the sound differs from that of an LFO left to run.
  auto play = [](bool trigger) {
    auto s = std::make_unique<Synth>();
    plainPatch(*s, Oscillator::Triangle);
    ZarnPlugin& z = **s;
    Synth::set(z.osc1.level, 0.6f);
    Synth::set(z.lfo2.waveForm, static_cast<float>(ModulationGenerator::cSine));
    Synth::set(z.lfo2.polarity, static_cast<float>(ModulationGenerator::cMonoPolar));
    Synth::set(z.lfo2.frequency, z.lfo2.frequency.getTransform().invertValue(1.5f));
    Synth::set(z.lfo2.midiTrigger, trigger ? 1.0f : 0.0f);
    slot(z, 0, zarn::cSourceLFO2, zarn::cTargetOsc1Level, 0.5f);
    s->settle();
    s->noteOn(57, 127);
    s->render(0.25);
    s->noteOn(64, 127);
    s->render(0.25);
    return s;
  };
  const auto triggered = play(true);
  const double own = largestStep(*triggered, 0.1, 0.249);
  EXPECT_LT(largestStep(*triggered, 0.249, 0.26), 1.5 * own);
  const auto running = play(false);
  EXPECT_GT(std::fabs(rmsAt(triggered->left, 0.3) - rmsAt(running->left, 0.3)), 0.1 * rmsAt(running->left, 0.3));
}

TEST(ZarnHearingTest, NoDcReachesTheOutput) {
  // A raw sawtooth hard-synced at 2.6 octaves leaves a strong offset in the
  // wave itself; after the first tenth of a second the output's mean lies
  // 50 dB or more below its RMS.
  Synth s;
  plainPatch(s);
  Synth::set(s->osc1.sync, 2.6f);
  s.settle();
  s.noteOn(69, 127);
  s.render(1.0);
  const size_t from = static_cast<size_t>(0.2 * kRate), to = static_cast<size_t>(1.0 * kRate);
  EXPECT_LT(toDB(std::fabs(mean(s.left, from, to)) / rms(s.left, from, to)), -50.0);

  // The lowest bass keeps its weight: the fundamental of a triangle two
  // octaves below C1 (16.4 Hz) lies within half a decibel of the one of
  // C3's.
  auto fundamental = [](int note) {
    Synth t;
    plainPatch(t, Oscillator::Triangle);
    Synth::set(t->osc1.scale, -1.0f);
    t.settle();
    t.noteOn(note, 127);
    t.render(2.2);
    const Spectrum sp = spectrum(t.left, static_cast<size_t>(0.3 * kRate), 65536);
    return sp.at(noteHz(note) / 2.0);
  };
  EXPECT_NEAR(10.0 * std::log10(fundamental(24) / fundamental(48)), 0.0, 0.5);
}
