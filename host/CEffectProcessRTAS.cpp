#include "host/CEffectProcessRTAS.h"

#include "host/CAdaptorPlugIn.h"
#include "host/PlugInGlobals.h"
#include "host/services/CDAEError.h"
#include "host/services/PortHelpers.h"

#include <algorithm>
#include <new>

CEffectProcessRTAS::CEffectProcessRTAS() = default;

CEffectProcessRTAS::~CEffectProcessRTAS() { delete fHostPlugIn; }

int32_t CEffectProcessRTAS::CreateHostPlugIn(const SFicPlugInId& id) {
  CAdaptorPlugIn* plugIn = nullptr;
  try {
    plugIn = new (std::nothrow) CAdaptorPlugIn(id, this, fInputConnections, fOutputConnections, RenderAudioWorker);
  } catch (long code) {
    return static_cast<int32_t>(code);
  }
  if (!plugIn) return kPlugInErr_NoMemory;
  if (plugIn->GetNumInputPorts() > kMaxPorts || plugIn->GetNumOutputPorts() > kMaxPorts) {
    delete plugIn;
    return kPlugInErr_Unexpected;
  }
  // A second request replaces the first plug-in object.
  delete fHostPlugIn;
  ClearPortArray(fInputConnections, fOutputConnections, kMaxPorts, kMaxPorts);
  fHostPlugIn = plugIn;
  fHostPlugIn->Publish();
  return 0;
}

int32_t CEffectProcessRTAS::NumInputPorts() const { return fHostPlugIn ? fHostPlugIn->GetNumInputPorts() : 0; }
int32_t CEffectProcessRTAS::NumOutputPorts() const { return fHostPlugIn ? fHostPlugIn->GetNumOutputPorts() : 0; }

int32_t CEffectProcessRTAS::ConnectInput(int32_t port, uintptr_t connection) {
  return ConnectInputPort(port, connection, fInputConnections, NumInputPorts());
}
int32_t CEffectProcessRTAS::ConnectOutput(int32_t port, uintptr_t connection) {
  return ConnectOutputPort(port, connection, fOutputConnections, NumOutputPorts());
}
int32_t CEffectProcessRTAS::DisconnectInput(int32_t port) {
  return DisconnectPort(port, fInputConnections, NumInputPorts());
}
int32_t CEffectProcessRTAS::DisconnectOutput(int32_t port) {
  return DisconnectPort(port, fOutputConnections, NumOutputPorts());
}

void CEffectProcessRTAS::RenderAudioWorker(SRTASRenderCall* call) {
  if (!call || !call->fInstanceData || !call->fOutputs) return;
  const uintptr_t* data = call->fInstanceData;
  CProcess* reference = CProcess::FromHostReference(data[eRTASInstance_Process]);
  CEffectProcessRTAS* process = reference ? reference->AsRealTimeProcess() : nullptr;
  const auto* inputSlots = reinterpret_cast<const uintptr_t*>(data[eRTASInstance_Inputs]);
  const auto* outputSlots = reinterpret_cast<const uintptr_t*>(data[eRTASInstance_Outputs]);
  const int32_t inputs = std::clamp<int32_t>(static_cast<int32_t>(data[eRTASInstance_NumInputs]) +
                                                 (data[eRTASInstance_SideChainPort] ? 1 : 0),
                                             0, kMaxPorts);
  const int32_t outputs = std::clamp<int32_t>(static_cast<int32_t>(data[eRTASInstance_NumOutputs]), 0, kMaxPorts);
  const int32_t n = call->fSampleCount;

  float* in[kMaxPorts];
  float* out[kMaxPorts];
  bool ok = process && n > 0 && inputSlots && outputSlots;
  for (int32_t k = 0; ok && k < outputs; ++k) {
    out[k] = reinterpret_cast<float*>(outputSlots[k]);
    ok = out[k] != nullptr;
  }
  // An input the host left unconnected reads silence.
  for (int32_t k = 0; ok && k < inputs; ++k)
    in[k] = inputSlots[k] ? reinterpret_cast<float*>(inputSlots[k]) : const_cast<float*>(call->fSilence);
  if (ok) {
    try {
      process->RenderAudio(in, out, n);
    } catch (...) {
      ok = false;
    }
  }
  for (int32_t k = 0; k < outputs; ++k) call->fOutputs[k] = ok ? out[k] : call->fSilence;
}
