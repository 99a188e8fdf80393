#include "host/CProcessGroup.h"

#include "host/CEffectType.h"
#include "host/CProcess.h"
#include "host/PlugInGlobals.h"
#include "host/services/CDAEError.h"
#include "host/services/DAECalls.h"
#include "host/services/DSIServices.h"
#include "host/services/EngineLibAccess.h"

#include <algorithm>
#include <memory>

CProcessGroup::CProcessGroup() = default;

CProcessGroup::~CProcessGroup() {
  while (!fProcesses.empty()) DeleteProcess(fProcesses.back());
  for (CProcessType* t : fTypes) delete t;
  fTypes.clear();
  if (fCriticalSection) Call_FicDeleteCriticalSection(fCriticalSection);
  if (fMessagingObject) Call_FicDelete(fMessagingObject);
  if (fMessagingServer) Call_FicDelete(fMessagingServer);
  FreeDAELibAccess();
  FreeDSICalls();
  FreeDSILibAccess();
  FreeDSPMgrLibAccess();
  if (gProcessGroup == this) gProcessGroup = nullptr;
}

int32_t CProcessGroup::Initialize() {
  int32_t status = static_cast<int16_t>(InitializeDAELibAccess());
  if (status != 0) return status;
  status = InitializeDSICalls();
  if (status != 0) return status;

  uintptr_t messaging = 0;
  if (Call_FicGestalt(kGestaltControlMessaging, &messaging) == 0 && Call_FicIsAlive() != 0) {
    fMessagingServer = Call_FicNewServer();
    uintptr_t type = fMessagingServer ? Call_FicFindStandardType(fMessagingServer, kStandardTypeMessagingObject) : 0;
    fMessagingObject = type ? Call_FicNewObject(fMessagingServer, type) : 0;
  }

  // A host without plug-in services offers no critical section; the group
  // then brackets nothing.
  if (auto* services = reinterpret_cast<SHostPlugInServices*>(GetPlugInServices())) {
    if (!services->MayCreateCriticalSection || services->MayCreateCriticalSection(services) < 1)
      return kPlugInErr_ServicesRefused;
    fCriticalSection = Call_FicCreateCriticalSection();
    if (fCriticalSection == 0) return kPlugInErr_NoCriticalSection;
  }
  return 0;
}

void CProcessGroup::Idle() {
  for (CProcess* p : fProcesses) p->Idle();
}

void CProcessGroup::IdleHost() {
  if (gIdleCallback) gIdleCallback(kHostCallback_Idle, 0, 0);
}

void CProcessGroup::EnterCriticalSection() {
  ++gCriticalSectionLevel;
  if (fCriticalSection) Call_FicEnterCriticalSection(fCriticalSection);
}

void CProcessGroup::LeaveCriticalSection() {
  if (fCriticalSection) Call_FicLeaveCriticalSection(fCriticalSection);
  if (gCriticalSectionLevel > 0) --gCriticalSectionLevel;
}

int32_t CProcessGroup::GetDSPCodeInfo(DSPRecord*, int16_t, uintptr_t) { return kPlugInErr_NoProcessGroup; }

void CProcessGroup::SetNamesAndVersion(const char* names, uint32_t version) {
  fNames = names ? names : "";
  fVersion = version;
}

void CProcessGroup::SetManufacturer(const char* names, uint32_t id) {
  fManufacturerNames = names ? names : "";
  fManufacturerID = id;
}

void CProcessGroup::AddGroupGestalt(int32_t selector) {
  if (std::find(fGestalts.begin(), fGestalts.end(), selector) == fGestalts.end()) fGestalts.push_back(selector);
}

int32_t CProcessGroup::Gestalt(int32_t selector, int32_t* answer) const {
  *answer = std::find(fGestalts.begin(), fGestalts.end(), selector) != fGestalts.end() ? 1 : 0;
  return 0;
}

void CProcessGroup::AddProcessType(CProcessType* type) {
  PlugInAssertPointer(type)->SetProcessGroup(this);
  fTypes.push_back(type);
}

CProcessType* CProcessGroup::GetProcessType(int32_t index) const {
  if (index < 1 || index > GetNumProcessTypes()) return nullptr;
  return fTypes[static_cast<size_t>(index - 1)];
}

CProcess* CProcessGroup::NewProcess(int32_t typeIndex) {
  CProcessType* type = GetProcessType(typeIndex);
  if (!type) throw CDAEError(kPlugInErr_Unexpected);
  fProcesses.reserve(fProcesses.size() + 1);
  CProcess* process = type->InstantiateProcess(fNextInstanceID++);
  fProcesses.push_back(process);
  return process;
}

bool CProcessGroup::IsProcess(const CProcess* process) const {
  return process && std::find(fProcesses.begin(), fProcesses.end(), process) != fProcesses.end();
}

int32_t CProcessGroup::DeleteProcess(CProcess* process) {
  if (!IsProcess(process)) return kPlugInErr_NoSuchInstance;
  fProcesses.erase(std::find(fProcesses.begin(), fProcesses.end(), process));
  if (CProcessType* type = process->GetProcessType()) type->ReleaseProcess(process);
  delete process;
  return 0;
}

int32_t CDSPProcessGroup::Initialize() {
  int32_t status = CProcessGroup::Initialize();
  if (status != 0) return status;
  CreateProcessTypes();
  return 0;
}
