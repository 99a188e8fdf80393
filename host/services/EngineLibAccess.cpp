#include "host/services/EngineLibAccess.h"

#include "host/services/DSPManagerInterface.h"
#include "host/services/EngineEntryIDs.h"

#include <iterator>

// The name tables hold the entries the plug-in calls; the libraries export
// more, which nothing here needs.
namespace {

const SDigiLibEntryName kDAENames[] = {
    {kDAE_FicMain, "FicMain"},
    {kDAE_InitFic, "InitFic"},
    {kDAE_FicNewServer, "FicNewServer"},
    {kDAE_FicNewObject, "FicNewObject"},
    {kDAE_FicDelete, "FicDelete"},
    {kDAE_FicFindStandardType, "FicFindStandardType"},
    {kDAE_FicCreatePlugInSpec, "FicCreatePlugInSpec"},
    {kDAE_FicPrepareForConnections, "FicPrepareForConnections"},
    {kDAE_FicGestalt, "FicGestalt"},
    {kDAE_FicSDSReserveName, "FicSDSReserveName"},
    {kDAE_FicSDSFreeName, "FicSDSFreeName"},
    {kDAE_FicSDSSetListenerName, "FicSDSSetListenerName"},
    {kDAE_FicSDSSetListenerType, "FicSDSSetListenerType"},
    {kDAE_FicSDSSetListenerSubType, "FicSDSSetListenerSubType"},
    {kDAE_FicSDSSetListenerGoal, "FicSDSSetListenerGoal"},
    {kDAE_FicSDSSetListenerCriticalFlag, "FicSDSSetListenerCriticalFlag"},
    {kDAE_FicSDSSetListenerLatestFlag, "FicSDSSetListenerLatestFlag"},
    {kDAE_FicSDSSetListenerTask, "FicSDSSetListenerTask"},
    {kDAE_FicSDSSetListenerTaskVal, "FicSDSSetListenerTaskVal"},
    {kDAE_FicSDSDispatchToken, "FicSDSDispatchToken"},
    {kDAE_FicSDSDoneWithToken, "FicSDSDoneWithToken"},
    {kDAE_FicPersonalityDoIdle, "FicPersonalityDoIdle"},
    {kDAE_FicSDSSetListenerProtocol, "FicSDSSetListenerProtocol"},
    {kDAE_FicSDSSetListenerManufacturer, "FicSDSSetListenerManufacturer"},
    {kDAE_FicSDSGetTokenAndTaskVal, "FicSDSGetTokenAndTaskVal"},
    {kDAE_FicDeactivateTalker, "FicDeactivateTalker"},
    {kDAE_FicReactivateTalker, "FicReactivateTalker"},
    {kDAE_FicDeactivateListener, "FicDeactivateListener"},
    {kDAE_FicReactivateListener, "FicReactivateListener"},
    {kDAE_FicPrepareForConnectionsStatus, "FicPrepareForConnectionsStatus"},
    {kDAE_FicRegisterDirectMIDIClient, "FicRegisterDirectMIDIClient"},
    {kDAE_FicUnRegisterDirectMIDIClient, "FicUnRegisterDirectMIDIClient"},
    {kDAE_FicIsAlive, "FicIsAlive"},
    {kDAE_FicCreateCriticalSection, "FicCreateCriticalSection"},
    {kDAE_FicDeleteCriticalSection, "FicDeleteCriticalSection"},
    {kDAE_FicEnterCriticalSection, "FicEnterCriticalSection"},
    {kDAE_FicLeaveCriticalSection, "FicLeaveCriticalSection"},
    {kDAE_FicGetMaximumRTASQuantum, "FicGetMaximumRTASQuantum"},
    {kDAE_FicGetDAEIACFUnknown, "FicGetDAEIACFUnknown"},
};

const SDigiLibEntryName kDSINames[] = {
    {kDSI_InitSADriverFirst, "InitSADriver"},
    {kDSI_InitSADriver, "InitSADriver"},
    {kDSI_GetClientList, "GetClientList"},
    {kDSI_GetShellList, "GetShellList"},
    {kDSI_GetCardList, "GetCardList"},
    {kDSI_GetDSPList, "GetDSPList"},
    {kDSI_ResetDSP, "ResetDSP"},
    {kDSI_DsiLoadShell, "DsiLoadShell"},
    {kDSI_SGetXWord, "SGetXWord"},
    {kDSI_SGetYWord, "SGetYWord"},
    {kDSI_SGetPWord, "SGetPWord"},
    {kDSI_SChangeXBits, "SChangeXBits"},
    {kDSI_SChangeYBits, "SChangeYBits"},
    {kDSI_SChangePBits, "SChangePBits"},
    {kDSI_SExecute, "SExecute"},
    {kDSI_SSetLeftRightBit, "SSetLeftRightBit"},
    {kDSI_SGetControlLatch, "SGetControlLatch"},
    {kDSI_SSetControlLatch, "SSetControlLatch"},
    {kDSI_SInitShell, "SInitShell"},
    {kDSI_SStartShell, "SStartShell"},
    {kDSI_SPauseShell, "SPauseShell"},
    {kDSI_SResumeShell, "SResumeShell"},
    {kDSI_SSetInputDelay, "SSetInputDelay"},
    {kDSI_SSetOutputDelay, "SSetOutputDelay"},
    {kDSI_SUpdateDSPPeripheral, "SUpdateDSPPeripheral"},
    {kDSI_SGetDSPCodeInfo, "SGetDSPCodeInfo"},
    {kDSI_DsiSendMsg, "DsiSendMsg"},
    {kDSI_DsiPrintf, "DsiPrintf"},
    {kDSI_DsiSendLo24of32, "DsiSendLo24of32"},
    {kDSI_DsiSendLo24of32Check, "DsiSendLo24of32Check"},
    {kDSI_DsiGetLo24ofS32, "DsiGetLo24ofS32"},
    {kDSI_DsiGetLo24ofS32Check, "DsiGetLo24ofS32Check"},
    {kDSI_DsiDoHostCommand, "DsiDoHostCommand"},
    {kDSI_DsiGetHostBit, "DsiGetHostBit"},
    {kDSI_DsiSetHostBit, "DsiSetHostBit"},
    {kDSI_DsiWaitHostBit, "DsiWaitHostBit"},
    {kDSI_DsiGetNextCard, "DsiGetNextCard"},
    {kDSI_DsiGetNextCardClient, "DsiGetNextCardClient"},
    {kDSI_DsiSetCardClient, "DsiSetCardClient"},
    {kDSI_DsiGetCardClientVal, "DsiGetCardClientVal"},
    {kDSI_DsiSetCardClientVal, "DsiSetCardClientVal"},
    {kDSI_DsiGetCardType, "DsiGetCardType"},
    {kDSI_DsiGetFirstDSPOnCard, "DsiGetFirstDSPOnCard"},
    {kDSI_DsiGetNumDSPsOnCard, "DsiGetNumDSPsOnCard"},
    {kDSI_DsiIsCardTDM2, "DsiIsCardTDM2"},
    {kDSI_DsiIsDSP321, "DsiIsDSP321"},
    {kDSI_DsiIsPresto, "DsiIsPresto"},
    {kDSI_DsiIsTDM2, "DsiIsTDM2"},
    {kDSI_DsiGetCardTypeFromDSP, "DsiGetCardTypeFromDSP"},
    {kDSI_DsiDSPToDriverType, "DsiDSPToDriverType"},
    {kDSI_DsiGetNextDSP, "DsiGetNextDSP"},
    {kDSI_DsiGetDSPClient, "DsiGetDSPClient"},
    {kDSI_DsiGetDSPClientVal, "DsiGetDSPClientVal"},
    {kDSI_DsiSetDSPClientVal, "DsiSetDSPClientVal"},
    {kDSI_DsiGetDSPShell, "DsiGetDSPShell"},
    {kDSI_DsiGetDSPInfoRecord, "DsiGetDSPInfoRecord"},
    {kDSI_DsiGetDSPCoreType, "DsiGetDSPCoreType"},
    {kDSI_DsiCreateShell, "DsiCreateShell"},
    {kDSI_DsiDestroyShell, "DsiDestroyShell"},
    {kDSI_DsiGetShellClient, "DsiGetShellClient"},
    {kDSI_DsiGetShellClientVal, "DsiGetShellClientVal"},
    {kDSI_DsiSetShellID, "DsiSetShellID"},
    {kDSI_DsiGetShellID, "DsiGetShellID"},
    {kDSI_DsiSetShellIsStandard, "DsiSetShellIsStandard"},
    {kDSI_DsiSetShellMaxLocation, "DsiSetShellMaxLocation"},
    {kDSI_DsiSetShellDSPCode, "DsiSetShellDSPCode"},
    {kDSI_DsiShellDSPCodeIsNULL, "DsiShellDSPCodeIsNULL"},
    {kDSI_DsiSetShellHostCodeHandler, "DsiSetShellHostCodeHandler"},
    {kDSI_DsiGetDSPCardIndex, "DsiGetDSPCardIndex"},
    {kDSI_DsiDoHostCommandOnEmptyHostPort, "DsiDoHostCommandOnEmptyHostPort"},
    {kDSI_DsiDoHostCommandWithDataList, "DsiDoHostCommandWithDataList"},
};

const SDigiLibEntryName kDSPMgrNames[] = {
    {kDSPMgr_GetDSPManager, "GetDSPManager"},
};

// Creates the access object unless the holder has one and loads it; a failed
// load leaves the holder empty.
template <class Access> int32_t initialize(std::atomic<Access*>& holder) {
  if (holder.load(std::memory_order_acquire)) return 0;
  auto* access = new Access;
  int32_t result = access->Load();
  if (result != 0) {
    delete access;
    return result;
  }
  // Published only when whole, so no thread ever sees a half-bound table.
  holder.store(access, std::memory_order_release);
  return 0;
}

template <class Access> int32_t release(std::atomic<Access*>& holder) {
  delete holder.exchange(nullptr, std::memory_order_acq_rel);
  return 0;
}

} // namespace

std::atomic<CDAELibAccess*> gDAELibAccess{nullptr};
std::atomic<CDSILibAccess*> gDSILibAccess{nullptr};
std::atomic<CDSPMgrLibAccess*> gDSPMgrLibAccess{nullptr};

CDAELibAccess::CDAELibAccess() : UDigiLibAccess(kDAE_EntryCount, kDAELibraryIdentifier.text) {}
int32_t CDAELibAccess::GetFunctionName(int32_t id, unsigned char* name) {
  return FindFunctionName(kDAENames, std::size(kDAENames), id, name);
}

CDSILibAccess::CDSILibAccess() : UDigiLibAccess(kDSI_EntryCount, kDSILibraryIdentifier.text) {}
int32_t CDSILibAccess::GetFunctionName(int32_t id, unsigned char* name) {
  return FindFunctionName(kDSINames, std::size(kDSINames), id, name);
}

CDSPMgrLibAccess::CDSPMgrLibAccess() : UDigiLibAccess(kDSPMgr_EntryCount, kDSPMgrLibraryIdentifier.text) {}
int32_t CDSPMgrLibAccess::GetFunctionName(int32_t id, unsigned char* name) {
  return FindFunctionName(kDSPMgrNames, std::size(kDSPMgrNames), id, name);
}

int32_t InitializeDAELibAccess() { return initialize(gDAELibAccess); }
int32_t FreeDAELibAccess() { return release(gDAELibAccess); }
int32_t InitializeDSILibAccess() { return initialize(gDSILibAccess); }
int32_t FreeDSILibAccess() { return release(gDSILibAccess); }
int32_t InitializeDSPMgrLibAccess() { return initialize(gDSPMgrLibAccess); }
int32_t FreeDSPMgrLibAccess() {
  // The kept interface lives in the library: let go of it first.
  ReleaseDSPManagerInterface();
  return release(gDSPMgrLibAccess);
}

void* GetDSPManager() {
  if (InitializeDSPMgrLibAccess() != 0) return nullptr;
  CDSPMgrLibAccess* access = gDSPMgrLibAccess.load(std::memory_order_acquire);
  using Entry = void* (*)();
  auto entry = reinterpret_cast<Entry>(access->GetFunction(kDSPMgr_GetDSPManager));
  return entry ? entry() : nullptr;
}
