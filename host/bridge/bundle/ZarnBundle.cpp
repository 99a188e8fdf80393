// The synthesizer's bundle: its group is the bridge's, found under the
// bundle's own identifier.

#include "host/bridge/DigiPluginGroup.h"

CProcessGroupInterface* CProcessGroup::CreateProcessGroup() { return CreateDigiPluginGroup("com.quorvane.Zarn"); }
