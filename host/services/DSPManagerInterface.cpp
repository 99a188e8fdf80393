#include "host/services/DSPManagerInterface.h"

#include "host/services/EngineLibAccess.h"

#include <atomic>

namespace {
std::atomic<IDSPManagerUnknown*> sInterface{nullptr};
} // namespace

IDSPManagerUnknown* GetDSPManagerInterface() {
  if (IDSPManagerUnknown* cached = sInterface.load(std::memory_order_acquire)) return cached;
  auto* manager = static_cast<IDSPManagerUnknown*>(GetDSPManager());
  if (!manager) return nullptr;
  void* object = nullptr;
  int32_t result = manager->QueryInterface(kDSPManagerInterfaceID, &object);
  // The manager's own reference is not needed beyond the question; the
  // interface's is the cache's, dropped when the library is freed, so that
  // the object outlives every use of the cached pointer.
  manager->Release();
  if (result < 0 || !object) return nullptr;
  auto* found = static_cast<IDSPManagerUnknown*>(object);
  sInterface.store(found, std::memory_order_release);
  return found;
}

void ReleaseDSPManagerInterface() {
  if (IDSPManagerUnknown* cached = sInterface.exchange(nullptr, std::memory_order_acq_rel)) cached->Release();
}
