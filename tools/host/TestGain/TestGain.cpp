// Test Gain: the smallest plug-in the host layer can carry, used to try the
// layer and the simulated host before the instrument exists. A stereo effect
// with one control, its gain (0 to 2), and the master bypass; a MIDI note
// opens a gate at the sample where it starts and the note's end closes it,
// so what it renders shows where each MIDI event arrived. Bypassed, it
// passes its inputs through.

#include "host/CEffectGroup.h"
#include "host/CEffectProcessMIDI.h"
#include "host/CEffectProcessRTAS.h"
#include "host/CEffectType.h"
#include "host/CPluginControl.h"
#include "host/services/HostStrings.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr uint32_t kTypeID = 0x5154676E;      // 'QTgn'
constexpr uint32_t kManufacturerID = 0x5176726E; // 'Qvrn'
constexpr uint32_t kBypassID = 0x62797061;    // 'bypa'
constexpr uint32_t kGainID = 0;               // the one parameter, by its index
constexpr double kMaxGain = 2.0;

constexpr double kSpan = 4294967295.0;
constexpr double kLowest = -2147483648.0;

void CopyText(char* out, int32_t maxLength, const std::string& text) {
  size_t n = std::min(text.size(), static_cast<size_t>(std::max(maxLength, 0)));
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

// The gain as a real number from 0 to kMaxGain over the whole control range.
class CGainControl : public CPluginControl {
public:
  CGainControl() { SetValue(FromGain(1.0)); }
  static int32_t FromGain(double g) {
    g = std::clamp(g, 0.0, kMaxGain);
    return static_cast<int32_t>(std::floor(g / kMaxGain * kSpan + kLowest + 0.5));
  }
  static double ToGain(int32_t v) { return (static_cast<double>(v) - kLowest) / kSpan * kMaxGain; }

  uint32_t GetID() const override { return kGainID; }
  int32_t GetDefaultValue() const override { return fDefault; }
  void SetDefaultValue(int32_t v) override { fDefault = v; }
  int32_t GetNumSteps() const override { return 201; }
  int32_t ConvertStringToValue(const char* text) const override { return FromGain(std::atof(text)); }
  bool IsKeyValid(int32_t key) const override { return (key >= '0' && key <= '9') || key == '.' || key == 8; }
  void GetNameOfLength(char* out, int32_t maxLength, uint32_t) const override {
    GetStringOfLength(out, "Gain\nGn", maxLength);
  }
  int32_t GetControlType() const override { return 1; }
  void GetValueString(char* out, int32_t maxLength, int32_t value) const override {
    // As many decimals as fit, else "*".
    for (int decimals = 2; decimals >= 0; --decimals) {
      char text[32];
      std::snprintf(text, sizeof text, "%.*f", decimals, ToGain(value));
      if (static_cast<int32_t>(std::strlen(text)) <= maxLength) return CopyText(out, maxLength, text);
    }
    CopyText(out, maxLength, "*");
  }
  bool IsAutomatable() const override { return true; }

private:
  int32_t fDefault = FromGain(1.0);
};

class CBypassControl : public CPluginControl {
public:
  CBypassControl() { SetValue(Off()); }
  static int32_t On() { return 2147483647; }
  static int32_t Off() { return -2147483647 - 1; }
  static bool IsOn(int32_t v) { return v >= 0; }

  uint32_t GetID() const override { return kBypassID; }
  int32_t GetDefaultValue() const override { return Off(); }
  void SetDefaultValue(int32_t) override {}
  int32_t GetNumSteps() const override { return 2; }
  int32_t ConvertStringToValue(const char* text) const override {
    return (text[0] == 'o' || text[0] == 'O') && (text[1] == 'n' || text[1] == 'N') && !text[2] ? On() : Off();
  }
  bool IsKeyValid(int32_t) const override { return true; }
  void GetNameOfLength(char* out, int32_t maxLength, uint32_t) const override {
    GetStringOfLength(out, "Master Bypass\nMstr Byp\nMBYP\nByp", maxLength);
  }
  int32_t GetControlType() const override { return 0; }
  void GetValueString(char* out, int32_t maxLength, int32_t value) const override {
    if (maxLength < 2) return CopyText(out, maxLength, IsOn(value) ? "1" : "0");
    CopyText(out, maxLength, IsOn(value) ? "On" : "Off");
  }
  bool IsAutomatable() const override { return true; }
};

class CTestGainProcess : public CEffectProcessMIDI, public CEffectProcessRTAS {
public:
  ~CTestGainProcess() override {
    if (IsMIDILoggedIn() && MIDILogOut() == 0) delete fNode;
    delete fTransport;
  }

  int32_t Initialize() override {
    if (MIDILogIn() == 0) {
      unsigned char name[64] = {};
      if (auto* type = dynamic_cast<CEffectType*>(GetProcessType())) type->GetProcessTypeName(63, name);
      fNode = new CEffectMIDIRTASBufferedNode(GetMIDIWorld(), eMIDINode_BufferedInput,
                                              std::string(reinterpret_cast<char*>(name + 1), name[0]), nullptr);
      fNode->Initialize(1, 0);
      fTransport = new CEffectMIDITransport(GetMIDIWorld());
    }
    return CEffectProcess::Initialize();
  }

  void EffectInit() override {
    AddControl(new CBypassControl);
    DefineMasterBypassControlIndex(1);
    AddControl(new CGainControl);
  }

  void UpdateControlValueInAlgorithm(int32_t index) override {
    if (index == 1) fBypassed = CBypassControl::IsOn(GetControl(1)->GetValue());
    if (index == 2) fGain = static_cast<float>(CGainControl::ToGain(GetControl(2)->GetValue()));
  }

  void RenderAudio(float** inputs, float** outputs, int32_t n) override {
    // The transport is read as an instrument would, to follow the song.
    if (fTransport) {
      double tempo;
      fTransport->GetCurrentTempo(&tempo);
    }
    const SMIDIRecord* records = fNode ? fNode->GetBufferPtr() : nullptr;
    const int32_t count = fNode ? fNode->GetBufferSize() : 0;
    const float gain = fGain.load(std::memory_order_relaxed);
    const bool bypassed = fBypassed.load(std::memory_order_relaxed);
    int32_t next = 0;
    for (int32_t i = 0; i < n; ++i) {
      for (; next < count && static_cast<int32_t>(records[next].fSampleOffset) <= i; ++next) Apply(records[next]);
      for (int32_t c = 0; c < 2; ++c)
        outputs[c][i] = bypassed ? inputs[c][i] : inputs[c][i] * (fGate ? gain : 0.0f);
    }
    for (; next < count; ++next) Apply(records[next]);
  }

private:
  void Apply(const SMIDIRecord& r) {
    if (r.fByteCount < 1) return;
    const uint8_t status = r.fData[0] & 0xF0;
    const uint8_t velocity = r.fByteCount >= 3 ? r.fData[2] : 0;
    if (status == 0x90 && velocity > 0) fGate = true;
    if (status == 0x80 || (status == 0x90 && velocity == 0)) fGate = false;
  }

  CEffectMIDIRTASBufferedNode* fNode = nullptr;
  CEffectMIDITransport* fTransport = nullptr;
  std::atomic<float> fGain{1.0f};
  std::atomic<bool> fBypassed{false};
  bool fGate = false; // render thread only
};

CEffectProcess* CreateTestGainProcess() { return new CTestGainProcess; }

class CTestGainGroup : public CEffectGroupMIDI {
public:
  CTestGainGroup() {
    DefinePlugInNamesAndVersion("Quorvane Test Gain\nTest Gain\nTGain", 1);
    DefineManufacturerNamesAndID("Quorvane", kManufacturerID);
    AddGestalt(14);
  }
  void CreateEffectTypes() override {
    auto* type = new CEffectTypeRTAS(kTypeID, kTypeID, 0x2000);
    type->DefineTypeNames("Quorvane Test Gain\nTest Gain\nTGain");
    type->AddGestalt(8);
    type->AddGestalt(ePlugInGestalt_VariableQuantum);
    type->AddGestalt(55);
    type->DefineSampleRateSupport(6);
    type->DefineStemFormats(ePlugIn_StemFormat_Stereo, ePlugIn_StemFormat_Stereo, ePlugIn_StemFormat_Mono);
    type->AttachEffectProcessCreator(CreateTestGainProcess, nullptr);
    AddEffectType(type);
  }
};

} // namespace

CProcessGroupInterface* CProcessGroup::CreateProcessGroup() { return new CTestGainGroup; }
