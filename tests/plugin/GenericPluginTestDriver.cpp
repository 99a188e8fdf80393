#include "tests/plugin/GenericPluginTestDriver.h"

#include "base/PresetManager.h"
#include "base/VersionInfo.h"
#include "wave/Environment.h"
#include "wave/Input.h"

#include <cstdio>
#include <xmmintrin.h>

namespace genericplugintest {

LifeCycleCounts gCounts;

DriverParameter::DriverParameter(GenericParameterOwner* owner, const std::string& name, float min, float max,
                                 float def)
    : AbstractPluginParameter(owner, cContinuous, name), mMin(min), mMax(max), mDefault(def), mValue(def) {}

std::string DriverParameter::convertValueToString(float natural) const {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", natural);
  return text;
}

void DriverParameter::setValue(float natural, int flags) {
  if (natural == mValue.load()) return;
  mValue.store(natural);
  handleParameterChange(natural, flags);
}

void DriverParameter::updateValue(float natural) {
  engineValue.store(natural);
  engineUpdates.fetch_add(1);
}

bool VersionedDriverParameter::convertVersionedToNatural(float versioned, int version, float& natural) const {
  if (version == 0) return false;
  return DriverParameter::convertVersionedToNatural(versioned, version, natural);
}

void PositionSource::produce(wave::Block* block, int n, int /*flags*/) {
  for (int i = 0; i < n; ++i) block->data[i] = static_cast<float>(env->sampleTime + static_cast<uint32_t>(i));
  if (sliceCount < cLogSize) slices[sliceCount++] = n;
  lastCsr = _mm_getcsr();
}

void PositionReceiver::add(int kind, int number) {
  total.fetch_add(1);
  const int i = count.load();
  if (i >= cLogSize) return;
  log[i] = Entry{kind, number, plugin->getEnvironment()->sampleTime};
  count.store(i + 1);
}

void PositionReceiver::receiveNoteOn(int note, float /*velocity*/) { add(0x9, note); }
void PositionReceiver::receiveNoteOff(int note, float /*velocity*/) { add(0x8, note); }
void PositionReceiver::receiveControllerMessage(int controller, int value, float normalized) {
  add(0xB, controller);
  DefaultChannelEventReceiver::receiveControllerMessage(controller, value, normalized);
}

void RecordingAdapter::pluginParameterChange(int index) {
  const int i = count.fetch_add(1);
  if (i < cLogSize) indexes[i] = index;
  if (index == -1) allParameters.fetch_add(1);
}

void RecordingListener::postEvent(int code, int value) {
  const int i = count.fetch_add(1);
  if (i < cLogSize) events[i] = Event{code, value};
}

int RecordingListener::countOf(int code) const {
  int n = 0;
  for (int i = 0; i < calls() && i < cLogSize; ++i) n += events[i].code == code;
  return n;
}

int RecordingListener::countOf(int code, int value) const {
  int n = 0;
  for (int i = 0; i < calls() && i < cLogSize; ++i) n += events[i].code == code && events[i].value == value;
  return n;
}

TestProduct::TestProduct(const Options& options) : GenericPlugin(options.channels), mOptions(options) {
  initialize("Tester", options.maxBlockSize);
  source = new PositionSource(getEnvironment());
  if (options.buildChannels) {
    const int count = options.channels < 2 ? options.channels : 2;
    for (int i = 0; i < count; ++i) {
      channels[i] = new Channel(this);
      channels[i]->setOutput(options.passThrough ? static_cast<wave::Producer*>(channels[i]->getInput()) : source);
    }
  }
  for (int i = 0; i < cMaxHostOutputs; ++i) outputPointers[i] = outputs[i];
}

TestProduct::~TestProduct() {
  // The graph goes before the environment it lives on.
  delete channels[0];
  delete channels[1];
  delete source;
  finalize();
}

AbstractMusicEventReceiver* TestProduct::createMusicEventReceiver() {
  auto* music = new DefaultEventReceiver(sControllerMapping, this);
  receiver = new PositionReceiver(sControllerMapping, this);
  music->setChannelEventReceiver(receiver);
  return music;
}

void TestProduct::createSharedObjects(const std::string& name) {
  ++gCounts.creates;
  GenericPlugin::createSharedObjects(name);
}

void TestProduct::releaseSharedObjects() {
  ++gCounts.releases;
  GenericPlugin::releaseSharedObjects();
}

void TestProduct::serialize(SettingSerializer* serializer) {
  if (serializer->isWriter()) {
    ++gCounts.settingsWrites;
  } else {
    ++gCounts.settingsReads;
    if (!mOptions.storedHelpFile.empty()) sSettings->HelpFileName = mOptions.storedHelpFile;
  }
  GenericPlugin::serialize(serializer);
  // What the full settings pass does with the library and the version.
  if (!mOptions.presetFolder.empty()) sPresetManager->initialize(mOptions.presetFolder);
  sVersionInfo->serializeCurrentVersion(serializer);
}

bool TestProduct::loadMidiSettings() {
  ++gCounts.midiLoads;
  return GenericPlugin::loadMidiSettings();
}

void TestProduct::loadMidiFactorySettings() {
  ++gCounts.midiFactoryLoads;
  GenericPlugin::loadMidiFactorySettings();
}

bool TestProduct::saveMidiSettings() {
  ++gCounts.midiSaves;
  return GenericPlugin::saveMidiSettings();
}

int TestProduct::beginSlice(int samples) {
  const int64_t until = cutAt - static_cast<int64_t>(getEnvironment()->sampleTime);
  return until > 0 && until < samples ? static_cast<int>(until) : samples;
}

void TestProduct::parameterChange(int index) {
  ++channelChanges;
  GenericPlugin::parameterChange(index);
}

void TestProduct::send(unsigned char status, unsigned char data1, unsigned char data2, int offset) {
  MidiMessage m;
  m.status = status;
  m.data1 = data1;
  m.data2 = data2;
  m.sampleOffset = offset;
  receiveMidiMessage(m);
}

void TestProduct::render(int frames, int outputCount) {
  process(nullptr, 0, outputPointers, outputCount, frames);
}

} // namespace genericplugintest
