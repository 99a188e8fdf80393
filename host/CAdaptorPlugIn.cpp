#include "host/CAdaptorPlugIn.h"

#include "host/CEffectType.h"
#include "host/CProcess.h"
#include "host/PlugInGlobals.h"
#include "host/services/CDAEError.h"
#include "host/services/DAECalls.h"
#include "host/services/StemFormat.h"

#include <cstring>
#include <new>

namespace {

RTASRenderRoutine RequireRoutine(RTASRenderRoutine routine) {
  if (!routine) throw CDAEError(kPlugInErr_Unexpected);
  return routine;
}

} // namespace

const char* CAdaptorPlugIn::TypeName(CProcess* process, char* buffer) {
  auto* type = dynamic_cast<CEffectType*>(process->GetProcessType());
  unsigned char name[65];
  if (!type || type->GetProcessTypeName(64, name) != 0) {
    std::strcpy(buffer, "<unknown>");
  } else {
    std::memcpy(buffer, name + 1, name[0]);
    buffer[name[0]] = '\0';
  }
  return buffer;
}

CAdaptorPlugIn::CAdaptorPlugIn(const SFicPlugInId& id, CProcess* process, uintptr_t* inputs, uintptr_t* outputs,
                               RTASRenderRoutine routine)
    : CPlugIn(id), fWorker(this, RequireRoutine(routine), TypeName(PlugInAssertPointer(process), fName)) {
  // fData is now the current structure: the fields attach to it in order.
  auto* type = dynamic_cast<CEffectType*>(process->GetProcessType());
  if (!type) throw CDAEError(kPlugInErr_Unexpected);

  int16_t audioInputs = 0, audioOutputs = 0;
  process->GetNumAudioInputs(&audioInputs);
  process->GetNumAudioOutputs(&audioOutputs);
  int32_t numInputs = audioInputs, numOutputs = audioOutputs;

  int32_t auxStems = 0;
  type->Gestalt(ePlugInGestalt_AuxOutputStems, &auxStems);
  if (auxStems) {
    int32_t stems = 0;
    type->GetNumAuxOutputStems(process->GetInstanceID(), &stems);
    for (int32_t s = 1; s <= stems; ++s) {
      SAuxOutputStemInfo info{0, ePlugIn_StemFormat_Mono};
      if (type->GetAuxOutputStemInfo(process->GetInstanceID(), s, &info) == 0 && info.fPresent) {
        int32_t channels = SurroundFormatToNumChannels(info.fStemFormat);
        numOutputs += channels;
        numInputs += channels;
      }
    }
  }

  int32_t sideChain = 0;
  type->Gestalt(ePlugInGestalt_SideChainInput, &sideChain);
  int32_t inputPorts = numInputs + (sideChain ? 1 : 0);
  if (auxStems && numOutputs > numInputs) inputPorts += numOutputs - numInputs;

  int32_t variableQuantum = 0;
  type->Gestalt(ePlugInGestalt_VariableQuantum, &variableQuantum);
  uintptr_t hostQuantum = 0;
  if (Call_FicGestalt(kGestaltVariableQuantum, &hostQuantum) != 0 || hostQuantum == 0) variableQuantum = 0;

  for (int32_t i = 1; i <= inputPorts; ++i) {
    int32_t index = (i == inputPorts && sideChain) ? sideChain : i;
    CPlugInInput* port = new (std::nothrow) CPlugInInput(this, index);
    if (!port) {
      DeletePorts();
      throw static_cast<long>(kPlugInErr_NoMemory);
    }
    fWorker.GetInputSet().AddMember(port);
  }
  for (int32_t i = 1; i <= numOutputs; ++i) {
    CPlugInOutput* port = new (std::nothrow) CPlugInOutput(this, 0);
    if (!port) {
      DeletePorts();
      throw static_cast<long>(kPlugInErr_NoMemory);
    }
    fWorker.GetOutputSet().AddMember(port);
  }
  fWorker.GetDataSet().AddMember(&fData);
  fNumInputPorts = static_cast<int16_t>(inputPorts);
  fNumOutputPorts = static_cast<int16_t>(numOutputs);

  fFields[eRTASInstance_Process].Set(process->GetHostReference());
  fFields[eRTASInstance_Inputs].Set(reinterpret_cast<uintptr_t>(inputs));
  fFields[eRTASInstance_Outputs].Set(reinterpret_cast<uintptr_t>(outputs));
  fFields[eRTASInstance_NumInputs].Set(static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int16_t>(numInputs))));
  fFields[eRTASInstance_NumOutputs].Set(static_cast<uintptr_t>(numOutputs));
  fFields[eRTASInstance_SideChainPort].Set(static_cast<uintptr_t>(sideChain));
  fFields[eRTASInstance_VariableQuantum].Set(static_cast<uintptr_t>(variableQuantum));
}

void CAdaptorPlugIn::DeletePorts() {
  for (CBaseSet* set : {&GetInputSet(), &GetOutputSet()})
    while (set->GetNumMembers() > 0) {
      auto* port = set->GetMember<CPlugInPort>(set->GetNumMembers());
      fWorker.GetInputSet().RemoveMember(port);
      fWorker.GetOutputSet().RemoveMember(port);
      delete port;
    }
}

CAdaptorPlugIn::~CAdaptorPlugIn() {
  DeletePorts();
  Publish();
}
