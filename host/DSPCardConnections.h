#pragma once

// The connection functions of the DSP-card road: calls into a card driver
// through its component entry (TDM flag connections, driver lookup, shell
// records), the switching of a DSP process's talkers and listeners with
// roll-back, and the chip object that matches a card.
//
// Every driver call packs its arguments into a newly allocated handle that
// is freed again afterwards; a null driver gives -7175 and a handle that
// cannot be had -7176, both without calling the driver.
//
// Switching is all or nothing: when a connection refuses, everything the
// change had switched so far is switched back, the last first, and the
// refusal is reported. A connection that answers -7103 was already in the
// state asked for; that counts as success and it is not switched back.

#include "host/services/DSIRecords.h"
#include "host/services/DSPManagerInterface.h"

#include <cstddef>
#include <cstdint>

class CDSP;

constexpr int32_t kDSPErr_NoDriver = -7175;
constexpr int32_t kDSPErr_NoHandleMemory = -7176;

// The driver selectors.
constexpr int16_t kDriverHaveInitShellRecord = 13;
constexpr int16_t kDriverFindFromCardID = 15;
constexpr int16_t kDriverConnectTDMFlags = 19;
constexpr int16_t kDriverDisconnectTDMFlags = 20;

struct ComponentRecord;
// A driver's component entry: the selector, the component and the handle
// of the arguments; a 16-bit status.
using DSPDriverEntry = int16_t (*)(int16_t selector, ComponentRecord* component, char** arguments);

// A card driver: its component and entry.
struct ComponentRecord {
  DSPDriverEntry entry;
  uintptr_t refCon; // the driver's own
};

// What the handles hold, selector by selector.
struct SDriverTDMFlagsArgs { // 19 and 20 (flags null, 20)
  int32_t a;
  int32_t b;
  int16_t* flags;
  int32_t reserved; // 0
};
struct SDriverFindArgs { // 15
  int32_t cardID;
  int32_t* driver;
};
struct SDriverShellArgs { // 13
  int32_t a;
  int32_t b;
  ShellRecord* record;
};

// How the handles are made: a master pointer to size bytes, or null. Tests
// replace it to see a handle fail (handles it makes are its own to free);
// null restores the default.
using DriverHandleAllocator = char** (*)(size_t size);
void SetDriverHandleAllocator(DriverHandleAllocator allocator);

int32_t ConnectToTDMFlags(ComponentRecord* driver, int32_t a, int32_t b, int16_t* flags);
int32_t DisconnectFromTDMFlags(ComponentRecord* driver, int32_t a, int32_t b);
int32_t FindDriverFromCardID(ComponentRecord* driver, int32_t cardID, int32_t* driverOut);
int32_t HaveDriverInitShellRecord(ComponentRecord* driver, int32_t a, int32_t b, ShellRecord* record);
// The driver of the DSP's card; a failing lookup is thrown as CDAEError.
int32_t FindDriverFromDSP(ComponentRecord* driver, DSPRecord* dsp);

// The connection state of one DSP process.
class SConversantInfo {
public:
  virtual ~SConversantInfo() = default;
  // True when that listener is to be left alone (the process decides; by
  // default every listener is switched).
  virtual bool LeaveListenerAlone(int16_t) { return false; }

  uintptr_t fRecord = 0; // handed to every connection call
  int16_t fNumListeners = 0;
  int16_t fFirstListener = 0;
  int16_t fNumTalkers = 0;
  int16_t fFirstTalker = 0;
  int16_t fHasExtraListener = 0; // 1: present
  int16_t fExtraListener = 0;
  IDSPConnection* fConnection = nullptr;
};

// Each talker, or each listener not left alone and then the extra listener,
// switched on or off: 0, or the first refusal after the roll-back.
int32_t ActivateTalkersFunc(SConversantInfo& info);
int32_t DeactivateTalkersFunc(SConversantInfo& info);
int32_t ActivateListenersFunc(SConversantInfo& info);
int32_t DeactivateListenersFunc(SConversantInfo& info);

namespace Local {
// As the functions above for the direction; a refusal is thrown as CDAEError.
void ChangeTalkerConnState(bool activate, SConversantInfo& info);
void ChangeListenerConnState(bool activate, SConversantInfo& info);
} // namespace Local

// Switches the listeners, then the talkers, under the connection's changing
// flag (set for the change when it was clear, and cleared again, also on
// failure). The connection must say it can change ('cmvc'); its refusal, or
// -1 for an answer of 0, is thrown as CDAEError, as is a switch's refusal
// after everything switched was switched back.
int32_t ChangeConnState(bool activate, SConversantInfo& info);

// A new chip object for the card of dsp, not yet initialised; any card
// without a chip family throws std::runtime_error.
CDSP* GetNewCProcessDSP(DSPRecord* dsp);
