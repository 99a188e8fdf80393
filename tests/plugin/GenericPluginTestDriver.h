#pragma once

// A small product built on GenericPlugin for the plug-in object's tests: a
// few parameters whose engine side records what reached it, a producer whose
// output is the running sample position (so each host sample shows which
// sample of the plug-in's clock it came from), a channel receiver that notes
// at which position each MIDI message was decoded, and an adapter and a
// listener that record what the plug-in tells them.
//
// Everything the render thread writes lives in fixed arrays, so a render
// pass allocates nothing of its own.

#include "base/Property.h"
#include "plugin/AbstractPluginParameter.h"
#include "plugin/DefaultEventReceiver.h"
#include "plugin/GenericPlugin.h"
#include "plugin/MidiVirtualPluginParameter.h"
#include "wave/Producer.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace genericplugintest {

// A continuous parameter with a linear range. The value is atomic because
// the stress test reads it on one thread while another sets it.
class DriverParameter : public AbstractPluginParameter {
public:
  DriverParameter(GenericParameterOwner* owner, const std::string& name, float min, float max, float def);

  float convertNaturalToNormalized(float natural) const override { return (natural - mMin) / (mMax - mMin); }
  float convertNormalizedToNatural(float normalized) const override { return mMin + normalized * (mMax - mMin); }
  std::string convertValueToString(float natural) const override;
  float getDefault() const override { return mDefault; }
  float getMax() const override { return mMax; }
  float getMin() const override { return mMin; }
  float getValue() const override { return mValue.load(); }
  void setValue(float natural, int flags) override;
  // Render thread: what the engine was last given.
  void updateValue(float natural) override;

  std::atomic<float> engineValue{-12345.0f};
  std::atomic<int> engineUpdates{0};

private:
  float mMin, mMax, mDefault;
  std::atomic<float> mValue;
};

// A parameter whose values of plug-in version 0 cannot be read.
class VersionedDriverParameter : public DriverParameter {
public:
  using DriverParameter::DriverParameter;
  bool convertVersionedToNatural(float versioned, int version, float& natural) const override;
};

// The running sample position of the environment: sample i of a block is
// sampleTime + i. Records every slice length and the control register seen
// while producing.
class PositionSource : public wave::Source {
public:
  static constexpr int cLogSize = 4096;

  explicit PositionSource(wave::Environment* env) : wave::Source(env) {}
  void produce(wave::Block* block, int n, int flags) override;

  int slices[cLogSize] = {};
  int sliceCount = 0;
  unsigned lastCsr = 0;
};

// Channel receiver that records each decoded message with the position of
// the plug-in's clock at the moment it was decoded, and passes controllers
// on to MIDI learn and mapping.
class PositionReceiver : public DefaultChannelEventReceiver {
public:
  static constexpr int cLogSize = 1024;
  struct Entry {
    int kind; // 0x9 note-on, 0x8 note-off, 0xB controller
    int number;
    uint32_t position;
  };

  PositionReceiver(ControllerMapping* mapping, GenericPlugin* plugin) : DefaultChannelEventReceiver(mapping, plugin) {}
  void receiveNoteOn(int note, float velocity) override;
  void receiveNoteOff(int note, float velocity) override;
  void receiveControllerMessage(int controller, int value, float normalized) override;

  Entry log[cLogSize] = {};
  // Entries in the log, and messages decoded in all.
  std::atomic<int> count{0};
  std::atomic<int> total{0};

private:
  void add(int kind, int number);
};

class RecordingAdapter : public GenericPlugin::Adapter {
public:
  static constexpr int cLogSize = 4096;
  void pluginParameterChange(int index) override;
  void pluginPresetChange() override { presetChanges.fetch_add(1); }
  int calls() const { return count.load(); }

  int indexes[cLogSize] = {};
  std::atomic<int> count{0};
  std::atomic<int> allParameters{0};
  std::atomic<int> presetChanges{0};
};

class RecordingListener : public GenericPlugin::Listener {
public:
  static constexpr int cLogSize = 4096;
  struct Event {
    int code;
    int value;
  };
  void postEvent(int code, int value) override;
  int calls() const { return count.load(); }
  // Events with that code (and value, unless any).
  int countOf(int code) const;
  int countOf(int code, int value) const;

  Event events[cLogSize] = {};
  std::atomic<int> count{0};
};

// Counts its property notifications.
class CountingOwner : public PropertyOwner {
public:
  void propertyChange(const AbstractProperty*) override { ++changes; }
  int changes = 0;
};

// A MIDI-only parameter that records the last value it was given.
class RecordingVirtualParameter : public MidiVirtualPluginParameter {
public:
  RecordingVirtualParameter(GenericPlugin* plugin, const std::string& name) : MidiVirtualPluginParameter(plugin, name) {}
  void receiveMessage(float normalized) override {
    last = normalized;
    ++messages;
  }
  float last = -1.0f;
  int messages = 0;
};

// Counts of the shared-object hooks, over all instances of the process.
struct LifeCycleCounts {
  int creates = 0;
  int releases = 0;
  int settingsReads = 0;
  int settingsWrites = 0;
  int midiLoads = 0;
  int midiFactoryLoads = 0;
  int midiSaves = 0;
};
extern LifeCycleCounts gCounts;

// The product: parameters "Gain" (0..1, default 0.5), "Cutoff" (20..20000,
// default 1000), "Shape" (0..8, default 0), "Drive" (versioned, 0..1,
// default 0.25); channels whose output is the PositionSource (or, with
// passThrough, each channel's own main input); its own channel receiver.
// type 0 makes it an instrument, 1 an effect; channels is the declared
// channel count, of which the product builds at most two.
class TestProduct : public GenericPlugin {
public:
  struct Options {
    int maxBlockSize = 256;
    int type = 0;
    int channels = 1;
    bool sideChain = false;
    bool buildChannels = true;
    bool passThrough = false;
    // Preset folder the settings pass points the library at ("" leaves it).
    std::string presetFolder;
    // Help-file name the settings pass "reads".
    std::string storedHelpFile;
  };

  TestProduct() : TestProduct(Options()) {}
  explicit TestProduct(const Options& options);
  ~TestProduct() override;

  std::string getIdentifier() override { return "QTst"; }
  int getType() override { return mOptions.type; }
  bool hasSideChain() override { return mOptions.sideChain; }

  void serialize(SettingSerializer* serializer) override;
  bool loadMidiSettings() override;
  void loadMidiFactorySettings() override;
  bool saveMidiSettings() override;

  // Shows the MIDI-blocked flag to the tests.
  void setMidiBlocked(bool blocked) { mMidiBlocked = blocked; }

  // While set, the parameter changes are held back from the engine.
  std::atomic<bool> holdChanges{false};
  bool prepareParameterChanges() override { return holdChanges.load(); }
  // A slice also ends where the plug-in's clock reaches cutAt (-1: nowhere).
  int64_t cutAt = -1;
  int beginSlice(int samples) override;

  // Sends a MIDI message with the offset.
  void send(unsigned char status, unsigned char data1, unsigned char data2, int offset);
  // Renders one buffer into the product's own host buffers (outputs
  // outputCount of them, each cMaxFrames long).
  void render(int frames, int outputCount = 2);

  static constexpr int cMaxFrames = 4096;
  static constexpr int cMaxHostOutputs = 24;

  DriverParameter gain{this, "Gain", 0.0f, 1.0f, 0.5f};
  DriverParameter cutoff{this, "Cutoff", 20.0f, 20000.0f, 1000.0f};
  DriverParameter shape{this, "Shape", 0.0f, 8.0f, 0.0f};
  VersionedDriverParameter drive{this, "Drive", 0.0f, 1.0f, 0.25f};

  PositionSource* source = nullptr;
  PositionReceiver* receiver = nullptr;
  Channel* channels[2] = {nullptr, nullptr};
  int channelChanges = 0; // parameterChange calls seen on the plug-in

  alignas(16) float outputs[cMaxHostOutputs][cMaxFrames];
  float* outputPointers[cMaxHostOutputs];

protected:
  AbstractMusicEventReceiver* createMusicEventReceiver() override;
  void createSharedObjects(const std::string& name) override;
  void releaseSharedObjects() override;
  void parameterChange(int index) override;

private:
  Options mOptions;
};

// A product that overrides nothing but its identifier: the base class's
// answers, and registration without initialization.
class BareProduct : public GenericPlugin {
public:
  BareProduct() : GenericPlugin(0) {}
  std::string getIdentifier() override { return "QBar"; }
};

} // namespace genericplugintest
