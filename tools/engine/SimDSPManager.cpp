// The simulated DSP manager: one entry that hands out the manager object.

#include "tools/engine/SimEngineState.h"

namespace {

struct Manager {
  uint32_t signature = 0x44535050; // marks the object for whoever receives it
};

Manager* manager() {
  static auto* m = new Manager;
  return m;
}

void* getDSPManager() {
  sim::log("GetDSPManager");
  int64_t forced;
  if (sim::resultOverride("GetDSPManager", forced)) return reinterpret_cast<void*>(static_cast<uintptr_t>(forced));
  return manager();
}

} // namespace

SIM_ENTRY(GetDSPManager, getDSPManager)

namespace sim {
const char* environmentVariable() { return "ZARN_SIM_DSP_MANAGER"; }
void resetLibrary() {}
bool configureLibrary(const std::string&, const std::string&) { return false; }
int64_t libraryState(const std::string&) { return 0; }
} // namespace sim
