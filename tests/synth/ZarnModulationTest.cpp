// The modulation matrix inside the synthesizer: slots set through the
// plug-in's parameters change what the instrument plays (pitch, level),
// refused slots do nothing, the editor's connections reach the host and the
// editor once, and rendering with any slot layout allocates nothing.

#include "base/Preset.h"
#include "synth/ModulationMatrixParameterSet.h"
#include "tests/support/TempDir.h"
#include "tests/support/AllocationCounter.h"
#include "tests/synth/ModulationMatrixTestSupport.h"
#include "tests/synth/ZarnTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using M = ModulationMatrix;
using zarntest::kRate;
using zarntest::Synth;

constexpr int kNote = 57; // 220 Hz

// The pitch of a signal over time, one value per cycle, from its rising
// zero crossings.
struct PitchTrack {
  std::vector<double> times;  // seconds, the middle of each cycle
  std::vector<double> octaves; // log2(frequency / reference)
};

PitchTrack trackPitch(const std::vector<float>& x, double referenceHz) {
  std::vector<double> crossings;
  for (size_t i = 1; i < x.size(); ++i)
    if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
      const double frac = x[i - 1] / static_cast<double>(x[i - 1] - x[i]);
      crossings.push_back((static_cast<double>(i - 1) + frac) / kRate);
    }
  PitchTrack t;
  for (size_t k = 1; k < crossings.size(); ++k) {
    const double period = crossings[k] - crossings[k - 1];
    t.times.push_back(0.5 * (crossings[k] + crossings[k - 1]));
    t.octaves.push_back(std::log2(1.0 / (period * referenceHz)));
  }
  return t;
}

// How far the pitch swings either way (octaves) and how often (Hz).
struct Vibrato {
  double up = 0.0;
  double down = 0.0;
  double rate = 0.0;
};

Vibrato measureVibrato(const PitchTrack& t) {
  Vibrato v;
  if (t.octaves.empty()) return v;
  v.up = *std::max_element(t.octaves.begin(), t.octaves.end());
  v.down = -*std::min_element(t.octaves.begin(), t.octaves.end());
  // Upward passes through the centre, with a little hysteresis.
  const double h = 0.1 * std::max(v.up, v.down);
  std::vector<double> rises;
  bool low = false;
  for (size_t k = 0; k < t.octaves.size(); ++k) {
    if (t.octaves[k] < -h) low = true;
    if (low && t.octaves[k] > 0.0) {
      rises.push_back(t.times[k]);
      low = false;
    }
  }
  if (rises.size() >= 2) v.rate = static_cast<double>(rises.size() - 1) / (rises.back() - rises.front());
  return v;
}

class ZarnModulationTest : public ::testing::Test {
protected:
  ZarnModulationTest() {
    zarntest::plainPatch(s, Oscillator::Triangle);
    ZarnPlugin& p = *s;
    Synth::set(p.lfo1.waveForm, static_cast<float>(ModulationGenerator::cSine));
    Synth::set(p.lfo1.frequency, p.lfo1.frequency.getTransform().invertValue(5.0f));
    controller = p.getModMatrixController();
    s.settle();
  }

  ModulationMatrixParameterSet::SlotParameters& slot(int n) { return s->getModMatrixParameters()->at(n); }
  void connect(int n, int source, int target, float level) {
    controller->makeConnection(n, source, target);
    Synth::set(slot(n).level, level);
  }
  // Plays the note for a while and measures the second half (the first
  // holds the attack).
  std::vector<float> play(int velocity = 127, double seconds = 2.0) {
    s.clear();
    s.noteOn(kNote, velocity);
    s.render(0.2);
    s.clear();
    s.render(seconds);
    std::vector<float> out = s.left;
    s.noteOff(kNote);
    s.render(0.2);
    s.clear();
    return out;
  }
  double level(int velocity = 127) {
    const std::vector<float> x = play(velocity, 0.5);
    return zarntest::rms(x, 0, x.size());
  }

  Synth s;
  M::Controller* controller = nullptr;
};

TEST_F(ZarnModulationTest, LfoToMasterTuneIsAVibratoOfTheSlotsDepthAndTheLfosRate) {
  const double hz = zarntest::noteHz(kNote);
  // Unmodulated, the pitch holds still.
  Vibrato none = measureVibrato(trackPitch(play(), hz));
  EXPECT_LT(none.up, 0.002);
  EXPECT_LT(none.down, 0.002);

  // Full scale is two octaves: level 0.05 swings a tenth of an octave.
  connect(0, M::cSourceLFO1, M::cTargetMasterTune, 0.05f);
  Vibrato v = measureVibrato(trackPitch(play(), hz));
  EXPECT_NEAR(v.up, 0.1, 0.006);
  EXPECT_NEAR(v.down, 0.1, 0.006);
  EXPECT_NEAR(v.rate, 5.0, 0.1);

  // Inverted, the same depth; twice the level, twice the depth.
  Synth::set(slot(0).inverted, 1.0f);
  Synth::set(slot(0).level, 0.1f);
  v = measureVibrato(trackPitch(play(), hz));
  EXPECT_NEAR(v.up, 0.2, 0.012);
  EXPECT_NEAR(v.down, 0.2, 0.012);
  EXPECT_NEAR(v.rate, 5.0, 0.1);

  // Cleared, the pitch holds still again.
  controller->clearSlot(0);
  none = measureVibrato(trackPitch(play(), hz));
  EXPECT_LT(none.up, 0.002);
}

TEST_F(ZarnModulationTest, TheLfoFrequencyTargetAndTempoSyncStillMoveTheRate) {
  const double hz = zarntest::noteHz(kNote);
  connect(0, M::cSourceLFO1, M::cTargetMasterTune, 0.05f);
  // The mod wheel doubles LFO 1's rate: the target is 4 octaves at full
  // scale, so a level of 1/4 at full wheel is one octave.
  connect(1, M::cSourceModWheel, M::cTargetLFO1Frequency, 0.25f);
  s.controller(1, 127);
  Vibrato v = measureVibrato(trackPitch(play(), hz));
  EXPECT_NEAR(v.rate, 10.0, 0.25);
  s.controller(1, 0);
  v = measureVibrato(trackPitch(play(), hz));
  EXPECT_NEAR(v.rate, 5.0, 0.1);

  // Synchronised to a quarter bar at 120 beats per minute: 2 Hz, whatever
  // the knob says.
  Synth::set(s->lfo1.syncMode, static_cast<float>(ZarnLfoParameters::cStraight));
  Synth::set(s->lfo1.syncFreq, 6.0f);
  s.clear();
  s.noteOn(kNote);
  double beats = 0.0;
  for (int i = 0; i < static_cast<int>(3.0 * kRate / zarntest::kQuantum); ++i) {
    s->sync(120.0f, static_cast<float>(beats));
    s.renderSamples(zarntest::kQuantum);
    beats += zarntest::kQuantum / kRate * 2.0;
  }
  std::vector<float> x(s.left.begin() + static_cast<long>(0.5 * kRate), s.left.end());
  v = measureVibrato(trackPitch(x, hz));
  EXPECT_NEAR(v.rate, 2.0, 0.1);
  EXPECT_NEAR(v.up, 0.1, 0.006);
}

TEST_F(ZarnModulationTest, VelocityToVolumeSetsTheLevel) {
  const double reference = level(127);
  ASSERT_GT(reference, 0.01);
  const float gain = s->volume.getTransform().getValueOf(s->volume.getValue());

  // With the volume knob down, the slot alone makes the level: at full
  // velocity and a level equal to the knob's gain, the same as before.
  Synth::set(s->volume, 0.0f);
  s.settle();
  EXPECT_LT(level(127), 1e-6);
  connect(2, M::cSourceVelocity, M::cTargetVolume, gain);
  EXPECT_NEAR(level(127), reference, reference * 0.02);
  // A softer key: the slot's share on top of the touch's own curve.
  const float v = 64.0f / 127.0f;
  EXPECT_NEAR(level(64), reference * v * velocityToGain(v), reference * 0.02);
  // Bypassed, the slot is gone.
  Synth::set(slot(2).bypassed, 1.0f);
  EXPECT_LT(level(127), 1e-6);
}

TEST_F(ZarnModulationTest, TheModWheelScalesAnotherSlot) {
  const double hz = zarntest::noteHz(kNote);
  // Slot 1 has no level of its own; the wheel gives it up to 0.05.
  connect(1, M::cSourceLFO1, M::cTargetMasterTune, 0.0f);
  connect(4, M::cSourceModWheel, M::cTargetSlotLevel + 1, 0.05f);
  EXPECT_TRUE(controller->isSlotValid(1));
  EXPECT_TRUE(controller->isSlotValid(4));

  Vibrato v = measureVibrato(trackPitch(play(), hz));
  EXPECT_LT(v.up, 0.002);
  s.controller(1, 127);
  v = measureVibrato(trackPitch(play(), hz));
  EXPECT_NEAR(v.up, 0.1, 0.006);
  EXPECT_NEAR(v.rate, 5.0, 0.1);
  s.controller(1, 64);
  v = measureVibrato(trackPitch(play(), hz));
  EXPECT_NEAR(v.up, 0.1 * 64.0 / 127.0, 0.004);
}

TEST_F(ZarnModulationTest, InvalidSlotsAreSilentWhileTheOthersWork) {
  const double hz = zarntest::noteHz(kNote);
  const double reference = level(127);
  // LFO 1 speeding itself up closes a loop; an envelope cannot drive the
  // shared stereo width; a bypassed slot and a slot without a target do
  // nothing.
  connect(0, M::cSourceLFO1, M::cTargetLFO1Frequency, 1.0f);
  connect(1, M::cSourceEG1, M::cTargetStereo, 1.0f);
  connect(2, M::cSourceVelocity, M::cTargetVolume, 1.0f);
  Synth::set(slot(2).inverted, 1.0f);
  Synth::set(slot(2).bypassed, 1.0f);
  connect(3, M::cSourceAftertouch, -1, 1.0f);
  connect(5, M::cSourceLFO1, M::cTargetMasterTune, 0.05f);
  s.renderSamples(zarntest::kQuantum);
  for (int n : {0, 1, 2, 3}) EXPECT_FALSE(controller->isSlotValid(n)) << n;
  EXPECT_FALSE(s->getModulationMatrix()->isSlotValid(0));
  EXPECT_FALSE(s->getModulationMatrix()->isSlotValid(1));
  EXPECT_TRUE(controller->isSlotValid(5));
  EXPECT_TRUE(s->getModulationMatrix()->isSlotValid(5));

  const std::vector<float> x = play();
  const Vibrato v = measureVibrato(trackPitch(x, hz));
  EXPECT_NEAR(v.up, 0.1, 0.006);
  EXPECT_NEAR(v.rate, 5.0, 0.1);
  EXPECT_NEAR(zarntest::rms(x, 0, x.size()), reference, reference * 0.05);
}

TEST_F(ZarnModulationTest, MakeConnectionReachesHostAndEditorAsOneNotification) {
  modmatrixtest::RecordingAdapter adapter;
  modmatrixtest::RecordingListener listener;
  s->registerPluginAdapter(&adapter);
  s->setListener(&listener);
  controller->makeConnection(7, M::cSourceAftertouch, M::cTargetFilter1Freq);
  s->setListener(nullptr);
  s->registerPluginAdapter(nullptr);
  EXPECT_EQ(adapter.indexes, (std::vector<int>{-1}));
  ASSERT_EQ(listener.events.size(), 1u);
  EXPECT_EQ(listener.events[0].code, cParameterChangeEvent);
  EXPECT_EQ(listener.events[0].value, -1);

  // The values reach the engine with the next buffer.
  EXPECT_EQ(s->getModulationMatrix()->getSlot(7).source, -1);
  s.renderSamples(zarntest::kQuantum);
  EXPECT_EQ(s->getModulationMatrix()->getSlot(7).source, M::cSourceAftertouch);
  EXPECT_EQ(s->getModulationMatrix()->getSlot(7).target, M::cTargetFilter1Freq);
  EXPECT_TRUE(s->getModulationMatrix()->isSlotValid(7));
}

TEST_F(ZarnModulationTest, OnlyModulatedVoiceTargetsLeaveTheSharedDefaults) {
  ZarnVoice& voice = *s->getVoice(3);
  for (int t = 0; t < zarn::cTargetCount; ++t)
    EXPECT_EQ(voice.getTargetInput(t), s->getDefaultTargetInput(t)) << t;
  connect(0, M::cSourceKBTrack, M::cTargetFilter1Freq, 1.0f);
  connect(1, M::cSourceLFO2, M::cTargetOsc2Pan, 0.5f);
  s.renderSamples(zarntest::kQuantum);
  for (int t = 0; t < zarn::cInstrumentTargetCount; ++t) {
    const bool modulated = t == M::cTargetFilter1Freq || t == M::cTargetOsc2Pan;
    if (modulated)
      EXPECT_EQ(voice.getTargetInput(t), s->getVoiceTargetInput(3, t)) << t;
    else
      EXPECT_EQ(voice.getTargetInput(t), s->getDefaultTargetInput(t)) << t;
  }
  controller->clearSlot(1);
  s.renderSamples(zarntest::kQuantum);
  EXPECT_EQ(voice.getTargetInput(M::cTargetOsc2Pan), s->getDefaultTargetInput(M::cTargetOsc2Pan));
  EXPECT_EQ(voice.getTargetInput(M::cTargetFilter1Freq), s->getVoiceTargetInput(3, M::cTargetFilter1Freq));
}

// A target modulated by global sources alone has one input for all voices,
// evaluated once; a voice's own source anywhere in its chain gives every
// voice its own again. Either way each voice applies base + sum.
TEST_F(ZarnModulationTest, VoicesShareATargetsInputWhileItsSlotsReadOnlyGlobalSources) {
  s->setModWheel(1.0f);
  connect(0, M::cSourceModWheel, M::cTargetVolume, 0.2f);
  s.settle();
  s.noteOn(kNote, 127);
  s.noteOn(kNote + 7, 32);
  s.render(0.1);
  std::vector<ZarnVoice*> held;
  for (int i = 0; i < ZarnPlugin::cMaxVoices; ++i)
    if (s->getVoice(i)->isKeyDown()) held.push_back(s->getVoice(i));
  ASSERT_EQ(held.size(), 2u);
  const float base = s->getDefaultTargetInput(M::cTargetVolume)->current->data[0];
  auto volume = [&](ZarnVoice* v) { return v->getTargetInput(M::cTargetVolume)->current->data[0]; };
  EXPECT_EQ(held[0]->getTargetInput(M::cTargetVolume), held[1]->getTargetInput(M::cTargetVolume));
  EXPECT_NE(held[0]->getTargetInput(M::cTargetVolume), s->getDefaultTargetInput(M::cTargetVolume));
  for (ZarnVoice* v : held) EXPECT_FLOAT_EQ(volume(v), base + 0.2f); // wheel 1 at level 0.2, full scale 1

  // Velocity on slot 0's level: each voice's own sum.
  connect(1, M::cSourceVelocity, M::cTargetSlotLevel + 0, 0.25f);
  s.render(0.1);
  EXPECT_NE(held[0]->getTargetInput(M::cTargetVolume), held[1]->getTargetInput(M::cTargetVolume));
  for (ZarnVoice* v : held) EXPECT_FLOAT_EQ(volume(v), base + 0.2f + 0.25f * v->getVelocity()) << v->getVelocity();
  EXPECT_NE(volume(held[0]), volume(held[1]));

  // Bypassed again: shared again, at the wheel's level alone.
  Synth::set(slot(1).bypassed, 1.0f);
  s.render(0.1);
  EXPECT_EQ(held[0]->getTargetInput(M::cTargetVolume), held[1]->getTargetInput(M::cTargetVolume));
  for (ZarnVoice* v : held) EXPECT_FLOAT_EQ(volume(v), base + 0.2f);
}

// Gains whose inputs every voice shares (here an LFO on Osc 1 Pan) are
// computed once for all voices; a slot that brings a voice's own source
// into the chain (velocity on the LFO slot's level, at 0 so that the sum
// stays the same) gives each voice its own unit again. Both sound the same,
// sample for sample.
TEST_F(ZarnModulationTest, VoicesShareGainsWhileTheirInputsAreShared) {
  auto play = [&](bool ownUnits) {
    Synth t;
    zarntest::plainPatch(t, Oscillator::Triangle);
    t->setModWheel(0.0f);
    M::Controller* c = t->getModMatrixController();
    c->makeConnection(0, M::cSourceLFO2, M::cTargetOsc1Pan);
    Synth::set(t->getModMatrixParameters()->at(0).level, 0.8f);
    if (ownUnits) {
      c->makeConnection(1, M::cSourceVelocity, M::cTargetSlotLevel + 0);
      Synth::set(t->getModMatrixParameters()->at(1).level, 0.0f);
    }
    t.settle();
    t.noteOn(kNote, 100);
    t.noteOn(kNote + 4, 60);
    t.render(0.3);
    int own = 0, held = 0;
    for (int i = 0; i < ZarnPlugin::cMaxVoices; ++i) {
      ZarnVoice* v = t->getVoice(i);
      if (!v->isKeyDown()) continue;
      ++held;
      if (v->osc1Gains.getOutput(0)->isProduced()) ++own;
    }
    EXPECT_EQ(held, 2);
    EXPECT_EQ(own, ownUnits ? 2 : 0);
    return t.left;
  };
  const std::vector<float> shared = play(false);
  const std::vector<float> own = play(true);
  ASSERT_EQ(shared.size(), own.size());
  EXPECT_GT(zarntest::rms(shared, 0, shared.size()), 0.01);
  for (size_t i = 0; i < shared.size(); ++i) ASSERT_EQ(shared[i], own[i]) << i;
}

TEST_F(ZarnModulationTest, PresetsCarryTheSlotsIntoTheEngine) {
  zarn::test::TempDir dir;
  connect(0, M::cSourceLFO1, M::cTargetMasterTune, 0.0f);
  connect(1, M::cSourceModWheel, M::cTargetSlotLevel + 0, 0.05f);
  Synth::set(slot(1).inverted, 1.0f);
  Preset file(dir.file("Vibrato.qvp"));
  ASSERT_TRUE(s->getParameters().savePreset(&file, ZarnPlugin::cPresetFileVersion));

  Synth b;
  ASSERT_TRUE(b->loadPreset(&file));
  b.renderSamples(zarntest::kQuantum);
  ModulationMatrix& m = *b->getModulationMatrix();
  EXPECT_EQ(m.getSlot(0).source, M::cSourceLFO1);
  EXPECT_EQ(m.getSlot(0).target, M::cTargetMasterTune);
  EXPECT_EQ(m.getSlot(1).target, M::cTargetSlotLevel + 0);
  EXPECT_TRUE(m.getSlot(1).inverted);
  EXPECT_TRUE(m.isSlotValid(0));
  EXPECT_TRUE(m.isSlotValid(1));
  EXPECT_FLOAT_EQ(b->getModMatrixParameters()->at(1).level.getValue(), 0.05f);
}

TEST_F(ZarnModulationTest, OneControllerMovesTheLinkedPairsTogether) {
  ZarnPlugin& p = *s;
  const std::vector<MidiVirtualPluginParameter*>& pairs = p.getMidiVirtualParameters();
  ASSERT_EQ(pairs.size(), 7u);
  EXPECT_EQ(pairs[0]->getIdentifier(), cMidiVirtualParameterBase);
  EXPECT_EQ(pairs[4], &p.filterFreqPair);
  EXPECT_EQ(pairs[4]->getName(), "Filter 1 & 2 Freq");
  EXPECT_EQ(p.filterFreqPair.getFirst(), &p.filter1.freq);
  EXPECT_EQ(p.filterFreqPair.getSecond(), &p.filter2.freq);

  // The filters sit 0.2 apart; the controller moves the pair's centre.
  p.filter1.freq.setNormalizedValue(0.3f, 0);
  p.filter2.freq.setNormalizedValue(0.5f, 0);
  p.receiveMidiParameterMessage(p.filterFreqPair.getIdentifier(), 0.6f);
  EXPECT_NEAR(p.filter1.freq.getNormalizedValue(), 0.5f, 1e-5f);
  EXPECT_NEAR(p.filter2.freq.getNormalizedValue(), 0.7f, 1e-5f);
  // Osc 1 full, Osc 2 silent: a centre of 0.25 stops Osc 2 at its floor
  // and leaves Osc 1 half the distance above.
  p.receiveMidiParameterMessage(p.oscLevelPair.getIdentifier(), 0.25f);
  EXPECT_NEAR(p.osc1.level.getNormalizedValue(), 0.75f, 1e-5f);
  EXPECT_NEAR(p.osc2.level.getNormalizedValue(), 0.0f, 1e-5f);
  // The other pairs did not move.
  EXPECT_NEAR(p.filter1.freq.getNormalizedValue(), 0.5f, 1e-5f);
  EXPECT_EQ(p.osc1.sync.getValue(), p.osc1.sync.getDefault());
  EXPECT_EQ(p.getMidiVirtualParameterFromParameterIndex(cMidiVirtualParameterBase + 7), nullptr);
}

TEST_F(ZarnModulationTest, AnLfoOnTheMainReleaseStillLetsReleasedVoicesEnd) {
  // The release time is read every 64 samples and moves at every read; the
  // voices must still fall silent within the longest release the LFO
  // reaches (0.05 s x 2^0.8 here), not creep towards silence forever.
  connect(0, M::cSourceLFO1, M::cTargetEGMainRelease, 0.2f);
  Synth::set(s->egMain.release, 0.05f);
  s.settle();
  for (int n = 0; n < 8; ++n) s.noteOn(48 + 3 * n, 100);
  s.render(0.3);
  auto sounding = [&] {
    int n = 0;
    for (int v = 0; v < ZarnPlugin::cMaxVoices; ++v) n += s->getVoice(v)->isMute() ? 0 : 1;
    return n;
  };
  ASSERT_EQ(sounding(), 8);
  for (int n = 0; n < 8; ++n) s.noteOff(48 + 3 * n);
  s.clear();
  s.render(0.2);
  EXPECT_EQ(sounding(), 0);
  EXPECT_EQ(zarntest::peak(std::vector<float>(s.left.end() - 256, s.left.end())), 0.0);
}

TEST_F(ZarnModulationTest, RenderingAllocatesNothingWhateverTheSlots) {
  Synth::set(s->totalVoices, 32.0f);
  Synth::set(s->unisonVoices, 2.0f);
  Synth::set(s->filter1.enabled, 1.0f);
  Synth::set(s->filter2.enabled, 1.0f);
  s.settle();
  for (int n = 0; n < 8; ++n) s.noteOn(40 + 5 * n, 100);
  s.render(0.05);

  alignas(16) float left[zarntest::kQuantum];
  alignas(16) float right[zarntest::kQuantum];
  float* outs[2] = {left, right};
  auto renderCounted = [&](int buffers) {
    zarn::test::AllocationCounter counter;
    for (int i = 0; i < buffers; ++i) s->process(nullptr, 0, outs, 2, zarntest::kQuantum);
    return counter.count();
  };
  EXPECT_EQ(renderCounted(64), 0);

  // Every source onto a spread of targets, slots driving slot levels, and
  // refused slots; then taken apart again. Each change rewires the voices
  // on the render thread.
  const int targets[] = {M::cTargetMasterTune,    M::cTargetOsc1PulseWidth, M::cTargetOsc2Level,
                         M::cTargetFilter1Freq,   M::cTargetFilter2Pan,     M::cTargetVolume,
                         M::cTargetStereo,        M::cTargetLFO2Frequency,  M::cTargetEG1Attack,
                         M::cTargetEGMainSustain, M::cTargetSlotLevel + 0,  M::cTargetNoisePan};
  for (int n = 0; n < M::cNumSlots; ++n) {
    connect(n, n % M::cNumSources, targets[n % 12], 0.1f);
    EXPECT_EQ(renderCounted(4), 0) << n;
  }
  for (int n = 0; n < M::cNumSlots; n += 3) {
    controller->clearSlot(n);
    EXPECT_EQ(renderCounted(4), 0) << n;
  }
  s.controller(1, 90);
  s.midi(0xE0, 0, 100);
  s.midi(0xD0, 70, 0);
  EXPECT_EQ(renderCounted(32), 0);
}

} // namespace
