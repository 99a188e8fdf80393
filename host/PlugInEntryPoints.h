#pragma once

// The bundle's exported entry points and the call table behind the routine
// lookup. Exported with default visibility; a bundle's link exports exactly
// these (host/PlugInExports.map).
//
// At the host-call boundary every failure becomes a status: a CDAEError its
// code, a thrown long (or other integer) its value, anything else -7401.

#include "host/HostInterface.h"

#define ZARN_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

// Creates the group from CProcessGroup::CreateProcessGroup and runs its
// Initialize: 0, -7003 when no group could be made, or the failure's status
// (the group is then deleted again). A second call while a group exists
// answers 0 and keeps it.
ZARN_PLUGIN_EXPORT int32_t NewMachOPlugIn(const char* bundlePath);
// Deletes the group and with it any process the host left behind.
ZARN_PLUGIN_EXPORT void CloseMachOPlugIn();
ZARN_PLUGIN_EXPORT PlugInGetRoutineProc _PI_GetRoutineDescriptor;
// The folder of the bundle handed to NewMachOPlugIn ("" before).
ZARN_PLUGIN_EXPORT const char* CProcessGroupGetBundleRef();
// The nested switch to the bundle's resource map; failures leave the current
// file current (the C++ forms in CProcessGroup.h throw instead).
ZARN_PLUGIN_EXPORT int16_t CProcessGroupUseResourceFile();
ZARN_PLUGIN_EXPORT void CProcessGroupRestoreResourceFile(int16_t previous);
// The words of the calling thread's last failure, when it returned status
// (PlugInTakeFailureTextProc in host/HostInterface.h).
ZARN_PLUGIN_EXPORT int32_t PlugInTakeFailureText(int32_t status, char* buffer, int32_t size);

// The lookup itself (what _PI_GetRoutineDescriptor holds).
int32_t PI_GetRoutineDescriptor(int32_t selector, PlugInRoutine* routine);
