#include "host/DSPCardConnections.h"

#include "host/CProcessDSP.h"
#include "host/services/CDAEError.h"
#include "host/services/DSIServices.h"

#include <atomic>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

namespace {

// A default handle: the master pointer first, then the bytes.
char** newHandle(size_t size) {
  auto* block = static_cast<char**>(::operator new(sizeof(char*) + size, std::nothrow));
  if (!block) return nullptr;
  *block = reinterpret_cast<char*>(block + 1);
  return block;
}

std::atomic<DriverHandleAllocator> sAllocator{nullptr};

// Calls the driver with args packed into a locked handle of their own.
template <class Args> int32_t callDriver(ComponentRecord* driver, int16_t selector, const Args& args) {
  if (!driver || !driver->entry) return kDSPErr_NoDriver;
  DriverHandleAllocator allocate = sAllocator.load();
  char** handle = allocate ? allocate(sizeof(Args)) : newHandle(sizeof(Args));
  if (!handle || !*handle) {
    if (!allocate) ::operator delete(handle);
    return kDSPErr_NoHandleMemory;
  }
  std::memcpy(*handle, &args, sizeof(Args));
  int32_t status = driver->entry(selector, driver, handle);
  if (!allocate) ::operator delete(handle);
  return status;
}

// ------------------------------------------------------------ switching

struct Switched {
  bool talker;
  int16_t index;
};
using Journal = std::vector<Switched>;

int32_t switchOne(SConversantInfo& info, bool talker, bool activate, int16_t index) {
  IDSPConnection* c = info.fConnection;
  if (!c) return HostStatus::kNullObject;
  if (talker) return activate ? c->ReactivateTalker(info.fRecord, index) : c->DeactivateTalker(info.fRecord, index);
  return activate ? c->ReactivateListener(info.fRecord, index) : c->DeactivateListener(info.fRecord, index);
}

// Switches one connection and notes it when it changed; false on refusal.
bool switchAndNote(SConversantInfo& info, bool talker, bool activate, int16_t index, Journal& journal,
                   int32_t& status) {
  status = switchOne(info, talker, activate, index);
  if (status == 0) journal.push_back({talker, index});
  if (status == kConnectionAlreadyInState) status = 0;
  return status == 0;
}

// Everything in the journal switched back, the last first.
void rollBack(SConversantInfo& info, bool activate, Journal& journal) {
  for (auto it = journal.rbegin(); it != journal.rend(); ++it) switchOne(info, it->talker, !activate, it->index);
  journal.clear();
}

int32_t switchTalkers(SConversantInfo& info, bool activate, Journal& journal) {
  int32_t status = 0;
  for (int32_t i = 0; i < info.fNumTalkers; ++i)
    if (!switchAndNote(info, true, activate, static_cast<int16_t>(info.fFirstTalker + i), journal, status))
      return status;
  return 0;
}

int32_t switchListeners(SConversantInfo& info, bool activate, Journal& journal) {
  int32_t status = 0;
  for (int32_t i = 0; i < info.fNumListeners; ++i) {
    auto index = static_cast<int16_t>(info.fFirstListener + i);
    if (info.LeaveListenerAlone(index)) continue;
    if (!switchAndNote(info, false, activate, index, journal, status)) return status;
  }
  if (info.fHasExtraListener == 1 && info.fExtraListener >= 1)
    if (!switchAndNote(info, false, activate, info.fExtraListener, journal, status)) return status;
  return 0;
}

template <class Switch> int32_t switchAll(SConversantInfo& info, bool activate, Switch f) {
  Journal journal;
  int32_t status = f(info, activate, journal);
  if (status != 0) rollBack(info, activate, journal);
  return status;
}

} // namespace

void SetDriverHandleAllocator(DriverHandleAllocator allocator) { sAllocator.store(allocator); }

int32_t ConnectToTDMFlags(ComponentRecord* driver, int32_t a, int32_t b, int16_t* flags) {
  return callDriver(driver, kDriverConnectTDMFlags, SDriverTDMFlagsArgs{a, b, flags, 0});
}

int32_t DisconnectFromTDMFlags(ComponentRecord* driver, int32_t a, int32_t b) {
  return callDriver(driver, kDriverDisconnectTDMFlags, SDriverTDMFlagsArgs{a, b, nullptr, 0});
}

int32_t FindDriverFromCardID(ComponentRecord* driver, int32_t cardID, int32_t* driverOut) {
  return callDriver(driver, kDriverFindFromCardID, SDriverFindArgs{cardID, driverOut});
}

int32_t HaveDriverInitShellRecord(ComponentRecord* driver, int32_t a, int32_t b, ShellRecord* record) {
  return callDriver(driver, kDriverHaveInitShellRecord, SDriverShellArgs{a, b, record});
}

int32_t FindDriverFromDSP(ComponentRecord* driver, DSPRecord* dsp) {
  int32_t type = -1;
  ThrowIfDAEError(DSPToDriverType(dsp, &type));
  int32_t found = 0;
  ThrowIfDAEError(FindDriverFromCardID(driver, type, &found));
  return found;
}

int32_t ActivateTalkersFunc(SConversantInfo& info) { return switchAll(info, true, switchTalkers); }
int32_t DeactivateTalkersFunc(SConversantInfo& info) { return switchAll(info, false, switchTalkers); }
int32_t ActivateListenersFunc(SConversantInfo& info) { return switchAll(info, true, switchListeners); }
int32_t DeactivateListenersFunc(SConversantInfo& info) { return switchAll(info, false, switchListeners); }

void Local::ChangeTalkerConnState(bool activate, SConversantInfo& info) {
  ThrowIfDAEError(activate ? ActivateTalkersFunc(info) : DeactivateTalkersFunc(info));
}

void Local::ChangeListenerConnState(bool activate, SConversantInfo& info) {
  ThrowIfDAEError(activate ? ActivateListenersFunc(info) : DeactivateListenersFunc(info));
}

int32_t ChangeConnState(bool activate, SConversantInfo& info) {
  IDSPConnection* c = info.fConnection;
  if (!c) throw CDAEError(HostStatus::kNullObject);
  int32_t canChange = 0;
  ThrowIfDAEError(c->Query(kConnectionQueryCanChange, &canChange));
  if (canChange == 0) throw CDAEError(-1);
  bool changing = false;
  ThrowIfDAEError(c->GetChangingFlag(&changing));
  bool setHere = !changing;
  if (setHere) ThrowIfDAEError(c->SetChangingFlag(true));

  // Listeners and talkers are one change: a refusal among the talkers also
  // switches the listeners back.
  Journal journal;
  int32_t status = switchListeners(info, activate, journal);
  if (status == 0) status = switchTalkers(info, activate, journal);
  if (status != 0) rollBack(info, activate, journal);
  if (setHere) c->SetChangingFlag(false);
  ThrowIfDAEError(status);
  return status;
}

CDSP* GetNewCProcessDSP(DSPRecord* dsp) {
  if (IsMerle(dsp)) return new CProcessDSP;
  if (IsSatchmo(dsp)) return new COnyxChipDSP;
  if (IsPresto(dsp)) return new CPrestoChipDSP;
  if (IsDSP321(dsp)) return new C321ChipDSP;
  throw std::runtime_error("unrecognized card type in GetNewCProcessDSP()");
}
