#pragma once

// The simulated host's side of the host object interface: what every object
// of a plug-in's real-time instances registered, and what their description
// messages said. Data blocks get a block of the host's own, whose address
// the host stores in the word the message names, as an engine does.

#include "host/HostInterface.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace simhost {

struct PublishedPort {
  uintptr_t owner = 0;
  int32_t index = 0;
};

struct PublishedWorker {
  RTASRenderRoutine routine = nullptr;
  std::vector<uintptr_t> sets[4]; // data blocks, inputs, outputs, others
  std::string name;
  uintptr_t flags = 0;
};

struct PublishedData {
  int32_t type = 0;
  int32_t size = 0;
  uintptr_t* hostAddressWord = nullptr;
  std::unique_ptr<uintptr_t[]> block; // the host's copy, word-aligned
};

struct PublishedPlugIn {
  uintptr_t id[5] = {};
  std::vector<uintptr_t> inputs, outputs, workers;
  int32_t publications = 0; // completed begin/end brackets
};

class HostObjects {
public:
  HostObjects();
  SHostObjectInterface* interface() { return &mInterface; }

  // The kind an object registered with, or -1.
  int kindOf(uintptr_t object) const;
  int registeredCount() const { return static_cast<int>(mKinds.size()); }
  int registeredCount(int kind) const;

  const PublishedPlugIn* plugIn(uintptr_t object) const;
  const PublishedWorker* worker(uintptr_t object) const;
  const PublishedPort* port(uintptr_t object) const;
  PublishedData* data(uintptr_t object);
  // The published plug-in whose id carries hostContext (its fourth word).
  uintptr_t plugInWithContext(uintptr_t hostContext) const;

  // Every message received, for tests: {object, words}.
  struct Message {
    uintptr_t object;
    std::vector<uintptr_t> words;
  };
  const std::vector<Message>& messages() const { return mMessages; }
  void clearMessages() { mMessages.clear(); }
  int malformedMessages() const { return mMalformed; }

private:
  static int32_t onRegister(SHostObjectInterface* self, uintptr_t object, int8_t kind);
  static int32_t onUnregister(SHostObjectInterface* self, uintptr_t object);
  static int32_t onDescribe(SHostObjectInterface* self, uintptr_t object, const SPlugInBuffer* message);
  int32_t describe(uintptr_t object, const std::vector<uintptr_t>& w);

  struct Self : SHostObjectInterface {
    HostObjects* owner;
  } mInterface;
  std::map<uintptr_t, int> mKinds;
  std::map<uintptr_t, PublishedPlugIn> mPlugIns;
  std::map<uintptr_t, PublishedWorker> mWorkers;
  std::map<uintptr_t, PublishedPort> mPorts;
  std::map<uintptr_t, PublishedData> mData;
  std::vector<Message> mMessages;
  int mMalformed = 0;
};

} // namespace simhost
