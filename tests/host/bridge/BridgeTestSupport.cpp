#include "tests/host/bridge/BridgeTestSupport.h"

#include "base/Folders.h"
#include "base/Preset.h"
#include "base/PresetManager.h"
#include "host/PlugInEntryPoints.h"
#include "host/bridge/DigiPluginGroup.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

// The test program's own group: the bridge over the test product.
CProcessGroupInterface* CProcessGroup::CreateProcessGroup() {
  return CreateDigiPluginGroup("com.quorvane.bridgetest");
}

namespace bridgetest {

std::string BridgeTestBundlePath() { return ZARN_BRIDGE_TEST_BUNDLE; }

std::string ZarnBundlePath() {
#ifdef ZARN_BUNDLE
  return ZARN_BUNDLE;
#else
  return "";
#endif
}

simhost::EntryPoints InProcessEntryPoints() {
  simhost::EntryPoints e;
  e.newPlugIn = NewMachOPlugIn;
  e.closePlugIn = CloseMachOPlugIn;
  e.getRoutine = _PI_GetRoutineDescriptor;
  e.takeFailureText = PlugInTakeFailureText;
  return e;
}

InProcessHost::InProcessHost(const ProductOptions& product, const simhost::HostOptions& options) {
  productOptions() = product;
  mHost = std::make_unique<simhost::SimHost>(options);
  int32_t status = mHost->attach(InProcessEntryPoints(), BridgeTestBundlePath());
  if (status != 0) {
    mHost.reset();
    productOptions() = ProductOptions();
    throw simhost::HostError("the bridge's group did not start", status);
  }
}

InProcessHost::~InProcessHost() {
  mHost.reset();
  productOptions() = ProductOptions();
}

DigiRTASPluginAdapter* Adapter(const simhost::Instance& in) {
  return dynamic_cast<DigiRTASPluginAdapter*>(CProcess::FromHostReference(in.process()));
}

BridgeTestProduct* Product(const simhost::Instance& in) {
  DigiRTASPluginAdapter* a = Adapter(in);
  return a ? dynamic_cast<BridgeTestProduct*>(a->GetPlugin()) : nullptr;
}

std::vector<std::vector<float>> Render(simhost::SimHost& host, simhost::Instance& in, int32_t frames,
                                       const std::vector<std::vector<float>>& inputs) {
  std::vector<std::vector<float>> out(static_cast<size_t>(in.numOutputs()),
                                      std::vector<float>(static_cast<size_t>(frames), 99.0f));
  std::vector<float*> outPointers;
  for (auto& o : out) outPointers.push_back(o.data());
  std::vector<const float*> inPointers;
  for (auto& i : inputs) inPointers.push_back(i.data());
  inPointers.resize(static_cast<size_t>(in.numInputs()), nullptr);
  host.render(in, inPointers.data(), outPointers.data(), frames);
  return out;
}

int32_t ContinuousControl(double value, double min, double max) {
  const double v = std::floor((value - min) / (max - min) * 4294967295.0 - 2147483648.0 + 0.5);
  return static_cast<int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
}

int32_t ListControl(int32_t position, int32_t entries) {
  if (entries < 2) return -2147483647 - 1;
  const double v = std::trunc(static_cast<double>(position) / (entries - 1) * 4294967295.0 - 2147483648.0);
  return static_cast<int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
}

SavedState SaveState(const simhost::SimHost& host, const simhost::Instance& in) {
  SavedState s;
  for (uint32_t id : host.chunkIDs(in)) {
    std::vector<unsigned char> chunk;
    int32_t status = host.getChunk(in, id, chunk);
    if (status != 0) throw simhost::HostError("get chunk", status);
    s.chunks.emplace_back(id, std::move(chunk));
  }
  return s;
}

void RestoreState(const simhost::SimHost& host, const simhost::Instance& in, const SavedState& state) {
  for (const auto& [id, chunk] : state.chunks) {
    int32_t status = host.setChunk(in, id, chunk);
    if (status != 0) throw simhost::HostError("set chunk", status);
  }
}

std::string PresetNameOf(const std::vector<unsigned char>& chunk) {
  if (chunk.size() < 120) return "<short>";
  const char* field = reinterpret_cast<const char*>(chunk.data() + 56);
  return std::string(field, strnlen(field, 64));
}

std::string WritePreset(const std::string& name, float level, int mode, float offset, int octave) {
  BridgeTestProduct product{ProductOptions()};
  const std::string folder = GenericPlugin::sPresetManager->getFolderPath();
  if (folder.empty() || !createFolder(folder)) throw std::runtime_error("no preset folder: " + folder);
  product.level.setValue(level, 0);
  product.mode.setValue(static_cast<float>(mode), 0);
  product.offset.setValue(offset, 0);
  product.octave.setValue(static_cast<float>(octave), 0);
  const std::string path = (folder.back() == '/' ? folder : folder + "/") + name + ".qvp";
  Preset preset(path);
  if (!product.savePreset(&preset)) throw std::runtime_error("preset not written: " + path);
  return path;
}

int ProgramNumberOf(const std::string& name) {
  BridgeTestProduct product{ProductOptions()};
  PresetManager* manager = GenericPlugin::sPresetManager;
  manager->initialize(manager->getFolderPath());
  std::vector<Preset*> list;
  manager->buildPresetList(list);
  for (size_t i = 0; i < list.size() && i < 128; ++i)
    if (list[i]->getName() == name) return static_cast<int>(i);
  return -1;
}

} // namespace bridgetest
