#pragma once

// The plug-in object of one real-time process: its input and output ports,
// its worker (the process's render routine) and its instance data block,
// built from the process and its type and published to the host engine.
// The engine then calls the worker's routine on its real-time thread with
// the instance data (ERTASInstanceField).

#include "host/CPlugIn.h"
#include "host/CPlugInData.h"

#include <cstdint>

class CProcess;

class CAdaptorPlugIn : public CPlugIn {
public:
  // inputs and outputs are the process's connection words; routine must not
  // be null. Throws the long -9006 when a port cannot be made, CDAEError for
  // a missing routine or type.
  CAdaptorPlugIn(const SFicPlugInId& id, CProcess* process, uintptr_t* inputs, uintptr_t* outputs,
                 RTASRenderRoutine routine);
  // Deletes the ports, publishes again (the engine then sees no ports) and
  // destroys the data block and the worker.
  ~CAdaptorPlugIn() override;

  int16_t GetNumInputPorts() const { return fNumInputPorts; }
  int16_t GetNumOutputPorts() const { return fNumOutputPorts; }
  const char* GetInstanceName() const { return fName; }
  S_RTASP_CustomDataAdmin& GetDataBlock() { return fData; }
  // Field f (ERTASInstanceField) of the instance data.
  uintptr_t GetInstanceField(int32_t f) { return fFields[f].Get(); }

private:
  static const char* TypeName(CProcess* process, char* buffer);
  // Deletes every port, taking it out of the worker's sets as well.
  void DeletePorts();

  int16_t fNumInputPorts = 0;
  int16_t fNumOutputPorts = 0;
  char fName[66];
  CPlugInWorker fWorker;
  S_RTASP_CustomDataAdmin fData;
  CUnsignedField fFields[eRTASInstance_NumFields];
};
