#include "host/CPlugIn.h"

#include "host/CPlugInData.h"
#include "host/CPlugInOutputStream.h"
#include "host/PlugInGlobals.h"

#include <new>

CPlugInPort::CPlugInPort(CPlugIn* owner, int32_t index, bool input) : fOwner(owner), fInput(input) {
  CBaseSet& set = input ? owner->GetInputSet() : owner->GetOutputSet();
  fIndex = index == 0 ? set.GetNumMembers() + 1 : index;
  set.AddMember(this);
  RegisterHostObject(this, input ? eHostObject_InputPort : eHostObject_OutputPort);
}

CPlugInPort::~CPlugInPort() {
  (fInput ? fOwner->GetInputSet() : fOwner->GetOutputSet()).RemoveMember(this);
  UnregisterHostObject(this);
}

int32_t CPlugInPort::Publish() {
  CPlugInOutputStream s;
  s << kHostMessage_Describe << static_cast<const void*>(fOwner) << static_cast<uintptr_t>(fIndex);
  return DescribeHostObject(this, s.GetBuffer());
}

CPlugInWorker::CPlugInWorker(CPlugIn* owner, RTASRenderRoutine routine, const char* name)
    : fOwner(owner), fRoutine(routine), fName(name) {
  owner->GetWorkerSet().AddMember(this);
  RegisterHostObject(this, eHostObject_Worker);
}

CPlugInWorker::~CPlugInWorker() {
  fOwner->GetWorkerSet().RemoveMember(this);
  UnregisterHostObject(this);
}

int32_t CPlugInWorker::Publish() {
  CPlugInOutputStream s;
  s << kHostMessage_Worker << reinterpret_cast<const void*>(fRoutine) << uintptr_t(4);
  for (const CBaseSet* set : {&fData, &fInputs, &fOutputs, &fOthers}) {
    s << static_cast<uintptr_t>(set->GetNumMembers());
    for (int32_t i = 1; i <= set->GetNumMembers(); ++i) s << static_cast<const void*>(set->GetMemberN(i));
  }
  s << static_cast<const void*>(fName) << static_cast<uintptr_t>(fFlags);
  return DescribeHostObject(this, s.GetBuffer());
}

CPlugIn::CPlugIn(const SFicPlugInId& id) : fId(id) { RegisterHostObject(this, eHostObject_PlugIn); }

CPlugIn::~CPlugIn() { UnregisterHostObject(this); }

uintptr_t CPlugIn::HostStructureAddress(uintptr_t offset) const {
  if (!fHostStructure) throw static_cast<int16_t>(kPlugInErr_NoHostStructure);
  return fHostStructure + offset;
}

int32_t CPlugIn::SetNumInputs(int32_t count) { return ChangePortCount(true, count); }
int32_t CPlugIn::SetNumOutputs(int32_t count) { return ChangePortCount(false, count); }

int32_t CPlugIn::ChangePortCount(bool input, int32_t count) {
  if (count < 0) return 0;
  CBaseSet& set = input ? fInputs : fOutputs;
  int32_t current = set.GetNumMembers();
  if (count != current && !(input ? CanChangeNumInputs() : CanChangeNumOutputs()))
    return input ? kPlugInErr_CantChangeInputs : kPlugInErr_CantChangeOutputs;
  for (int32_t i = current; i > count; --i) {
    CPlugInPort* port = nullptr;
    for (int32_t m = 1; m <= set.GetNumMembers() && !port; ++m)
      if (auto* p = set.GetMember<CPlugInPort>(m); p->GetIndex() == i) port = p;
    if (!port) return kPlugInErr_PortMissing;
    delete port;
  }
  for (int32_t i = current + 1; i <= count; ++i) {
    CPlugInPort* port = input ? static_cast<CPlugInPort*>(NewInput(i)) : NewOutput(i);
    if (!port) return kPlugInErr_PortMissing;
  }
  Publish();
  return 0;
}

CPlugInInput* CPlugIn::GetInput(int32_t n) {
  if (auto* p = fInputs.GetMember<CPlugInInput>(n)) return p;
  return reinterpret_cast<CPlugInInput*>(GetDefaultInput());
}

CPlugInOutput* CPlugIn::GetOutput(int32_t n) {
  if (auto* p = fOutputs.GetMember<CPlugInOutput>(n)) return p;
  return reinterpret_cast<CPlugInOutput*>(GetDefaultInput());
}

void* CPlugIn::GetOther(int32_t n) {
  if (void* p = fOthers.GetMemberN(n)) return p;
  return reinterpret_cast<void*>(GetDefaultOther());
}

CPlugInWorker* CPlugIn::GetWorker() {
  if (fWorker) return fWorker;
  return reinterpret_cast<CPlugInWorker*>(GetDefaultWorker());
}

int32_t CPlugIn::GetName(int32_t limit, char* name) {
  if (limit >= 0 && name) name[0] = '\0';
  return limit;
}

CPlugInInput* CPlugIn::NewInput(int32_t index) { return new (std::nothrow) CPlugInInput(this, index); }
CPlugInOutput* CPlugIn::NewOutput(int32_t index) { return new (std::nothrow) CPlugInOutput(this, index); }

int32_t CPlugIn::SendBracket(bool begin) {
  CPlugInOutputStream s;
  s << (begin ? kHostMessage_BeginPublish : kHostMessage_EndPublish);
  return DescribeHostObject(this, s.GetBuffer());
}

int32_t CPlugIn::Publish() {
  CBaseSet data;
  for (int32_t w = 1; w <= fWorkers.GetNumMembers(); ++w) data.UnionWith(fWorkers.GetMember<CPlugInWorker>(w)->GetDataSet());
  SendBracket(true);
  for (int32_t i = 1; i <= fInputs.GetNumMembers(); ++i) fInputs.GetMember<CPlugInPort>(i)->Publish();
  for (int32_t i = 1; i <= fOutputs.GetNumMembers(); ++i) fOutputs.GetMember<CPlugInPort>(i)->Publish();
  for (int32_t i = 1; i <= fWorkers.GetNumMembers(); ++i) fWorkers.GetMember<CPlugInWorker>(i)->Publish();
  for (int32_t i = 1; i <= data.GetNumMembers(); ++i) data.GetMember<CPlugInData>(i)->Publish();

  CPlugInOutputStream s;
  s << kHostMessage_Describe << static_cast<uintptr_t>(fId.fManufacturerID) << static_cast<uintptr_t>(fId.fProductID)
    << static_cast<uintptr_t>(fId.fPlugInID) << fId.fHostContext << fId.fReserved;
  for (const CBaseSet* set : {&fInputs, &fOutputs, &fWorkers}) {
    s << static_cast<uintptr_t>(set->GetNumMembers());
    for (int32_t i = 1; i <= set->GetNumMembers(); ++i) s << static_cast<const void*>(set->GetMemberN(i));
  }
  int32_t status = DescribeHostObject(this, s.GetBuffer());
  SendBracket(false);
  return status;
}
