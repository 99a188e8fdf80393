#pragma once

// Process-wide state of the host plug-in layer and the ways to the host: the
// current process group, the host callback procedure with the interfaces
// reached through it, the group's critical-section level, the optional idle
// callback, the assertion routines and the default colours of host-drawn
// views.

#include "host/HostInterface.h"
#include "host/services/HostCallback.h" // SetHostCallback, GetHostCallback

#include <cstdint>

class CProcessGroup;

// The group between NewMachOPlugIn and CloseMachOPlugIn, else null.
extern CProcessGroup* gProcessGroup;
// Non-zero only while the group brackets calls with its critical section.
extern int32_t gCriticalSectionLevel;
// Installed by whoever wants host-drawn control views to give the host time
// while they idle; called with (16, 0, 0). Null when none.
extern HostCallbackProc gIdleCallback;

// The host hands the group its callback (or null): every interface obtained
// through an earlier one is forgotten, and every failed attempt.
void HandOverHostCallback(HostCallbackProc callback);
// Calls the callback with (selector, 0, argument) and returns its 16-bit
// status sign-extended; 0 without a callback.
int32_t CallHostCallback(int32_t selector, uintptr_t argument);

// The interfaces reached through the callback, asked once: a non-zero status
// or a null answer marks one unavailable, and it is not asked again until the
// host hands over a callback again. Null without a callback or when
// unavailable.
SHostObjectInterface* GetHostObjectInterface();
SHostMIDIService* GetHostMIDIService();
SHostAutomationService* GetHostAutomationService();

// The host object interface's operations; each does nothing and returns 0
// when the interface is unavailable, else the host's 16-bit status
// sign-extended.
int32_t RegisterHostObject(const void* object, int8_t kind);
int32_t UnregisterHostObject(const void* object);
int32_t DescribeHostObject(const void* object, const SPlugInBuffer& message);

// The library's assertion routines: throw CDAEError -7400 when condition is
// false; throw -7053 when pointer is null, else return it.
void PlugInAssert(bool condition);
void PlugInAssertPointerValid(const void* pointer);
template <class T> T* PlugInAssertPointer(T* pointer) {
  PlugInAssertPointerValid(pointer);
  return pointer;
}

// Colours of host-drawn views (16 bits per component).
struct SHostColor {
  uint16_t red, green, blue;
};
extern const SHostColor gDefaultForeColor;      // {0x0000, 0x0000, 0x2222}
extern const SHostColor gDefaultBackColor;      // {0x8888, 0x8888, 0x8888}
extern const SHostColor gHighlightColor;        // {0x0000, 0x6666, 0xFFFF}
extern const SHostColor gDisabledTextColor;     // {0x0000, 0x0000, 0xAAAA}
extern const SHostColor gDialFaceColor;
