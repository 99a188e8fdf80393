#include "synth/ZarnPlugin.h"

#include "base/PresetManager.h"
#include "base/BinaryData.h"
#include "base/Preset.h"
#include "base/VersionInfo.h"
#include "synth/ModulationMatrixParameterSet.h"
#include "synth/ZarnEnvelopeCurves.h"
#include "synth/ZarnEventReceiver.h"
#include "hints/ZarnHints.h"
#include "synth/ZarnOscillatorShape.h"
#include "wave/Environment.h"
#include "wave/FilterCharacteristic.h"
#include "wave/FilterCharacteristicPresets.h"
#include "wave/OscillatorStyle.h"
#include "wave/ValueCurves.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

using namespace zarn;
using namespace zarnparams;

Oscillator::Style* ZarnPlugin::sOscillatorStyle = nullptr;
EnvelopeGenerator::Style* ZarnPlugin::sEnvelopeStyle = nullptr;
MultiDesignFilter::Style* ZarnPlugin::sFilterStyles = nullptr;
PresetManager* ZarnPlugin::sComponentPresetManagers[ZarnPlugin::cComponentTypeCount] = {};

namespace {

// Component presets live in the product's data folder, one library per
// kind of section.
struct ComponentType {
  const char* folder;
  const char* extension;
};
const ComponentType kComponentTypes[ZarnPlugin::cComponentTypeCount] = {
    {"Oscillators", ".oscillators"}, {"Filters", ".filters"}, {"Envelopes", ".envelope"}, {"LFOs", ".lfo"}};

} // namespace

GenericPlugin* createPluginInstance() { return new ZarnPlugin(); }

ZarnPlugin::ZarnPlugin() : ModulationMatrixPlugin(2) {
  configureParameters();
  // The slot parameters follow the instrument's own in the preset order.
  createModMatrixParameters();
  initialize(cProductName, 1024);
  buildGraph();
  bindParameters();
  buildModulation();
  buildComponents();
  definePluginVersion(0, unisonSpread);
  // The modulation slots came with the next version.
  definePluginVersion(1, getModMatrixParameters()->at(ModulationMatrix::cNumSlots - 1).target);
  // Every parameter's value into the engine; then the engine starts
  // settled, not gliding from the units' own initial values.
  updateParameters();
  processParameterChangeEvents();
  settleParameters();
  reassignVoices();
  if (loadPresetWithName(cDefaultPresetName)) {
    processParameterChangeEvents();
    settleParameters();
  }
}

ZarnPlugin::~ZarnPlugin() {
  // Voices leave their filter units before the units go; the receiver
  // (deleted by finalize) only points at this object.
  mGraphBuilt = false;
  releaseModulation();
  mStereoSpread.reset();
  mVoiceManager.reset();
  for (auto& v : mVoices) v.reset();
  for (auto& units : mFilterUnits)
    for (auto& u : units) u.reset();
  for (auto& c : mCopies) c.reset();
  for (auto& l : mLfos) l.reset();
  mOsc1Gains.reset();
  mOsc2Gains.reset();
  mNoiseGains.reset();
  mCutoff1.reset();
  mCutoff2.reset();
  mPitchOffset.reset();
  mModWheel.reset();
  mPitchBend.reset();
  mAftertouch.reset();
  for (auto& s : mTargetSources) s.reset();
  mMatrix.reset();
  finalize();
}

// ---------------------------------------------------------------- set-up

void ZarnPlugin::configureParameters() {
  setup(noiseLevel, 0.0f, 1.0f, 0.0f, cHintOscNoise);
  setupTransform(noiseLevel.getTransform(), zarncurves::square, zarncurves::squareRoot, 0.0f, 0.0f, "%.3f", nullptr);
  setup(noisePan, -1.0f, 1.0f, 0.0f, cHintOscNoise);
  setupTransform(noisePan.getTransform(), nullptr, nullptr, 0.0f, 0.0f, "%.2f", nullptr);
  noiseType.configure(Oscillator::WhiteNoise, Oscillator::PinkNoise, Oscillator::WhiteNoise, "White,Pink");
  static const Oscillator::WaveForm noiseTypes[2] = {Oscillator::WhiteNoise, Oscillator::PinkNoise};
  noiseType.setValueTable(noiseTypes, 2, 0);
  noiseType.configure(Oscillator::WhiteNoise, Oscillator::PinkNoise, Oscillator::WhiteNoise, "White,Pink");
  noiseType.setHintText(cHintOscNoiseType);

  // Glide time 0..5 s, fine at the short end.
  setup(portamento, 0.0f, 1.0f, 0.0f, cHintOscPortamento);
  setupTransform(portamento.getTransform(), zarncurves::glideTime, zarncurves::glideTimeInverse, 0.0f, 5.0f, "%.3f", "s");
  portamentoMode.configure(VoiceManager::cNormal, VoiceManager::cLegato, VoiceManager::cNormal, "Normal,Legato");
  portamentoMode.setHintText(cHintOscPortamentoMode);

  setup(masterTune, -12.0f, 12.0f, 0.0f, cHintOscMasterTune);
  setupTransform(masterTune.getTransform(), nullptr, nullptr, -1.0f, 1.0f, "%.2f", "st");
  masterTune.getTransform().setDisplayFunction([](float octaves) { return octaves * 12.0f; },
                                               [](float semitones) { return semitones / 12.0f; });
  setup(osc2Detune, -1.0f, 1.0f, 0.0f, cHintOscDetune);
  setupTransform(osc2Detune.getTransform(), detuneCurve, detuneCurveInverse, 0.0f, 0.0f, "%.2f", "st");
  osc2Detune.getTransform().setDisplayFunction([](float octaves) { return octaves * 12.0f; },
                                               [](float semitones) { return semitones / 12.0f; });

  filterRouting.configure(ZarnVoice::cSerial, ZarnVoice::cPerOscillator, ZarnVoice::cSerial,
                          "Serial,Parallel,Per Osc");
  filterRouting.setHintText(cHintFilterRouting);

  setup(volume, 0.0f, 1.0f, 0.6f, cHintGeneralVolume);
  setupTransform(volume.getTransform(), zarncurves::volume, zarncurves::volumeInverse, 0.0f, 0.0f, nullptr, "dB");
  volume.getTransform().setFloatToStrFunction([](float a) { return dBToStr(amplitudeToDisplayDB(a)); });
  // 0 mono, 1 the signal as it is, 2 exaggerated.
  setup(stereo, 0.0f, 2.0f, 1.0f, cHintGeneralStereo);
  setupTransform(stereo.getTransform(), stereoSpreadCurve, nullptr, 0.0f, 0.0f, "%.2f", nullptr);

  totalVoices.configure(1, cMaxVoices, 16, "");
  totalVoices.setHintText(cHintTotalVoices);
  unisonVoices.configure(1, cMaxVoices, 1, "");
  unisonVoices.setHintText(cHintUnisonVoices);
  polyphony.configure(VoiceManager::cMono, VoiceManager::cPoly, VoiceManager::cPoly, "Mono,Poly");
  polyphony.setHintText(cHintPolyphony);
  setup(unisonSpread, 0.0f, 1.0f, 0.3f, cHintUnisonDetune);
  setupTransform(unisonSpread.getTransform(), nullptr, nullptr, 0.0f, 0.0f, "%.2f", nullptr);
}

void ZarnPlugin::createSharedObjects(const std::string& productName) {
  GenericPlugin::createSharedObjects(productName);
  setPresetFileVersion(cPresetFileVersion);
  const std::string dataFolder = sVersionInfo->getDataFolder();

  sOscillatorStyle = new Oscillator::Style();
  zarn::customizeOscillatorStyle(*sOscillatorStyle);
  // Without a data folder of the user's the tables are built and not kept.
  // A cache that cannot be kept costs every later start the time to build
  // the tables: the user is told once, with the reason, and the plug-in
  // works on.
  const std::string cache = dataFolder.empty() ? std::string() : Oscillator::Style::getCachePath(dataFolder);
  std::string unsaved;
  sOscillatorStyle->initialize(cache, &unsaved);
  if (cache.empty() || !unsaved.empty())
    alertOnce("The wave-table cache could not be saved" +
              (cache.empty() ? ": no data folder is known for this user" : " to " + cache + ": " + unsaved) +
              "; the tables are built anew at each start meanwhile.");
  sOscillatorStyle->prepareSampleRate(44100.0f);

  sEnvelopeStyle = createZarnEnvelopeStyle();

  // The bundle's characteristics; one that is missing or damaged is built
  // from its design instead, so every filter choice always works.
  sFilterStyles = new MultiDesignFilter::Style();
  for (int i = 0; i < FilterCharacteristicPresets::cCount; ++i) {
    const FilterCharacteristicPreset& preset = FilterCharacteristicPresets::get(i);
    auto* style = new FilterCharacteristic(std::string(), preset.level);
    if (!style->loadFromResource(preset.fileName)) FilterCharacteristicPresets::apply(i, *style);
    sFilterStyles->add(style);
  }

  for (int i = 0; i < cComponentTypeCount; ++i) {
    const std::string folder =
        dataFolder.empty() ? std::string() : dataFolder + "/Component Presets/" + kComponentTypes[i].folder + "/";
    std::error_code ec;
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    sComponentPresetManagers[i] = new PresetManager(std::string(), kComponentTypes[i].extension);
    sComponentPresetManagers[i]->initialize(folder);
  }
}

void ZarnPlugin::releaseSharedObjects() {
  for (PresetManager*& m : sComponentPresetManagers) {
    delete m;
    m = nullptr;
  }
  delete sFilterStyles;
  sFilterStyles = nullptr;
  delete sEnvelopeStyle;
  sEnvelopeStyle = nullptr;
  delete sOscillatorStyle;
  sOscillatorStyle = nullptr;
  GenericPlugin::releaseSharedObjects();
}

AbstractMusicEventReceiver* ZarnPlugin::createMusicEventReceiver() {
  return new ZarnEventReceiver(sControllerMapping, this);
}

void ZarnPlugin::buildGraph() {
  wave::Environment* env = getEnvironment();
  mMatrix = std::make_unique<ModulationMatrix>(env);
  for (int t = 0; t < cInstrumentTargetCount; ++t) {
    mTargetSources[t] = std::make_unique<wave::FloatParameterSource>(env, 0.0f);
    mDefaultTargets[t] = mTargetSources[t].get();
  }
  mModWheel = std::make_unique<wave::FloatParameterSource>(env, 0.0f);
  mPitchBend = std::make_unique<wave::FloatParameterSource>(env, 0.0f);
  mPitchBend->parameter.setLimits(-1.0f, 1.0f);
  mAftertouch = std::make_unique<wave::FloatParameterSource>(env, 0.0f);
  // Both oscillators follow Master Tune and the pitch wheel.
  mPitchOffset = std::make_unique<ControlOffset>(env);
  mPitchOffset->setInput(mTargetSources[cTargetMasterTune].get());
  mPitchOffset->setAddend(mPitchBend.get(), cPitchBendRange / 12.0f);
  mDefaultTargets[cTargetMasterTune] = mPitchOffset.get();

  for (int n = 0; n < cLfoCount; ++n) {
    mLfos[n] = std::make_unique<ModulationGenerator>(env);
    mLfos[n]->indicatorChanged = NotifyEvent::bind(this, &ZarnPlugin::lfoIndicatorChanged);
    mLfos[n]->frequency.setController(mTargetSources[cTargetLFO1Frequency + n].get());
  }

  mOsc1Gains = std::make_unique<BalanceGains>(env);
  mOsc1Gains->setInputs(mDefaultTargets[cTargetOsc1Level], mDefaultTargets[cTargetOsc1Pan]);
  mOsc2Gains = std::make_unique<BalanceGains>(env);
  mOsc2Gains->setInputs(mDefaultTargets[cTargetOsc2Level], mDefaultTargets[cTargetOsc2Pan]);
  mNoiseGains = std::make_unique<BalanceGains>(env);
  mNoiseGains->setInputs(mDefaultTargets[cTargetNoiseLevel], mDefaultTargets[cTargetNoisePan]);
  mCutoff1 = std::make_unique<StereoCutoff>(env);
  mCutoff1->setInputs(mDefaultTargets[cTargetFilter1Freq], mDefaultTargets[cTargetFilter1Pan]);
  mCutoff2 = std::make_unique<StereoCutoff>(env);
  mCutoff2->setInputs(mDefaultTargets[cTargetFilter2Freq], mDefaultTargets[cTargetFilter2Pan]);
  const ZarnVoice::SharedUnits shared = {mOsc1Gains.get(), mOsc2Gains.get(), mNoiseGains.get(), mCutoff1.get(),
                                         mCutoff2.get()};

  for (int k = 0; k < cMaxVoices; ++k) {
    mCopies[k] = std::make_unique<ZarnVoice::Copy>(env, sOscillatorStyle, k);
    mCopyList[k] = mCopies[k].get();
  }
  for (int g = 0; g < cMaxVoices / SyncLanes::cLanes; ++g)
    for (int o = 0; o < 2; ++o) {
      mSyncLanes[o][g] = std::make_unique<SyncLanes>(env);
      for (int l = 0; l < SyncLanes::cLanes; ++l) {
        ZarnVoice::Copy& c = *mCopies[g * SyncLanes::cLanes + l];
        mSyncLanes[o][g]->setMember(l, o == 0 ? &c.osc1 : &c.osc2);
      }
    }
  // Four voices share each filter's design filter: their left and right
  // channels fill its eight lanes, one pass for all of them.
  for (auto& units : mFilterUnits)
    for (auto& u : units) u = std::make_unique<MultiDesignFilter::ParallelUnit>(env, sFilterStyles);
  // Two neighbouring units filter in one pass, where their chains overlap.
  for (auto& units : mFilterUnits)
    for (size_t k = 0; k + 1 < std::size(units); k += 2)
      units[k]->getDesignFilter()->pairWith(units[k + 1]->getDesignFilter());
  // Two neighbouring pairs (sixteen voices) likewise, where the 512-bit
  // unit runs both pairs' chains side by side.
  for (auto& units : mFilterUnits)
    for (size_t k = 0; k + 3 < std::size(units); k += 4)
      for (size_t j = 0; j < 2; ++j) units[k + j]->getDesignFilter()->joinPairs(units[k + 2 + j]->getDesignFilter());
  mVoiceManager = std::make_unique<VoiceManager>(env, 2);
  for (int i = 0; i < cMaxVoices; ++i) {
    mVoices[i] = std::make_unique<ZarnVoice>(env, i, sOscillatorStyle, sEnvelopeStyle, mDefaultTargets, shared,
                                             &mSettings, mFilterUnits[0][i / 4].get(), mFilterUnits[1][i / 4].get(),
                                             mMatrix.get());
    mVoiceManager->registerNoteVoice(mVoices[i].get());
  }
  // The DC blockers of the four voices that share filter units may filter
  // in one pass.
  for (int i = 0; i + 4 <= cMaxVoices; i += 4) {
    DcBlocker* group[4];
    for (int k = 0; k < 4; ++k) group[k] = &mVoices[i + k]->dcLeft;
    for (int k = 0; k < 4; ++k) group[k]->setNeighbours(group, 4);
  }

  mStereoSpread = std::make_unique<StereoSpread>(env);
  mStereoSpread->setInputs(mVoiceManager->getOutput(0), mVoiceManager->getOutput(1));
  mStereoSpread->spread.setController(mTargetSources[cTargetStereo].get());
  mGraphBuilt = true;
}

void ZarnPlugin::targetLimits(int target, float& min, float& max) const {
  const wave::FloatParameter& engine = mTargetSources[target]->parameter;
  min = engine.getMinValue();
  max = engine.getMaxValue();
  const float full = ModulationMatrix::getTargetFullScale(target);
  switch (target) {
  case cTargetMasterTune:
    // The knob, the pitch wheel and a full-scale slot on top.
    min -= full + cPitchBendRange / 12.0f;
    max += full + cPitchBendRange / 12.0f;
    break;
  case cTargetOsc2Detune:
    min -= full;
    max += full;
    break;
  case cTargetVolume:
    // Velocity or a controller may lift a quiet setting up to unity gain.
    min = 0.0f;
    max = std::max(max, full);
    break;
  case cTargetLFO1Frequency:
  case cTargetLFO1Frequency + 1:
  case cTargetLFO1Frequency + 2:
    // A synchronised LFO's own frequency may lie outside the knob's range.
    min = 0.001f;
    max = 1000.0f;
    break;
  default:
    break;
  }
}

void ZarnPlugin::buildModulation() {
  wave::Environment* env = getEnvironment();
  for (int n = 0; n < cLfoCount; ++n) mMatrix->setGlobalSource(cSourceLFO1 + n, mLfos[n].get());
  mMatrix->setGlobalSource(cSourceModWheel, mModWheel.get());
  mMatrix->setGlobalSource(cSourcePitchBend, mPitchBend.get());
  mMatrix->setGlobalSource(cSourceAftertouch, mAftertouch.get());

  float min = 0.0f, max = 0.0f;
  mCommonScope = std::make_unique<ModulationMatrix::Voice>(mMatrix.get());
  for (int t = 0; t < cInstrumentTargetCount; ++t) {
    if (!isVoiceTarget(t)) continue;
    targetLimits(t, min, max);
    for (int i = 0; i < cMaxVoices; ++i)
      mVoiceInputs[i][t] =
          std::make_unique<ModulationMatrixInput>(env, &mVoices[i]->mod, t, mDefaultTargets[t], min, max);
    mCommonInputs[t] =
        std::make_unique<ModulationMatrixInput>(env, mCommonScope.get(), t, mDefaultTargets[t], min, max);
  }

  ModulationMatrix::Scope* global = &mMatrix->getGlobalScope();
  targetLimits(cTargetStereo, min, max);
  mStereoInput =
      std::make_unique<ModulationMatrixInput>(env, global, cTargetStereo, mTargetSources[cTargetStereo].get(), min, max);
  mStereoSpread->spread.setController(mStereoInput.get());
  for (int n = 0; n < cLfoCount; ++n) {
    targetLimits(cTargetLFO1Frequency + n, min, max);
    mLfoInputs[n] = std::make_unique<ModulationMatrixInput>(env, global, cTargetLFO1Frequency + n,
                                                            mTargetSources[cTargetLFO1Frequency + n].get(), min, max);
    mLfos[n]->frequency.setController(mLfoInputs[n].get());
  }
  getModMatrixParameters()->bind(mMatrix.get());
  mRouted = false;
}

void ZarnPlugin::releaseModulation() {
  if (ModulationMatrixParameterSet* slots = getModMatrixParameters()) slots->bind(nullptr);
  if (mStereoSpread) mStereoSpread->spread.setController(nullptr);
  for (int n = 0; n < cLfoCount; ++n)
    if (mLfos[n]) mLfos[n]->frequency.setController(nullptr);
  wave::Producer* none[cTargetCount] = {};
  for (auto& v : mVoices)
    if (v) v->setTargetInputs(none);
  for (auto& inputs : mVoiceInputs)
    for (auto& in : inputs) in.reset();
  for (auto& in : mCommonInputs) in.reset();
  mCommonScope.reset();
  for (auto& in : mLfoInputs) in.reset();
  mStereoInput.reset();
}

void ZarnPlugin::routeModulation() {
  // Every slot change counts among the environment's parameter changes:
  // while that count stands, the matrix is not looked at (an idle
  // instance would read it in every quantum).
  wave::Environment* env = getEnvironment();
  if (mRouted && env->parameterChanges == mRoutedParameterChanges) return;
  mMatrix->update();
  const uint32_t generation = mMatrix->getGeneration();
  mRoutedParameterChanges = env->parameterChanges;
  if (mRouted && generation == mRoutedGeneration) return;
  mRouted = true;
  mRoutedGeneration = generation;
  // Per-voice lists are the same in every voice.
  bool modulated[cTargetCount] = {};
  for (int t = 0; t < cInstrumentTargetCount; ++t) {
    const int8_t* slots = nullptr;
    modulated[t] = isVoiceTarget(t) && mMatrix->getSlotList(true, t, slots) > 0;
  }
  // The gains and cut-offs whose inputs every voice shares are computed
  // once; the voices take them where they read the same inputs.
  auto common = [&](int t) -> wave::Producer* {
    if (!modulated[t]) return mDefaultTargets[t];
    return mMatrix->dependsOnVoice(t) ? nullptr : mCommonInputs[t].get();
  };
  auto share = [&](auto& unit, int a, int b) {
    wave::Producer* x = common(a);
    wave::Producer* y = common(b);
    if (x && y)
      unit->setInputs(x, y);
    else
      unit->setInputs(mDefaultTargets[a], mDefaultTargets[b]);
  };
  share(mOsc1Gains, cTargetOsc1Level, cTargetOsc1Pan);
  share(mOsc2Gains, cTargetOsc2Level, cTargetOsc2Pan);
  share(mNoiseGains, cTargetNoiseLevel, cTargetNoisePan);
  share(mCutoff1, cTargetFilter1Freq, cTargetFilter1Pan);
  share(mCutoff2, cTargetFilter2Freq, cTargetFilter2Pan);
  wave::Producer* inputs[cTargetCount];
  for (int i = 0; i < cMaxVoices; ++i) {
    for (int t = 0; t < cTargetCount; ++t) inputs[t] = modulated[t] ? getVoiceTargetInput(i, t) : nullptr;
    mVoices[i]->setTargetInputs(inputs);
  }
  // At the end of a block an LFO nobody pulled has its mute call; one whose
  // frequency is modulated reads its sources' blocks there, which may be
  // other LFOs' mute-call blocks. Only while no LFO frequency is modulated
  // may they leave those blocks unwritten.
  bool lfoFrequencyModulated = false;
  for (int n = 0; n < cLfoCount; ++n)
    for (bool voice : {false, true}) {
      const int8_t* slots = nullptr;
      lfoFrequencyModulated = lfoFrequencyModulated || mMatrix->getSlotList(voice, cTargetLFO1Frequency + n, slots) > 0;
    }
  for (auto& lfo : mLfos) lfo->writeOnMuteCalls = lfoFrequencyModulated;
  mRoutedParameterChanges = env->parameterChanges;
}

ModulationMatrixInput* ZarnPlugin::getVoiceTargetInput(int v, int t) const {
  if (v < 0 || v >= cMaxVoices || t < 0 || t >= cInstrumentTargetCount) return nullptr;
  if (mCommonInputs[t] && !mMatrix->dependsOnVoice(t)) return mCommonInputs[t].get();
  return mVoiceInputs[v][t].get();
}

void ZarnPlugin::bindTarget(FloatParamPluginParameter& p, int target) {
  const FloatPluginParameterTransform& t = p.getTransform();
  const float a = t.getValueOf(p.getMin());
  const float b = t.getValueOf(p.getMax());
  wave::FloatParameter& engine = mTargetSources[target]->parameter;
  engine.setLimits(std::min(a, b), std::max(a, b));
  p.addParameter(&engine);
}

ZarnLfoParameters& ZarnPlugin::lfoParameters(int n) { return n == 0 ? lfo1 : (n == 1 ? lfo2 : lfo3); }

void ZarnPlugin::bindParameters() {
  bindTarget(noiseLevel, cTargetNoiseLevel);
  bindTarget(noisePan, cTargetNoisePan);
  bindTarget(masterTune, cTargetMasterTune);
  bindTarget(osc1.sync, cTargetOsc1Sync);
  bindTarget(osc1.pulseWidth, cTargetOsc1PulseWidth);
  bindTarget(osc1.level, cTargetOsc1Level);
  bindTarget(osc1.pan, cTargetOsc1Pan);
  bindTarget(osc2Detune, cTargetOsc2Detune);
  bindTarget(osc2.sync, cTargetOsc2Sync);
  bindTarget(osc2.pulseWidth, cTargetOsc2PulseWidth);
  bindTarget(osc2.level, cTargetOsc2Level);
  bindTarget(osc2.pan, cTargetOsc2Pan);
  bindTarget(filter1.freq, cTargetFilter1Freq);
  bindTarget(filter1.pan, cTargetFilter1Pan);
  bindTarget(filter1.peak, cTargetFilter1Peak);
  bindTarget(filter2.freq, cTargetFilter2Freq);
  bindTarget(filter2.pan, cTargetFilter2Pan);
  bindTarget(filter2.peak, cTargetFilter2Peak);
  bindTarget(volume, cTargetVolume);
  bindTarget(stereo, cTargetStereo);
  for (int n = 0; n < cLfoCount; ++n) {
    ZarnLfoParameters& p = lfoParameters(n);
    bindTarget(p.frequency, cTargetLFO1Frequency + n);
    p.waveForm.addProperty(&mLfos[n]->waveForm);
    p.balance.addProperty(&mLfos[n]->balance);
    p.syncFreq.addProperty(&mLfoSyncFreq[n]);
    p.syncMode.addProperty(&mLfoSyncMode[n]);
    p.midiTrigger.addProperty(&mLfoTrigger[n]);
    p.polarity.addProperty(&mLfos[n]->polarity);
  }
  FloatParamPluginParameter* eg1Times[5] = {&eg1.delay, &eg1.attack, &eg1.decay, &eg1.sustain, &eg1.release};
  FloatParamPluginParameter* eg2Times[5] = {&eg2.delay, &eg2.attack, &eg2.decay, &eg2.sustain, &eg2.release};
  FloatParamPluginParameter* mainTimes[5] = {&egMain.hold, &egMain.attack, &egMain.decay, &egMain.sustain,
                                             &egMain.release};
  for (int i = 0; i < 5; ++i) {
    bindTarget(*eg1Times[i], cTargetEG1Delay + i);
    bindTarget(*eg2Times[i], cTargetEG2Delay + i);
    bindTarget(*mainTimes[i], cTargetEGMainHold + i);
  }
  // A stage time changes only the speed of the stage that runs, never the
  // level, so it needs no glide: a new one holds for the next key at once.
  // The sustain levels (the fourth of each) glide like every level.
  for (int i = 0; i < 5; ++i) {
    if (i == 3) continue;
    for (int first : {cTargetEG1Delay, cTargetEG2Delay, cTargetEGMainHold})
      mTargetSources[first + i]->parameter.setGlideTimes(0.0f, 0.0f);
  }

  osc1.scale.addProperty(&mOsc1Scale);
  osc2.scale.addProperty(&mOsc2Scale);
  osc1.phaseSync.addProperty(&mPhaseSync1);
  osc2.phaseSync.addProperty(&mPhaseSync2);
  filterRouting.addProperty(&mRouting);
  filter1.enabled.addProperty(&mFilter1Enabled);
  filter2.enabled.addProperty(&mFilter2Enabled);
  unisonSpread.addProperty(&mUnisonSpread);
  totalVoices.addProperty(&mTotalVoices);
  unisonVoices.addProperty(&mUnisonVoices);
  polyphony.addProperty(&mVoiceManager->polyphony);
  polyphony.addProperty(&mPolyphony);
  portamentoMode.addProperty(&mVoiceManager->portamentoMode);
  portamentoMode.addProperty(&mPortamentoMode);

  for (int k = 0; k < cMaxVoices; ++k) {
    osc1.waveForm.addProperty(&mCopies[k]->osc1.waveForm);
    osc2.waveForm.addProperty(&mCopies[k]->osc2.waveForm);
  }
  for (int i = 0; i < cMaxVoices; ++i) {
    ZarnVoice& v = *mVoices[i];
    noiseType.addProperty(&v.noise.waveForm);
    portamento.addProperty(&v.portamento.glideTime);
    for (MultiDesignFilter* f : {&v.filter1Left, &v.filter1Right}) {
      filter1.characteristic.addProperty(&f->characteristic);
      filter1.response.addProperty(&f->response);
      filter1.slope.addProperty(&f->slope);
    }
    for (MultiDesignFilter* f : {&v.filter2Left, &v.filter2Right}) {
      filter2.characteristic.addProperty(&f->characteristic);
      filter2.response.addProperty(&f->response);
      filter2.slope.addProperty(&f->slope);
    }
    eg1.range.addProperty(&v.eg1.range);
    eg2.range.addProperty(&v.eg2.range);
  }
}

void ZarnPlugin::buildComponents() {
  for (auto& c : mComponents) c = std::make_unique<ParameterCollection>(this);
  osc1.addTo(*mComponents[0]);
  mComponents[0]->registerParameter(&masterTune);
  osc2.addTo(*mComponents[0]);
  mComponents[0]->registerParameter(&osc2Detune);
  filter1.addTo(*mComponents[1]);
  filter2.addTo(*mComponents[1]);
  mComponents[1]->registerParameter(&filterRouting);
  egMain.addTo(*mComponents[2]);
  eg1.addTo(*mComponents[3]);
  eg2.addTo(*mComponents[4]);
  lfo1.addTo(*mComponents[5]);
  lfo2.addTo(*mComponents[6]);
  lfo3.addTo(*mComponents[7]);
}

void ZarnPlugin::settleParameters() {
  for (auto& s : mTargetSources)
    if (s) s->parameter.initialize();
}

// ---------------------------------------------------------------- engine

void ZarnPlugin::propertyChange(const AbstractProperty* p) {
  if (!mGraphBuilt) return;
  if (p == &mTotalVoices || p == &mUnisonVoices) {
    voiceLayoutChanged();
    return;
  }
  for (int n = 0; n < cLfoCount; ++n)
    if (p == &mLfoSyncMode[n] || p == &mLfoSyncFreq[n]) {
      updateLfoMode(n);
      return;
    }
  applyVoiceSettings();
}

void ZarnPlugin::applyVoiceSettings() {
  mSettings.osc1Scale = mOsc1Scale.get();
  mSettings.osc2Scale = mOsc2Scale.get();
  mSettings.phaseSync[0] = mPhaseSync1.get();
  mSettings.phaseSync[1] = mPhaseSync2.get();
  mSettings.routing = mRouting.get();
  mSettings.filterEnabled[0] = mFilter1Enabled.get();
  mSettings.filterEnabled[1] = mFilter2Enabled.get();
  mSettings.unisonSpread = mUnisonSpread.get();
  mSettings.legato = mPolyphony.get() == VoiceManager::cMono && mPortamentoMode.get() == VoiceManager::cLegato;
  for (auto& v : mVoices) v->applySettings();
}

void ZarnPlugin::voiceLayout(int totalVoices, int unisonVoices, int& keys, int& unison) {
  const int total = std::clamp(totalVoices, 1, static_cast<int>(cMaxVoices));
  // Each key takes `unison` copies out of the pool; Total Voices bounds the
  // copies sounding at once, so a unison count above the total plays one
  // key with as many copies as the total allows.
  unison = std::clamp(unisonVoices, 1, total);
  keys = total / unison;
}

bool ZarnPlugin::layoutChanges(int i, int keys, int unison) const {
  const ZarnVoice& v = *mVoices[i];
  const int count = i < keys ? unison : 0;
  if (v.getCopyCount() != count) return true;
  for (int k = 0; k < count; ++k)
    if (v.getCopy(k) != mCopyList[i * unison + k]) return true;
  return false;
}

void ZarnPlugin::reassignVoices() {
  applyVoiceSettings();
  int keys = 0, unison = 1;
  voiceLayout(mTotalVoices.get(), mUnisonVoices.get(), keys, unison);
  const float scale = 1.0f / std::sqrt(static_cast<float>(unison));
  mOsc1Gains->scale = scale;
  mOsc2Gains->scale = scale;
  // A voice that keeps its copies keeps sounding (its copies, and so the
  // shared gains' scale, are as they were). The others stop and let go of
  // their copies, which answer to no voice until dealt out again below.
  bool changed[cMaxVoices] = {};
  for (int i = 0; i < cMaxVoices; ++i) {
    ZarnVoice& v = *mVoices[i];
    changed[i] = layoutChanges(i, keys, unison) || v.isFadingOut();
    if (!changed[i]) continue;
    v.stop();
    for (int k = 0; k < v.getCopyCount(); ++k) {
      v.getCopy(k)->osc1.setMuteController(nullptr);
      v.getCopy(k)->osc2.setMuteController(nullptr);
    }
  }
  for (int i = 0; i < cMaxVoices; ++i) {
    if (!changed[i]) continue;
    ZarnVoice& v = *mVoices[i];
    if (i < keys)
      v.assignCopies(&mCopyList[i * unison], unison);
    else
      v.assignCopies(nullptr, 0);
  }
  mVoiceManager->numVoices = keys;
}

bool ZarnPlugin::fadeForLayout(int keys, int unison) {
  // Only voices the manager renders sound; the others are silent however
  // their envelopes stand.
  const int rendered = std::clamp(mVoiceManager->numVoices.get(), 0, static_cast<int>(cMaxVoices));
  const double rate = getEnvironment()->sampleRate;
  const int fade = std::max(1, static_cast<int>(std::lround(static_cast<double>(cVoiceFadeMs) * rate / 1000.0)));
  bool started = false;
  bool fading = false;
  for (int i = 0; i < rendered; ++i) {
    ZarnVoice& v = *mVoices[i];
    if (v.isMute() || v.hasFadedOut()) continue;
    if (v.isFadingOut()) {
      fading = true;
    } else if (layoutChanges(i, keys, unison)) {
      v.fadeOut(fade);
      started = true;
      fading = true;
    }
  }
  if (fading) mLayoutChange.fading(started ? fade : 0);
  return fading;
}

bool ZarnPlugin::anyVoiceSounds() const {
  const int rendered = std::clamp(mVoiceManager->numVoices.get(), 0, static_cast<int>(cMaxVoices));
  for (int i = 0; i < rendered; ++i)
    if (!mVoices[i]->isMute() && !mVoices[i]->hasFadedOut()) return true;
  return false;
}

bool ZarnPlugin::prepareParameterChanges() {
  if (!mGraphBuilt || mLayoutChange.state() == ZarnLayoutChange::State::dealing) return false;
  // The parameters hold what the queue brings: a preset's Total and Unison
  // Voices are known before any of its values reaches the engine. The
  // voices the new layout ends fade with the sound they have, and the rest
  // of the preset waits for them (mLayoutChange deals it).
  int keys = 0, unison = 1;
  voiceLayout(totalVoices.getTypedValue(), unisonVoices.getTypedValue(), keys, unison);
  int oldKeys = 0, oldUnison = 1;
  voiceLayout(mTotalVoices.get(), mUnisonVoices.get(), oldKeys, oldUnison);
  if (keys != oldKeys || unison != oldUnison) fadeForLayout(keys, unison);
  return mLayoutChange.holding();
}

void ZarnPlugin::parameterChange(int index) {
  GenericPlugin::parameterChange(index);
  if (mGraphBuilt && !mSettleBeforeSlice && !anyVoiceSounds()) mSettleBeforeSlice = true;
}

void ZarnPlugin::voiceLayoutChanged() {
  // Dealt by dealLayout, which brought the change.
  if (mLayoutChange.state() == ZarnLayoutChange::State::dealing) return;
  int keys = 0, unison = 1;
  voiceLayout(mTotalVoices.get(), mUnisonVoices.get(), keys, unison);
  if (!fadeForLayout(keys, unison)) reassignVoices();
}

void ZarnPlugin::dealLayout() {
  // What was held reaches the engine, and with it the layout the fades
  // were for.
  processParameterChangeEvents();
  mTotalVoices = totalVoices.getTypedValue();
  mUnisonVoices = unisonVoices.getTypedValue();
  reassignVoices();
}

void ZarnPlugin::play(const ZarnLayoutChange::Event& e) {
  switch (e.kind) {
  case ZarnLayoutChange::EventKind::noteOn:
    playNoteOn(e.note, e.value);
    break;
  case ZarnLayoutChange::EventKind::noteOff:
    mVoiceManager->keyUp(e.note + 1, e.value);
    break;
  case ZarnLayoutChange::EventKind::sustain:
    mVoiceManager->setSustain(e.value != 0.0f);
    break;
  case ZarnLayoutChange::EventKind::allNotesOff:
    // A panic message: nothing may keep sounding, not even under a pedal
    // that is still down, so the pedal counts as lifted until it moves
    // again.
    mVoiceManager->setSustain(false);
    mVoiceManager->keyUp(0, 1.0f);
    break;
  }
}

void ZarnPlugin::receive(ZarnLayoutChange::EventKind kind, int note, float value) {
  if (mGraphBuilt) mLayoutChange.receive({kind, static_cast<uint8_t>(note), value, getEnvironment()->sampleTime});
}

void ZarnPlugin::updateLfoMode(int n) {
  ModulationGenerator& lfo = *mLfos[n];
  // The LFO reads its frequency through the matrix's input, whose base is
  // the knob's signal while the LFO runs freely, and the LFO's own value,
  // which sync sets from the host's tempo, while it is synchronised.
  if (mLfoSyncMode[n].get() == ZarnLfoParameters::cFree) {
    mLfoInputs[n]->setBase(mTargetSources[cTargetLFO1Frequency + n].get());
  } else {
    mLfoInputs[n]->setBase(&lfo.frequency.source);
    lfo.resetSyncPositionOffset();
  }
  lfo.frequency.setController(mLfoInputs[n].get());
}

void ZarnPlugin::sync(float tempo, float position) {
  if (!mGraphBuilt) return;
  for (int n = 0; n < cLfoCount; ++n) {
    const int mode = mLfoSyncMode[n].get();
    if (mode == ZarnLfoParameters::cFree || !(tempo > 0.0f)) continue;
    mLfos[n]->sync(tempo, position, ZarnLfoParameters::syncCycleInBars(mLfoSyncFreq[n].get(), mode));
  }
}

bool ZarnPlugin::followsTransport() const {
  if (!mGraphBuilt) return false;
  for (int n = 0; n < cLfoCount; ++n)
    if (mLfoSyncMode[n].get() != ZarnLfoParameters::cFree) return true;
  return false;
}

void ZarnPlugin::processSlice(const float** outputs, int outputCount, int sampleCount) {
  const float* left = nullptr;
  const float* right = nullptr;
  if (mGraphBuilt) {
    if (mSettleBeforeSlice) {
      // No note to click on: the values are there for the next key.
      settleParameters();
      mSettleBeforeSlice = false;
    }
    routeModulation();
    wave::Block* l = mStereoSpread->getOutput(0)->pull(sampleCount, 0);
    wave::Block* r = mStereoSpread->getOutput(1)->pull(sampleCount, 0);
    left = l ? l->data : nullptr;
    right = r ? r->data : nullptr;
    mLayoutChange.rendered(sampleCount);
  }
  for (int i = 0; i < outputCount; ++i) outputs[i] = i == 0 ? left : (i == 1 ? right : nullptr);
}

int ZarnPlugin::beginSlice(int samples) {
  // Once every sample of the fades has been rendered (the voices that had
  // to end are silent), the layout is dealt; what waited plays when due.
  return mGraphBuilt ? mLayoutChange.beginSlice(getEnvironment()->sampleTime, samples) : samples;
}

void ZarnPlugin::setSampleRate(float rate) {
  if (!(rate > 0.0f)) return;
  prepareSampleRate(rate);
  getEnvironment()->setSampleRate(rate);
}

void ZarnPlugin::prepareSampleRate(float rate) {
  if (sOscillatorStyle && rate > 0.0f) sOscillatorStyle->prepareSampleRate(rate);
}

void ZarnPlugin::reset() {
  // What waited for the layout happened before the reset.
  if (mGraphBuilt) mLayoutChange.finish(getEnvironment()->sampleTime);
  GenericPlugin::reset();
  setSustain(false);
}

bool ZarnPlugin::readPreset(const std::string& path, PresetData& data, PresetLoadFailure& failure) {
  // Files of versions 2 and 3 and of the betas stored other parameter
  // layouts and are refused without touching a parameter. Version 4 has
  // this layout, at the level before the voice gain.
  CollectionPresetLoader loader(&getParameters());
  const bool read = loader.read(path, cPresetFileVersion, data, std::string(), 4);
  failure = loader.failure();
  return read;
}

void ZarnPlugin::applyPresetData(const PresetData& data) {
  beginParameterUpdate();
  GenericPlugin::applyPresetData(data);
  if (data.version == 4) upgradeState(0);
  endParameterUpdate();
}

float ZarnPlugin::upgradeVolume(float x) { return x / std::sqrt(ZarnVoice::cOutputLevel); }

void ZarnPlugin::upgradeState(int fromVersion) {
  if (fromVersion < 1) volume.setValue(upgradeVolume(volume.getValue()), 0);
}

int ZarnPlugin::getLFOState(int lfo) const {
  if (lfo < 0 || lfo >= cLfoCount || !mLfos[lfo]) return 0;
  return mLfos[lfo]->getIndicator();
}

void ZarnPlugin::lfoIndicatorChanged(void* sender) {
  for (int n = 0; n < cLfoCount; ++n)
    if (mLfos[n].get() == sender) notifyGeneralChange(n);
}

// ---------------------------------------------------------------- MIDI

void ZarnPlugin::noteOn(int note, float velocity) { receive(ZarnLayoutChange::EventKind::noteOn, note, velocity); }

void ZarnPlugin::playNoteOn(int note, float velocity) {
  // A restart under notes that sound ramps to the restarted wave; with
  // nothing sounding, it may jump.
  int sounding = -1;
  for (int n = 0; n < cLfoCount; ++n) {
    if (!mLfoTrigger[n].get()) continue;
    if (sounding < 0)
      sounding = std::any_of(std::begin(mVoices), std::end(mVoices), [](const auto& v) { return v && !v->isMute(); })
                     ? 1
                     : 0;
    if (sounding)
      mLfos[n]->retrigger();
    else
      mLfos[n]->reset();
  }
  // The voice manager keeps note 0 for "every key": notes travel shifted
  // by one, so that MIDI note 0 is a key like the others.
  mVoiceManager->keyDown(note + 1, velocity);
}

void ZarnPlugin::noteOff(int note, float velocity) { receive(ZarnLayoutChange::EventKind::noteOff, note, velocity); }

void ZarnPlugin::allNotesOff() { receive(ZarnLayoutChange::EventKind::allNotesOff, 0, 0.0f); }

void ZarnPlugin::allSoundOff() {
  if (!mGraphBuilt) return;
  // Everything stops now, what waited for the layout too.
  mLayoutChange.finish(getEnvironment()->sampleTime);
  play({ZarnLayoutChange::EventKind::allNotesOff, 0, 0.0f, getEnvironment()->sampleTime});
  for (auto& v : mVoices) v->stop();
}

void ZarnPlugin::setSustain(bool down) { receive(ZarnLayoutChange::EventKind::sustain, 0, down ? 1.0f : 0.0f); }

void ZarnPlugin::setModWheel(float value) {
  if (mModWheel) mModWheel->parameter = std::clamp(value, 0.0f, 1.0f);
}

void ZarnPlugin::setPitchBend(float bend) {
  if (mPitchBend) mPitchBend->parameter = std::clamp(bend, -1.0f, 1.0f);
}

void ZarnPlugin::setAftertouch(float value) {
  if (mAftertouch) mAftertouch->parameter = std::clamp(value, 0.0f, 1.0f);
}

// ---------------------------------------------------------------- modulation

wave::Producer* ZarnPlugin::getDefaultTargetInput(int target) const {
  return target >= 0 && target < cTargetCount ? mDefaultTargets[target] : nullptr;
}

wave::Producer* ZarnPlugin::getGlobalSource(int source) const {
  if (const int lfo = source - cSourceLFO1; lfo >= 0 && lfo < cLfoCount) return mLfos[lfo].get();
  switch (source) {
  case cSourceModWheel:
    return mModWheel.get();
  case cSourcePitchBend:
    return mPitchBend.get();
  case cSourceAftertouch:
    return mAftertouch.get();
  default:
    return nullptr;
  }
}
