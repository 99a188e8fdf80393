#include "host/services/DAECalls.h"

#include "host/services/DSICalls.h"
#include "host/services/EngineCall.h"
#include "host/services/EngineEntryIDs.h"
#include "host/services/EngineLibAccess.h"

using EngineCall::Status;
using EngineCall::Word;
using W = uintptr_t;

int32_t Call_FicMain() {
  Call_InitSADriver(); // the card driver is optional here
  int32_t result = InitializeDAELibAccess();
  if (result != 0) return static_cast<int16_t>(result);
  return Status<int16_t()>(gDAELibAccess, kDAE_FicMain);
}

W Call_FicNewServer() { return Word<W()>(gDAELibAccess, kDAE_FicNewServer); }

W Call_FicNewObject(W server, W type) { return Word<W(W, W)>(gDAELibAccess, kDAE_FicNewObject, server, type); }

int32_t Call_FicDelete(W object) { return Status<int16_t(W)>(gDAELibAccess, kDAE_FicDelete, object); }

W Call_FicFindStandardType(W server, int16_t typeNumber) {
  return Word<W(W, int32_t)>(gDAELibAccess, kDAE_FicFindStandardType, server, int32_t{typeNumber});
}

int32_t Call_FicCreatePlugInSpec(W a, W b, W c, W d) {
  return Status<int16_t(W, W, W, W)>(gDAELibAccess, kDAE_FicCreatePlugInSpec, a, b, c, d);
}

int32_t Call_FicPrepareForConnections(W a, int16_t b) {
  return Status<int16_t(W, int32_t)>(gDAELibAccess, kDAE_FicPrepareForConnections, a, int32_t{b});
}

int32_t Call_FicGestalt(uint32_t selector, W* answer) {
  return Status<int16_t(uint32_t, W*)>(gDAELibAccess, kDAE_FicGestalt, selector, answer);
}

int32_t Call_FicSDSReserveName(W a, W b, W c) {
  return Status<int16_t(W, W, W)>(gDAELibAccess, kDAE_FicSDSReserveName, a, b, c);
}

int32_t Call_FicSDSFreeName(W a, W b) { return Status<int16_t(W, W)>(gDAELibAccess, kDAE_FicSDSFreeName, a, b); }

int32_t Call_FicSDSSetListenerName(W listener, W b, W c) {
  return Status<int16_t(W, W, W)>(gDAELibAccess, kDAE_FicSDSSetListenerName, listener, b, c);
}

#define ZARN_LISTENER_WORD(name)                                              \
  int32_t Call_##name(W listener, W value) {                                  \
    return Status<int16_t(W, W)>(gDAELibAccess, kDAE_##name, listener, value); \
  }
ZARN_LISTENER_WORD(FicSDSSetListenerType)
ZARN_LISTENER_WORD(FicSDSSetListenerSubType)
ZARN_LISTENER_WORD(FicSDSSetListenerGoal)
ZARN_LISTENER_WORD(FicSDSSetListenerTask)
ZARN_LISTENER_WORD(FicSDSSetListenerTaskVal)
ZARN_LISTENER_WORD(FicSDSSetListenerProtocol)
ZARN_LISTENER_WORD(FicSDSSetListenerManufacturer)
#undef ZARN_LISTENER_WORD

int32_t Call_FicSDSSetListenerCriticalFlag(W listener, int16_t flag) {
  return Status<int16_t(W, int32_t)>(gDAELibAccess, kDAE_FicSDSSetListenerCriticalFlag, listener, int32_t{flag});
}

int32_t Call_FicSDSSetListenerLatestFlag(W listener, int16_t flag) {
  return Status<int16_t(W, int32_t)>(gDAELibAccess, kDAE_FicSDSSetListenerLatestFlag, listener, int32_t{flag});
}

int32_t Call_FicSDSDispatchToken(W token) { return Status<int16_t(W)>(gDAELibAccess, kDAE_FicSDSDispatchToken, token); }

int32_t Call_FicSDSDoneWithToken(W token) { return Status<int16_t(W)>(gDAELibAccess, kDAE_FicSDSDoneWithToken, token); }

int32_t Call_FicPersonalityDoIdle() {
  int32_t error;
  auto* entry = EngineCall::Find<int32_t()>(gDAELibAccess, kDAE_FicPersonalityDoIdle, error);
  return entry ? entry() : 0; // a host without idle processing has nothing to report
}

int32_t Call_FicSDSGetTokenAndTaskVal(W server, W* token, W* task, W* taskValue) {
  return Status<int16_t(W, W*, W*, W*)>(gDAELibAccess, kDAE_FicSDSGetTokenAndTaskVal, server, token, task, taskValue);
}

#define ZARN_CONVERSANT(name)                                                          \
  int32_t Call_##name(W a, int16_t b) {                                                \
    return Status<int16_t(W, int32_t)>(gDAELibAccess, kDAE_##name, a, int32_t{b});     \
  }
ZARN_CONVERSANT(FicDeactivateTalker)
ZARN_CONVERSANT(FicReactivateTalker)
ZARN_CONVERSANT(FicDeactivateListener)
ZARN_CONVERSANT(FicReactivateListener)
#undef ZARN_CONVERSANT

int32_t Call_FicPrepareForConnectionsStatus(W a) {
  // Fall-backs of an old host: 4 without the engine, 14 without the entry.
  int32_t error;
  auto* entry = EngineCall::Find<uint8_t(W)>(gDAELibAccess, kDAE_FicPrepareForConnectionsStatus, error);
  if (!entry) return error == HostStatus::kEngineLibraryMissing ? 4 : 14;
  return entry(a);
}

int32_t Call_FicRegisterDirectMIDIClient(W a, W b, W c, W d) {
  return Status<int16_t(W, W, W, W)>(gDAELibAccess, kDAE_FicRegisterDirectMIDIClient, a, b, c, d);
}

int32_t Call_FicUnRegisterDirectMIDIClient(W a) {
  return Status<int16_t(W)>(gDAELibAccess, kDAE_FicUnRegisterDirectMIDIClient, a);
}

int32_t Call_FicIsAlive() {
  int32_t error;
  auto* entry = EngineCall::Find<uint8_t()>(gDAELibAccess, kDAE_FicIsAlive, error);
  return entry ? entry() : 1; // a host that cannot tell is taken to be alive
}

W Call_FicCreateCriticalSection() { return Word<W()>(gDAELibAccess, kDAE_FicCreateCriticalSection); }

int32_t Call_FicDeleteCriticalSection(W section) {
  return Status<int16_t(W)>(gDAELibAccess, kDAE_FicDeleteCriticalSection, section);
}

int32_t Call_FicEnterCriticalSection(W section) {
  return Status<int16_t(W)>(gDAELibAccess, kDAE_FicEnterCriticalSection, section);
}

int32_t Call_FicLeaveCriticalSection(W section) {
  return Status<int16_t(W)>(gDAELibAccess, kDAE_FicLeaveCriticalSection, section);
}

int32_t Call_FicGetMaximumRTASQuantum() { return Status<int32_t()>(gDAELibAccess, kDAE_FicGetMaximumRTASQuantum); }

W Call_FicGetDAEIACFUnknown(W a) { return Word<W(W)>(gDAELibAccess, kDAE_FicGetDAEIACFUnknown, a); }
