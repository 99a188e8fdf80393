#include "host/CDSPProcessType.h"

#include "host/CDSP.h"
#include "host/services/CDAEError.h"
#include "host/services/DSPManagerInterface.h"

CProcess* CDSPProcessType::InstantiateProcess(int32_t instanceID) {
  if (!GetDSPManagerInterface()) throw CDAEError(kDSPErr_NoDSPManager);
  return CEffectType::InstantiateProcess(instanceID);
}
