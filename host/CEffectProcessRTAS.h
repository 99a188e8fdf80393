#pragma once

// A process rendered on the host's own processor by the host's real-time
// thread. When the host asks for it (kProcess_CreateHostPlugIn), the process
// builds its plug-in object (CAdaptorPlugIn) with its connection words and
// RenderAudioWorker and publishes it; the host connects the ports to its
// buffers and calls the worker for every render quantum, which calls
// RenderAudio. An exception that escapes RenderAudio, or an output port left
// unconnected, makes the worker point the outputs at the host's silence.

#include "host/CEffectProcess.h"

#include <cstdint>

class CAdaptorPlugIn;

class CEffectProcessRTAS : public virtual CEffectProcess {
public:
  static constexpr int32_t kMaxPorts = 32;

  CEffectProcessRTAS();
  // Deletes the plug-in object, which the engine then sees go.
  ~CEffectProcessRTAS() override;

  // Real-time thread: renders sampleCount samples from the inputs (one per
  // input port, the side-chain port included) to the outputs.
  virtual void RenderAudio(float** inputs, float** outputs, int32_t sampleCount) = 0;

  // 0, -9006 when the plug-in object cannot be made, or a status thrown
  // while it was built.
  int32_t CreateHostPlugIn(const SFicPlugInId& id);
  CAdaptorPlugIn* GetHostPlugIn() const { return fHostPlugIn; }
  static void RenderAudioWorker(SRTASRenderCall* call);
  CEffectProcessRTAS* AsRealTimeProcess() override { return this; }

  // The host's connections of port (1-based) to its buffers; 0 or a status.
  int32_t ConnectInput(int32_t port, uintptr_t connection);
  int32_t ConnectOutput(int32_t port, uintptr_t connection);
  int32_t DisconnectInput(int32_t port);
  int32_t DisconnectOutput(int32_t port);

private:
  int32_t NumInputPorts() const;
  int32_t NumOutputPorts() const;

  CAdaptorPlugIn* fHostPlugIn = nullptr;
  uintptr_t fInputConnections[kMaxPorts] = {};
  uintptr_t fOutputConnections[kMaxPorts] = {};
};
