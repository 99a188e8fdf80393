#pragma once

// One wrapper per audio-engine entry point the plug-in calls. Each finds its
// entry in the bound library and calls it; none throws. Without the library
// a wrapper returns -2812, without the entry -2802, except where noted.
// Statuses are the engine's 16-bit statuses sign-extended; handles are
// pointer-wide words (a code in place of a handle reads back as the code
// when cut to 32 bits). Words whose meaning is the host's are passed on as
// they are.

#include <cstdint>

// Makes a four-character code from its text ('vqta').
constexpr uint32_t FourCharCode(const char (&s)[5]) {
  return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
         uint32_t(uint8_t(s[3]));
}

// Gestalt selectors the plug-in asks.
constexpr uint32_t kGestaltVariableQuantum = FourCharCode("vqta");  // non-zero: variable render quantum
constexpr uint32_t kGestaltPlugInServices = FourCharCode("pisi");   // the host's plug-in services object
constexpr uint32_t kGestaltControlMessaging = FourCharCode("sdsh"); // control messaging available

// Standard types of the control-messaging server.
constexpr int16_t kStandardTypeControlListener = 56;
constexpr int16_t kStandardTypeMessagingObject = 57;

// Loads the audio engine first (also loading the card driver interface); the
// load error when that fails, else the entry's status.
int32_t Call_FicMain();
uintptr_t Call_FicNewServer();
uintptr_t Call_FicNewObject(uintptr_t server, uintptr_t type);
int32_t Call_FicDelete(uintptr_t object);
uintptr_t Call_FicFindStandardType(uintptr_t server, int16_t typeNumber);
int32_t Call_FicCreatePlugInSpec(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d);
int32_t Call_FicPrepareForConnections(uintptr_t a, int16_t b);
// Status 0 means that the capability is supported; the answer is written
// only then. A word, as some answers are host objects.
int32_t Call_FicGestalt(uint32_t selector, uintptr_t* answer);
int32_t Call_FicSDSReserveName(uintptr_t a, uintptr_t b, uintptr_t c);
int32_t Call_FicSDSFreeName(uintptr_t a, uintptr_t b);
int32_t Call_FicSDSSetListenerName(uintptr_t listener, uintptr_t b, uintptr_t c);
int32_t Call_FicSDSSetListenerType(uintptr_t listener, uintptr_t type);
int32_t Call_FicSDSSetListenerSubType(uintptr_t listener, uintptr_t subType);
int32_t Call_FicSDSSetListenerGoal(uintptr_t listener, uintptr_t goal);
int32_t Call_FicSDSSetListenerCriticalFlag(uintptr_t listener, int16_t flag);
int32_t Call_FicSDSSetListenerLatestFlag(uintptr_t listener, int16_t flag);
int32_t Call_FicSDSSetListenerTask(uintptr_t listener, uintptr_t task);
int32_t Call_FicSDSSetListenerTaskVal(uintptr_t listener, uintptr_t taskValue);
int32_t Call_FicSDSDispatchToken(uintptr_t token);
int32_t Call_FicSDSDoneWithToken(uintptr_t token);
// The engine's idle result; 0 without the library or the entry.
int32_t Call_FicPersonalityDoIdle();
int32_t Call_FicSDSSetListenerProtocol(uintptr_t listener, uintptr_t protocol);
int32_t Call_FicSDSSetListenerManufacturer(uintptr_t listener, uintptr_t manufacturer);
int32_t Call_FicSDSGetTokenAndTaskVal(uintptr_t server, uintptr_t* token, uintptr_t* task, uintptr_t* taskValue);
int32_t Call_FicDeactivateTalker(uintptr_t a, int16_t b);
int32_t Call_FicReactivateTalker(uintptr_t a, int16_t b);
int32_t Call_FicDeactivateListener(uintptr_t a, int16_t b);
int32_t Call_FicReactivateListener(uintptr_t a, int16_t b);
// The engine's byte; 4 without the library, 14 without the entry.
int32_t Call_FicPrepareForConnectionsStatus(uintptr_t a);
int32_t Call_FicRegisterDirectMIDIClient(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d);
int32_t Call_FicUnRegisterDirectMIDIClient(uintptr_t a);
// The engine's byte; 1 (alive) without the library or the entry.
int32_t Call_FicIsAlive();
uintptr_t Call_FicCreateCriticalSection();
int32_t Call_FicDeleteCriticalSection(uintptr_t section);
int32_t Call_FicEnterCriticalSection(uintptr_t section);
int32_t Call_FicLeaveCriticalSection(uintptr_t section);
// The largest render quantum in samples.
int32_t Call_FicGetMaximumRTASQuantum();
uintptr_t Call_FicGetDAEIACFUnknown(uintptr_t a);
