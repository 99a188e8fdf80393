// The simulated DSP manager: one entry that hands out the manager object,
// counted as the host's objects are, which answers one interface by
// identifier; and, for tests, a connection object whose switches log every
// call and fail at the steps the settings name.

#include "tools/engine/SimEngineState.h"

#include "host/services/DSPManagerInterface.h"

#include <map>
#include <string>

namespace {

constexpr int32_t kNoInterface = -2147467262; // the host's "no such interface"

class Interface : public IDSPManagerUnknown {
public:
  int32_t QueryInterface(const SDSPInterfaceID& id, void** object) override {
    sim::StateLock lock;
    if (!(id == kDSPManagerInterfaceID)) {
      *object = nullptr;
      return kNoInterface;
    }
    ++refs;
    *object = this;
    return 0;
  }
  uint32_t AddRef() override {
    sim::StateLock lock;
    return static_cast<uint32_t>(++refs);
  }
  uint32_t Release() override {
    sim::StateLock lock;
    sim::log("Release interface");
    return static_cast<uint32_t>(--refs);
  }
  int64_t refs = 0;
};

class Manager : public IDSPManagerUnknown {
public:
  int32_t QueryInterface(const SDSPInterfaceID& id, void** object) override {
    sim::StateLock lock;
    sim::log("QueryInterface");
    if (refuse) {
      *object = nullptr;
      return kNoInterface;
    }
    return interface.QueryInterface(id, object);
  }
  uint32_t AddRef() override {
    sim::StateLock lock;
    return static_cast<uint32_t>(++refs);
  }
  uint32_t Release() override {
    sim::StateLock lock;
    sim::log("Release manager");
    return static_cast<uint32_t>(--refs);
  }
  int64_t refs = 0;
  bool refuse = false;
  Interface interface;
};

Manager& manager() {
  static auto* m = new Manager;
  return *m;
}

void* getDSPManager() {
  sim::log("GetDSPManager");
  int64_t forced;
  if (sim::resultOverride("GetDSPManager", forced)) return reinterpret_cast<void*>(static_cast<uintptr_t>(forced));
  manager().AddRef();
  return static_cast<IDSPManagerUnknown*>(&manager());
}

// The connections of one DSP process as a test scripts them: every call is
// logged ("DeactivateListener 3"); a call named in the failures answers its
// status ("fail.DeactivateListener.3=-7200", "fail.SetChangingFlag=-50").
class Connection : public IDSPConnection {
public:
  int32_t ReactivateTalker(uintptr_t, int16_t t) override { return step("ReactivateTalker", t); }
  int32_t DeactivateTalker(uintptr_t, int16_t t) override { return step("DeactivateTalker", t); }
  int32_t ReactivateListener(uintptr_t, int16_t l) override { return step("ReactivateListener", l); }
  int32_t DeactivateListener(uintptr_t, int16_t l) override { return step("DeactivateListener", l); }
  int32_t Query(uint32_t code, int32_t* answer) override {
    sim::StateLock lock;
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) text += static_cast<char>((code >> shift) & 0xFF);
    sim::log("Query " + text);
    *answer = code == kConnectionQueryCanChange ? canChange : 0;
    return failure("Query");
  }
  int32_t SetChangingFlag(bool on) override {
    sim::StateLock lock;
    sim::log(std::string("SetChangingFlag ") + (on ? "1" : "0"));
    int32_t status = failure("SetChangingFlag");
    if (status == 0) changing = on;
    return status;
  }
  int32_t GetChangingFlag(bool* on) override {
    sim::StateLock lock;
    *on = changing;
    return 0;
  }

  int32_t step(const char* name, int16_t index) {
    sim::StateLock lock;
    sim::log(std::string(name) + " " + sim::num(index));
    return failure(std::string(name) + "." + sim::num(index));
  }
  int32_t failure(const std::string& key) const {
    auto it = failures.find(key);
    return it == failures.end() ? 0 : it->second;
  }

  std::map<std::string, int32_t> failures;
  int32_t canChange = 1;
  bool changing = false;
};

Connection& connection() {
  static auto* c = new Connection;
  return *c;
}

} // namespace

SIM_ENTRY(GetDSPManager, getDSPManager)

SIM_EXPORT void* SimDSPManagerConnection() { return static_cast<IDSPConnection*>(&connection()); }

namespace sim {

const char* environmentVariable() { return "ZARN_SIM_DSP_MANAGER"; }

void resetLibrary() {
  manager().refuse = false;
  connection().failures.clear();
  connection().canChange = 1;
  connection().changing = false;
}

bool configureLibrary(const std::string& key, const std::string& value) {
  int64_t v;
  if (!parseNumber(value, v)) return false;
  if (key == "refuse") manager().refuse = v != 0;
  else if (key == "cmvc") connection().canChange = static_cast<int32_t>(v);
  else if (key == "changing") connection().changing = v != 0;
  else if (key.rfind("fail.", 0) == 0) connection().failures[key.substr(5)] = static_cast<int32_t>(v);
  else return false;
  return true;
}

int64_t libraryState(const std::string& name) {
  if (name == "managerRefs") return manager().refs;
  if (name == "interfaceRefs") return manager().interface.refs;
  return 0;
}

} // namespace sim
