// The instrument as a whole, through the plug-in core: MIDI in, samples out.

#include "synth/ModulationMatrixParameterSet.h"
#include "tests/support/AllocationCounter.h"
#include "tests/synth/ZarnTestSupport.h"

#include <gtest/gtest.h>

#include <set>

using namespace zarntest;

namespace {

// Voices whose envelope is running.
int soundingVoices(ZarnPlugin& p) {
  int n = 0;
  for (int i = 0; i < ZarnPlugin::cMaxVoices; ++i)
    if (!p.getVoice(i)->isMute()) ++n;
  return n;
}

} // namespace

TEST(ZarnPluginRenderTest, ChordFundamentalsAreAtTheirPitches) {
  Synth s;
  plainPatch(s, Oscillator::Triangle);
  const int notes[3] = {60, 64, 67};
  for (int n : notes) s.noteOn(n, 100);
  s.render(0.6);
  const Spectrum sp = spectrum(s.left, 4410, 16384);
  for (int n : notes) {
    const double hz = sp.peakHz(noteHz(n) * 0.97, noteHz(n) * 1.03);
    EXPECT_NEAR(hz, noteHz(n), noteHz(n) * 0.002) << "note " << n;
    // Well above what lies between the notes.
    EXPECT_GT(sp.at(noteHz(n)), 1e4 * sp.at(noteHz(n) * 1.06 + 3.0, 0)) << "note " << n;
  }
}

TEST(ZarnPluginRenderTest, MasterTuneScaleAndDetuneMoveThePitch) {
  Synth s;
  plainPatch(s, Oscillator::Triangle);
  Synth::set(s->masterTune, 2.0f);  // two semitones up
  Synth::set(s->osc1.scale, -1.0f); // an octave down
  s.settle();
  s.noteOn(69, 100);
  s.render(0.5);
  Spectrum sp = spectrum(s.left, 4410, 16384);
  const double expected = 220.0 * std::pow(2.0, 2.0 / 12.0);
  EXPECT_NEAR(sp.peakHz(expected * 0.9, expected * 1.1), expected, expected * 0.002);

  // Osc 2 alone, two octaves up and detuned by a full octave down: one
  // octave above the note.
  Synth t;
  plainPatch(t, Oscillator::Triangle);
  Synth::set(t->osc1.level, 0.0f);
  Synth::set(t->osc2.level, 1.0f);
  Synth::set(t->osc2.waveForm, Oscillator::Triangle);
  Synth::set(t->osc2.scale, 2.0f);
  Synth::set(t->osc2Detune, -1.0f);
  t.settle();
  t.noteOn(57, 100);
  t.render(0.5);
  sp = spectrum(t.left, 4410, 16384);
  EXPECT_NEAR(sp.peakHz(400.0, 480.0), 440.0, 1.0);
}

TEST(ZarnPluginRenderTest, TheThirtyThirdNoteStealsTheOldestVoice) {
  Synth s;
  plainPatch(s);
  for (int i = 0; i < 32; ++i) {
    s.noteOn(30 + i, 100);
    s.render(0.01);
  }
  EXPECT_EQ(soundingVoices(*s), 32);
  s.noteOn(100, 100);
  s.render(0.01);
  EXPECT_EQ(soundingVoices(*s), 32);
  std::set<int> notes;
  for (int i = 0; i < 32; ++i) notes.insert(s->getVoice(i)->getNote());
  EXPECT_TRUE(notes.count(100));
  EXPECT_FALSE(notes.count(30)) << "the first note played gave way";
  EXPECT_TRUE(notes.count(31));

  // Fewer voices: the fifth note steals.
  Synth t;
  plainPatch(t);
  Synth::set(t->totalVoices, 4.0f);
  t.settle();
  for (int i = 0; i < 5; ++i) t.noteOn(60 + i, 100);
  t.render(0.01);
  EXPECT_EQ(soundingVoices(*t), 4);
}

// The touch's range: ZarnHearingTest.VelocitySpansEighteenDecibels.
TEST(ZarnPluginRenderTest, TheEnvelopeShapesTheLevel) {
  // Attack 0.5 s: quiet at first, full after the attack; release: silence
  // afterwards, and the voice is free again.
  Synth e;
  plainPatch(e);
  Synth::set(e->egMain.attack, e->egMain.attack.getTransform().invertValue(0.5f));
  Synth::set(e->egMain.release, e->egMain.release.getTransform().invertValue(0.3f));
  e.settle();
  e.noteOn(60, 127);
  e.render(1.0);
  e.noteOff(60);
  e.render(1.0);
  const double early = rms(e.left, 0, 2205);
  const double middle = rms(e.left, 9922, 12127);
  const double full = rms(e.left, 30870, 39690);
  const double released = rms(e.left, 44100 + 22050, 44100 + 44100);
  EXPECT_LT(early, 0.15 * full);
  EXPECT_GT(middle, 0.2 * full);
  EXPECT_LT(middle, 0.9 * full);
  EXPECT_LT(released, 1e-4);
  // The attack is gently bent: the level rises as (1 - e^(-2 t/T)) /
  // (1 - e^-2) of the full one. Measured over five periods of middle C
  // (843 samples) around a quarter, a half and the end of the attack.
  auto attackAt = [&](double fraction) {
    const size_t centre = static_cast<size_t>(fraction * 0.5 * kRate);
    return rms(e.left, centre - 421, centre + 422) / full;
  };
  auto bent = [](double x) { return (1.0 - std::exp(-2.0 * x)) / (1.0 - std::exp(-2.0)); };
  EXPECT_NEAR(attackAt(0.25), bent(0.25), 0.01);
  EXPECT_NEAR(attackAt(0.5), bent(0.5), 0.01);
  EXPECT_NEAR(attackAt(0.95), bent(0.95), 0.01);
  EXPECT_EQ(soundingVoices(*e), 0);
}

TEST(ZarnPluginRenderTest, UnisonCopiesSpreadAcrossTheStereoField) {
  auto correlation = [](const std::vector<float>& a, const std::vector<float>& b, size_t from) {
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = from; i < a.size(); ++i) {
      ab += static_cast<double>(a[i]) * b[i];
      aa += static_cast<double>(a[i]) * a[i];
      bb += static_cast<double>(b[i]) * b[i];
    }
    return ab / std::sqrt(aa * bb);
  };
  auto level = [](const Synth& s) { return rms(s.left, 4410, s.size()) + rms(s.right, 4410, s.size()); };

  Synth one;
  plainPatch(one);
  one.noteOn(57, 127);
  one.render(1.6);
  const double single = level(one);

  // Four copies at full spread: -30, -10, +10 and +30 cents, from hard
  // left to hard right. The third harmonics lie far enough apart to tell
  // the outer copies apart: the flattest sounds on the left only, the
  // sharpest on the right only.
  Synth s;
  plainPatch(s);
  Synth::set(s->unisonVoices, 4.0f);
  Synth::set(s->unisonSpread, 1.0f);
  s.settle();
  s.noteOn(57, 127);
  s.render(1.6);
  EXPECT_LT(correlation(s.left, s.right, 4410), 0.7);
  const double flat = 3 * 220.0 * std::pow(2.0, -0.3 / 12.0);
  const double sharp = 3 * 220.0 * std::pow(2.0, 0.3 / 12.0);
  const Spectrum l = spectrum(s.left, 4410, 65536);
  const Spectrum r = spectrum(s.right, 4410, 65536);
  EXPECT_GT(l.at(flat, 1), 100.0 * l.at(sharp, 1));
  EXPECT_GT(r.at(sharp, 1), 100.0 * r.at(flat, 1));
  // Each outer copy sounds where its detune puts it, to about a quarter of a
  // cent (the next copy's harmonic lies 7 Hz away, outside the search).
  EXPECT_NEAR(l.peakHz(flat - 4.0, flat + 4.0), flat, 0.1);
  EXPECT_NEAR(r.peakHz(sharp - 4.0, sharp + 4.0), sharp, 0.1);
  // Loudness does not follow the unison count.
  EXPECT_NEAR(toDB(level(s) / single), 0.0, 3.0);

  // At the default spread too; without spread the copies stay in the
  // middle.
  for (float spread : {0.3f, 0.0f}) {
    Synth t;
    plainPatch(t);
    Synth::set(t->unisonVoices, 8.0f);
    Synth::set(t->unisonSpread, spread);
    t.settle();
    t.noteOn(57, 127);
    t.render(1.6);
    if (spread > 0.0f)
      EXPECT_NEAR(toDB(level(t) / single), 0.0, 3.0);
    else
      EXPECT_GT(correlation(t.left, t.right, 4410), 0.999);
  }

  // Osc 2 alone, its level moved by velocity through a slot, so that each
  // voice weighs its own copies: the stack is still as loud as one copy,
  // and Osc 2's copies are detuned and spread as Osc 1's are.
  auto osc2Stack = [](float unison) {
    auto t = std::make_unique<Synth>();
    plainPatch(*t);
    Synth::set((*t)->osc1.level, 0.0f);
    Synth::set((*t)->osc2.level, 0.5f);
    Synth::set((*t)->osc2.waveForm, static_cast<float>(Oscillator::Sawtooth));
    ModulationMatrixParameterSet::SlotParameters& slot = (*t)->getModMatrixParameters()->at(0);
    Synth::set(slot.source, static_cast<float>(ModulationMatrix::cSourceVelocity + 1));
    Synth::set(slot.target, static_cast<float>(ModulationMatrix::cTargetOsc2Level + 1));
    Synth::set(slot.level, 0.5f);
    Synth::set((*t)->unisonVoices, unison);
    Synth::set((*t)->unisonSpread, 1.0f);
    t->settle();
    t->noteOn(57, 127);
    t->render(1.6);
    return t;
  };
  const auto alone = osc2Stack(1.0f);
  const auto stack = osc2Stack(4.0f);
  // Hard-panned outer copies of 1/sqrt(4) each and inner ones at 1/3 pan:
  // each side carries (1 + 1 + 4/9) / 4 of one centred copy's power.
  EXPECT_NEAR(toDB(level(*stack) / level(*alone)), 10.0 * std::log10((2.0 + 4.0 / 9.0) / 4.0), 0.5);
  const Spectrum l2 = spectrum(stack->left, 4410, 65536);
  const Spectrum r2 = spectrum(stack->right, 4410, 65536);
  EXPECT_NEAR(l2.peakHz(flat - 4.0, flat + 4.0), flat, 0.1);
  EXPECT_NEAR(r2.peakHz(sharp - 4.0, sharp + 4.0), sharp, 0.1);
}

TEST(ZarnPluginRenderTest, SameMidiGivesTheSameSamples) {
  std::vector<float> first;
  for (int run = 0; run < 2; ++run) {
    Synth s;
    Synth::set(s->unisonVoices, 3.0f);
    Synth::set(s->osc2.level, 0.7f);
    Synth::set(s->filter1.peak, 0.6f);
    s.settle();
    s.noteOn(48, 90);
    s.render(0.2);
    s.noteOn(55, 70);
    s.render(0.3);
    s.noteOff(48);
    s.render(0.3);
    if (run == 0)
      first = s.left;
    else
      EXPECT_EQ(first, s.left);
  }
}

TEST(ZarnPluginRenderTest, RenderingAllocatesNothing) {
  Synth s;
  Synth::set(s->unisonVoices, 2.0f);
  Synth::set(s->noiseLevel, 0.3f);
  Synth::set(s->filter2.enabled, 1.0f);
  s.settle();
  // Warm-up: every voice has sounded once.
  for (int i = 0; i < 20; ++i) s.noteOn(40 + i, 100);
  s.render(0.1);
  for (int i = 0; i < 20; ++i) s.noteOff(40 + i);
  s.render(0.5);
  float l[32], r[32];
  float* outs[2] = {l, r};
  zarn::test::AllocationCounter counter;
  for (int k = 0; k < 200; ++k) {
    if (k % 20 == 0) {
      MidiMessage m;
      m.status = 0x90;
      m.data1 = static_cast<unsigned char>(50 + k / 20);
      m.data2 = 100;
      m.sampleOffset = 7;
      s->receiveMidiMessage(m);
    }
    s->process(nullptr, 0, outs, 2, 32);
  }
  EXPECT_EQ(counter.count(), 0);
}

TEST(ZarnPluginRenderTest, AllNotesOffReleasesEverythingAndNoteZeroIsAKey) {
  Synth s;
  plainPatch(s);
  s.noteOn(0, 100);
  s.noteOn(60, 100);
  s.noteOn(64, 100);
  s.render(0.05);
  EXPECT_EQ(soundingVoices(*s), 3);
  s.noteOff(0);
  s.render(0.5);
  EXPECT_EQ(soundingVoices(*s), 2) << "releasing note 0 releases only note 0";
  s.controller(123, 0);
  s.render(0.5);
  EXPECT_EQ(soundingVoices(*s), 0);
}

TEST(ZarnPluginRenderTest, AHostRateIsPreparedBeforeTheRenderThreadSeesIt) {
  // The host changes the rate on its main thread; the oscillators' tables
  // for the new rate must exist before the next render, so that rendering at
  // 48 kHz allocates nothing and sounds at the right pitch.
  Synth s;
  plainPatch(s);
  s->changeSampleRate(48000.0f);
  float l[32], r[32];
  float* outs[2] = {l, r};
  MidiMessage m;
  m.status = 0x90;
  m.data1 = 69;
  m.data2 = 100;
  m.sampleOffset = 0;
  s->receiveMidiMessage(m);
  zarn::test::AllocationCounter counter;
  for (int k = 0; k < 100; ++k) s->process(nullptr, 0, outs, 2, 32);
  EXPECT_EQ(counter.count(), 0);
  EXPECT_FLOAT_EQ(s->getEnvironment()->sampleRate, 48000.0f);
}
