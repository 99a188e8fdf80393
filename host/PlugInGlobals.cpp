#include "host/PlugInGlobals.h"

#include "host/services/CDAEError.h"

#include <atomic>

CProcessGroup* gProcessGroup = nullptr;
int32_t gCriticalSectionLevel = 0;
HostCallbackProc gIdleCallback = nullptr;

const SHostColor gDefaultForeColor = {0x0000, 0x0000, 0x2222};
const SHostColor gDefaultBackColor = {0x8888, 0x8888, 0x8888};
const SHostColor gHighlightColor = {0x0000, 0x6666, 0xFFFF};
const SHostColor gDisabledTextColor = {0x0000, 0x0000, 0xAAAA};
const SHostColor gDialFaceColor = {0xDDDD, 0xDDDD, 0xDDDD};

namespace {

// One interface reached through the callback: asked at most once for each
// callback that is set. The render thread may be the first to ask.
template <class T> struct SCachedInterface {
  std::atomic<HostCallbackProc> fAskedOf{nullptr};
  std::atomic<T*> fInterface{nullptr};

  T* Get(int32_t selector) {
    HostCallbackProc callback = GetHostCallback();
    if (!callback) return nullptr;
    if (fAskedOf.load(std::memory_order_acquire) == callback) return fInterface.load(std::memory_order_relaxed);
    T* answer = nullptr;
    int32_t status = CallHostCallback(selector, reinterpret_cast<uintptr_t>(&answer));
    fInterface.store(status == 0 ? answer : nullptr, std::memory_order_relaxed);
    fAskedOf.store(callback, std::memory_order_release);
    return fInterface.load(std::memory_order_relaxed);
  }
  void Forget() {
    fAskedOf.store(nullptr);
    fInterface.store(nullptr);
  }
};

SCachedInterface<SHostObjectInterface> gObjectInterface;
SCachedInterface<SHostMIDIService> gMIDIService;
SCachedInterface<SHostAutomationService> gAutomationService;

int32_t SignExtend16(int32_t status) { return static_cast<int16_t>(status); }

} // namespace

void HandOverHostCallback(HostCallbackProc callback) {
  gObjectInterface.Forget();
  gMIDIService.Forget();
  gAutomationService.Forget();
  SetHostCallback(callback);
}

int32_t CallHostCallback(int32_t selector, uintptr_t argument) {
  HostCallbackProc callback = GetHostCallback();
  if (!callback) return 0;
  return SignExtend16(callback(selector, 0, argument));
}

SHostObjectInterface* GetHostObjectInterface() { return gObjectInterface.Get(kHostCallback_GetObjectInterface); }
SHostMIDIService* GetHostMIDIService() { return gMIDIService.Get(kHostCallback_GetMIDIService); }
SHostAutomationService* GetHostAutomationService() {
  return gAutomationService.Get(kHostCallback_GetAutomationService);
}

int32_t RegisterHostObject(const void* object, int8_t kind) {
  SHostObjectInterface* host = GetHostObjectInterface();
  if (!host || !host->RegisterHostObject) return 0;
  return SignExtend16(host->RegisterHostObject(host, reinterpret_cast<uintptr_t>(object), kind));
}

int32_t UnregisterHostObject(const void* object) {
  SHostObjectInterface* host = GetHostObjectInterface();
  if (!host || !host->UnregisterHostObject) return 0;
  return SignExtend16(host->UnregisterHostObject(host, reinterpret_cast<uintptr_t>(object)));
}

int32_t DescribeHostObject(const void* object, const SPlugInBuffer& message) {
  SHostObjectInterface* host = GetHostObjectInterface();
  if (!host || !host->DescribeHostObject) return 0;
  return SignExtend16(host->DescribeHostObject(host, reinterpret_cast<uintptr_t>(object), &message));
}

void PlugInAssert(bool condition) {
  if (!condition) throw CDAEError(kPlugInErr_Assertion);
}

void PlugInAssertPointerValid(const void* pointer) {
  if (!pointer) throw CDAEError(-7053);
}
