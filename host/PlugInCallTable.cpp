// The call table: one routine per call selector, each unpacking its words,
// calling the group or the process named by its target, and turning every
// failure into a status at this boundary.

#include "host/HostCallBoundary.h"
#include "host/PlugInEntryPoints.h"

#include "host/CEffectProcess.h"
#include "host/CEffectProcessRTAS.h"
#include "host/CEffectType.h"
#include "host/CPluginControl.h"
#include "host/CProcessGroup.h"
#include "host/PlugInGlobals.h"
#include "host/services/CDAEError.h"
#include "host/services/HostStrings.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>

namespace {


CProcessGroup& Group() {
  if (!gProcessGroup) throw CDAEError(kPlugInErr_NoProcessGroup);
  return *gProcessGroup;
}

// The process a host reference names; the reference is compared, never
// followed, until it is known to be one of the group's processes.
CProcess& Process(uintptr_t reference) {
  CProcess* p = CProcess::FromHostReference(reference);
  if (!Group().IsProcess(p)) throw CDAEError(kPlugInErr_NoSuchInstance);
  return *p;
}

template <class T> T& ProcessAs(uintptr_t reference) {
  auto* p = dynamic_cast<T*>(&Process(reference));
  if (!p) throw CDAEError(kPlugInErr_NoSuchSelector);
  return *p;
}

CEffectType& Type(uintptr_t index) {
  auto* t = dynamic_cast<CEffectType*>(Group().GetProcessType(static_cast<int32_t>(index)));
  if (!t) throw CDAEError(kPlugInErr_Unexpected);
  return *t;
}

template <class T> T* Out(uintptr_t word) { return PlugInAssertPointer(reinterpret_cast<T*>(word)); }

int32_t Int(uintptr_t word) { return static_cast<int32_t>(static_cast<intptr_t>(word)); }

int32_t MaxLength(uintptr_t word) { return std::clamp(Int(word), 0, 255); }

// The longest of names' variants that fits, as a length-prefixed string.
void NameVariant(const std::string& names, uintptr_t maxLengthWord, uintptr_t outWord) {
  unsigned char* out = Out<unsigned char>(outWord);
  int32_t maxLength = MaxLength(maxLengthWord);
  char text[256];
  GetStringOfLength(text, names.c_str(), maxLength);
  size_t n = std::min(std::strlen(text), static_cast<size_t>(maxLength));
  out[0] = static_cast<unsigned char>(n);
  std::memcpy(out + 1, text, n);
}

using Table = std::array<PlugInRoutine, kNumPlugInCallSelectors>;

#define ROUTINE(...)                                                                                           \
  [](uintptr_t target, uintptr_t w1, uintptr_t w2, uintptr_t w3, uintptr_t w4) -> int32_t {                    \
    (void)target, (void)w1, (void)w2, (void)w3, (void)w4;                                                       \
    return CallAtHostBoundary([&]() -> int32_t { __VA_ARGS__ });                                               \
  }

Table MakeTable() {
  Table t;
  t.fill(ROUTINE(return kPlugInErr_NoSuchSelector;));

  // ----------------------------------------------------------------- group
  t[kGroup_SetHostCallback] = ROUTINE(HandOverHostCallback(reinterpret_cast<HostCallbackProc>(w1)); return 0;);
  t[kGroup_GetNames] = ROUTINE(NameVariant(Group().GetNames(), w1, w2); return 0;);
  t[kGroup_GetVersion] = ROUTINE(*Out<uint32_t>(w1) = Group().GetVersion(); return 0;);
  t[kGroup_GetManufacturerName] = ROUTINE(NameVariant(Group().GetManufacturerNames(), w1, w2); return 0;);
  t[kGroup_GetManufacturerID] = ROUTINE(*Out<uint32_t>(w1) = Group().GetManufacturerID(); return 0;);
  t[kGroup_Gestalt] = ROUTINE(return Group().Gestalt(Int(w1), Out<int32_t>(w2)););
  t[kGroup_GetNumProcessTypes] = ROUTINE(*Out<int32_t>(w1) = Group().GetNumProcessTypes(); return 0;);
  t[kGroup_GetProcessTypeIDs] = ROUTINE({
    CEffectType& type = Type(w1);
    *Out<uint32_t>(w2) = type.GetTypeID();
    *Out<uint32_t>(w3) = type.GetTypeID2();
    *Out<uint32_t>(w4) = type.GetCategoryBits();
    return 0;
  });
  t[kGroup_GetProcessTypeName] = ROUTINE(return Type(w1).GetProcessTypeName(MaxLength(w2), Out<unsigned char>(w3)););
  t[kGroup_GetProcessTypeStems] = ROUTINE({
    CEffectType& type = Type(w1);
    *Out<int32_t>(w2) = type.GetInputStemFormat();
    *Out<int32_t>(w3) = type.GetOutputStemFormat();
    *Out<int32_t>(w4) = type.GetThirdStemFormat();
    return 0;
  });
  t[kGroup_GetProcessTypeRates] = ROUTINE(*Out<int32_t>(w2) = Type(w1).GetSampleRateSupport(); return 0;);
  t[kGroup_ProcessTypeGestalt] = ROUTINE(return Type(w1).Gestalt(Int(w2), Out<int32_t>(w3)););
  t[kGroup_NewProcess] = ROUTINE({
    uintptr_t* out = Out<uintptr_t>(w2);
    *out = Group().NewProcess(Int(w1))->GetHostReference();
    return 0;
  });
  t[kGroup_DeleteProcess] = ROUTINE(return Group().DeleteProcess(CProcess::FromHostReference(w1)););
  t[kGroup_Idle] = ROUTINE(Group().Idle(); return 0;);
  t[kGroup_GetNumAuxOutputStems] = ROUTINE(return Type(w1).GetNumAuxOutputStems(Int(w2), Out<int32_t>(w3)););
  t[kGroup_GetAuxOutputStemInfo] =
      ROUTINE(return Type(w1).GetAuxOutputStemInfo(Int(w2), Int(w3), Out<SAuxOutputStemInfo>(w4)););

  // --------------------------------------------------------------- process
  t[kProcess_GetInstanceID] = ROUTINE(*Out<int32_t>(w1) = Process(target).GetInstanceID(); return 0;);
  t[kProcess_GetNumAudioInputs] = ROUTINE(return Process(target).GetNumAudioInputs(Out<int16_t>(w1)););
  t[kProcess_GetNumAudioOutputs] = ROUTINE(return Process(target).GetNumAudioOutputs(Out<int16_t>(w1)););
  t[kProcess_SetSampleRate] = ROUTINE(return Process(target).SetSampleRate(Int(w1)););
  t[kProcess_GetSampleRate] = ROUTINE(*Out<int32_t>(w1) = Process(target).GetSampleRate(); return 0;);
  t[kProcess_ConnectInput] = ROUTINE(return ProcessAs<CEffectProcessRTAS>(target).ConnectInput(Int(w1), w2););
  t[kProcess_ConnectOutput] = ROUTINE(return ProcessAs<CEffectProcessRTAS>(target).ConnectOutput(Int(w1), w2););
  t[kProcess_DisconnectInput] = ROUTINE(return ProcessAs<CEffectProcessRTAS>(target).DisconnectInput(Int(w1)););
  t[kProcess_DisconnectOutput] = ROUTINE(return ProcessAs<CEffectProcessRTAS>(target).DisconnectOutput(Int(w1)););
  t[kProcess_CreateHostPlugIn] =
      ROUTINE(return ProcessAs<CEffectProcessRTAS>(target).CreateHostPlugIn(*Out<const SFicPlugInId>(w1)););
  t[kProcess_Idle] = ROUTINE(Process(target).Idle(); return 0;);

  t[kProcess_GetNumControls] = ROUTINE(*Out<int32_t>(w1) = Process(target).GetNumControls(); return 0;);
  t[kProcess_GetMasterBypassControl] = ROUTINE({
    auto* effect = dynamic_cast<CEffectProcess*>(&Process(target));
    *Out<int32_t>(w1) = effect ? static_cast<int32_t>(effect->GetMasterBypassControlIndex()) : 0;
    return 0;
  });
  t[kProcess_GetControlID] = ROUTINE(*Out<uint32_t>(w2) = Process(target).GetControl(Int(w1))->GetID(); return 0;);
  t[kProcess_GetControlName] =
      ROUTINE(Process(target).GetControlNameOfLength(Int(w1), MaxLength(w2), Out<unsigned char>(w3)); return 0;);
  t[kProcess_GetControlNumSteps] =
      ROUTINE(*Out<int32_t>(w2) = Process(target).GetControlNumSteps(Int(w1)); return 0;);
  t[kProcess_GetControlValue] = ROUTINE(*Out<int32_t>(w2) = Process(target).GetControlValue(Int(w1)); return 0;);
  t[kProcess_UpdateControlValue] = ROUTINE(Process(target).UpdateControlValue(Int(w1), Int(w2)); return 0;);
  t[kProcess_GetControlDefaultValue] =
      ROUTINE(*Out<int32_t>(w2) = Process(target).GetControlDefaultValue(Int(w1)); return 0;);
  t[kProcess_GetControlValueString] = ROUTINE(
      Process(target).GetControlValueString(Int(w1), Int(w2), MaxLength(w3), Out<unsigned char>(w4)); return 0;);
  t[kProcess_GetControlValueFromString] = ROUTINE(
      return Process(target).GetControlValueFromString(Int(w1), Out<const unsigned char>(w2), Out<int32_t>(w3)););
  t[kProcess_IsControlKeyValid] =
      ROUTINE(*Out<int32_t>(w3) = Process(target).IsControlKeyValid(Int(w1), Int(w2)) ? 1 : 0; return 0;);
  t[kProcess_GetControlType] = ROUTINE({
    CProcess& p = Process(target);
    *Out<int32_t>(w2) = p.HasControl(Int(w1)) ? p.GetControl(Int(w1))->GetControlType() : 0;
    return 0;
  });
  t[kProcess_IsControlAutomatable] = ROUTINE({
    CProcess& p = Process(target);
    *Out<int32_t>(w2) = p.HasControl(Int(w1)) && p.GetControl(Int(w1))->IsAutomatable() ? 1 : 0;
    return 0;
  });
  t[kProcess_TouchControl] = ROUTINE(Process(target).TouchControl(Int(w1)); return 0;);
  t[kProcess_ReleaseControl] = ROUTINE(Process(target).ReleaseControl(Int(w1)); return 0;);

  t[kProcess_GetNumChunks] = ROUTINE(*Out<int32_t>(w1) = ProcessAs<CEffectProcess>(target).GetNumChunks(); return 0;);
  t[kProcess_GetChunkID] = ROUTINE({
    uint32_t id = ProcessAs<CEffectProcess>(target).GetChunkID(Int(w1));
    if (id == 0) return kPlugInErr_Unexpected;
    *Out<uint32_t>(w2) = id;
    return 0;
  });
  t[kProcess_GetChunkName] = ROUTINE({
    std::string name;
    if (!ProcessAs<CEffectProcess>(target).GetChunkName(static_cast<uint32_t>(w1), name)) return kPlugInErr_Unexpected;
    NameVariant(name, w2, w3);
    return 0;
  });
  t[kProcess_GetChunkSize] =
      ROUTINE(return ProcessAs<CEffectProcess>(target).GetChunkSize(static_cast<uint32_t>(w1), Out<int32_t>(w2)););
  t[kProcess_GetChunk] = ROUTINE(
      return ProcessAs<CEffectProcess>(target).GetChunk(static_cast<uint32_t>(w1), Out<SFicPlugInChunk>(w2)););
  t[kProcess_SetChunk] = ROUTINE(
      return ProcessAs<CEffectProcess>(target).SetChunk(static_cast<uint32_t>(w1), Out<SFicPlugInChunk>(w2)););

  t[kProcess_GetNumMeters] = ROUTINE(*Out<int32_t>(w1) = ProcessAs<CEffectProcess>(target).GetNumMeters(); return 0;);
  t[kProcess_GetMetersAndClipIndicators] = ROUTINE({
    CEffectProcess& p = ProcessAs<CEffectProcess>(target);
    int32_t n = p.GetNumMeters();
    std::unique_ptr<bool[]> clips(new bool[static_cast<size_t>(n) + 1]());
    int32_t* values = n ? Out<int32_t>(w1) : reinterpret_cast<int32_t*>(w1);
    int32_t result = p.GetMetersAndClipIndicators(values, clips.get());
    if (uint8_t* out = reinterpret_cast<uint8_t*>(w2))
      for (int32_t i = 0; i < n; ++i) out[i] = clips[static_cast<size_t>(i)] ? 1 : 0;
    return result;
  });
  t[kProcess_GetMeterValue] = ROUTINE(return ProcessAs<CEffectProcess>(target).GetMeterVal(Int(w1), Out<int32_t>(w2)););
  t[kProcess_GetClipState] = ROUTINE(return ProcessAs<CEffectProcess>(target).GetClipState(Int(w1), Out<int32_t>(w2)););
  t[kProcess_ClearClipState] = ROUTINE(return ProcessAs<CEffectProcess>(target).ClearClipState(););
  t[kProcess_GetMeterOrientation] =
      ROUTINE(*Out<int32_t>(w2) = ProcessAs<CEffectProcess>(target).GetMeterOrientation(Int(w1)); return 0;);
  t[kProcess_GetNumMetersOfType] = ROUTINE(
      *Out<int32_t>(w2) = ProcessAs<CEffectProcess>(target).GetNumMetersOfType(static_cast<char>(w1)); return 0;);
  t[kProcess_GetMeterIndexByType] = ROUTINE(
      *Out<int32_t>(w3) = ProcessAs<CEffectProcess>(target).GetMeterIndexByType(static_cast<char>(w1), Int(w2));
      return 0;);

  t[kProcess_CreateView] =
      ROUTINE(*Out<uintptr_t>(w1) = reinterpret_cast<uintptr_t>(Process(target).CreateCPlugInView()); return 0;);
  t[kProcess_SetViewPort] = ROUTINE(return Process(target).SetViewPort(reinterpret_cast<OpaqueGrafPtr*>(w1)););
  t[kProcess_GetViewRect] = ROUTINE(return Process(target).GetViewRect(Out<SHostRect>(w1)););
  t[kProcess_ChooseControl] = ROUTINE({
    SHostPoint point{static_cast<int16_t>(Int(w2)), static_cast<int16_t>(Int(w1))};
    return Process(target).ChooseControl(point, Out<int32_t>(w3));
  });
  return t;
}

#undef ROUTINE

const Table& Routines() {
  static const Table table = MakeTable();
  return table;
}

} // namespace

int32_t PI_GetRoutineDescriptor(int32_t selector, PlugInRoutine* routine) {
  if (selector < 0 || selector >= kNumPlugInCallSelectors) return kPlugInErr_NoSuchSelector;
  if (routine) *routine = Routines()[static_cast<size_t>(selector)];
  return 0;
}

PlugInGetRoutineProc _PI_GetRoutineDescriptor = &PI_GetRoutineDescriptor;
