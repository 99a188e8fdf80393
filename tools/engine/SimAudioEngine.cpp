// The simulated host audio engine: servers and objects for control
// messaging, capability queries, render-quantum information, describing
// plug-ins and their connections, talker and listener activation, direct
// MIDI client registration, host-owned critical sections and the name,
// listener and token calls that carry control touches and automation.
//
// Handles are addresses of objects the library allocates, so they are wider
// than 32 bits on this platform, as the host's own would be.

#include "tools/engine/SimEngineState.h"

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace {

constexpr int16_t kParamErr = -50;
constexpr int16_t kUnknownSelector = -5551;
constexpr int16_t kNoToken = -1;

uint32_t fourCC(const std::string& s) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(i < s.size() ? s[i] : ' ');
  return v;
}

struct Object {
  uintptr_t server = 0;
  uintptr_t type = 0;
  std::map<std::string, std::string> properties; // listener settings, for the log's reader
};

struct CriticalSection {
  std::recursive_mutex mutex;
};

struct Answer {
  bool ok = true;
  int64_t value = 0;
};

struct Token {
  uintptr_t token, task, taskValue;
};

struct Engine {
  std::map<uint32_t, Answer> gestalts;
  int32_t quantum = 32;
  std::set<uintptr_t> servers;
  std::map<uintptr_t, Object*> objects;
  std::set<CriticalSection*> sections;
  std::set<uintptr_t> midiClients;
  std::deque<Token> tokens;
  int64_t enters = 0, leaves = 0, idles = 0;
};

Engine& engine() {
  static auto* e = new Engine;
  return *e;
}

// Standard types live for the life of the library: their handles are the
// addresses of these slots.
uintptr_t standardType(int32_t number) {
  static auto* slots = new char[256];
  return reinterpret_cast<uintptr_t>(slots + number);
}

uintptr_t sIUnknown = 0x1A; // the address of this word is the library's interface object

int16_t status(const char* name, int16_t fallback) { return sim::result<int16_t>(name, fallback); }

bool knownObject(uintptr_t h) {
  Engine& e = engine();
  return e.objects.count(h) || e.servers.count(h);
}

// ---------------------------------------------------------------- life cycle

int16_t ficMain() {
  sim::log("FicMain");
  return status("FicMain", 0);
}

int16_t initFic() {
  sim::log("InitFic");
  return status("InitFic", 0);
}

uintptr_t ficNewServer() {
  sim::StateLock lock;
  auto* o = new Object;
  uintptr_t h = reinterpret_cast<uintptr_t>(o);
  engine().objects[h] = o;
  engine().servers.insert(h);
  sim::log("FicNewServer -> " + sim::word(h));
  return sim::result<uintptr_t>("FicNewServer", h);
}

uintptr_t ficNewObject(uintptr_t server, uintptr_t type) {
  sim::StateLock lock;
  sim::log("FicNewObject " + sim::word(server) + " " + sim::word(type));
  int64_t forced;
  if (sim::resultOverride("FicNewObject", forced)) return static_cast<uintptr_t>(forced);
  if (!engine().servers.count(server) || type == 0) return 0;
  auto* o = new Object;
  o->server = server;
  o->type = type;
  uintptr_t h = reinterpret_cast<uintptr_t>(o);
  engine().objects[h] = o;
  return h;
}

int16_t ficDelete(uintptr_t object) {
  sim::StateLock lock;
  sim::log("FicDelete " + sim::word(object));
  Engine& e = engine();
  int16_t s = kParamErr;
  if (auto it = e.objects.find(object); it != e.objects.end()) {
    delete it->second;
    e.objects.erase(it);
    e.servers.erase(object);
    s = 0;
  }
  return status("FicDelete", s);
}

uintptr_t ficFindStandardType(uintptr_t server, int32_t typeNumber) {
  sim::StateLock lock;
  sim::log("FicFindStandardType " + sim::word(server) + " " + sim::num(typeNumber));
  uintptr_t h = 0;
  if (engine().servers.count(server) && typeNumber >= 0 && typeNumber < 256) h = standardType(typeNumber);
  return sim::result<uintptr_t>("FicFindStandardType", h);
}

// ------------------------------------------------------ specs, connections

int16_t ficCreatePlugInSpec(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d) {
  sim::log("FicCreatePlugInSpec " + sim::word(a) + " " + sim::word(b) + " " + sim::word(c) + " " + sim::word(d));
  return status("FicCreatePlugInSpec", 0);
}

int16_t ficPrepareForConnections(uintptr_t w, int32_t s) {
  sim::log("FicPrepareForConnections " + sim::word(w) + " " + sim::num(s));
  return status("FicPrepareForConnections", 0);
}

uint8_t ficPrepareForConnectionsStatus(uintptr_t w) {
  sim::log("FicPrepareForConnectionsStatus " + sim::word(w));
  return sim::result<uint8_t>("FicPrepareForConnectionsStatus", 0);
}

#define SIM_CONVERSANT(fn, entry)                                        \
  int16_t fn(uintptr_t w, int32_t s) {                                   \
    sim::log(entry " " + sim::word(w) + " " + sim::num(s));              \
    return status(entry, 0);                                             \
  }
SIM_CONVERSANT(ficDeactivateTalker, "FicDeactivateTalker")
SIM_CONVERSANT(ficReactivateTalker, "FicReactivateTalker")
SIM_CONVERSANT(ficDeactivateListener, "FicDeactivateListener")
SIM_CONVERSANT(ficReactivateListener, "FicReactivateListener")

// --------------------------------------------------------------- gestalts

int16_t ficGestalt(uint32_t selector, uintptr_t* answer) {
  sim::StateLock lock;
  char code[5] = {char(selector >> 24), char(selector >> 16), char(selector >> 8), char(selector), 0};
  sim::log(std::string("FicGestalt ") + code);
  int64_t forced;
  if (sim::resultOverride("FicGestalt", forced)) return static_cast<int16_t>(forced);
  auto it = engine().gestalts.find(selector);
  if (it == engine().gestalts.end()) return kUnknownSelector;
  if (!it->second.ok) return static_cast<int16_t>(it->second.value);
  if (answer) *answer = static_cast<uintptr_t>(it->second.value);
  return 0;
}

int32_t ficGetMaximumRTASQuantum() {
  sim::StateLock lock;
  sim::log("FicGetMaximumRTASQuantum");
  return sim::result<int32_t>("FicGetMaximumRTASQuantum", engine().quantum);
}

uintptr_t ficGetDAEIACFUnknown(uintptr_t w) {
  sim::log("FicGetDAEIACFUnknown " + sim::word(w));
  return sim::result<uintptr_t>("FicGetDAEIACFUnknown", reinterpret_cast<uintptr_t>(&sIUnknown));
}

uint8_t ficIsAlive() {
  sim::log("FicIsAlive");
  return sim::result<uint8_t>("FicIsAlive", 1);
}

// ------------------------------------------------------------ direct MIDI

int16_t ficRegisterDirectMIDIClient(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d) {
  sim::StateLock lock;
  sim::log("FicRegisterDirectMIDIClient " + sim::word(a) + " " + sim::word(b) + " " + sim::word(c) + " " +
           sim::word(d));
  int16_t s = status("FicRegisterDirectMIDIClient", 0);
  if (s == 0) engine().midiClients.insert(a);
  return s;
}

int16_t ficUnRegisterDirectMIDIClient(uintptr_t a) {
  sim::StateLock lock;
  sim::log("FicUnRegisterDirectMIDIClient " + sim::word(a));
  int16_t s = engine().midiClients.erase(a) ? 0 : kParamErr;
  return status("FicUnRegisterDirectMIDIClient", s);
}

// ------------------------------------------------------- critical sections

uintptr_t ficCreateCriticalSection() {
  sim::StateLock lock;
  int64_t forced;
  if (sim::resultOverride("FicCreateCriticalSection", forced)) {
    sim::log("FicCreateCriticalSection -> " + sim::word(static_cast<uintptr_t>(forced)));
    return static_cast<uintptr_t>(forced);
  }
  auto* cs = new CriticalSection;
  engine().sections.insert(cs);
  sim::log("FicCreateCriticalSection -> " + sim::word(reinterpret_cast<uintptr_t>(cs)));
  return reinterpret_cast<uintptr_t>(cs);
}

CriticalSection* section(uintptr_t h) {
  auto* cs = reinterpret_cast<CriticalSection*>(h);
  return engine().sections.count(cs) ? cs : nullptr;
}

int16_t ficDeleteCriticalSection(uintptr_t h) {
  sim::StateLock lock;
  sim::log("FicDeleteCriticalSection " + sim::word(h));
  CriticalSection* cs = section(h);
  if (!cs) return status("FicDeleteCriticalSection", kParamErr);
  engine().sections.erase(cs);
  delete cs;
  return status("FicDeleteCriticalSection", 0);
}

// Enter and leave are not logged: they come from any thread, often.
int16_t ficEnterCriticalSection(uintptr_t h) {
  CriticalSection* cs;
  {
    sim::StateLock lock;
    cs = section(h);
    if (!cs) return kParamErr;
  }
  cs->mutex.lock(); // never while holding the state lock
  sim::StateLock lock;
  ++engine().enters;
  return 0;
}

int16_t ficLeaveCriticalSection(uintptr_t h) {
  CriticalSection* cs;
  {
    sim::StateLock lock;
    cs = section(h);
    if (!cs) return kParamErr;
    ++engine().leaves;
  }
  cs->mutex.unlock();
  return 0;
}

// ------------------------------------------------ control messaging (SDS)

int16_t onObject(const char* entry, uintptr_t object, const std::string& property, const std::string& value) {
  sim::StateLock lock;
  sim::log(std::string(entry) + " " + sim::word(object) + " " + value);
  int16_t s = kParamErr;
  if (auto it = engine().objects.find(object); it != engine().objects.end()) {
    it->second->properties[property] = value;
    s = 0;
  }
  return status(entry, s);
}

int16_t ficSDSReserveName(uintptr_t a, uintptr_t b, uintptr_t c) {
  sim::log("FicSDSReserveName " + sim::word(a) + " " + sim::word(b) + " " + sim::word(c));
  return status("FicSDSReserveName", 0);
}
int16_t ficSDSFreeName(uintptr_t a, uintptr_t b) {
  sim::log("FicSDSFreeName " + sim::word(a) + " " + sim::word(b));
  return status("FicSDSFreeName", 0);
}
int16_t ficSDSSetListenerName(uintptr_t l, uintptr_t b, uintptr_t c) {
  return onObject("FicSDSSetListenerName", l, "name", sim::word(b) + " " + sim::word(c));
}
#define SIM_LISTENER_WORD(fn, entry, property) \
  int16_t fn(uintptr_t l, uintptr_t v) { return onObject(entry, l, property, sim::word(v)); }
#define SIM_LISTENER_SHORT(fn, entry, property) \
  int16_t fn(uintptr_t l, int32_t v) { return onObject(entry, l, property, sim::num(v)); }
SIM_LISTENER_WORD(ficSDSSetListenerType, "FicSDSSetListenerType", "type")
SIM_LISTENER_WORD(ficSDSSetListenerSubType, "FicSDSSetListenerSubType", "subtype")
SIM_LISTENER_WORD(ficSDSSetListenerGoal, "FicSDSSetListenerGoal", "goal")
SIM_LISTENER_SHORT(ficSDSSetListenerCriticalFlag, "FicSDSSetListenerCriticalFlag", "critical")
SIM_LISTENER_SHORT(ficSDSSetListenerLatestFlag, "FicSDSSetListenerLatestFlag", "latest")
SIM_LISTENER_WORD(ficSDSSetListenerTask, "FicSDSSetListenerTask", "task")
SIM_LISTENER_WORD(ficSDSSetListenerTaskVal, "FicSDSSetListenerTaskVal", "taskValue")
SIM_LISTENER_WORD(ficSDSSetListenerProtocol, "FicSDSSetListenerProtocol", "protocol")
SIM_LISTENER_WORD(ficSDSSetListenerManufacturer, "FicSDSSetListenerManufacturer", "manufacturer")

int16_t ficSDSDispatchToken(uintptr_t token) {
  sim::log("FicSDSDispatchToken " + sim::word(token));
  return status("FicSDSDispatchToken", 0);
}

int16_t ficSDSDoneWithToken(uintptr_t token) {
  sim::log("FicSDSDoneWithToken " + sim::word(token));
  return status("FicSDSDoneWithToken", 0);
}

// Hands out the tokens the host queued, oldest first; -1 when none waits
// (the outputs are then left as they were).
int16_t ficSDSGetTokenAndTaskVal(uintptr_t server, uintptr_t* token, uintptr_t* task, uintptr_t* taskValue) {
  sim::StateLock lock;
  sim::log("FicSDSGetTokenAndTaskVal " + sim::word(server));
  int64_t forced;
  if (sim::resultOverride("FicSDSGetTokenAndTaskVal", forced)) return static_cast<int16_t>(forced);
  if (!knownObject(server)) return kParamErr;
  auto& q = engine().tokens;
  if (q.empty()) return kNoToken;
  if (token) *token = q.front().token;
  if (task) *task = q.front().task;
  if (taskValue) *taskValue = q.front().taskValue;
  q.pop_front();
  return 0;
}

int32_t ficPersonalityDoIdle() {
  sim::StateLock lock;
  ++engine().idles;
  return sim::result<int32_t>("FicPersonalityDoIdle", 0);
}

} // namespace

SIM_ENTRY(FicMain, ficMain)
SIM_ENTRY(InitFic, initFic)
SIM_ENTRY(FicNewServer, ficNewServer)
SIM_ENTRY(FicNewObject, ficNewObject)
SIM_ENTRY(FicDelete, ficDelete)
SIM_ENTRY(FicFindStandardType, ficFindStandardType)
SIM_ENTRY(FicCreatePlugInSpec, ficCreatePlugInSpec)
SIM_ENTRY(FicPrepareForConnections, ficPrepareForConnections)
SIM_ENTRY(FicGestalt, ficGestalt)
SIM_ENTRY(FicSDSReserveName, ficSDSReserveName)
SIM_ENTRY(FicSDSFreeName, ficSDSFreeName)
SIM_ENTRY(FicSDSSetListenerName, ficSDSSetListenerName)
SIM_ENTRY(FicSDSSetListenerType, ficSDSSetListenerType)
SIM_ENTRY(FicSDSSetListenerSubType, ficSDSSetListenerSubType)
SIM_ENTRY(FicSDSSetListenerGoal, ficSDSSetListenerGoal)
SIM_ENTRY(FicSDSSetListenerCriticalFlag, ficSDSSetListenerCriticalFlag)
SIM_ENTRY(FicSDSSetListenerLatestFlag, ficSDSSetListenerLatestFlag)
SIM_ENTRY(FicSDSSetListenerTask, ficSDSSetListenerTask)
SIM_ENTRY(FicSDSSetListenerTaskVal, ficSDSSetListenerTaskVal)
SIM_ENTRY(FicSDSDispatchToken, ficSDSDispatchToken)
SIM_ENTRY(FicSDSDoneWithToken, ficSDSDoneWithToken)
SIM_ENTRY(FicPersonalityDoIdle, ficPersonalityDoIdle)
SIM_ENTRY(FicSDSSetListenerProtocol, ficSDSSetListenerProtocol)
SIM_ENTRY(FicSDSSetListenerManufacturer, ficSDSSetListenerManufacturer)
SIM_ENTRY(FicSDSGetTokenAndTaskVal, ficSDSGetTokenAndTaskVal)
SIM_ENTRY(FicDeactivateTalker, ficDeactivateTalker)
SIM_ENTRY(FicReactivateTalker, ficReactivateTalker)
SIM_ENTRY(FicDeactivateListener, ficDeactivateListener)
SIM_ENTRY(FicReactivateListener, ficReactivateListener)
SIM_ENTRY(FicPrepareForConnectionsStatus, ficPrepareForConnectionsStatus)
SIM_ENTRY(FicRegisterDirectMIDIClient, ficRegisterDirectMIDIClient)
SIM_ENTRY(FicUnRegisterDirectMIDIClient, ficUnRegisterDirectMIDIClient)
SIM_ENTRY(FicIsAlive, ficIsAlive)
SIM_ENTRY(FicCreateCriticalSection, ficCreateCriticalSection)
SIM_ENTRY(FicDeleteCriticalSection, ficDeleteCriticalSection)
SIM_ENTRY(FicEnterCriticalSection, ficEnterCriticalSection)
SIM_ENTRY(FicLeaveCriticalSection, ficLeaveCriticalSection)
SIM_ENTRY(FicGetMaximumRTASQuantum, ficGetMaximumRTASQuantum)
SIM_ENTRY(FicGetDAEIACFUnknown, ficGetDAEIACFUnknown)

SIM_EXPORT void SimEnginePostToken(uintptr_t token, uintptr_t task, uintptr_t taskValue) {
  sim::StateLock lock;
  engine().tokens.push_back({token, task, taskValue});
}

namespace sim {

const char* environmentVariable() { return "ZARN_SIM_AUDIO_ENGINE"; }

// Objects that the plug-in still holds stay valid across a reset; only the
// settings and the queues start again.
void resetLibrary() {
  Engine& e = engine();
  e.gestalts.clear();
  e.gestalts[fourCC("vqta")] = {true, 0};
  e.gestalts[fourCC("sdsh")] = {true, 1};
  e.quantum = 32;
  e.tokens.clear();
  e.enters = e.leaves = e.idles = 0;
}

bool configureLibrary(const std::string& key, const std::string& value) {
  Engine& e = engine();
  if (key.rfind("gestalt.", 0) == 0 && key.size() == 12) {
    uint32_t selector = fourCC(key.substr(8));
    if (value.empty()) {
      e.gestalts.erase(selector);
      return true;
    }
    bool failed = value[0] == '!';
    int64_t v;
    if (!parseNumber(failed ? value.substr(1) : value, v)) return false;
    e.gestalts[selector] = {!failed, v};
    return true;
  }
  if (key == "quantum") {
    int64_t v;
    if (!parseNumber(value, v)) return false;
    e.quantum = static_cast<int32_t>(v);
    return true;
  }
  return false;
}

int64_t libraryState(const std::string& name) {
  Engine& e = engine();
  if (name == "objects") return static_cast<int64_t>(e.objects.size() + e.sections.size());
  if (name == "criticalSections") return static_cast<int64_t>(e.sections.size());
  if (name == "enters") return e.enters;
  if (name == "leaves") return e.leaves;
  if (name == "idles") return e.idles;
  if (name == "midiClients") return static_cast<int64_t>(e.midiClients.size());
  if (name == "tokens") return static_cast<int64_t>(e.tokens.size());
  return 0;
}

} // namespace sim
