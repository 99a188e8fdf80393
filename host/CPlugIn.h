#pragma once

// The object model through which a real-time plug-in instance describes
// itself to the host engine: the plug-in object with its input and output
// ports and its workers (the render routines the engine calls on its
// real-time thread). Each object registers with the host object interface
// when built and unregisters when destroyed; publishing sends the engine one
// description message per object, bracketed by a begin and an end message.
// With no host object interface, all of this succeeds and sends nothing.
//
// Sets are ordered and counted from 1.

#include "host/CBaseSet.h"
#include "host/HostInterface.h"

#include <cstdint>

class CPlugIn;
class CPlugInData;

class CPlugInPort {
public:
  // index 0 takes the next index (the plug-in's count of that kind + 1). The
  // port joins the plug-in's input or output set.
  CPlugInPort(CPlugIn* owner, int32_t index, bool input);
  virtual ~CPlugInPort();
  CPlugInPort(const CPlugInPort&) = delete;
  CPlugInPort& operator=(const CPlugInPort&) = delete;

  bool IsConnected() const { return fConnection != 0; }
  int32_t Connect(uintptr_t connection) {
    fConnection = connection;
    return 0;
  }
  int32_t Disconnect() {
    fConnection = 0;
    return 0;
  }
  uintptr_t GetConnection() const { return fConnection; }
  CPlugIn* GetOwner() const { return fOwner; }
  int32_t GetIndex() const { return fIndex; }
  bool IsInput() const { return fInput; }
  // Sends {1, owning plug-in, index}.
  virtual int32_t Publish();

private:
  uintptr_t fConnection = 0;
  CPlugIn* fOwner;
  int32_t fIndex;
  bool fInput;
};

class CPlugInInput : public CPlugInPort {
public:
  CPlugInInput(CPlugIn* owner, int32_t index) : CPlugInPort(owner, index, true) {}
};

class CPlugInOutput : public CPlugInPort {
public:
  CPlugInOutput(CPlugIn* owner, int32_t index) : CPlugInPort(owner, index, false) {}
};

class CPlugInWorker {
public:
  // Joins the plug-in's worker set. name must outlive the worker.
  CPlugInWorker(CPlugIn* owner, RTASRenderRoutine routine, const char* name);
  virtual ~CPlugInWorker();
  CPlugInWorker(const CPlugInWorker&) = delete;
  CPlugInWorker& operator=(const CPlugInWorker&) = delete;

  CBaseSet& GetDataSet() { return fData; }
  CBaseSet& GetInputSet() { return fInputs; }
  CBaseSet& GetOutputSet() { return fOutputs; }
  RTASRenderRoutine GetRoutine() const { return fRoutine; }
  const char* GetName() const { return fName; }
  // Sends {6, routine, 4, then each set's count and members, name, flags}.
  virtual int32_t Publish();

private:
  CBaseSet fData, fInputs, fOutputs, fOthers;
  CPlugIn* fOwner;
  RTASRenderRoutine fRoutine;
  const char* fName;
  uint32_t fFlags = 0;
};

class CPlugIn {
public:
  explicit CPlugIn(const SFicPlugInId& id);
  virtual ~CPlugIn();
  CPlugIn(const CPlugIn&) = delete;
  CPlugIn& operator=(const CPlugIn&) = delete;

  virtual SFicPlugInId GetPlugInId() const { return fId; }

  virtual int32_t GetNumInputs() const { return fInputs.GetNumMembers(); }
  // Changes the number of input ports; -7152 when it must change and the
  // plug-in cannot, -9013 for a port that goes missing; publishes again.
  virtual int32_t SetNumInputs(int32_t count);
  // The n-th input; without one, the host structure's default input.
  virtual CPlugInInput* GetInput(int32_t n);
  virtual int32_t GetNumOutputs() const { return fOutputs.GetNumMembers(); }
  virtual int32_t SetNumOutputs(int32_t count);
  virtual CPlugInOutput* GetOutput(int32_t n);
  virtual int32_t GetNumOthers() const { return fOthers.GetNumMembers(); }
  virtual void* GetOther(int32_t n);
  virtual CPlugInWorker* GetWorker();

  // Copies the empty name into the caller's buffer {limit, characters} and
  // returns the limit.
  virtual int32_t GetName(int32_t limit, char* name);
  // The plug-in's four-character code: four spaces.
  virtual uint32_t GetFourCharCode() const { return 0x20202020; }

  virtual int32_t Publish();
  // Sends {2} (begin) or {3} (end).
  virtual int32_t SendBracket(bool begin);

  virtual bool CanChangeNumInputs() const { return false; }
  virtual bool CanChangeNumOutputs() const { return false; }
  virtual CPlugInInput* NewInput(int32_t index);
  virtual CPlugInOutput* NewOutput(int32_t index);

  // Addresses inside the engine's structure for this plug-in (its default
  // input, other member and worker); throw the 16-bit code -9060 without one.
  uintptr_t GetDefaultInput() const { return HostStructureAddress(152); }
  uintptr_t GetDefaultOther() const { return HostStructureAddress(168); }
  uintptr_t GetDefaultWorker() const { return HostStructureAddress(192); }

  CBaseSet& GetInputSet() { return fInputs; }
  CBaseSet& GetOutputSet() { return fOutputs; }
  CBaseSet& GetWorkerSet() { return fWorkers; }

private:
  uintptr_t HostStructureAddress(uintptr_t offset) const;
  int32_t ChangePortCount(bool input, int32_t count);

  SFicPlugInId fId;
  uintptr_t fHostStructure = 0;
  CBaseSet fInputs;
  CBaseSet fOutputs;
  CBaseSet fOthers;
  CPlugInWorker* fWorker = nullptr;
  CBaseSet fWorkers;
};
