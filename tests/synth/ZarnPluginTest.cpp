// The synthesizer as a product: identity, parameters, component sets,
// shared objects, presets and the LFOs' tempo sync and indicator.

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "base/PresetManager.h"
#include "base/VersionInfo.h"
#include "synth/ModulationMatrixParameterSet.h"
#include "hints/ZarnHints.h"
#include "platform/Alerts.h"
#include "tests/support/AllocationCounter.h"
#include "tests/plugin/PresetFileBytes.h"
#include "tests/synth/ZarnTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

using namespace zarntest;

TEST(ZarnPluginTest, AnswersAsTheInstrument) {
  std::unique_ptr<GenericPlugin> p(createPluginInstance());
  ASSERT_NE(dynamic_cast<ZarnPlugin*>(p.get()), nullptr);
  EXPECT_EQ(p->getIdentifier(), "QZar");
  EXPECT_EQ(p->getCategory(), 0);
  EXPECT_EQ(p->getType(), 0);
  EXPECT_EQ(p->getChannelCount(), 2);
  EXPECT_FALSE(p->hasSideChain());
  EXPECT_EQ(p->getInterfaceWidth(), 640);
  EXPECT_EQ(p->getInterfaceHeight(), 522);
  EXPECT_EQ(GenericPlugin::sPresetFileVersion, 5);
}

TEST(ZarnPluginTest, EveryNamedParameterExistsWithItsHint) {
  Synth s;
  std::set<std::string> names;
  for (AbstractPluginParameter* p : s->getParameters()) {
    EXPECT_TRUE(names.insert(p->getName()).second) << "twice: " << p->getName();
    EXPECT_FALSE(p->getHintText().empty()) << p->getName();
    // The default is inside the range and is the value after construction
    // (no preset "Default Sound" exists here).
    EXPECT_GE(p->getDefault(), p->getMin()) << p->getName();
    EXPECT_LE(p->getDefault(), p->getMax()) << p->getName();
    EXPECT_EQ(p->getValue(), p->getDefault()) << p->getName();
  }
  std::vector<std::string> expected = {"Noise Level", "Noise Pan", "Noise Type", "Portamento", "Portamento Mode",
                                       "Master Tune", "Osc 2 Detune", "Filter Routing", "Volume", "Stereo",
                                       "Total Voices", "Unison Voices", "Polyphony", "Unison Spread",
                                       "EG Main Hold", "EG Main Attack", "EG Main Decay", "EG Main Sustain",
                                       "EG Main Release"};
  for (int n = 1; n <= 2; ++n) {
    for (const char* x : {"Scale", "Wave Form", "Sync", "Pulse Width", "Level", "Pan", "Phase Sync"})
      expected.push_back("Osc " + std::to_string(n) + " " + x);
    for (const char* x : {"Freq", "Pan", "Peak", "Characteristic", "Response", "Slope", "Enabled"})
      expected.push_back("Filter " + std::to_string(n) + " " + x);
    for (const char* x : {"Delay", "Attack", "Decay", "Sustain", "Release", "Range"})
      expected.push_back("EG " + std::to_string(n) + " " + x);
  }
  for (int n = 1; n <= 3; ++n)
    for (const char* x : {"Frequency", "WaveForm", "Balance", "SyncFreq", "SyncMode", "MIDI Trigger", "Polarity"})
      expected.push_back("LFO " + std::to_string(n) + " " + x);
  const size_t instrument = expected.size();
  for (int n = 1; n <= 24; ++n)
    for (const char* x : {"Source", "Inverted", "Bypassed", "Level", "Target"})
      expected.push_back("Slot " + std::to_string(n) + " " + x);
  for (const std::string& name : expected) EXPECT_TRUE(names.count(name)) << name;
  EXPECT_EQ(names.size(), expected.size());
  // The slot parameters come after the instrument's own, slot by slot.
  const std::vector<AbstractPluginParameter*>& all = s->getParameters().getParameters();
  ASSERT_EQ(all.size(), expected.size());
  EXPECT_EQ(all[instrument]->getName(), "Slot 1 Source");
  EXPECT_EQ(all.back()->getName(), "Slot 24 Target");
  EXPECT_EQ(s->getModMatrixParameters()->getFirstIndex(), static_cast<int>(instrument));
  EXPECT_EQ(s->getNumParametersForVersion(0), static_cast<int>(instrument));
  EXPECT_EQ(s->getNumParametersForVersion(1), static_cast<int>(all.size()));

  // The ranges the editor and the hints rely on.
  EXPECT_EQ(s->filter1.freq.getMin(), 0.0f);
  EXPECT_EQ(s->filter1.freq.getMax(), 1.0f);
  EXPECT_EQ(s->filter2.peak.getMax(), 1.0f);
  EXPECT_EQ(s->lfo1.syncFreq.getMin(), 0.0f);
  EXPECT_EQ(s->lfo1.syncFreq.getMax(), 10.0f);
  EXPECT_EQ(s->lfo1.syncFreq.convertValueToString(0.0f), "16 bars");
  EXPECT_EQ(s->lfo1.syncFreq.convertValueToString(10.0f), "1/64 bar");
  EXPECT_EQ(s->osc1.sync.getMin(), 1.0f);
  EXPECT_EQ(s->osc2.scale.getMin(), 0.0f);
  EXPECT_EQ(s->osc2.scale.getMax(), 3.0f);
  EXPECT_NEAR(s->osc2Detune.getTransform().getValueOf(1.0f), 1.0f, 1e-6);   // an octave
  EXPECT_NEAR(s->osc2Detune.getTransform().getValueOf(0.1f), 1.0f / 120.0f, 1e-4); // fine near 0
  EXPECT_EQ(s->filter1.characteristic.convertValueToString(5.0f), "Easy Going");
  EXPECT_EQ(s->filter1.slope.convertValueToString(1.0f), "24 dB");
  EXPECT_EQ(s->osc1.sync.getHintText(), cHintOscSync);
  EXPECT_EQ(s->osc2.scale.getHintText(), cHintOscDetune);
  EXPECT_EQ(s->lfo2.syncFreq.getHintText(), cHintLFOFrequency);
}

// What the host and the editor show of the continuous controls: the ranges
// the parameter sets declare, in their units, worked out from those ranges.
TEST(ZarnPluginTest, ValueTextsShowTheDeclaredRangesInTheirUnits) {
  Synth s;
  // Cut-off 2^4 = 16 Hz .. 2^14.3219281 = 20480 Hz, evenly by octaves: the
  // middle is the geometric mean, sqrt(16 x 20480) = 572.4 Hz.
  for (ZarnFilterParameters* f : {&s->filter1, &s->filter2}) {
    EXPECT_EQ(f->freq.convertValueToString(0.0f), "16 Hz");
    EXPECT_EQ(f->freq.convertValueToString(0.5f), "572 Hz");
    EXPECT_EQ(f->freq.convertValueToString(1.0f), "20480 Hz");
  }
  // Envelope times 0..10 s, delay and hold 0..5 s; typing a time back
  // finds the knob position that shows it.
  for (FloatParamPluginParameter* t : {&s->egMain.attack, &s->egMain.decay, &s->egMain.release, &s->eg1.attack,
                                       &s->eg2.decay, &s->eg2.release}) {
    EXPECT_EQ(t->convertValueToString(0.0f), "0.000 s") << t->getName();
    EXPECT_EQ(t->convertValueToString(1.0f), "10.000 s") << t->getName();
  }
  for (FloatParamPluginParameter* t : {&s->egMain.hold, &s->eg1.delay, &s->eg2.delay})
    EXPECT_EQ(t->convertValueToString(1.0f), "5.000 s") << t->getName();
  for (float x : {0.07f, 0.37f, 0.81f}) {
    const FloatPluginParameterTransform& t = s->egMain.release.getTransform();
    EXPECT_NEAR(t.invertValue(t.getValueOf(x)), x, 1e-4f);
  }
  EXPECT_EQ(s->portamento.convertValueToString(0.0f), "0.000 s");
  EXPECT_EQ(s->portamento.convertValueToString(1.0f), "5.000 s");
  // LFO rates 0.01..40 Hz; 2 Hz is the default.
  EXPECT_EQ(s->lfo1.frequency.convertValueToString(0.0f), "0.01 Hz");
  EXPECT_EQ(s->lfo3.frequency.convertValueToString(1.0f), "40.00 Hz");
  EXPECT_EQ(s->lfo2.frequency.getValueAsString(), "2.00 Hz");
  // Tunings show semitones: Master Tune's natural value is its semitones,
  // Detune's ends are an octave.
  EXPECT_EQ(s->masterTune.convertValueToString(12.0f), "12.00 st");
  EXPECT_EQ(s->masterTune.convertValueToString(-3.5f), "-3.50 st");
  EXPECT_FLOAT_EQ(s->masterTune.getTransform().invertDisplayValue(-7.0f), -7.0f);
  EXPECT_EQ(s->osc2Detune.convertValueToString(1.0f), "12.00 st");
  EXPECT_EQ(s->osc2Detune.convertValueToString(-1.0f), "-12.00 st");
  // Volume: amplitude 0.3 x^2 shown in dB 10.802 above the amplitude's own,
  // so the top reads 20 log10(0.3) + 10.802 = 0.34 dB and the default 0.6
  // reads 20 log10(0.108) + 10.802 = -8.53 dB.
  EXPECT_EQ(s->volume.convertValueToString(1.0f), "0.34 dB");
  EXPECT_EQ(s->volume.getValueAsString(), "-8.53 dB");
  EXPECT_EQ(s->volume.convertValueToString(0.0f), "-INF dB");
  EXPECT_NEAR(s->volume.getTransform().invertValue(0.108f), 0.6f, 1e-5f);
  // Every pan starts in the middle, and a reset to the default puts it back.
  for (FloatParamPluginParameter* pan : {&s->osc1.pan, &s->osc2.pan, &s->noisePan, &s->filter1.pan, &s->filter2.pan}) {
    EXPECT_EQ(pan->getDefault(), 0.0f) << pan->getName();
    EXPECT_EQ(pan->getValueAsString(), "0.00") << pan->getName();
  }
  EXPECT_EQ(s->polyphony.convertValueToString(static_cast<float>(VoiceManager::cMono)), "Mono");
  EXPECT_EQ(s->polyphony.convertValueToString(static_cast<float>(VoiceManager::cPoly)), "Poly");
}

TEST(ZarnPluginTest, ComponentSetsAndTheirPresetLibraries) {
  Synth s;
  const int sizes[ZarnPlugin::cComponentCount] = {16, 15, 5, 6, 6, 7, 7, 7};
  for (int i = 0; i < ZarnPlugin::cComponentCount; ++i) EXPECT_EQ(s->getComponentCollection(i).size(), sizes[i]);
  EXPECT_EQ(s->getComponentCollection(1)[14], &s->filterRouting);
  EXPECT_EQ(s->getComponentCollection(5)[6], &s->lfo1.polarity);
  const char* extensions[4] = {".oscillators", ".filters", ".envelope", ".lfo"};
  for (int i = 0; i < 4; ++i) {
    ASSERT_NE(ZarnPlugin::sComponentPresetManagers[i], nullptr);
    EXPECT_EQ(ZarnPlugin::sComponentPresetManagers[i]->getManagerExtension(), extensions[i]);
  }
  ASSERT_NE(ZarnPlugin::sOscillatorStyle, nullptr);
  ASSERT_NE(ZarnPlugin::sFilterStyles, nullptr);
  EXPECT_EQ(ZarnPlugin::sFilterStyles->getCount(), 6);
}

TEST(ZarnPluginTest, SharedObjectsLiveWhileAnyInstanceDoes) {
  auto* a = new ZarnPlugin();
  Oscillator::Style* style = ZarnPlugin::sOscillatorStyle;
  auto* b = new ZarnPlugin();
  EXPECT_EQ(ZarnPlugin::sOscillatorStyle, style);
  delete a;
  EXPECT_EQ(ZarnPlugin::sOscillatorStyle, style);
  delete b;
  EXPECT_EQ(ZarnPlugin::sOscillatorStyle, nullptr);
  EXPECT_EQ(ZarnPlugin::sComponentPresetManagers[0], nullptr);
}

TEST(ZarnPluginTest, PresetsOfVersionsFiveAndFourLoadOlderOnesAreRefused) {
  Synth a;
  PresetManager* library = a->getPresetManager(-1);
  ASSERT_NE(library, nullptr);
  // The product's library folder (inside the test's home folder), made as
  // the first run of an installation would.
  std::string root = GenericPlugin::sVersionInfo->getDefaultPresetFolder();
  std::filesystem::create_directories(root);
  library->initialize(root);

  // "Default Sound" is what a new instance starts with.
  Synth::set(a->volume, 0.35f);
  Synth::set(a->filter1.response, 2.0f);
  Preset preset(root + "Default Sound.qvp");
  ASSERT_TRUE(a->savePreset(&preset));
  Synth b;
  EXPECT_FLOAT_EQ(b->volume.getValue(), 0.35f);
  EXPECT_EQ(b->filter1.response.getTypedValue(), GenericFilter::cBandPass);
  EXPECT_EQ(b->getPresetContext()->presetName.get(), "Default Sound");

  // A file of version 4 was made before the voice gain: it loads with its
  // Volume lowered so that it is as loud as it was (the knob's amplitude
  // 0.3 x^2, times the voice gain now, equals what it was then).
  Synth::set(a->volume, 0.9f);
  Preset four(root + "Four.qvp");
  ASSERT_TRUE(a->getParameters().savePreset(&four, 4));
  Synth c;
  ASSERT_TRUE(c->loadPreset(&four));
  const double x = c->volume.getValue();
  EXPECT_NEAR(0.3 * x * x * ZarnVoice::cOutputLevel, 0.3 * 0.9 * 0.9, 1e-4);
  EXPECT_EQ(c->filter1.response.getTypedValue(), GenericFilter::cBandPass);
  std::filesystem::remove(root + "Four.qvp");

  // A file of version 4 that ends before the values it declares is damaged:
  // refused whole, and its upgrade is not applied to the sound playing.
  {
    std::ofstream cut(root + "Cut Four.qvp", std::ios::binary);
    cut << presettest::presetBytes("QZar", 4, {0.9f, 0.5f}, b->getParameters().size());
  }
  Preset cutFour(root + "Cut Four.qvp");
  EXPECT_FALSE(b->loadPreset(&cutFour));
  EXPECT_FLOAT_EQ(b->volume.getValue(), 0.35f);
  EXPECT_EQ(b->getPresetContext()->presetName.get(), "Default Sound");
  std::filesystem::remove(root + "Cut Four.qvp");

  // A file of version 3 with the same values changes nothing.
  Preset old(root + "Old.qvp");
  ASSERT_TRUE(a->getParameters().savePreset(&old, 3));
  EXPECT_FALSE(b->loadPreset(&old));
  EXPECT_FLOAT_EQ(b->volume.getValue(), 0.35f);
  EXPECT_EQ(b->getPresetContext()->presetName.get(), "Default Sound");
  std::filesystem::remove(root + "Default Sound.qvp");
  std::filesystem::remove(root + "Old.qvp");
  library->initialize(root);
}

// A preset is read from one opening of its file (one replaced between two
// openings was refused with another file's version), and a preset whose
// file holds a value that is not a number is refused whole, by the menu and
// by a program change alike: its sound would otherwise keep the previous
// preset's value of that parameter. The user is told which file and which
// parameter, once.
TEST(ZarnPluginTest, APresetIsReadInOneOpeningAndOneHoldingNoNumberIsRefused) {
  Synth a;
  PresetManager* library = a->getPresetManager(-1);
  const std::string root = GenericPlugin::sVersionInfo->getDefaultPresetFolder() + "Numbers/";
  std::filesystem::create_directories(root);
  Synth::set(a->volume, 0.6f);
  Synth::set(a->filter1.freq, 0.25f);
  Preset bright(root + "Bright.qvp"), four(root + "Four.qvp"), damaged(root + "Damaged.qvp");
  ASSERT_TRUE(a->getParameters().savePreset(&bright, ZarnPlugin::cPresetFileVersion));
  ASSERT_TRUE(a->getParameters().savePreset(&four, 4));
  // The same values, with Volume's replaced by a NaN (the header is the
  // tag, the version and the count, 4 bytes each).
  Synth::set(a->volume, 0.1f);
  ASSERT_TRUE(a->getParameters().savePreset(&damaged, ZarnPlugin::cPresetFileVersion));
  {
    std::fstream file(damaged.getPath(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(12 + 4 * a->volume.getIndex());
    const float nan = std::nanf("");
    file.write(reinterpret_cast<const char*>(&nan), sizeof nan);
  }

  Synth b;
  for (Preset* preset : {&bright, &four}) {
    zarn::test::AllocationCounter counter;
    EXPECT_TRUE(b->loadPreset(preset));
    EXPECT_EQ(counter.opens(), 1) << preset->getName();
  }

  std::vector<std::string> alerts;
  platform::setAlertHandler([&](const std::string& m) { alerts.push_back(m); });
  ASSERT_TRUE(b->loadPreset(&bright));
  EXPECT_FALSE(b->loadPreset(&damaged));
  EXPECT_FLOAT_EQ(b->volume.getValue(), 0.6f);
  EXPECT_FLOAT_EQ(b->filter1.freq.getValue(), 0.25f);
  EXPECT_EQ(b->getPresetContext()->presetName.get(), "Bright");
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0], "The preset \"Damaged\" could not be loaded from " + damaged.getPath() +
                           ": its value for the parameter \"Volume\" is not a number.");

  // By program change: Bright, Damaged, Four are programs 0..2 of this
  // library, in name order.
  library->initialize(root);
  Synth c;
  c.midi(0xC0, 0, 0);
  c.renderSamples(32);
  EXPECT_EQ(c->getPresetContext()->presetName.get(), "Bright");
  c.midi(0xC0, 1, 0);
  c.renderSamples(32);
  EXPECT_FLOAT_EQ(c->volume.getValue(), 0.6f);
  EXPECT_EQ(c->getPresetContext()->presetName.get(), "Bright");
  c.midi(0xC0, 2, 0);
  c.renderSamples(32);
  EXPECT_EQ(c->getPresetContext()->presetName.get(), "Four");
  // Told once, though met again.
  EXPECT_EQ(alerts.size(), 1u);
  platform::setAlertHandler(nullptr);
  std::filesystem::remove_all(root);
  library->initialize(GenericPlugin::sVersionInfo->getDefaultPresetFolder());
}

namespace {

class EventCounter : public GenericPlugin::Listener {
public:
  void postEvent(int code, int value) override {
    if (code == cGeneralChangeEvent && value >= 0 && value < 3) general[value].fetch_add(1);
  }
  std::atomic<int> general[3] = {};
};

} // namespace

TEST(ZarnPluginTest, LfoLightFollowsTheLfoAndTheEditorIsTold) {
  Synth s;
  Synth::set(s->lfo2.frequency, s->lfo2.frequency.getTransform().invertValue(2.0f));
  s.settle();
  EventCounter listener;
  s->setListener(&listener);
  std::set<int> states;
  for (int k = 0; k < 40; ++k) {
    s.render(0.05);
    states.insert(s->getLFOState(1));
  }
  s->setListener(nullptr);
  EXPECT_EQ(states.size(), 2u);
  // Two seconds at 2 Hz: about eight changes of the light.
  EXPECT_GE(listener.general[1].load(), 6);
  EXPECT_LE(listener.general[1].load(), 10);
}

// An LFO nobody pulls may leave its mute-call block unwritten only while no
// LFO's frequency is modulated: a modulated one reads its sources' blocks
// in its own mute call (LfoTest shows what else would go wrong).
TEST(ZarnPluginTest, LfosWriteTheirMuteCallBlocksWhileAnLfoFrequencyIsModulated) {
  Synth s;
  auto writes = [&](bool expected) {
    s.render(0.01);
    for (int n = 0; n < ZarnPlugin::cLfoCount; ++n)
      if (s->getLfo(n)->writeOnMuteCalls != expected) return false;
    return true;
  };
  EXPECT_TRUE(writes(false)); // the default sound: nothing drives an LFO
  ModulationMatrixParameterSet::SlotParameters& slot = s->getModMatrixParameters()->at(5);
  Synth::set(slot.source, static_cast<float>(ModulationMatrix::cSourceLFO2 + 1));
  Synth::set(slot.target, static_cast<float>(ModulationMatrix::cTargetLFO1Frequency + 1));
  Synth::set(slot.level, 0.5f);
  EXPECT_TRUE(writes(true));
  Synth::set(slot.bypassed, 1.0f);
  EXPECT_TRUE(writes(false));
}

// The host's transport is asked for only while some LFO is synchronised
// (the third alone counts too).
TEST(ZarnPluginTest, SyncedLfoFollowsTheHostTempo) {
  Synth s;
  s.settle();
  EXPECT_FALSE(s->followsTransport());
  Synth::set(s->lfo3.syncMode, 1.0f);
  s.settle();
  EXPECT_TRUE(s->followsTransport());
  Synth::set(s->lfo1.syncMode, 1.0f);  // straight
  Synth::set(s->lfo1.syncFreq, 4.0f);  // one bar
  Synth::set(s->lfo2.syncMode, 2.0f);  // dotted
  Synth::set(s->lfo2.syncFreq, 4.0f);
  Synth::set(s->lfo3.syncMode, 3.0f);  // triplet
  Synth::set(s->lfo3.syncFreq, 6.0f);  // a quarter bar
  s.settle();
  s->sync(120.0f, 0.0f);
  // 120 beats a minute: a bar of four beats lasts two seconds.
  EXPECT_NEAR(s->getLfo(0)->frequency.getParameter().getTarget(), 0.5f, 1e-5);
  // A dotted bar lasts three seconds, a quarter-bar triplet a third of one.
  EXPECT_NEAR(s->getLfo(1)->frequency.getParameter().getTarget(), 1.0f / 3.0f, 1e-5);
  EXPECT_NEAR(s->getLfo(2)->frequency.getParameter().getTarget(), 3.0f, 1e-5);
  // Back to free running: the Frequency knob drives it again.
  Synth::set(s->lfo1.syncMode, 0.0f);
  Synth::set(s->lfo1.frequency, s->lfo1.frequency.getTransform().invertValue(3.0f));
  s.settle();
  s->sync(120.0f, 8.0f);
  wave::Block* b = s->getLfo(0)->frequency.output->pull(32, 0);
  EXPECT_NEAR(b->data[0], 3.0f, 1e-3);
  EXPECT_TRUE(s->followsTransport());
  Synth::set(s->lfo2.syncMode, 0.0f);
  Synth::set(s->lfo3.syncMode, 0.0f);
  s.settle();
  EXPECT_FALSE(s->followsTransport());
}
