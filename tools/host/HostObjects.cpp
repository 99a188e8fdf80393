#include "tools/host/HostObjects.h"

namespace simhost {

HostObjects::HostObjects() {
  mInterface.RegisterHostObject = onRegister;
  mInterface.UnregisterHostObject = onUnregister;
  mInterface.DescribeHostObject = onDescribe;
  mInterface.owner = this;
}

int HostObjects::kindOf(uintptr_t object) const {
  auto it = mKinds.find(object);
  return it == mKinds.end() ? -1 : it->second;
}

int HostObjects::registeredCount(int kind) const {
  int n = 0;
  for (auto& [o, k] : mKinds) n += k == kind;
  return n;
}

const PublishedPlugIn* HostObjects::plugIn(uintptr_t object) const {
  auto it = mPlugIns.find(object);
  return it == mPlugIns.end() ? nullptr : &it->second;
}

const PublishedWorker* HostObjects::worker(uintptr_t object) const {
  auto it = mWorkers.find(object);
  return it == mWorkers.end() ? nullptr : &it->second;
}

const PublishedPort* HostObjects::port(uintptr_t object) const {
  auto it = mPorts.find(object);
  return it == mPorts.end() ? nullptr : &it->second;
}

PublishedData* HostObjects::data(uintptr_t object) {
  auto it = mData.find(object);
  return it == mData.end() ? nullptr : &it->second;
}

uintptr_t HostObjects::plugInWithContext(uintptr_t hostContext) const {
  for (auto& [object, p] : mPlugIns)
    if (p.id[3] == hostContext && p.publications > 0) return object;
  return 0;
}

int32_t HostObjects::onRegister(SHostObjectInterface* self, uintptr_t object, int8_t kind) {
  HostObjects* h = static_cast<Self*>(self)->owner;
  if (kind != eHostObject_PlugIn && kind != eHostObject_InputPort && kind != eHostObject_OutputPort &&
      kind != eHostObject_Worker && kind != eHostObject_DataBlock)
    return -50;
  if (h->mKinds.count(object)) return -50;
  h->mKinds[object] = kind;
  return 0;
}

int32_t HostObjects::onUnregister(SHostObjectInterface* self, uintptr_t object) {
  HostObjects* h = static_cast<Self*>(self)->owner;
  if (!h->mKinds.erase(object)) return -50;
  h->mPlugIns.erase(object);
  h->mWorkers.erase(object);
  h->mPorts.erase(object);
  h->mData.erase(object);
  return 0;
}

int32_t HostObjects::onDescribe(SHostObjectInterface* self, uintptr_t object, const SPlugInBuffer* message) {
  HostObjects* h = static_cast<Self*>(self)->owner;
  if (!message || (message->fCount && !message->fWords)) return -50;
  std::vector<uintptr_t> words(message->fWords, message->fWords + message->fCount);
  h->mMessages.push_back({object, words});
  int32_t status = h->describe(object, words);
  if (status != 0) ++h->mMalformed;
  return status;
}

int32_t HostObjects::describe(uintptr_t object, const std::vector<uintptr_t>& w) {
  auto kind = mKinds.find(object);
  if (kind == mKinds.end() || w.empty()) return -50;
  size_t i = 0;
  auto next = [&](uintptr_t& v) {
    if (i >= w.size()) return false;
    v = w[i++];
    return true;
  };
  auto list = [&](std::vector<uintptr_t>& out) {
    uintptr_t n;
    if (!next(n) || n > w.size()) return false;
    out.clear();
    for (uintptr_t k = 0; k < n; ++k) {
      uintptr_t v;
      if (!next(v)) return false;
      out.push_back(v);
    }
    return true;
  };
  uintptr_t tag;
  next(tag);
  switch (kind->second) {
  case eHostObject_PlugIn: {
    if (w.size() == 1 && tag == kHostMessage_BeginPublish) return 0;
    if (w.size() == 1 && tag == kHostMessage_EndPublish) {
      ++mPlugIns[object].publications;
      return 0;
    }
    if (tag != kHostMessage_Describe) return -50;
    PublishedPlugIn& p = mPlugIns[object];
    for (uintptr_t& id : p.id)
      if (!next(id)) return -50;
    if (!list(p.inputs) || !list(p.outputs) || !list(p.workers) || i != w.size()) return -50;
    return 0;
  }
  case eHostObject_InputPort:
  case eHostObject_OutputPort: {
    PublishedPort port;
    uintptr_t index;
    if (tag != kHostMessage_Describe || !next(port.owner) || !next(index) || i != w.size()) return -50;
    port.index = static_cast<int32_t>(index);
    mPorts[object] = port;
    return 0;
  }
  case eHostObject_Worker: {
    PublishedWorker worker;
    uintptr_t routine, sets, name;
    if (tag != kHostMessage_Worker || !next(routine) || !next(sets) || sets != 4) return -50;
    worker.routine = reinterpret_cast<RTASRenderRoutine>(routine);
    for (auto& s : worker.sets)
      if (!list(s)) return -50;
    if (!next(name) || !next(worker.flags) || i != w.size()) return -50;
    worker.name = name ? reinterpret_cast<const char*>(name) : "";
    mWorkers[object] = std::move(worker);
    return 0;
  }
  case eHostObject_DataBlock: {
    uintptr_t type, size, field;
    if (tag != kHostMessage_Describe || !next(type) || !next(size) || !next(field) || i != w.size() || !field)
      return -50;
    PublishedData& d = mData[object];
    // The engine keeps the block in its own memory; a block published again
    // keeps the place it has.
    if (!d.block || d.size != static_cast<int32_t>(size)) {
      size_t words = (size + sizeof(uintptr_t) - 1) / sizeof(uintptr_t);
      d.block.reset(new uintptr_t[words ? words : 1]());
    }
    d.type = static_cast<int32_t>(type);
    d.size = static_cast<int32_t>(size);
    d.hostAddressWord = reinterpret_cast<uintptr_t*>(field);
    *d.hostAddressWord = reinterpret_cast<uintptr_t>(d.block.get());
    return 0;
  }
  default: return -50;
  }
}

} // namespace simhost
