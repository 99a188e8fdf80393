#pragma once

// An in-process plug-in built on the host layer for the tests of that
// layer: the test program itself supplies CProcessGroup::CreateProcessGroup
// (a ProbeGroup unless a test installs another factory), so a simulated host
// attached to the test program's own entry points drives these classes, and
// the tests can look inside them.

#include "host/CEffectGroup.h"
#include "host/CEffectProcessMIDI.h"
#include "host/CEffectProcessRTAS.h"
#include "host/CEffectType.h"
#include "host/CPluginControl.h"
#include "tools/host/SimHost.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace hosttest {

// A discrete control from 0 to max, its texts the decimal position.
class ProbeControl : public CPluginControl {
public:
  ProbeControl(uint32_t id, const char* names, int32_t max);
  static int32_t ToControl(int32_t position, int32_t max);
  static int32_t ToPosition(int32_t control, int32_t max);

  uint32_t GetID() const override { return fID; }
  int32_t GetDefaultValue() const override { return ToControl(0, fMax); }
  void SetDefaultValue(int32_t) override {}
  int32_t GetNumSteps() const override { return fMax + 1; }
  // A text that is no number throws CDAEError -7401.
  int32_t ConvertStringToValue(const char* text) const override;
  bool IsKeyValid(int32_t key) const override { return key >= '0' && key <= '9'; }
  void GetNameOfLength(char* out, int32_t maxLength, uint32_t) const override;
  int32_t GetControlType() const override { return 0; }
  void GetValueString(char* out, int32_t maxLength, int32_t value) const override;
  bool IsAutomatable() const override { return true; }

private:
  uint32_t fID;
  std::string fNames;
  int32_t fMax;
};

// What a probe process saw; written on whichever thread made the call.
struct ProbeRecord {
  std::vector<int32_t> applied;                  // UpdateControlValueInAlgorithm's control indexes
  std::vector<SMIDIRecord> midi;                 // every record its node delivered
  std::vector<int32_t> quanta;                   // sample counts of the render calls
  int32_t transportStatus = 1;                   // of the last tempo query
  double tempo = 0, position = 0;                // as an instrument's sync would get them
  int64_t location = -1;
  float sideChain = 0;                           // the side-chain input's last sample, when the type has one
};

class ProbeProcess : public CEffectProcessMIDI, public CEffectProcessRTAS {
public:
  // What RenderAudio throws, when set: 1 a CDAEError, 2 a long, 3 a std::runtime_error.
  static std::atomic<int> sThrowOnRender;
  static std::atomic<int> sLive;

  ProbeProcess();
  ~ProbeProcess() override;
  int32_t Initialize() override;
  void EffectInit() override;
  void UpdateControlValueInAlgorithm(int32_t index) override;
  void RenderAudio(float** inputs, float** outputs, int32_t n) override;
  // Refuses 0 and below: -1 with a thrown long, -2 with a std::runtime_error,
  // others with CDAEError -7104.
  int32_t SetSampleRate(int32_t rate) override;

  ProbeRecord fRecord;
  CEffectMIDIRTASBufferedNode* fNode = nullptr;
  CEffectMIDITransport* fTransport = nullptr;
  // A control value the render thread sends to the host on its next call (0: none).
  std::atomic<int32_t> fSendFromRender{0};
};

struct ProbeOptions {
  int32_t channels = 2;     // stems: 1 mono, else stereo
  bool sideChain = false;
  bool variableQuantum = true;
  int32_t controls = 3;     // probe controls besides the bypass
  std::function<void(CEffectType&)> configureType;
};

class ProbeGroup : public CEffectGroupMIDI {
public:
  explicit ProbeGroup(const ProbeOptions& options = ProbeOptions());
  void CreateEffectTypes() override;
  static ProbeOptions sOptions;

private:
  ProbeOptions fOptions;
};

// The factory CreateProcessGroup uses (null restores the probe group).
void SetGroupFactory(std::function<CProcessGroupInterface*()> factory);
// The test program's own entry points.
simhost::EntryPoints InProcessEntryPoints();
// The probe process behind a simulated host's instance.
ProbeProcess* Probe(const simhost::Instance& in);

// A simulated host attached to the test program's own entry points with a
// probe group; restores the defaults when it ends.
class ProbeHost {
public:
  explicit ProbeHost(const simhost::HostOptions& options = simhost::HostOptions(),
                     const ProbeOptions& probe = ProbeOptions(), const std::string& bundlePath = "");
  ~ProbeHost();
  simhost::SimHost& host() { return *mHost; }
  simhost::SimHost* operator->() { return mHost.get(); }

private:
  std::unique_ptr<simhost::SimHost> mHost;
};

// The path of the built test bundle.
std::string TestGainBundlePath();

} // namespace hosttest
