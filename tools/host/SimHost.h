#pragma once

// The simulated host: it plays the host's part for a plug-in bundle as the
// host interface describes it (host/HostInterface.h). It loads the engine
// libraries (tools/engine) and the bundle, calls NewMachOPlugIn, looks every
// routine up by selector, hands the group its callback (debug text and
// numbers, the host object interface, the MIDI service, the automation
// service), creates instances of a process type, publishes and connects
// them, delivers MIDI through their buffered nodes as 16-byte records with
// sample offsets, runs a transport (tempo, meter, song position), renders in
// 32-sample quanta (or a variable quantum when both sides offer it), touches,
// sets and releases controls with an automation service that echoes values
// back, and gets and sets chunks.
//
// One simulated host may be active in a process at a time (the callback the
// plug-in keeps carries no context). Everything but render() belongs to the
// main thread (the thread that made the host); render() may run on another
// thread (see RenderThread). Values the plug-in sends from another thread
// are echoed on the next idle().

#include "host/HostInterface.h"
#include "tools/host/HostObjects.h"
#include "tools/host/RecentRecords.h"
#include "tools/host/Transport.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace simhost {

// A status other than 0 from the plug-in, where the caller needs success:
// what failed, the plug-in's own words when it had any, and the status.
class HostError : public std::runtime_error {
public:
  HostError(const std::string& what, int32_t status, const std::string& words = {})
      : std::runtime_error(what + (words.empty() ? "" : ": " + words) + " (" + std::to_string(status) + ")"),
        mStatus(status) {}
  int32_t status() const { return mStatus; }

private:
  int32_t mStatus;
};

struct HostOptions {
  bool objectInterface = true;   // answers callback selector 18
  bool midiService = true;       // 19
  bool automationService = true; // 20
  int32_t midiVersion = kMIDIInterfaceVersionMax;
  bool variableQuantum = false;  // the engine's "vqta"
  int32_t maxQuantum = 1024;     // the largest variable quantum
  bool plugInServices = true;    // the engine's "pisi"
  // The services' answer: below 1 refuses the group a critical section. The
  // plug-in keeps the services object it got first for the whole process.
  int32_t criticalSectionsAllowed = 1;
  int32_t sampleRate = 44100;
  std::string engineSettings;    // more settings for the audio engine library
};

// The entry points of a bundle, found by name or given by a test that links
// the plug-in layer itself.
struct EntryPoints {
  NewMachOPlugInProc newPlugIn = nullptr;
  CloseMachOPlugInProc closePlugIn = nullptr;
  PlugInGetRoutineProc getRoutine = nullptr;
  PlugInTakeFailureTextProc takeFailureText = nullptr; // optional
};

struct AutomationEvent {
  enum Kind { Touch, Value, Release } kind;
  uintptr_t process;
  int32_t control;
  int32_t value;
  bool operator==(const AutomationEvent&) const = default;
};

class SimHost;

// One instance as the host sees it: the process, its published worker and
// instance data, and the host's buffers connected to its ports.
class Instance {
public:
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  uintptr_t process() const { return mProcess; }
  int32_t typeIndex() const { return mTypeIndex; }
  int32_t numInputs() const { return static_cast<int32_t>(mInputs.size()); }
  int32_t numOutputs() const { return static_cast<int32_t>(mOutputs.size()); }
  bool variableQuantum() const { return mVariableQuantum; }
  uintptr_t plugInObject() const { return mPlugIn; }
  const uintptr_t* instanceData() const { return mInstanceData; }
  // Samples rendered so far (whole quanta).
  int64_t position() const { return mPosition.load(); }

private:
  friend class SimHost;
  struct PendingEvent {
    // The offset asked for, from the start of the next render call, plus
    // mKeyBase as it stood then. Each render call raises mKeyBase by the
    // samples it passed, so key - mKeyBase is always the offset from the
    // start of the next call (below 0 for an event that is already late,
    // which is played at 0).
    int64_t key;
    SMIDIRecord record;
    bool raw = false; // the record's own sample offset stands
  };
  Instance() = default;

  uintptr_t mProcess = 0;
  int32_t mTypeIndex = 0;
  uintptr_t mPlugIn = 0;
  RTASRenderRoutine mRoutine = nullptr;
  const uintptr_t* mInstanceData = nullptr;
  bool mVariableQuantum = false;
  float* mPortBuffers = nullptr;         // owns the buffers below
  std::vector<float*> mInputs, mOutputs; // the host's buffers, a quantum each
  std::vector<const float*> mResults;
  // A dense song can leave many events waiting (a quantum takes at most
  // kMaxRecords of them): they stay in order, sorted by key, and are taken
  // from mPendingHead on, and a render call moves their offsets on by
  // raising mKeyBase, so no quantum touches the events it does not take.
  std::mutex mMidiMutex;
  std::vector<PendingEvent> mPending; // taken from mPendingHead on
  size_t mPendingHead = 0;
  int64_t mKeyBase = 0;
  // The events waiting (mPending's size less mPendingHead), written under
  // mMidiMutex: a quantum with nothing pending takes no lock.
  std::atomic<size_t> mPendingCount{0};
  std::atomic<int64_t> mPosition{0};
  size_t mControls = 0; // counted once made; room for their echoes
  int64_t mQuantumStart = 0; // render thread: the location of the current quantum
};

class SimHost {
public:
  explicit SimHost(const HostOptions& options = HostOptions());
  // Unloads the bundle (deleting the instances first).
  ~SimHost();
  SimHost(const SimHost&) = delete;
  SimHost& operator=(const SimHost&) = delete;

  static SimHost* active();

  // Loads the bundle at path and starts its group; returns NewMachOPlugIn's
  // status (the bundle stays unloaded unless it is 0). Throws HostError when
  // the folder is no bundle or lacks the entry points.
  int32_t load(const std::string& bundlePath);
  int32_t attach(const EntryPoints& entryPoints, const std::string& bundlePath);
  // Deletes the instances and calls CloseMachOPlugIn.
  void unload();
  bool loaded() const { return mLoaded; }
  // The routine lookup's answer for selector (kept from loading).
  PlugInRoutine routine(int32_t selector) const;
  int32_t lookUp(int32_t selector, PlugInRoutine* routine) const;

  // A call through the table.
  int32_t call(int32_t selector, uintptr_t target = 0, uintptr_t w1 = 0, uintptr_t w2 = 0, uintptr_t w3 = 0,
               uintptr_t w4 = 0) const;
  template <class... T> int32_t callWith(int32_t selector, uintptr_t target, T... args) const {
    return call(selector, target, word(args)...);
  }

  // Group queries.
  std::string groupName(int32_t maxLength) const;
  std::string manufacturerName(int32_t maxLength) const;
  uint32_t manufacturerID() const;
  uint32_t version() const;
  int32_t groupGestalt(int32_t selector) const;
  int32_t numProcessTypes() const;
  std::string processTypeName(int32_t type, int32_t maxLength) const;
  void processTypeIDs(int32_t type, uint32_t& id, uint32_t& id2, uint32_t& category) const;
  void processTypeStems(int32_t type, int32_t& input, int32_t& output, int32_t& third) const;
  int32_t processTypeRates(int32_t type) const;
  int32_t processTypeGestalt(int32_t type, int32_t selector) const;

  // Instances: created with the host's sample rate, published and connected.
  Instance* createInstance(int32_t type = 1);
  void deleteInstance(Instance* instance);
  const std::vector<std::unique_ptr<Instance>>& instances() const { return mInstances; }

  // Controls of an instance.
  int32_t numControls(const Instance& in) const;
  std::string controlName(const Instance& in, int32_t control, int32_t maxLength) const;
  uint32_t controlID(const Instance& in, int32_t control) const;
  int32_t controlValue(const Instance& in, int32_t control) const;
  std::string valueString(const Instance& in, int32_t control, int32_t value, int32_t maxLength) const;
  int32_t valueFromString(const Instance& in, int32_t control, const std::string& text, int32_t& value) const;
  // The host's own edits: touch (a control surface grabbed the control), a
  // new value (recorded as automation and handed to the plug-in), release.
  int32_t touchControl(const Instance& in, int32_t control);
  int32_t setControl(const Instance& in, int32_t control, int32_t value);
  int32_t releaseControl(const Instance& in, int32_t control);
  // The automation seen since the last clearAutomation (the host's own
  // edits and the plug-in's touches, values and releases), oldest first:
  // the most recent kAutomationKept records, so that a session that plays
  // for hours holds a fixed amount; automationCount tells how many there
  // were in all.
  static constexpr size_t kAutomationKept = 4096;
  std::vector<AutomationEvent> automation() const;
  uint64_t automationCount() const;
  void clearAutomation();

  // Chunks: the whole record, header included.
  std::vector<uint32_t> chunkIDs(const Instance& in) const;
  std::string chunkName(const Instance& in, uint32_t id) const;
  int32_t getChunk(const Instance& in, uint32_t id, std::vector<unsigned char>& chunk) const;
  // Refuses itself, with -7157 and before the plug-in sees it, a record
  // whose size word does not fit what was kept (chunkRecordDamage).
  int32_t setChunk(const Instance& in, uint32_t id, const std::vector<unsigned char>& chunk) const;
  // What setChunk finds wrong with a record, in words; "" when nothing.
  static std::string chunkRecordDamage(const std::vector<unsigned char>& chunk);

  // MIDI for the instance's buffered input nodes, offset samples after the
  // start of the next render call.
  void queueMidi(Instance& in, int64_t offset, uint8_t status, uint8_t data1 = 0, uint8_t data2 = 0,
                 uint32_t byteCount = 3);
  // A record handed to the plug-in with the next render call exactly as
  // given, its offset and byte count included, as a faulty host might.
  void queueMidiRecord(Instance& in, const SMIDIRecord& record);
  // The identities of the MIDI nodes the instance made.
  std::vector<uint32_t> midiNodes(const Instance& in) const;
  int32_t midiSessions() const;

  Transport& transport() { return mTransport; }

  // Renders frames samples (whole quanta; samples past frames are dropped).
  // inputs: one per input port, null for silence; outputs: one per output
  // port, null to drop. May be called on a render thread.
  void render(Instance& in, const float* const* inputs, float* const* outputs, int32_t frames);
  int32_t quantum(const Instance& in) const { return in.mVariableQuantum ? mOptions.maxQuantum : 32; }

  // Delivers the values sent from other threads since the last idle (the
  // latest of each control) and gives the group its idle time.
  void idle();

  const HostOptions& options() const { return mOptions; }
  HostObjects& objects() { return mObjects; }
  std::vector<std::string> debugMessages() const;
  // The callback selectors the plug-in asked, in order.
  std::vector<int32_t> callbackSelectors() const;
  // The audio engine library's control entry (tools/engine): configure, log.
  int32_t configureEngine(const std::string& settings);
  std::string engineLog() const;
  // The plug-in's words for the failure status that this thread's last call
  // returned ("" when it had none, or does not tell); asking forgets them.
  std::string failureWords(int32_t status) const;

private:
  struct Node {
    uint32_t identity;
    std::string name;
    SHostMIDINodeBuffer buffer{nullptr, 0};
    std::vector<SMIDIRecord> records;
  };
  struct Session {
    uintptr_t process;
    int32_t version;
    std::list<Node> nodes;
  };
  struct MidiService : SHostMIDIService {
    SimHost* host;
  };
  struct AutomationService : SHostAutomationService {
    SimHost* host;
  };
  static constexpr size_t kMaxRecords = 256;

  static int16_t hostCallback(int32_t selector, uintptr_t reserved, uintptr_t argument);
  int16_t onCallback(int32_t selector, uintptr_t argument);
  void loadEngines();
  Instance* instanceOf(uintptr_t process) const;
  static void insertPending(Instance& in, Instance::PendingEvent e);
  Session* session(uintptr_t handle);
  bool onMainThread() const { return std::this_thread::get_id() == mMainThread; }
  void check(int32_t status, const char* what) const;
  template <class T> static uintptr_t word(T v) {
    if constexpr (std::is_pointer_v<T>)
      return reinterpret_cast<uintptr_t>(v);
    else
      return static_cast<uintptr_t>(v);
  }

  // MIDI service and automation service entries.
  static int32_t midiLogIn(SHostMIDIService*, uintptr_t, int32_t, int32_t*, uintptr_t*);
  static int32_t midiLogOut(SHostMIDIService*, uintptr_t);
  static int32_t midiNewNode(SHostMIDIService*, uintptr_t, int32_t, const char*, uint32_t, uint8_t, uint32_t*,
                             const SHostMIDINodeBuffer**);
  static int32_t midiDeleteNode(SHostMIDIService*, uintptr_t, uint32_t);
  static int32_t midiRestoreIdentity(SHostMIDIService*, uintptr_t, uint32_t, uint32_t);
  static int32_t midiSampleLocation(SHostMIDIService*, uintptr_t, int64_t*);
  static int32_t midiTempo(SHostMIDIService*, uintptr_t, double*);
  static int32_t midiMeter(SHostMIDIService*, uintptr_t, int32_t*, int32_t*);
  static int32_t midiBarBeat(SHostMIDIService*, uintptr_t, int32_t*, int32_t*, int64_t*, int64_t);
  static int32_t autoTouch(SHostAutomationService*, uintptr_t, int32_t);
  static int32_t autoValue(SHostAutomationService*, uintptr_t, int32_t, int32_t);
  static int32_t autoRelease(SHostAutomationService*, uintptr_t, int32_t);

  HostOptions mOptions;
  std::thread::id mMainThread;
  HostObjects mObjects;
  Transport mTransport;
  MidiService mMidiService;
  AutomationService mAutomationService;

  EntryPoints mEntry;
  bool mLoaded = false;
  std::vector<PlugInRoutine> mRoutines;
  std::vector<std::unique_ptr<Instance>> mInstances;

  mutable std::mutex mMutex; // sessions, automation, echoes, messages
  std::list<Session> mSessions;
  uint32_t mNextIdentity = 1000;
  RecentRecords<AutomationEvent> mAutomation{kAutomationKept};
  // Values the plug-in sent from another thread, for the next idle: one per
  // control, the latest (the host stores a value, it does not replay a
  // path). Room for every control of the instances is reserved when they
  // are made, so a render thread never grows it.
  std::vector<AutomationEvent> mEchoes;
  size_t mEchoRoom = 0; // the controls of the instances
  std::vector<std::string> mDebug;
  std::vector<int32_t> mCallbackSelectors;
  float* mSilence = nullptr;

  void* mEngineConfigure = nullptr;
  void* mEngineLog = nullptr;
  std::vector<void*> mEngineResets;
};

} // namespace simhost
