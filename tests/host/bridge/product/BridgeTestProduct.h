#pragma once

// A small product built on GenericPlugin for the bridge's tests: four
// parameters (two continuous, two indexed, one with a negative minimum),
// an instrument that writes recognisable samples from the sample of each
// note-on, or an effect that scales its inputs and adds its side chain, and
// counters of what reached it (resets, tempo and position, inputs).
//
// Instrument output while a note sounds, at the note's k-th sample:
//   base = Level x (note + 12 x Octave + 1) / 128
//   Flat: base; Ramp: base x (k % 64 + 1) / 64; Alternate: base, -base, ...;
//   Steps: base x (1 + (k / 32) % 4) / 4; then + Offset / 8.
// Channel 0 gets that value, channel 1 half of it; silence without a note.
// Effect output of channel c: main input c x Level + side-chain input c / 4.
//
// Built into the test bundle and linked into the test program, so tests can
// use it in-process as well; createPluginInstance builds it with the options
// of productOptions().

#include "plugin/DefaultEventReceiver.h"
#include "plugin/FloatPluginParameter.h"
#include "plugin/GenericPlugin.h"
#include "plugin/IndexedPluginParameter.h"

#include <atomic>
#include <cstddef>
#include <string>

namespace bridgetest {

struct ProductOptions {
  int type = 0; // 0 instrument, 1 effect
  int channels = 2;
  int category = 0;
  bool sideChain = false;
  std::string identifier = "QBrt";
  // The editor's background picture; a missing one makes the editor fail.
  std::string editorBackground = "BridgeTestBackground.png";
  // A preset of the library that the constructor loads, as a product loads
  // a user's start sound; none when empty.
  std::string startPreset;
};
// What createPluginInstance builds (the test program's own copy; the bundle
// has its own, left at the defaults).
ProductOptions& productOptions();

constexpr const char* kProductName = "BridgeTest";

// A continuous parameter whose engine value is a float of the product's.
class EngineFloatParameter : public FloatPluginParameter {
public:
  EngineFloatParameter(GenericParameterOwner* owner, const std::string& name, float min, float max, float def,
                       float* engine);
  void updateValue(float natural) override { *mEngine = natural; }

private:
  float* mEngine;
};

class EngineIndexParameter : public IndexedPluginParameter<int> {
public:
  EngineIndexParameter(GenericParameterOwner* owner, const std::string& name, int first, int last, int def,
                       const std::string& names, int* engine);
  void updateValue(float natural) override { *mEngine = static_cast<int>(natural); }

private:
  int* mEngine;
};

class BridgeTestProduct : public GenericPlugin {
public:
  static constexpr int kMaxBlock = 256;
  enum Mode { Flat = 0, Ramp = 1, Alternate = 2, Steps = 3 };

  explicit BridgeTestProduct(const ProductOptions& options = productOptions());
  ~BridgeTestProduct() override;

  std::string getIdentifier() override { return mOptions.identifier; }
  int getCategory() override { return mOptions.category; }
  int getType() override { return mOptions.type; }
  bool hasSideChain() override { return mOptions.sideChain; }
  // The editor's size (BridgeTestEditor.h).
  int getInterfaceWidth() override { return 320; }
  int getInterfaceHeight() override { return 200; }

  void reset() override;
  void sync(float tempo, float position) override;
  bool followsTransport() const override { return following.load(); }
  void connectInputs(float** inputs, int inputCount, int sampleCount) override;
  void processSlice(const float** outputs, int outputCount, int sampleCount) override;

  // Render thread, from MIDI decoding.
  void noteOn(int note);
  void noteOff(int note);

  // The value the formula above gives at the k-th sample of a note, for the
  // given parameter values (channel 0).
  static float expectedSample(float level, float offset, int mode, int octave, int note, int k);

  // Engine side: render thread only.
  struct Engine {
    float level = 0.5f;
    float offset = 0.0f;
    int mode = Flat;
    int octave = 0;
  };

  // Parameters, in index order.
  Engine engine;
  EngineFloatParameter level{this, "Level", 0.0f, 1.0f, 0.5f, &engine.level};
  EngineIndexParameter mode{this, "Mode", 0, 3, 0, "Flat,Ramp,Alternate,Steps", &engine.mode};
  EngineFloatParameter offset{this, "Offset", -1.0f, 1.0f, 0.0f, &engine.offset};
  EngineIndexParameter octave{this, "Octave", -2, 2, 0, "", &engine.octave};

  // What reached the product (written on the render thread).
  std::atomic<int> resets{0};
  std::atomic<size_t> resetThread{0}; // std::hash of the thread's id
  std::atomic<int> syncs{0};
  std::atomic<bool> following{true}; // what followsTransport answers
  std::atomic<float> lastTempo{-1.0f};
  std::atomic<float> lastPosition{-1.0f};
  std::atomic<int> noteOns{0};
  std::atomic<int> lastInputCount{-1};
  // The first sample of each input passed on; -1000 for a null input.
  std::atomic<float> lastInputs[4] = {-1000.0f, -1000.0f, -1000.0f, -1000.0f};

protected:
  AbstractMusicEventReceiver* createMusicEventReceiver() override;

private:
  const float* input(int i) const { return i < mInputCount ? mInputs[i] : nullptr; }

  ProductOptions mOptions;
  // Render thread.
  bool mGate = false;
  int mNote = 0;
  int mPhase = 0;
  float** mInputs = nullptr;
  int mInputCount = 0;
  int mPosition = 0; // within the current host buffer
  alignas(16) float mOut[2][kMaxBlock];
};

// Passes notes to the product; controllers and program changes go the
// default way (MIDI learn, presets).
class ToneReceiver : public DefaultChannelEventReceiver {
public:
  ToneReceiver(ControllerMapping* mapping, BridgeTestProduct* product)
      : DefaultChannelEventReceiver(mapping, product), mProduct(product) {}
  void receiveNoteOn(int note, float velocity) override;
  void receiveNoteOff(int note, float velocity) override;

private:
  BridgeTestProduct* mProduct;
};

} // namespace bridgetest
