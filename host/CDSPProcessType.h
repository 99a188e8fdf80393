#pragma once

// A process type whose processes run on the host's DSP cards. Such a process
// needs the host's DSP manager, so the type asks for the manager's interface
// before it makes one; without it the instantiation fails with -7080 and no
// process is made.

#include "host/CEffectType.h"

class CDSPProcessType : public CEffectType {
public:
  CDSPProcessType(uint32_t typeID, uint32_t typeID2, uint32_t categoryBits)
      : CEffectType(typeID, typeID2, categoryBits) {}

  CProcess* InstantiateProcess(int32_t instanceID) override;
};
