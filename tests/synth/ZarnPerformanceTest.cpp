// What a player hears of the performance controls: the pitch after a full
// bend, under channel and poly aftertouch and after Reset All Controllers,
// LFO restarts on a key (from silence at once), phase sync, mono lines
// (touch, key tracking, legato), the three tempo-sync lengths, a program
// change at a note's own sample, and the voice budget of unison.

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "base/PresetManager.h"
#include "base/VersionInfo.h"
#include "synth/ModulationMatrixParameterSet.h"
#include "tests/synth/ZarnTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

using namespace zarntest;

namespace {

using M = ModulationMatrix;

void connect(Synth& s, int n, int source, int target, float level) {
  ModulationMatrixParameterSet::SlotParameters& slot = s->getModMatrixParameters()->at(n);
  Synth::set(slot.source, static_cast<float>(source + 1));
  Synth::set(slot.target, static_cast<float>(target + 1));
  Synth::set(slot.level, level);
}

// The pitch of what sounds from `from` on (0.37 s of it), in Hz.
double pitchAt(const Synth& s, size_t from) { return spectrum(s.left, from, 16384).peakHz(100.0, 2000.0); }

// RMS of the left channel in [from, from + seconds).
double levelAt(const Synth& s, size_t from, double seconds) {
  return rms(s.left, from, from + static_cast<size_t>(seconds * kRate));
}

// Starts of sound after silence, in seconds: RMS frames of 128 samples
// rising past half of the loudest frame after one below a tenth of it.
std::vector<double> onsets(const std::vector<float>& x) {
  constexpr size_t frame = 128;
  std::vector<double> levels;
  for (size_t i = 0; i + frame <= x.size(); i += frame) levels.push_back(rms(x, i, i + frame));
  const double loudest = *std::max_element(levels.begin(), levels.end());
  std::vector<double> times;
  bool quiet = false;
  for (size_t k = 0; k < levels.size(); ++k) {
    if (levels[k] < 0.1 * loudest) quiet = true;
    if (quiet && levels[k] >= 0.5 * loudest) {
      times.push_back(static_cast<double>(k * frame) / kRate);
      quiet = false;
    }
  }
  return times;
}

void mono(Synth& s, bool legato) {
  Synth::set(s->polyphony, static_cast<float>(VoiceManager::cMono));
  Synth::set(s->portamentoMode, legato ? 1.0f : 0.0f);
}

// LFO 1, a square, opens Osc 1 (whose own level is 0) in its second half.
void gateByLfo1(Synth& s) {
  plainPatch(s);
  Synth::set(s->osc1.level, 0.0f);
  Synth::set(s->lfo1.waveForm, static_cast<float>(ModulationGenerator::cSquare));
  connect(s, 0, M::cSourceLFO1, M::cTargetOsc1Level, 1.0f);
}

// Osc 1's triangle, with aftertouch raising Master Tune by up to a fifth
// (its full scale is two octaves), playing A4 at full velocity for 0.5 s.
void a4WithPressureToAFifth(Synth& s) {
  plainPatch(s, Oscillator::Triangle);
  connect(s, 0, M::cSourceAftertouch, M::cTargetMasterTune, (7.0f / 12.0f) / 2.0f);
  s.settle();
  s.noteOn(69, 127);
  s.render(0.5);
}

// The pitch a message leaves: 0.1 s (the wheel's glide) after it, over
// the next 0.4 s.
double pitchAfter(Synth& s, unsigned char status, unsigned char d1, unsigned char d2) {
  s.midi(status, d1, d2);
  s.render(0.1);
  const size_t from = s.size();
  s.render(0.4);
  return pitchAt(s, from);
}

} // namespace

TEST(ZarnPerformanceTest, BendAndAftertouchMoveThePitchAsFarAsSet) {
  Synth s;
  a4WithPressureToAFifth(s);
  EXPECT_NEAR(pitchAt(s, 4410), 440.0, 0.5);
  auto after = [&](unsigned char status, unsigned char d1, unsigned char d2) { return pitchAfter(s, status, d1, d2); };
  EXPECT_NEAR(after(0xE0, 0x7F, 0x7F), 440.0 * std::pow(2.0, 2.0 / 12.0), 0.5);  // full up: +2 semitones
  EXPECT_NEAR(after(0xE0, 0x00, 0x00), 440.0 * std::pow(2.0, -2.0 / 12.0), 0.5); // full down: -2
  EXPECT_NEAR(after(0xE0, 0x00, 0x40), 440.0, 0.5);                              // centred
  EXPECT_NEAR(after(0xD0, 0x7F, 0x00), 440.0 * std::pow(2.0, 7.0 / 12.0), 0.5);  // full pressure
  EXPECT_NEAR(after(0xD0, 0x00, 0x00), 440.0, 0.5);
}

TEST(ZarnPerformanceTest, MidiTriggerRestartsTheLfoOnEveryKey) {
  // At 2 Hz, a restarted LFO lets each note sound a quarter second after
  // its key.
  auto firstSound = [](bool trigger) {
    Synth s;
    gateByLfo1(s);
    Synth::set(s->lfo1.frequency, s->lfo1.frequency.getTransform().invertValue(2.0f));
    Synth::set(s->lfo1.midiTrigger, trigger ? 1.0f : 0.0f);
    s.settle();
    std::vector<double> delays;
    // Keys at different points of the LFO's cycle.
    for (double gap : {0.13, 0.31, 0.07}) {
      s.render(gap);
      s.clear();
      s.noteOn(60, 127);
      s.render(0.45);
      s.noteOff(60);
      const std::vector<double> on = onsets(s.left);
      delays.push_back(on.empty() ? -1.0 : on.front());
      s.render(0.1);
    }
    return delays;
  };
  for (double delay : firstSound(true)) EXPECT_NEAR(delay, 0.25, 0.01);
  // Free running, the keys meet the LFO where it happens to be.
  const std::vector<double> free = firstSound(false);
  EXPECT_GT(std::fabs(free[0] - free[1]) + std::fabs(free[1] - free[2]), 0.05);
}

TEST(ZarnPerformanceTest, ATriggeredLfoStartsANoteAfterSilenceRightAtItsRestart) {
  // The square LFO opens Osc 1 only in its second half. The key comes
  // while it is open and nothing sounds: the restart jumps to the closed
  // first half (a ramp down from open, which only held notes need, would
  // let a few milliseconds of the note through), so the note stays silent
  // for the LFO's first half, a quarter second at 2 Hz.
  Synth s;
  gateByLfo1(s);
  Synth::set(s->lfo1.frequency, s->lfo1.frequency.getTransform().invertValue(2.0f));
  Synth::set(s->lfo1.midiTrigger, 1.0f);
  s.settle();
  s.render(0.3);
  ASSERT_TRUE(s->getLfo(0)->isSecondHalf());
  s.clear();
  s.noteOn(60, 127);
  s.render(0.5);
  EXPECT_EQ(peak(std::vector<float>(s.left.begin(), s.left.begin() + static_cast<long>(0.2 * kRate))), 0.0);
  EXPECT_GT(rms(s.left, static_cast<size_t>(0.3 * kRate), static_cast<size_t>(0.45 * kRate)), 0.05);
}

TEST(ZarnPerformanceTest, PhaseSyncStartsEveryNoteAtTheSamePointOfTheWave) {
  // A mono line strikes the key again while the note sounds: with phase
  // sync the wave starts over, without it runs on.
  auto restartDifference = [](bool sync) {
    Synth s;
    plainPatch(s, Oscillator::Sawtooth);
    mono(s, false);
    Synth::set(s->osc1.phaseSync, sync ? 1.0f : 0.0f);
    s.settle();
    s.noteOn(57, 127);
    s.renderSamples(9001); // not a whole number of cycles
    const size_t second = s.size();
    s.noteOn(57, 127);
    s.renderSamples(3000);
    double worst = 0.0;
    for (size_t i = 500; i < 3000; ++i) worst = std::max(worst, static_cast<double>(std::fabs(s.left[i] - s.left[second + i])));
    return worst / peak(s.left);
  };
  EXPECT_LT(restartDifference(true), 0.01); // the noise floor differs
  EXPECT_GT(restartDifference(false), 0.1);
}

TEST(ZarnPerformanceTest, AMonoLineTakesEachKeysTouchAndTracking) {
  // Key tracking drives Filter 1 (a low pass an octave above the note) at
  // full scale: the filter follows the keys one to one.
  auto patch = [](Synth& s) {
    plainPatch(s, Oscillator::Sawtooth);
    Synth::set(s->filter1.enabled, 1.0f);
    Synth::set(s->filter1.freq, s->filter1.freq.getTransform().invertValue(std::log2(523.25f)));
    Synth::set(s->filter1.peak, 0.0f);
    connect(s, 0, M::cSourceKBTrack, M::cTargetFilter1Freq, 1.0f);
    s.settle();
  };
  // Note 72 struck on its own, full velocity.
  Synth alone;
  patch(alone);
  alone.noteOn(72, 127);
  alone.render(0.6);
  const Spectrum reference = spectrum(alone.left, 8820, 16384);
  const double referenceLevel = levelAt(alone, 8820, 0.3);

  for (bool legato : {false, true}) {
    Synth line;
    patch(line);
    mono(line, legato);
    line.noteOn(48, 30);
    line.render(0.4);
    const size_t start = line.size();
    line.noteOn(72, 127); // 48 still held
    line.render(0.6);
    const Spectrum sp = spectrum(line.left, start + 8820, 16384);
    const double f0 = noteHz(72);
    EXPECT_NEAR(toDB(levelAt(line, start + 8820, 0.3) / referenceLevel), 0.0, 1.0) << "legato " << legato;
    for (int h : {3, 5})
      EXPECT_NEAR(10 * std::log10(sp.at(f0 * h) / sp.at(f0)), 10 * std::log10(reference.at(f0 * h) / reference.at(f0)),
                  1.0)
          << "legato " << legato << ", harmonic " << h;
  }
}

TEST(ZarnPerformanceTest, LegatoMovesTheLineWithoutRestartingTheEnvelope) {
  // EG Main falls to a quarter in 0.2 s; the second key comes at sustain.
  auto jump = [](bool legato) {
    Synth s;
    plainPatch(s);
    Synth::set(s->egMain.decay, s->egMain.decay.getTransform().invertValue(0.2f));
    Synth::set(s->egMain.sustain, 0.25f);
    mono(s, legato);
    s.settle();
    s.noteOn(60, 100);
    s.render(0.8);
    const double before = levelAt(s, s.size() - 4410, 0.1);
    const size_t start = s.size();
    s.noteOn(67, 100);
    s.render(0.2);
    return toDB(levelAt(s, start + 441, 0.04) / before);
  };
  EXPECT_NEAR(jump(true), 0.0, 1.5);
  EXPECT_GT(jump(false), 6.0); // a retrigger attacks again
}

TEST(ZarnPerformanceTest, TempoSyncLengthsAtTheSongsTempo) {
  // "1/4 bar" at 120 bpm: a straight cycle lasts half a second (2 Hz), a
  // dotted one 1.5 times that, a triplet two thirds of it.
  auto cycle = [](int mode) {
    Synth s;
    gateByLfo1(s);
    Synth::set(s->lfo1.syncFreq, 6.0f);
    Synth::set(s->lfo1.syncMode, static_cast<float>(mode));
    s.settle();
    s.noteOn(60, 127);
    // The host's transport, once per buffer, as it plays.
    for (size_t at = 0; at < static_cast<size_t>(3.0 * kRate); at += kQuantum) {
      s->sync(120.0f, static_cast<float>(static_cast<double>(at) / kRate * 2.0));
      s.renderSamples(kQuantum);
    }
    const std::vector<double> on = onsets(s.left);
    return on.size() >= 2 ? (on.back() - on.front()) / static_cast<double>(on.size() - 1) : 0.0;
  };
  EXPECT_NEAR(cycle(ZarnLfoParameters::cStraight), 0.5, 0.005);
  EXPECT_NEAR(cycle(ZarnLfoParameters::cDotted), 0.75, 0.005);
  EXPECT_NEAR(cycle(ZarnLfoParameters::cTriplet), 1.0 / 3.0, 0.005);
}

TEST(ZarnPerformanceTest, AProgramChangeSoundsFromItsOwnSample) {
  // A preset of its own, the library's program 0.
  Synth maker;
  PresetManager* library = maker->getPresetManager(-1);
  ASSERT_NE(library, nullptr);
  const std::string root = GenericPlugin::sVersionInfo->getDefaultPresetFolder();
  std::filesystem::create_directories(root);
  Synth::set(maker->osc1.waveForm, static_cast<float>(Oscillator::Square));
  Synth::set(maker->egMain.attack, maker->egMain.attack.getTransform().invertValue(0.02f));
  Synth::set(maker->filter1.freq, maker->filter1.freq.getTransform().invertValue(std::log2(700.0f)));
  Preset preset(root + "Hollow.qvp");
  ASSERT_TRUE(maker->getParameters().savePreset(&preset, ZarnPlugin::cPresetFileVersion));
  library->initialize(root);

  // The program change and a chord at the same sample, and the same chord
  // on the preset loaded before the song: the same samples.
  Synth changed, loaded;
  ASSERT_TRUE(loaded->loadPresetWithName("Hollow"));
  for (Synth* s : {&changed, &loaded}) {
    if (s == &changed) s->midi(0xC0, 0, 0);
    for (int note : {48, 55, 60}) s->noteOn(note, 110);
    s->render(0.5);
  }
  EXPECT_EQ(changed->getPresetContext()->presetName.get(), "Hollow");
  ASSERT_GT(peak(loaded.left), 0.01);
  EXPECT_EQ(changed.left, loaded.left);

  std::filesystem::remove(root + "Hollow.qvp");
  library->initialize(root);
}

TEST(ZarnPerformanceTest, UnisonNeverTakesMoreThanTheTotalVoices) {
  Synth s;
  plainPatch(s);
  Synth::set(s->totalVoices, 4.0f);
  Synth::set(s->unisonVoices, 8.0f);
  s.settle();
  s.noteOn(60, 127);
  s.noteOn(64, 127);
  s.render(0.1);
  int copies = 0;
  for (int i = 0; i < ZarnPlugin::cMaxVoices; ++i)
    if (!s->getVoice(i)->isMute()) copies += s->getVoice(i)->getCopyCount();
  EXPECT_EQ(copies, 4);
  EXPECT_EQ(s->getVoiceManager()->numVoices.get(), 1);
}

TEST(ZarnPerformanceTest, PolyPressureOnTheSoundingKeyMovesThePitchAsFarAsChannelPressure) {
  Synth s;
  a4WithPressureToAFifth(s);
  auto after = [&](unsigned char status, unsigned char d1, unsigned char d2) { return pitchAfter(s, status, d1, d2); };
  // Full pressure on key 69 is the whole fifth; pressure 64 is 64/127 of it.
  EXPECT_NEAR(after(0xA0, 69, 127), 440.0 * std::pow(2.0, 7.0 / 12.0), 0.5);
  EXPECT_NEAR(after(0xA0, 69, 64), 440.0 * std::pow(2.0, 64.0 / 127.0 * 7.0 / 12.0), 0.5);
  EXPECT_NEAR(after(0xA0, 69, 0), 440.0, 0.5);
  // Channel pressure of the same value lands on the same pitch.
  EXPECT_NEAR(after(0xD0, 64, 0), 440.0 * std::pow(2.0, 64.0 / 127.0 * 7.0 / 12.0), 0.5);
}

TEST(ZarnPerformanceTest, ResetAllControllersCentresTheBendAndClearsPressureAndTheWheel) {
  // Controller 121 puts the performance controls back where they rest: the
  // wheel centred, no pressure, the modulation wheel down. A host sends it
  // when the song stops; a bend left up would play the next take out of tune.
  Synth s;
  plainPatch(s, Oscillator::Triangle);
  connect(s, 0, M::cSourceAftertouch, M::cTargetMasterTune, (7.0f / 12.0f) / 2.0f);
  // The modulation wheel up to a whole tone.
  connect(s, 1, M::cSourceModWheel, M::cTargetMasterTune, (2.0f / 12.0f) / 2.0f);
  s.settle();
  s.noteOn(69, 127);
  s.midi(0xE0, 0x7F, 0x7F);
  s.midi(0xD0, 0x7F, 0x00);
  s.controller(1, 127);
  s.render(0.2);
  size_t from = s.size();
  s.render(0.4);
  // +2 (bend) +7 (pressure) +2 (wheel) semitones.
  ASSERT_NEAR(pitchAt(s, from), 440.0 * std::pow(2.0, 11.0 / 12.0), 1.0);

  s.controller(121, 0);
  s.render(0.2);
  from = s.size();
  s.render(0.4);
  EXPECT_NEAR(pitchAt(s, from), 440.0, 0.5);
}
