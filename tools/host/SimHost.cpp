#include "tools/host/SimHost.h"

#include "platform/Bundle.h"
#include "tools/engine/SimEngineControl.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#ifndef ZARN_ENGINE_FRAMEWORKS
#define ZARN_ENGINE_FRAMEWORKS ""
#endif

namespace simhost {
namespace {

SimHost* gActive = nullptr;

// The plug-in keeps the services object it was given for the rest of the
// process, so it outlives every simulated host; it answers for the active one.
std::atomic<int32_t> gCriticalSectionsAllowed{1};
int32_t MayCreateCriticalSection(SHostPlugInServices*) { return gCriticalSectionsAllowed.load(); }
SHostPlugInServices gPlugInServices{MayCreateCriticalSection};

float* allocBuffer(size_t samples) {
  size_t bytes = (samples * sizeof(float) + 15) / 16 * 16;
  auto* p = static_cast<float*>(std::aligned_alloc(16, bytes ? bytes : 16));
  if (!p) throw std::bad_alloc();
  std::memset(p, 0, bytes);
  return p;
}

std::string fromPString(const unsigned char* p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }

std::string frameworksFolder() {
  if (const char* env = std::getenv("ZARN_ENGINE_FRAMEWORKS"); env && *env) return env;
  return ZARN_ENGINE_FRAMEWORKS;
}

} // namespace

Instance::~Instance() { std::free(mPortBuffers); }

SimHost* SimHost::active() { return gActive; }

SimHost::SimHost(const HostOptions& options) : mOptions(options), mMainThread(std::this_thread::get_id()) {
  if (gActive) throw std::logic_error("only one simulated host at a time");
  if (mOptions.maxQuantum < 32) mOptions.maxQuantum = 32;
  mTransport.setSampleRate(mOptions.sampleRate);
  mMidiService.LogIn = midiLogIn;
  mMidiService.LogOut = midiLogOut;
  mMidiService.NewNode = midiNewNode;
  mMidiService.DeleteNode = midiDeleteNode;
  mMidiService.RestoreNodeIdentity = midiRestoreIdentity;
  mMidiService.GetSampleLocation = midiSampleLocation;
  mMidiService.GetTempo = midiTempo;
  mMidiService.GetMeter = midiMeter;
  mMidiService.GetBarBeatPosition = midiBarBeat;
  mMidiService.host = this;
  mAutomationService.TouchControl = autoTouch;
  mAutomationService.SetControlValue = autoValue;
  mAutomationService.ReleaseControl = autoRelease;
  mAutomationService.host = this;
  gCriticalSectionsAllowed = mOptions.criticalSectionsAllowed;
  mSilence = allocBuffer(static_cast<size_t>(mOptions.maxQuantum));
  loadEngines();
  gActive = this;
}

SimHost::~SimHost() {
  unload();
  for (void* reset : mEngineResets) reinterpret_cast<SimEngineResetProc>(reset)();
  std::free(mSilence);
  gActive = nullptr;
}

void SimHost::loadEngines() {
  std::string folder = frameworksFolder();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  const char* names[] = {"DAE.framework", "CardDriverInterface.framework", "DSPManager.framework"};
  for (const char* name : names) {
    platform::Bundle* b = platform::Bundle::open(folder + name);
    if (!b || !b->loadExecutable()) throw HostError(std::string("engine library missing: ") + folder + name, -9065);
    if (void* reset = b->function(sim::kReset)) {
      reinterpret_cast<SimEngineResetProc>(reset)();
      mEngineResets.push_back(reset);
    }
    if (name == names[0]) {
      mEngineConfigure = b->function(sim::kConfigure);
      mEngineLog = b->function(sim::kLog);
    }
  }
  std::string settings = "gestalt.vqta=" + std::to_string(mOptions.variableQuantum ? 1 : 0) +
                         ";quantum=" + std::to_string(mOptions.variableQuantum ? mOptions.maxQuantum : 32);
  if (mOptions.plugInServices)
    settings += ";gestalt.pisi=" + std::to_string(reinterpret_cast<uintptr_t>(&gPlugInServices));
  if (!mOptions.engineSettings.empty()) settings += ";" + mOptions.engineSettings;
  if (configureEngine(settings) != 0) throw HostError("engine settings not understood: " + settings, -50);
}

int32_t SimHost::configureEngine(const std::string& settings) {
  if (!mEngineConfigure) return -1;
  return reinterpret_cast<SimEngineConfigureProc>(mEngineConfigure)(settings.c_str());
}

std::string SimHost::engineLog() const {
  if (!mEngineLog) return {};
  const char* log = reinterpret_cast<SimEngineLogProc>(mEngineLog)();
  return log ? log : "";
}

// ------------------------------------------------------------------ loading

int32_t SimHost::load(const std::string& bundlePath) {
  platform::Bundle* bundle = platform::Bundle::open(bundlePath);
  if (!bundle)
    throw HostError("no plug-in bundle at " + bundlePath + ": there is no such folder; give the path of a bundle " +
                        "folder such as the build's Zarn.bundle",
                    -9065);
  if (!bundle->loadExecutable())
    throw HostError(bundlePath + " is not a loadable plug-in bundle: " + bundle->loadFailure() +
                        (bundle->programDamaged()
                             ? std::string()
                             : "; give the path of a bundle folder such as the build's Zarn.bundle"),
                    -9065);
  EntryPoints e;
  e.newPlugIn = reinterpret_cast<NewMachOPlugInProc>(bundle->function(kNewMachOPlugInName));
  e.closePlugIn = reinterpret_cast<CloseMachOPlugInProc>(bundle->function(kCloseMachOPlugInName));
  // The lookup is a data word that holds the routine lookup's address.
  auto* lookup = static_cast<PlugInGetRoutineProc*>(bundle->function(kGetRoutineDescriptorName));
  e.getRoutine = lookup ? *lookup : nullptr;
  e.takeFailureText = reinterpret_cast<PlugInTakeFailureTextProc>(bundle->function(kTakeFailureTextName));
  return attach(e, bundle->path());
}

int32_t SimHost::attach(const EntryPoints& entryPoints, const std::string& bundlePath) {
  if (mLoaded) throw std::logic_error("a bundle is loaded already");
  if (!entryPoints.newPlugIn || !entryPoints.closePlugIn || !entryPoints.getRoutine)
    throw HostError("the bundle lacks its entry points", -9007);
  mEntry = entryPoints;
  mRoutines.assign(kNumPlugInCallSelectors, nullptr);
  for (int32_t s = 0; s < kNumPlugInCallSelectors; ++s)
    if (mEntry.getRoutine(s, &mRoutines[static_cast<size_t>(s)]) != 0) mRoutines[static_cast<size_t>(s)] = nullptr;
  mRoutines[kGroup_SetHostCallback](0, reinterpret_cast<uintptr_t>(&SimHost::hostCallback), 0, 0, 0);
  int32_t status = mEntry.newPlugIn(bundlePath.c_str());
  if (status != 0) {
    mRoutines.clear();
    return status;
  }
  mLoaded = true;
  return 0;
}

void SimHost::unload() {
  if (!mLoaded) return;
  while (!mInstances.empty()) deleteInstance(mInstances.back().get());
  mEntry.closePlugIn();
  mLoaded = false;
  mRoutines.clear();
  std::lock_guard<std::mutex> lock(mMutex);
  mSessions.clear();
  mEchoes.clear();
}

PlugInRoutine SimHost::routine(int32_t selector) const {
  if (selector < 0 || selector >= static_cast<int32_t>(mRoutines.size())) return nullptr;
  return mRoutines[static_cast<size_t>(selector)];
}

int32_t SimHost::lookUp(int32_t selector, PlugInRoutine* routine) const {
  if (!mEntry.getRoutine) return -9007;
  return mEntry.getRoutine(selector, routine);
}

int32_t SimHost::call(int32_t selector, uintptr_t target, uintptr_t w1, uintptr_t w2, uintptr_t w3,
                      uintptr_t w4) const {
  PlugInRoutine r = routine(selector);
  if (!r) return -9007;
  return r(target, w1, w2, w3, w4);
}

void SimHost::check(int32_t status, const char* what) const {
  if (status != 0) throw HostError(what, status, failureWords(status));
}

std::string SimHost::failureWords(int32_t status) const {
  if (status == 0 || !mEntry.takeFailureText) return {};
  char text[1024];
  if (mEntry.takeFailureText(status, text, sizeof text) <= 0) return {};
  return text;
}

// ------------------------------------------------------------ group queries

std::string SimHost::groupName(int32_t maxLength) const {
  unsigned char text[256] = {};
  check(callWith(kGroup_GetNames, 0, maxLength, text), "group names");
  return fromPString(text);
}

std::string SimHost::manufacturerName(int32_t maxLength) const {
  unsigned char text[256] = {};
  check(callWith(kGroup_GetManufacturerName, 0, maxLength, text), "manufacturer name");
  return fromPString(text);
}

uint32_t SimHost::manufacturerID() const {
  uint32_t id = 0;
  check(callWith(kGroup_GetManufacturerID, 0, &id), "manufacturer id");
  return id;
}

uint32_t SimHost::version() const {
  uint32_t v = 0;
  check(callWith(kGroup_GetVersion, 0, &v), "version");
  return v;
}

int32_t SimHost::groupGestalt(int32_t selector) const {
  int32_t answer = 0;
  check(callWith(kGroup_Gestalt, 0, selector, &answer), "group gestalt");
  return answer;
}

int32_t SimHost::numProcessTypes() const {
  int32_t n = 0;
  check(callWith(kGroup_GetNumProcessTypes, 0, &n), "process types");
  return n;
}

std::string SimHost::processTypeName(int32_t type, int32_t maxLength) const {
  unsigned char text[256] = {};
  check(callWith(kGroup_GetProcessTypeName, 0, type, maxLength, text), "type name");
  return fromPString(text);
}

void SimHost::processTypeIDs(int32_t type, uint32_t& id, uint32_t& id2, uint32_t& category) const {
  check(callWith(kGroup_GetProcessTypeIDs, 0, type, &id, &id2, &category), "type ids");
}

void SimHost::processTypeStems(int32_t type, int32_t& input, int32_t& output, int32_t& third) const {
  check(callWith(kGroup_GetProcessTypeStems, 0, type, &input, &output, &third), "stems");
}

int32_t SimHost::processTypeRates(int32_t type) const {
  int32_t rates = 0;
  check(callWith(kGroup_GetProcessTypeRates, 0, type, &rates), "sample rates");
  return rates;
}

int32_t SimHost::processTypeGestalt(int32_t type, int32_t selector) const {
  int32_t answer = 0;
  check(callWith(kGroup_ProcessTypeGestalt, 0, type, selector, &answer), "type gestalt");
  return answer;
}

// ---------------------------------------------------------------- instances

Instance* SimHost::instanceOf(uintptr_t process) const {
  for (auto& i : mInstances)
    if (i->mProcess == process) return i.get();
  return nullptr;
}

Instance* SimHost::createInstance(int32_t type) {
  std::unique_ptr<Instance> in(new Instance);
  in->mTypeIndex = type;
  uintptr_t process = 0;
  check(callWith(kGroup_NewProcess, 0, type, &process), "new process");
  in->mProcess = process;
  in->mPosition = mTransport.songPosition();
  Instance* raw = in.get();
  mInstances.push_back(std::move(in));
  try {
    check(callWith(kProcess_SetSampleRate, process, mOptions.sampleRate), "sample rate");
    uint32_t id = 0, id2 = 0, category = 0;
    processTypeIDs(type, id, id2, category);
    SFicPlugInId plugInId{manufacturerID(), id, id2, reinterpret_cast<uintptr_t>(raw), 0};
    check(callWith(kProcess_CreateHostPlugIn, process, &plugInId), "host plug-in");

    raw->mPlugIn = mObjects.plugInWithContext(reinterpret_cast<uintptr_t>(raw));
    const PublishedPlugIn* p = mObjects.plugIn(raw->mPlugIn);
    if (!p || p->workers.empty()) throw HostError("the instance published no worker", -9007);
    const PublishedWorker* w = mObjects.worker(p->workers[0]);
    if (!w || !w->routine) throw HostError("the worker has no routine", -9007);
    raw->mRoutine = w->routine;
    for (uintptr_t d : w->sets[0])
      if (PublishedData* data = mObjects.data(d); data && data->type == 0 &&
                                                  data->size >= static_cast<int32_t>(sizeof(uintptr_t)) * eRTASInstance_NumFields)
        raw->mInstanceData = data->block.get();
    if (!raw->mInstanceData) throw HostError("the instance published no instance data", -9007);
    raw->mVariableQuantum = raw->mInstanceData[eRTASInstance_VariableQuantum] != 0;

    // The port buffers side by side in one block, a quantum each: a quantum
    // touches one page of them, not one page per port.
    const size_t stride = (static_cast<size_t>(quantum(*raw)) + 3) / 4 * 4;
    raw->mPortBuffers = allocBuffer(stride * (p->inputs.size() + p->outputs.size()));
    float* next = raw->mPortBuffers;
    for (uintptr_t port : p->inputs) {
      const PublishedPort* pp = mObjects.port(port);
      float* buffer = next;
      next += stride;
      raw->mInputs.push_back(buffer);
      check(callWith(kProcess_ConnectInput, process, pp ? pp->index : 0, buffer), "connect input");
    }
    for (uintptr_t port : p->outputs) {
      const PublishedPort* pp = mObjects.port(port);
      float* buffer = next;
      next += stride;
      raw->mOutputs.push_back(buffer);
      check(callWith(kProcess_ConnectOutput, process, pp ? pp->index : 0, buffer), "connect output");
    }
    raw->mResults.assign(raw->mOutputs.size(), nullptr);
    raw->mControls = static_cast<size_t>(std::max(numControls(*raw), 0));
    std::lock_guard<std::mutex> lock(mMutex);
    mEchoRoom += raw->mControls;
    mEchoes.reserve(mEchoRoom);
  } catch (...) {
    deleteInstance(raw);
    throw;
  }
  return raw;
}

void SimHost::deleteInstance(Instance* instance) {
  auto it = std::find_if(mInstances.begin(), mInstances.end(), [&](auto& i) { return i.get() == instance; });
  if (it == mInstances.end()) return;
  call(kGroup_DeleteProcess, 0, instance->mProcess);
  {
    std::lock_guard<std::mutex> lock(mMutex);
    std::erase_if(mEchoes, [&](const AutomationEvent& e) { return e.process == instance->mProcess; });
    mEchoRoom -= instance->mControls;
  }
  mInstances.erase(it);
}

// ----------------------------------------------------------------- controls

int32_t SimHost::numControls(const Instance& in) const {
  int32_t n = 0;
  check(callWith(kProcess_GetNumControls, in.mProcess, &n), "controls");
  return n;
}

std::string SimHost::controlName(const Instance& in, int32_t control, int32_t maxLength) const {
  unsigned char text[256] = {};
  check(callWith(kProcess_GetControlName, in.mProcess, control, maxLength, text), "control name");
  return fromPString(text);
}

uint32_t SimHost::controlID(const Instance& in, int32_t control) const {
  uint32_t id = 0;
  check(callWith(kProcess_GetControlID, in.mProcess, control, &id), "control id");
  return id;
}

int32_t SimHost::controlValue(const Instance& in, int32_t control) const {
  int32_t v = 0;
  check(callWith(kProcess_GetControlValue, in.mProcess, control, &v), "control value");
  return v;
}

std::string SimHost::valueString(const Instance& in, int32_t control, int32_t value, int32_t maxLength) const {
  unsigned char text[256] = {};
  check(callWith(kProcess_GetControlValueString, in.mProcess, control, value, maxLength, text), "value text");
  return fromPString(text);
}

int32_t SimHost::valueFromString(const Instance& in, int32_t control, const std::string& text, int32_t& value) const {
  unsigned char p[256];
  size_t n = std::min<size_t>(text.size(), 255);
  p[0] = static_cast<unsigned char>(n);
  std::memcpy(p + 1, text.data(), n);
  return callWith(kProcess_GetControlValueFromString, in.mProcess, control, p, &value);
}

int32_t SimHost::touchControl(const Instance& in, int32_t control) {
  return callWith(kProcess_TouchControl, in.mProcess, control);
}

int32_t SimHost::setControl(const Instance& in, int32_t control, int32_t value) {
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mAutomation.add({AutomationEvent::Value, in.mProcess, control, value});
  }
  return callWith(kProcess_UpdateControlValue, in.mProcess, control, value);
}

int32_t SimHost::releaseControl(const Instance& in, int32_t control) {
  return callWith(kProcess_ReleaseControl, in.mProcess, control);
}

std::vector<AutomationEvent> SimHost::automation() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mAutomation.items();
}

uint64_t SimHost::automationCount() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mAutomation.total();
}

void SimHost::clearAutomation() {
  std::lock_guard<std::mutex> lock(mMutex);
  mAutomation.clear();
}

// ------------------------------------------------------------------- chunks

std::vector<uint32_t> SimHost::chunkIDs(const Instance& in) const {
  int32_t n = 0;
  check(callWith(kProcess_GetNumChunks, in.mProcess, &n), "chunks");
  std::vector<uint32_t> ids;
  for (int32_t i = 1; i <= n; ++i) {
    uint32_t id = 0;
    check(callWith(kProcess_GetChunkID, in.mProcess, i, &id), "chunk id");
    ids.push_back(id);
  }
  return ids;
}

std::string SimHost::chunkName(const Instance& in, uint32_t id) const {
  unsigned char text[256] = {};
  check(callWith(kProcess_GetChunkName, in.mProcess, id, 31, text), "chunk name");
  return fromPString(text);
}

int32_t SimHost::getChunk(const Instance& in, uint32_t id, std::vector<unsigned char>& chunk) const {
  int32_t size = 0;
  if (int32_t s = callWith(kProcess_GetChunkSize, in.mProcess, id, &size); s != 0) return s;
  if (size < kChunkHeaderSize) return -7157;
  // Word-aligned storage for the record, as a host allocates it.
  std::vector<uintptr_t> storage((static_cast<size_t>(size) + sizeof(uintptr_t) - 1) / sizeof(uintptr_t), 0);
  auto* record = reinterpret_cast<SFicPlugInChunk*>(storage.data());
  record->fSize = size;
  record->fChunkID = id;
  std::string name = chunkName(in, id);
  record->fName[0] = static_cast<unsigned char>(std::min<size_t>(name.size(), 31));
  std::memcpy(record->fName + 1, name.data(), record->fName[0]);
  if (int32_t s = callWith(kProcess_GetChunk, in.mProcess, id, record); s != 0) return s;
  if (record->fSize < kChunkHeaderSize || record->fSize > size) return -7157;
  auto* bytes = reinterpret_cast<const unsigned char*>(record);
  chunk.assign(bytes, bytes + record->fSize);
  return 0;
}

std::string SimHost::chunkRecordDamage(const std::vector<unsigned char>& chunk) {
  if (chunk.size() < sizeof(int32_t))
    return "its record holds " + std::to_string(chunk.size()) + (chunk.size() == 1 ? " byte" : " bytes") +
           ", too few for the size it begins with";
  // The record's size word is the host's; it never claims more than was kept.
  int32_t size = 0;
  std::memcpy(&size, chunk.data(), sizeof size);
  if (size < 0) return "its record gives its size as " + std::to_string(size) + " bytes";
  if (static_cast<size_t>(size) > chunk.size())
    return "its record gives its size as " + std::to_string(size) + " bytes, but only " +
           std::to_string(chunk.size()) + " are there";
  return {};
}

int32_t SimHost::setChunk(const Instance& in, uint32_t id, const std::vector<unsigned char>& chunk) const {
  if (!chunkRecordDamage(chunk).empty()) return -7157;
  std::vector<uintptr_t> storage((chunk.size() + sizeof(uintptr_t) - 1) / sizeof(uintptr_t) + 1, 0);
  std::memcpy(storage.data(), chunk.data(), chunk.size());
  return callWith(kProcess_SetChunk, in.mProcess, id, reinterpret_cast<SFicPlugInChunk*>(storage.data()));
}

// --------------------------------------------------------------------- MIDI

void SimHost::queueMidi(Instance& in, int64_t offset, uint8_t status, uint8_t data1, uint8_t data2,
                        uint32_t byteCount) {
  Instance::PendingEvent e{offset < 0 ? 0 : offset, SMIDIRecord{}, false};
  e.record.fByteCount = byteCount;
  e.record.fData[0] = status;
  e.record.fData[1] = data1;
  e.record.fData[2] = data2;
  insertPending(in, e);
}

void SimHost::queueMidiRecord(Instance& in, const SMIDIRecord& record) {
  insertPending(in, Instance::PendingEvent{0, record, true});
}

void SimHost::insertPending(Instance& in, Instance::PendingEvent e) {
  std::lock_guard<std::mutex> lock(in.mMidiMutex);
  // After every event due at the same offset or earlier, late ones
  // included: their keys are at most this one's.
  e.key += in.mKeyBase;
  const auto first = in.mPending.begin() + static_cast<std::ptrdiff_t>(in.mPendingHead);
  auto at = std::upper_bound(first, in.mPending.end(), e.key,
                             [](int64_t k, const Instance::PendingEvent& p) { return k < p.key; });
  in.mPending.insert(at, e);
  in.mPendingCount.store(in.mPending.size() - in.mPendingHead);
}

std::vector<uint32_t> SimHost::midiNodes(const Instance& in) const {
  std::lock_guard<std::mutex> lock(mMutex);
  std::vector<uint32_t> ids;
  for (const Session& s : mSessions)
    if (s.process == in.mProcess)
      for (const Node& n : s.nodes) ids.push_back(n.identity);
  return ids;
}

int32_t SimHost::midiSessions() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return static_cast<int32_t>(mSessions.size());
}

SimHost::Session* SimHost::session(uintptr_t handle) {
  for (Session& s : mSessions)
    if (reinterpret_cast<uintptr_t>(&s) == handle) return &s;
  return nullptr;
}

// ------------------------------------------------------------------- render

void SimHost::render(Instance& in, const float* const* inputs, float* const* outputs, int32_t frames) {
  const int32_t q = quantum(in);
  const size_t nIn = in.mInputs.size(), nOut = in.mOutputs.size();
  for (int32_t done = 0; done < frames;) {
    const int32_t n = in.mVariableQuantum ? std::min(q, frames - done) : q;
    const int32_t valid = std::min(n, frames - done);
    for (size_t c = 0; c < nIn; ++c) {
      float* b = in.mInputs[c];
      if (inputs && inputs[c])
        std::memcpy(b, inputs[c] + done, sizeof(float) * static_cast<size_t>(valid));
      else
        std::memset(b, 0, sizeof(float) * static_cast<size_t>(valid));
      std::memset(b + valid, 0, sizeof(float) * static_cast<size_t>(n - valid));
    }
    // Without events the nodes stay empty, as the last quantum with events
    // left them. One queued meanwhile waits for the next quantum.
    const bool events = in.mPendingCount.load() > 0;
    if (events) {
      // This quantum's events go to every buffered node of the instance.
      std::lock_guard<std::mutex> midi(in.mMidiMutex);
      std::lock_guard<std::mutex> lock(mMutex);
      const size_t head = in.mPendingHead;
      const size_t limit = std::min(in.mPending.size(), head + kMaxRecords);
      size_t end = head;
      while (end < limit && in.mPending[end].key - in.mKeyBase < done + n) ++end;
      for (Session& s : mSessions) {
        if (s.process != in.mProcess) continue;
        for (Node& node : s.nodes) {
          node.records.clear();
          for (size_t i = head; i < end; ++i) {
            SMIDIRecord r = in.mPending[i].record;
            if (!in.mPending[i].raw)
              r.fSampleOffset = static_cast<uint32_t>(std::max<int64_t>(in.mPending[i].key - in.mKeyBase - done, 0));
            node.records.push_back(r);
          }
          node.buffer.fRecords = node.records.data();
          node.buffer.fCount = static_cast<int32_t>(node.records.size());
        }
      }
      in.mPendingHead = end;
      // Taken events are dropped once they are half of the vector: each
      // waiting event is moved a bounded number of times on average.
      if (in.mPendingHead == in.mPending.size()) {
        in.mPending.clear();
        in.mPendingHead = 0;
      } else if (in.mPendingHead > in.mPending.size() / 2) {
        in.mPending.erase(in.mPending.begin(), in.mPending.begin() + static_cast<std::ptrdiff_t>(in.mPendingHead));
        in.mPendingHead = 0;
      }
      in.mPendingCount.store(in.mPending.size() - in.mPendingHead);
    }
    in.mQuantumStart = in.mPosition.load();
    SRTASRenderCall call{in.mInstanceData, n, mSilence, in.mResults.data()};
    in.mRoutine(&call);
    for (size_t c = 0; c < nOut; ++c)
      if (outputs && outputs[c])
        std::memcpy(outputs[c] + done, in.mResults[c] ? in.mResults[c] : mSilence,
                    sizeof(float) * static_cast<size_t>(valid));
    if (events) {
      std::lock_guard<std::mutex> lock(mMutex);
      for (Session& s : mSessions)
        if (s.process == in.mProcess)
          for (Node& node : s.nodes) node.buffer.fCount = 0;
    }
    // Only the render call writes the position: no locked add per quantum.
    in.mPosition.store(in.mPosition.load(std::memory_order_relaxed) + n, std::memory_order_release);
    done += n;
  }
  if (in.mPendingCount.load() == 0) return;
  std::lock_guard<std::mutex> midi(in.mMidiMutex);
  // The offsets move on by the samples rendered; an event whose offset
  // would fall below 0 is late and goes first in the next call, in its order.
  in.mKeyBase += (frames + q - 1) / q * q;
}

void SimHost::idle() {
  std::vector<AutomationEvent> echoes;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    // Cleared, not swapped: the room reserved for a render thread stays.
    echoes.assign(mEchoes.begin(), mEchoes.end());
    mEchoes.clear();
  }
  for (const AutomationEvent& e : echoes)
    if (instanceOf(e.process)) call(kProcess_UpdateControlValue, e.process, static_cast<uintptr_t>(e.control),
                                    static_cast<uintptr_t>(static_cast<uint32_t>(e.value)));
  if (mLoaded) call(kGroup_Idle);
}

std::vector<std::string> SimHost::debugMessages() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mDebug;
}

std::vector<int32_t> SimHost::callbackSelectors() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mCallbackSelectors;
}

// ---------------------------------------------------------- host callback

int16_t SimHost::hostCallback(int32_t selector, uintptr_t, uintptr_t argument) {
  return gActive ? gActive->onCallback(selector, argument) : int16_t(-50);
}

int16_t SimHost::onCallback(int32_t selector, uintptr_t argument) {
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mCallbackSelectors.push_back(selector);
  }
  switch (selector) {
  case kHostCallback_DebugText: {
    if (!argument) return -50;
    std::lock_guard<std::mutex> lock(mMutex);
    mDebug.push_back(fromPString(reinterpret_cast<const unsigned char*>(argument)));
    return 0;
  }
  case kHostCallback_DebugNumber: {
    std::lock_guard<std::mutex> lock(mMutex);
    mDebug.push_back(std::to_string(static_cast<intptr_t>(argument)));
    return 0;
  }
  case kHostCallback_Idle: return 0;
  case kHostCallback_GetObjectInterface:
    if (!mOptions.objectInterface || !argument) return -5551;
    *reinterpret_cast<SHostObjectInterface**>(argument) = mObjects.interface();
    return 0;
  case kHostCallback_GetMIDIService:
    if (!mOptions.midiService || !argument) return -5551;
    *reinterpret_cast<SHostMIDIService**>(argument) = &mMidiService;
    return 0;
  case kHostCallback_GetAutomationService:
    if (!mOptions.automationService || !argument) return -5551;
    *reinterpret_cast<SHostAutomationService**>(argument) = &mAutomationService;
    return 0;
  default: return -5551;
  }
}

// ------------------------------------------------------------- MIDI service

int32_t SimHost::midiLogIn(SHostMIDIService* self, uintptr_t process, int32_t wanted, int32_t* version,
                           uintptr_t* handle) {
  SimHost* h = static_cast<MidiService*>(self)->host;
  if (!version || !handle) return -50;
  std::lock_guard<std::mutex> lock(h->mMutex);
  h->mSessions.push_back(Session{process, std::min(wanted, h->mOptions.midiVersion), {}});
  *version = h->mSessions.back().version;
  *handle = reinterpret_cast<uintptr_t>(&h->mSessions.back());
  return 0;
}

int32_t SimHost::midiLogOut(SHostMIDIService* self, uintptr_t handle) {
  SimHost* h = static_cast<MidiService*>(self)->host;
  std::lock_guard<std::mutex> lock(h->mMutex);
  for (auto it = h->mSessions.begin(); it != h->mSessions.end(); ++it)
    if (reinterpret_cast<uintptr_t>(&*it) == handle) {
      h->mSessions.erase(it);
      return 0;
    }
  return -50;
}

int32_t SimHost::midiNewNode(SHostMIDIService* self, uintptr_t handle, int32_t type, const char* name, uint32_t,
                             uint8_t, uint32_t* identity, const SHostMIDINodeBuffer** buffer) {
  SimHost* h = static_cast<MidiService*>(self)->host;
  std::lock_guard<std::mutex> lock(h->mMutex);
  Session* s = h->session(handle);
  if (!s || type != eMIDINode_BufferedInput || !identity || !buffer) return -50;
  s->nodes.push_back(Node{h->mNextIdentity++, name ? name : "", {nullptr, 0}, {}});
  Node& node = s->nodes.back();
  node.records.reserve(kMaxRecords);
  node.buffer.fRecords = node.records.data();
  *identity = node.identity;
  *buffer = &node.buffer;
  return 0;
}

int32_t SimHost::midiDeleteNode(SHostMIDIService* self, uintptr_t handle, uint32_t identity) {
  SimHost* h = static_cast<MidiService*>(self)->host;
  std::lock_guard<std::mutex> lock(h->mMutex);
  Session* s = h->session(handle);
  if (!s) return -50;
  auto it = std::find_if(s->nodes.begin(), s->nodes.end(), [&](const Node& n) { return n.identity == identity; });
  if (it == s->nodes.end()) return -50;
  s->nodes.erase(it);
  return 0;
}

int32_t SimHost::midiRestoreIdentity(SHostMIDIService* self, uintptr_t handle, uint32_t identity, uint32_t saved) {
  SimHost* h = static_cast<MidiService*>(self)->host;
  std::lock_guard<std::mutex> lock(h->mMutex);
  Session* s = h->session(handle);
  if (!s || saved == 0) return -50;
  for (const Session& other : h->mSessions)
    for (const Node& n : other.nodes)
      if (n.identity == saved && !(&other == s && n.identity == identity)) return -50; // taken
  for (Node& n : s->nodes)
    if (n.identity == identity) {
      n.identity = saved;
      return 0;
    }
  return -50;
}

// The transport queries come on the render thread during a render call of
// the session's instance.
int32_t SimHost::midiSampleLocation(SHostMIDIService* self, uintptr_t handle, int64_t* location) {
  SimHost* h = static_cast<MidiService*>(self)->host;
  uintptr_t process;
  {
    std::lock_guard<std::mutex> lock(h->mMutex);
    Session* s = h->session(handle);
    if (!s || !location) return -50;
    process = s->process;
  }
  Instance* in = h->instanceOf(process);
  *location = in ? in->mQuantumStart : h->mTransport.songPosition();
  return 0;
}

int32_t SimHost::midiTempo(SHostMIDIService* self, uintptr_t, double* bpm) {
  if (!bpm) return -50;
  *bpm = static_cast<MidiService*>(self)->host->mTransport.tempo();
  return 0;
}

int32_t SimHost::midiMeter(SHostMIDIService* self, uintptr_t, int32_t* numerator, int32_t* denominator) {
  if (!numerator || !denominator) return -50;
  static_cast<MidiService*>(self)->host->mTransport.meter(*numerator, *denominator);
  return 0;
}

int32_t SimHost::midiBarBeat(SHostMIDIService* self, uintptr_t, int32_t* bars, int32_t* beats, int64_t* ticks,
                             int64_t location) {
  if (!bars || !beats || !ticks) return -50;
  static_cast<MidiService*>(self)->host->mTransport.barBeat(location, *bars, *beats, *ticks);
  return 0;
}

// ------------------------------------------------------- automation service

int32_t SimHost::autoTouch(SHostAutomationService* self, uintptr_t process, int32_t control) {
  SimHost* h = static_cast<AutomationService*>(self)->host;
  std::lock_guard<std::mutex> lock(h->mMutex);
  h->mAutomation.add({AutomationEvent::Touch, process, control, 0});
  return 0;
}

int32_t SimHost::autoValue(SHostAutomationService* self, uintptr_t process, int32_t control, int32_t value) {
  SimHost* h = static_cast<AutomationService*>(self)->host;
  {
    std::lock_guard<std::mutex> lock(h->mMutex);
    h->mAutomation.add({AutomationEvent::Value, process, control, value});
    if (!h->onMainThread()) {
      auto waiting = std::find_if(h->mEchoes.begin(), h->mEchoes.end(), [&](const AutomationEvent& e) {
        return e.process == process && e.control == control;
      });
      if (waiting != h->mEchoes.end())
        waiting->value = value;
      else
        h->mEchoes.push_back({AutomationEvent::Value, process, control, value});
      return 0;
    }
  }
  // The host stores the value and hands it back at once.
  return h->call(kProcess_UpdateControlValue, process, static_cast<uintptr_t>(control),
                 static_cast<uintptr_t>(static_cast<uint32_t>(value)));
}

int32_t SimHost::autoRelease(SHostAutomationService* self, uintptr_t process, int32_t control) {
  SimHost* h = static_cast<AutomationService*>(self)->host;
  std::lock_guard<std::mutex> lock(h->mMutex);
  h->mAutomation.add({AutomationEvent::Release, process, control, 0});
  return 0;
}

} // namespace simhost
