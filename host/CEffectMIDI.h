#pragma once

// A process's way to the host MIDI service: the world (the process's
// session with the service and the negotiated interface version), the MIDI
// nodes made in it, and the transport.
//
// A buffered input node's events for the current render call are in the
// host's buffer of 16-byte records, which the host fills before each render
// call; the node's GetBufferPtr and GetBufferSize read it on the render
// thread. The transport queries run on the render thread as well and need
// interface version kMIDIInterfaceVersionTransport or newer: with an older
// one (or no session) they answer -9145 and leave their outputs unwritten.

#include "host/HostInterface.h"

#include <cstdint>
#include <string>
#include <vector>

class CProcess;
class CEffectMIDINode;

class CEffectMIDIWorld {
public:
  explicit CEffectMIDIWorld(CProcess* process) : fProcess(process) {}
  ~CEffectMIDIWorld();
  CEffectMIDIWorld(const CEffectMIDIWorld&) = delete;
  CEffectMIDIWorld& operator=(const CEffectMIDIWorld&) = delete;

  // Logs in to the host MIDI service (asking for the newest version known
  // here); 0, or the service's status (-9007 when the host has no service).
  int32_t LogIn();
  // 0, or the service's status. The nodes lose their host buffers.
  int32_t LogOut();
  bool IsLoggedIn() const { return fSession != 0; }
  int32_t GetVersion() const { return fVersion; }
  SHostMIDIService* GetService() const { return fService; }
  uintptr_t GetSession() const { return fSession; }
  CProcess* GetProcess() const { return fProcess; }

  int32_t GetNumNodes() const { return static_cast<int32_t>(fNodes.size()); }
  CEffectMIDINode* GetNode(int32_t index) const; // 1-based, null when absent

private:
  friend class CEffectMIDINode;
  CProcess* fProcess;
  SHostMIDIService* fService = nullptr;
  uintptr_t fSession = 0;
  int32_t fVersion = 0;
  std::vector<CEffectMIDINode*> fNodes;
};

class CEffectMIDINode {
public:
  CEffectMIDINode(CEffectMIDIWorld* world, EMIDINodeType type, const std::string& name, void* refCon);
  virtual ~CEffectMIDINode();
  CEffectMIDINode(const CEffectMIDINode&) = delete;
  CEffectMIDINode& operator=(const CEffectMIDINode&) = delete;

  // Creates the node in the host's service; 0 or the service's status.
  int32_t Initialize(uint32_t channels, uint8_t flags);
  bool IsInitialized() const { return fIdentity != 0; }
  // The host's name for the node (0 before Initialize).
  uint32_t GetIdentity() const { return fIdentity; }
  // Takes back the identity a saved document knew the node by; 0 or the
  // service's status.
  int32_t RestoreIdentity(uint32_t savedIdentity);
  const std::string& GetName() const { return fName; }
  void* GetRefCon() const { return fRefCon; }

protected:
  const SHostMIDINodeBuffer* GetHostBuffer() const { return fHostBuffer; }

private:
  friend class CEffectMIDIWorld;
  void Detach(bool fromWorld);

  CEffectMIDIWorld* fWorld;
  EMIDINodeType fType;
  std::string fName;
  void* fRefCon;
  uint32_t fIdentity = 0;
  const SHostMIDINodeBuffer* fHostBuffer = nullptr;
};

class CEffectMIDIBufferedNode : public CEffectMIDINode {
public:
  using CEffectMIDINode::CEffectMIDINode;
  // The records of the current render call and their count (null and 0
  // without a host buffer).
  const SMIDIRecord* GetBufferPtr() const;
  int32_t GetBufferSize() const;
};

// The buffered input node of a process rendered by the host's real-time
// thread.
class CEffectMIDIRTASBufferedNode : public CEffectMIDIBufferedNode {
public:
  using CEffectMIDIBufferedNode::CEffectMIDIBufferedNode;
};

class CEffectMIDITransport {
public:
  explicit CEffectMIDITransport(CEffectMIDIWorld* world) : fWorld(world) {}

  int32_t GetCurrentRTASSampleLocation(int64_t* location) const;
  int32_t GetCurrentTempo(double* beatsPerMinute) const;
  int32_t GetCurrentMeter(int32_t* numerator, int32_t* denominator) const;
  // bars and beats from 1; ticks within the beat, 960000 per quarter note.
  int32_t GetBarBeatPosition(int32_t* bars, int32_t* beats, int64_t* ticks, int64_t sampleLocation) const;

private:
  bool Usable() const;
  CEffectMIDIWorld* fWorld;
};
