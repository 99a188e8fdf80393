#include "tests/host/bridge/product/BridgeTestProduct.h"

#include "host/bridge/PluginInstanceFactory.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <thread>

namespace bridgetest {

ProductOptions& productOptions() {
  static ProductOptions options;
  return options;
}

EngineFloatParameter::EngineFloatParameter(GenericParameterOwner* owner, const std::string& name, float min,
                                           float max, float def, float* engine)
    : FloatPluginParameter(owner, name), mEngine(engine) {
  setLimits(min, max, def);
}

EngineIndexParameter::EngineIndexParameter(GenericParameterOwner* owner, const std::string& name, int first,
                                           int last, int def, const std::string& names, int* engine)
    : IndexedPluginParameter<int>(owner, name), mEngine(engine) {
  configure(first, last, def, names);
}

BridgeTestProduct::BridgeTestProduct(const ProductOptions& options)
    : GenericPlugin(options.channels), mOptions(options) {
  initialize(kProductName, kMaxBlock);
  std::memset(mOut, 0, sizeof mOut);
  if (!options.startPreset.empty()) loadPresetWithName(options.startPreset);
}

BridgeTestProduct::~BridgeTestProduct() { finalize(); }

AbstractMusicEventReceiver* BridgeTestProduct::createMusicEventReceiver() {
  auto* music = new DefaultEventReceiver(sControllerMapping, this);
  music->setChannelEventReceiver(new ToneReceiver(sControllerMapping, this));
  return music;
}

void BridgeTestProduct::reset() {
  GenericPlugin::reset();
  mGate = false;
  mPhase = 0;
  resetThread.store(std::hash<std::thread::id>()(std::this_thread::get_id()));
  resets.fetch_add(1);
}

void BridgeTestProduct::sync(float tempo, float position) {
  lastTempo.store(tempo);
  lastPosition.store(position);
  syncs.fetch_add(1);
}

void BridgeTestProduct::connectInputs(float** inputs, int inputCount, int /*sampleCount*/) {
  mInputs = inputs;
  mInputCount = inputCount;
  mPosition = 0;
  lastInputCount.store(inputCount);
  for (int i = 0; i < 4; ++i) {
    const float* in = input(i);
    lastInputs[i].store(in ? in[0] : -1000.0f);
  }
}

void BridgeTestProduct::noteOn(int note) {
  mGate = true;
  mNote = note;
  mPhase = 0;
  noteOns.fetch_add(1);
}

void BridgeTestProduct::noteOff(int note) {
  if (note == mNote) mGate = false;
}

float BridgeTestProduct::expectedSample(float level, float offset, int mode, int octave, int note, int k) {
  const int pitch = std::clamp(note + 12 * octave, 0, 127);
  const float base = level * static_cast<float>(pitch + 1) / 128.0f;
  float v = base;
  switch (mode) {
  case Ramp: v = base * static_cast<float>(k % 64 + 1) / 64.0f; break;
  case Alternate: v = (k & 1) ? -base : base; break;
  case Steps: v = base * static_cast<float>(1 + (k / 32) % 4) / 4.0f; break;
  default: break;
  }
  return v + offset / 8.0f;
}

void BridgeTestProduct::processSlice(const float** outputs, int outputCount, int n) {
  const int channels = std::min(outputCount, 2);
  if (mOptions.type == 1) {
    for (int c = 0; c < channels; ++c) {
      const float* main = input(c);
      const float* side = mOptions.sideChain ? input(mOptions.channels + c) : nullptr;
      for (int i = 0; i < n; ++i)
        mOut[c][i] = (main ? main[mPosition + i] * engine.level : 0.0f) + (side ? side[mPosition + i] / 4.0f : 0.0f);
    }
  } else {
    for (int i = 0; i < n; ++i) {
      const float v =
          mGate ? expectedSample(engine.level, engine.offset, engine.mode, engine.octave, mNote, mPhase++) : 0.0f;
      mOut[0][i] = v;
      mOut[1][i] = v * 0.5f;
    }
  }
  mPosition += n;
  for (int c = 0; c < outputCount; ++c) outputs[c] = c < channels ? mOut[c] : nullptr;
}

void ToneReceiver::receiveNoteOn(int note, float velocity) {
  if (velocity > 0.0f)
    mProduct->noteOn(note);
  else
    mProduct->noteOff(note);
}

void ToneReceiver::receiveNoteOff(int note, float) { mProduct->noteOff(note); }

} // namespace bridgetest

GenericPlugin* createPluginInstance() { return new bridgetest::BridgeTestProduct(); }
