#include "host/CProcess.h"

#include "host/CEffectType.h"
#include "host/CPluginControl.h"
#include "host/PlugInGlobals.h"
#include "host/services/CDAEError.h"
#include "host/services/StemFormat.h"

#include <algorithm>
#include <cstring>

namespace {

// A NUL-terminated text of at most maxLength characters as a length-prefixed
// string in a buffer of maxLength + 1 bytes.
void ToPString(const char* text, int32_t maxLength, unsigned char* out) {
  size_t n = std::min<size_t>(std::strlen(text), static_cast<size_t>(std::clamp(maxLength, 0, 255)));
  out[0] = static_cast<unsigned char>(n);
  std::memcpy(out + 1, text, n);
}

int32_t StemChannels(const CProcessType* type, bool input) {
  auto* effect = dynamic_cast<const CEffectType*>(type);
  if (!effect) return 0;
  return SurroundFormatToNumChannels(input ? effect->GetInputStemFormat() : effect->GetOutputStemFormat());
}

} // namespace

CProcess::CProcess() = default;

CProcess::~CProcess() {
  for (CPluginControl* c : fControls) delete c;
}

int32_t CProcess::GetNumAudioInputs(int16_t* count) const {
  *count = static_cast<int16_t>(StemChannels(fProcessType, true));
  return 0;
}

int32_t CProcess::GetNumAudioOutputs(int16_t* count) const {
  *count = static_cast<int16_t>(StemChannels(fProcessType, false));
  return 0;
}

void CProcess::UpdateMeters(int32_t*, bool*) {}

int32_t CProcess::SetViewPort(OpaqueGrafPtr* port) {
  fViewPort = port;
  return 0;
}

int32_t CProcess::SetSampleRate(int32_t rate) {
  fSampleRate = rate;
  return 0;
}

CPlugInView* CProcess::CreateCPlugInView() { return nullptr; }

int32_t CProcess::GetViewRect(SHostRect* rect) {
  *rect = SHostRect{0, 0, 0, 0};
  return 0;
}

int32_t CProcess::ChooseControl(SHostPoint, int32_t* controlIndex) {
  *controlIndex = 0;
  return 0;
}

void CProcess::UpdateControlValueInAlgorithm(int32_t) {}

void CProcess::Idle() {}

int32_t CProcess::AddControl(CPluginControl* control) {
  fControls.push_back(PlugInAssertPointer(control));
  fTouchCounts.emplace_back(0);
  return GetNumControls();
}

CPluginControl* CProcess::GetControl(int32_t index) const {
  if (!HasControl(index)) throw CDAEError(kPlugInErr_NoSuchControl);
  return fControls[static_cast<size_t>(index - 1)];
}

void CProcess::SetControlValue(int32_t index, int32_t value) {
  CPluginControl* control = GetControl(index);
  if (SHostAutomationService* host = GetHostAutomationService()) {
    // Inside a gesture the touch only counts, so the host does not see the
    // control released in the middle of it.
    TouchControl(index);
    if (host->SetControlValue) host->SetControlValue(host, GetHostReference(), index, value);
    ReleaseControl(index);
    return;
  }
  control->SetValue(value);
  UpdateControlValueInAlgorithm(index);
}

void CProcess::TouchControl(int32_t index) {
  GetControl(index);
  if (fTouchCounts[static_cast<size_t>(index - 1)].fetch_add(1) != 0) return;
  if (SHostAutomationService* host = GetHostAutomationService())
    if (host->TouchControl) host->TouchControl(host, GetHostReference(), index);
}

void CProcess::ReleaseControl(int32_t index) {
  GetControl(index);
  std::atomic<int32_t>& count = fTouchCounts[static_cast<size_t>(index - 1)];
  int32_t n = count.load();
  do {
    if (n <= 0) return;
  } while (!count.compare_exchange_weak(n, n - 1));
  if (n != 1) return;
  if (SHostAutomationService* host = GetHostAutomationService())
    if (host->ReleaseControl) host->ReleaseControl(host, GetHostReference(), index);
}

int32_t CProcess::GetTouchCount(int32_t index) const {
  return HasControl(index) ? fTouchCounts[static_cast<size_t>(index - 1)].load() : 0;
}

void CProcess::UpdateControlValue(int32_t index, int32_t value) {
  GetControl(index)->SetValue(value);
  UpdateControlValueInAlgorithm(index);
}

int32_t CProcess::GetControlNumSteps(int32_t index) const {
  return HasControl(index) ? GetControl(index)->GetNumSteps() : 0;
}

int32_t CProcess::GetControlValue(int32_t index) const {
  return HasControl(index) ? GetControl(index)->GetValue() : 0;
}

int32_t CProcess::GetControlDefaultValue(int32_t index) const {
  return HasControl(index) ? GetControl(index)->GetDefaultValue() : 0;
}

void CProcess::GetControlValueString(int32_t index, int32_t value, int32_t maxLength, unsigned char* text) const {
  text[0] = 0;
  maxLength = std::clamp(maxLength, 0, 255);
  if (!HasControl(index)) return;
  char buffer[256] = {};
  GetControl(index)->GetValueString(buffer, maxLength, value);
  buffer[maxLength] = '\0';
  ToPString(buffer, maxLength, text);
}

void CProcess::GetControlNameOfLength(int32_t index, int32_t maxLength, unsigned char* name) const {
  name[0] = 0;
  maxLength = std::clamp(maxLength, 0, 255);
  if (!HasControl(index)) return;
  char buffer[256] = {};
  GetControl(index)->GetNameOfLength(buffer, maxLength, 0);
  buffer[maxLength] = '\0';
  ToPString(buffer, maxLength, name);
}

int32_t CProcess::GetControlValueFromString(int32_t index, const unsigned char* text, int32_t* value) const {
  if (!HasControl(index)) return kPlugInErr_NoSuchControl;
  char buffer[256];
  std::memcpy(buffer, text + 1, text[0]);
  buffer[text[0]] = '\0';
  try {
    *value = GetControl(index)->ConvertStringToValue(buffer);
  } catch (const CDAEError& e) {
    return e.GetErrorCode();
  }
  return 0;
}

bool CProcess::IsControlKeyValid(int32_t index, int32_t key) const {
  return HasControl(index) && GetControl(index)->IsKeyValid(key);
}
