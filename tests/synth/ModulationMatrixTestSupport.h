#pragma once

// What the modulation matrix tests share: producers with known output, a
// small product built on ModulationMatrixPlugin with two voices, and an
// adapter and a listener that record what the plug-in tells them.

#include "plugin/GenericPlugin.h"
#include "synth/ModulationMatrix.h"
#include "synth/ModulationMatrixInput.h"
#include "synth/ModulationMatrixParameterSet.h"
#include "synth/ModulationMatrixPlugin.h"
#include "wave/Environment.h"
#include "wave/FloatParameter.h"
#include "wave/Producer.h"

#include <memory>
#include <string>
#include <vector>

namespace modmatrixtest {

// Writes a + b * i for sample i of each block (b 0: a constant, still
// announced as varying unless constant is set); counts its renders.
class LineSource : public wave::Source {
public:
  LineSource(wave::Environment* env, float a, float b = 0.0f, bool constant = false)
      : wave::Source(env), a(a), b(b), constant(constant) {}
  void produce(wave::Block* block, int n, int flags) override {
    ++renders;
    constantBlock = constant;
    if (flags & wave::cMuteCall) return;
    for (int i = 0; i < n; ++i) block->data[i] = a + b * static_cast<float>(i);
  }
  float a, b;
  bool constant;
  int renders = 0;
};

// One voice of the test instrument: its per-voice sources and a few
// modulated inputs, each reading the product's shared base value.
struct TestVoice {
  TestVoice(ModulationMatrix* matrix, wave::Producer* filterBase, wave::Producer* volumeBase,
            wave::Producer* attackBase);

  ModulationMatrix::Voice scope;
  LineSource eg1;
  ModulationMatrix::ValueSource velocity;
  ModulationMatrix::ValueSource keyTrack;
  ModulationMatrixInput filter;
  ModulationMatrixInput volume;
  ModulationMatrixInput attack;
};

// The product: one instrument channel whose output is voice 0's filter
// input, the 120 slot parameters registered after a "Gain" parameter and
// before nothing else, a matrix bound to them, global sources (LFO 1 a
// ramp, the mod wheel a value) and a global Stereo input.
class MatrixProduct : public ModulationMatrixPlugin {
public:
  static constexpr int cBlock = 64;
  static constexpr int cMaxFrames = 1024;

  MatrixProduct();
  ~MatrixProduct() override;

  std::string getIdentifier() override { return "QMmx"; }
  int getType() override { return 0; }

  // Renders frames samples through process.
  void render(int frames);

  class GainParameter;
  std::unique_ptr<GainParameter> gain;
  ModulationMatrixParameterSet* slots = nullptr;
  std::unique_ptr<ModulationMatrix> matrix;
  // Shared base values, as a synthesizer's parameters would drive them.
  std::unique_ptr<wave::FloatParameterSource> filterBase, volumeBase, attackBase, stereoBase;
  std::unique_ptr<LineSource> lfo1;
  std::unique_ptr<ModulationMatrix::ValueSource> wheel;
  std::unique_ptr<TestVoice> voices[2];
  std::unique_ptr<ModulationMatrixInput> stereo;
  Channel* channel = nullptr;

  alignas(16) float output[cMaxFrames];
  float* outputs[1];
};

class RecordingAdapter : public GenericPlugin::Adapter {
public:
  void pluginParameterChange(int index) override { indexes.push_back(index); }
  void pluginPresetChange() override {}
  std::vector<int> indexes;
};

class RecordingListener : public GenericPlugin::Listener {
public:
  void postEvent(int code, int value) override { events.push_back({code, value}); }
  struct Event {
    int code, value;
  };
  std::vector<Event> events;
};

} // namespace modmatrixtest
