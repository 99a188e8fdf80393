#include "tests/host/ProbePlugIn.h"

#include "host/PlugInEntryPoints.h"
#include "host/services/CDAEError.h"
#include "host/services/HostStrings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace hosttest {

namespace {
std::function<CProcessGroupInterface*()> gFactory;
}

ProbeControl::ProbeControl(uint32_t id, const char* names, int32_t max) : fID(id), fNames(names), fMax(max) {
  SetValue(ToControl(0, max));
}

int32_t ProbeControl::ToControl(int32_t position, int32_t max) {
  if (max <= 0) return -2147483647 - 1;
  return static_cast<int32_t>(static_cast<double>(position) / max * 4294967295.0 - 2147483648.0);
}

int32_t ProbeControl::ToPosition(int32_t control, int32_t max) {
  return static_cast<int32_t>((static_cast<double>(control) + 2147483648.0) / 4294967295.0 * max + 0.5);
}

int32_t ProbeControl::ConvertStringToValue(const char* text) const {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (end == text || *end) throw CDAEError(-7401);
  return ToControl(static_cast<int32_t>(std::min<long>(std::max<long>(v, 0), fMax)), fMax);
}

void ProbeControl::GetNameOfLength(char* out, int32_t maxLength, uint32_t) const {
  GetStringOfLength(out, fNames.c_str(), maxLength);
}

void ProbeControl::GetValueString(char* out, int32_t maxLength, int32_t value) const {
  char text[16];
  std::snprintf(text, sizeof text, "%d", ToPosition(value, fMax));
  std::string s = static_cast<int32_t>(std::strlen(text)) <= maxLength ? text : "*";
  s.resize(std::min<size_t>(s.size(), static_cast<size_t>(maxLength)));
  std::memcpy(out, s.c_str(), s.size() + 1);
}

std::atomic<int> ProbeProcess::sThrowOnRender{0};
std::atomic<int> ProbeProcess::sLive{0};

ProbeProcess::ProbeProcess() { ++sLive; }

ProbeProcess::~ProbeProcess() {
  if (IsMIDILoggedIn() && MIDILogOut() == 0) delete fNode;
  delete fTransport;
  --sLive;
}

int32_t ProbeProcess::Initialize() {
  if (MIDILogIn() == 0) {
    fNode = new CEffectMIDIRTASBufferedNode(GetMIDIWorld(), eMIDINode_BufferedInput, "Probe", nullptr);
    fNode->Initialize(1, 0);
    fTransport = new CEffectMIDITransport(GetMIDIWorld());
  }
  return CEffectProcess::Initialize();
}

void ProbeProcess::EffectInit() {
  AddControl(new ProbeControl(0x62797061, "Master Bypass\nMstr Byp\nMBYP\nByp", 1));
  DefineMasterBypassControlIndex(1);
  for (int32_t i = 0; i < ProbeGroup::sOptions.controls; ++i) AddControl(new ProbeControl(static_cast<uint32_t>(i), "Level\nLvl", 10));
}

void ProbeProcess::UpdateControlValueInAlgorithm(int32_t index) { fRecord.applied.push_back(index); }

int32_t ProbeProcess::SetSampleRate(int32_t rate) {
  if (rate == -1) throw static_cast<long>(-9006);
  if (rate == -2) throw std::runtime_error("rate");
  if (rate <= 0) throw CDAEError(-7104);
  return CProcess::SetSampleRate(rate);
}

void ProbeProcess::RenderAudio(float** inputs, float** outputs, int32_t n) {
  switch (sThrowOnRender.load()) {
  case 1: throw CDAEError(-7401);
  case 2: throw static_cast<long>(-9006);
  case 3: throw std::runtime_error("render");
  default: break;
  }
  fRecord.quanta.push_back(n);
  if (fTransport) {
    int64_t location = 0;
    double tempo = 0;
    int32_t num = 0, den = 0, bars = 0, beats = 0;
    int64_t ticks = 0;
    fRecord.transportStatus = fTransport->GetCurrentTempo(&tempo);
    if (fRecord.transportStatus == 0 && fTransport->GetCurrentRTASSampleLocation(&location) == 0 &&
        fTransport->GetCurrentMeter(&num, &den) == 0 &&
        fTransport->GetBarBeatPosition(&bars, &beats, &ticks, location) == 0) {
      fRecord.tempo = tempo;
      fRecord.location = location;
      fRecord.position = (bars * num + beats - 1) + static_cast<double>(ticks * den) * 2.604166666666667e-7;
    }
  }
  if (fNode)
    for (int32_t i = 0; i < fNode->GetBufferSize(); ++i) fRecord.midi.push_back(fNode->GetBufferPtr()[i]);
  int16_t outs = 0, ins = 0;
  GetNumAudioOutputs(&outs);
  GetNumAudioInputs(&ins);
  for (int32_t c = 0; c < outs; ++c)
    for (int32_t i = 0; i < n; ++i) outputs[c][i] = (c < ins ? inputs[c][i] : 0.0f) + 0.5f;
  // The side chain follows the main inputs.
  if (ProbeGroup::sOptions.sideChain && n > 0) fRecord.sideChain = inputs[ins][n - 1];
  if (int32_t v = fSendFromRender.exchange(0)) SetControlValue(2, v);
}

ProbeOptions ProbeGroup::sOptions;

ProbeGroup::ProbeGroup(const ProbeOptions& options) : fOptions(options) {
  sOptions = options;
  DefinePlugInNamesAndVersion("Quorvane Probe\nProbe", 3);
  DefineManufacturerNamesAndID("Quorvane", 0x5176726E);
  AddGestalt(14);
}

void ProbeGroup::CreateEffectTypes() {
  auto* type = new CEffectTypeRTAS(0x50726F62, 0x50726F31, 0x10); // 'Prob', 'Pro1'
  type->DefineTypeNames("Quorvane Probe\nProbe");
  if (fOptions.variableQuantum) type->AddGestalt(ePlugInGestalt_VariableQuantum);
  type->DefineSampleRateSupport(6);
  EPlugIn_StemFormat stem = fOptions.channels == 1 ? ePlugIn_StemFormat_Mono : ePlugIn_StemFormat_Stereo;
  if (fOptions.sideChain) type->AddGestalt(ePlugInGestalt_SideChainInput);
  type->DefineStemFormats(stem, stem, ePlugIn_StemFormat_Mono);
  type->AttachEffectProcessCreator([]() -> CEffectProcess* { return new ProbeProcess; }, nullptr);
  if (fOptions.configureType) fOptions.configureType(*type);
  AddEffectType(type);
}

void SetGroupFactory(std::function<CProcessGroupInterface*()> factory) { gFactory = std::move(factory); }

simhost::EntryPoints InProcessEntryPoints() {
  simhost::EntryPoints e;
  e.newPlugIn = NewMachOPlugIn;
  e.closePlugIn = CloseMachOPlugIn;
  e.getRoutine = _PI_GetRoutineDescriptor;
  e.takeFailureText = PlugInTakeFailureText;
  return e;
}

ProbeProcess* Probe(const simhost::Instance& in) {
  return dynamic_cast<ProbeProcess*>(CProcess::FromHostReference(in.process()));
}

ProbeHost::ProbeHost(const simhost::HostOptions& options, const ProbeOptions& probe, const std::string& bundlePath)
    : mHost(new simhost::SimHost(options)) {
  SetGroupFactory([probe] { return new ProbeGroup(probe); });
  int32_t status = mHost->attach(InProcessEntryPoints(), bundlePath);
  if (status != 0) throw simhost::HostError("probe group did not start", status);
}

ProbeHost::~ProbeHost() {
  mHost.reset();
  SetGroupFactory(nullptr);
  ProbeProcess::sThrowOnRender = 0;
}

std::string TestGainBundlePath() { return ZARN_TEST_GAIN_BUNDLE; }

} // namespace hosttest

CProcessGroupInterface* CProcessGroup::CreateProcessGroup() {
  if (hosttest::gFactory) return hosttest::gFactory();
  return new hosttest::ProbeGroup();
}
