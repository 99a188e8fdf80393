// The test product's bundle: the bridge's group under the bundle's own
// identifier.

#include "host/bridge/DigiPluginGroup.h"

CProcessGroupInterface* CProcessGroup::CreateProcessGroup() {
  return CreateDigiPluginGroup("com.quorvane.bridgetest");
}
