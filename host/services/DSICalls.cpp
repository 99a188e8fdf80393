#include "host/services/DSICalls.h"

#include "host/services/EngineCall.h"
#include "host/services/EngineEntryIDs.h"
#include "host/services/EngineLibAccess.h"

using EngineCall::Status;
using W = uintptr_t;

int32_t Call_InitSADriver() {
  int32_t result = InitializeDSILibAccess();
  if (result != 0) return result;
  return Status<int16_t()>(gDSILibAccess, kDSI_InitSADriver);
}

int32_t Call_GetClientList(W a0) {
  return Status<int16_t(W)>(gDSILibAccess, kDSI_GetClientList, a0);
}

int32_t Call_GetShellList(W a0) {
  return Status<int16_t(W)>(gDSILibAccess, kDSI_GetShellList, a0);
}

int32_t Call_GetCardList(W a0) {
  return Status<int16_t(W)>(gDSILibAccess, kDSI_GetCardList, a0);
}

int32_t Call_GetDSPList(W a0) {
  return Status<int16_t(W)>(gDSILibAccess, kDSI_GetDSPList, a0);
}

int32_t Call_ResetDSP(W a0) {
  return Status<int16_t(W)>(gDSILibAccess, kDSI_ResetDSP, a0);
}

int32_t Call_DsiLoadShell(W a0, W a1, W a2) {
  return Status<int16_t(W, W, W)>(gDSILibAccess, kDSI_DsiLoadShell, a0, a1, a2);
}

int32_t Call_SGetXWord(W a0, W a1, W a2) {
  return Status<int16_t(W, W, W)>(gDSILibAccess, kDSI_SGetXWord, a0, a1, a2);
}

int32_t Call_SGetYWord(W a0, W a1, W a2) {
  return Status<int16_t(W, W, W)>(gDSILibAccess, kDSI_SGetYWord, a0, a1, a2);
}

int32_t Call_SGetPWord(W a0, W a1, W a2) {
  return Status<int16_t(W, W, W)>(gDSILibAccess, kDSI_SGetPWord, a0, a1, a2);
}

int32_t Call_SChangeXBits(W a0, W a1, W a2, W a3) {
  return Status<int16_t(W, W, W, W)>(gDSILibAccess, kDSI_SChangeXBits, a0, a1, a2, a3);
}

int32_t Call_SChangeYBits(W a0, W a1, W a2, W a3) {
  return Status<int16_t(W, W, W, W)>(gDSILibAccess, kDSI_SChangeYBits, a0, a1, a2, a3);
}

int32_t Call_SChangePBits(W a0, W a1, W a2, W a3) {
  return Status<int16_t(W, W, W, W)>(gDSILibAccess, kDSI_SChangePBits, a0, a1, a2, a3);
}

int32_t Call_SExecute(W a0, int16_t a1) {
  return Status<int16_t(W, int32_t)>(gDSILibAccess, kDSI_SExecute, a0, int32_t{a1});
}

int32_t Call_SSetLeftRightBit(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_SSetLeftRightBit, a0, a1);
}

int32_t Call_SGetControlLatch(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_SGetControlLatch, a0, a1);
}

int32_t Call_SSetControlLatch(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_SSetControlLatch, a0, a1);
}

int32_t Call_SInitShell(W a0) {
  return Status<int16_t(W)>(gDSILibAccess, kDSI_SInitShell, a0);
}

int32_t Call_SStartShell(W a0) {
  return Status<int16_t(W)>(gDSILibAccess, kDSI_SStartShell, a0);
}

int32_t Call_SPauseShell(W a0) {
  return Status<int16_t(W)>(gDSILibAccess, kDSI_SPauseShell, a0);
}

int32_t Call_SResumeShell(W a0) {
  return Status<int16_t(W)>(gDSILibAccess, kDSI_SResumeShell, a0);
}

int32_t Call_SSetInputDelay(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_SSetInputDelay, a0, a1);
}

int32_t Call_SSetOutputDelay(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_SSetOutputDelay, a0, a1);
}

int32_t Call_SUpdateDSPPeripheral(W a0) {
  return Status<int16_t(W)>(gDSILibAccess, kDSI_SUpdateDSPPeripheral, a0);
}

int32_t Call_SGetDSPCodeInfo(W a0, int16_t a1, W a2) {
  return Status<int16_t(W, int32_t, W)>(gDSILibAccess, kDSI_SGetDSPCodeInfo, a0, int32_t{a1}, a2);
}

int32_t Call_DsiSendMsg(W a0) {
  return Status<int16_t(W)>(gDSILibAccess, kDSI_DsiSendMsg, a0);
}

int32_t Call_DsiPrintf(W a0) {
  return Status<int16_t(W)>(gDSILibAccess, kDSI_DsiPrintf, a0);
}

int32_t Call_DsiSendLo24of32(W a0, W a1, W a2) {
  return Status<int16_t(W, W, W)>(gDSILibAccess, kDSI_DsiSendLo24of32, a0, a1, a2);
}

int32_t Call_DsiSendLo24of32Check(W a0, W a1, W a2, W a3) {
  return Status<int16_t(W, W, W, W)>(gDSILibAccess, kDSI_DsiSendLo24of32Check, a0, a1, a2, a3);
}

int32_t Call_DsiGetLo24ofS32(W a0, W a1, W a2) {
  return Status<int16_t(W, W, W)>(gDSILibAccess, kDSI_DsiGetLo24ofS32, a0, a1, a2);
}

int32_t Call_DsiGetLo24ofS32Check(W a0, W a1, W a2, W a3) {
  return Status<int16_t(W, W, W, W)>(gDSILibAccess, kDSI_DsiGetLo24ofS32Check, a0, a1, a2, a3);
}

int32_t Call_DsiDoHostCommand(W a0, int16_t a1, W a2) {
  return Status<int16_t(W, int32_t, W)>(gDSILibAccess, kDSI_DsiDoHostCommand, a0, int32_t{a1}, a2);
}

int32_t Call_DsiSetHostBit(W a0, W a1, uint8_t a2) {
  return Status<int16_t(W, W, uint32_t)>(gDSILibAccess, kDSI_DsiSetHostBit, a0, a1, uint32_t{a2});
}

int32_t Call_DsiGetHostBit(W a0, W a1, W a2) {
  return Status<int16_t(W, W, W)>(gDSILibAccess, kDSI_DsiGetHostBit, a0, a1, a2);
}

int32_t Call_DsiWaitHostBit(W a0, W a1, uint8_t a2, W a3) {
  return Status<int16_t(W, W, uint32_t, W)>(gDSILibAccess, kDSI_DsiWaitHostBit, a0, a1, uint32_t{a2}, a3);
}

int32_t Call_DsiGetNextCard(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetNextCard, a0, a1);
}

int32_t Call_DsiGetNextCardClient(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetNextCardClient, a0, a1);
}

int32_t Call_DsiSetCardClient(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiSetCardClient, a0, a1);
}

int32_t Call_DsiGetCardClientVal(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetCardClientVal, a0, a1);
}

int32_t Call_DsiSetCardClientVal(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiSetCardClientVal, a0, a1);
}

int32_t Call_DsiGetCardType(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetCardType, a0, a1);
}

int32_t Call_DsiGetFirstDSPOnCard(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetFirstDSPOnCard, a0, a1);
}

int32_t Call_DsiGetNumDSPsOnCard(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetNumDSPsOnCard, a0, a1);
}

int32_t Call_DsiIsCardTDM2(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiIsCardTDM2, a0, a1);
}

int32_t Call_DsiIsDSP321(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiIsDSP321, a0, a1);
}

int32_t Call_DsiIsPresto(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiIsPresto, a0, a1);
}

int32_t Call_DsiIsTDM2(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiIsTDM2, a0, a1);
}

int32_t Call_DsiGetCardTypeFromDSP(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetCardTypeFromDSP, a0, a1);
}

int32_t Call_DsiDSPToDriverType(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiDSPToDriverType, a0, a1);
}

int32_t Call_DsiGetNextDSP(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetNextDSP, a0, a1);
}

int32_t Call_DsiGetDSPClient(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetDSPClient, a0, a1);
}

int32_t Call_DsiGetDSPClientVal(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetDSPClientVal, a0, a1);
}

int32_t Call_DsiSetDSPClientVal(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiSetDSPClientVal, a0, a1);
}

int32_t Call_DsiGetDSPShell(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetDSPShell, a0, a1);
}

int32_t Call_DsiGetDSPInfoRecord(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetDSPInfoRecord, a0, a1);
}

int32_t Call_DsiGetDSPCoreType(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetDSPCoreType, a0, a1);
}

int32_t Call_DsiCreateShell(W a0) {
  return Status<int16_t(W)>(gDSILibAccess, kDSI_DsiCreateShell, a0);
}

int32_t Call_DsiDestroyShell(W a0) {
  return Status<int16_t(W)>(gDSILibAccess, kDSI_DsiDestroyShell, a0);
}

int32_t Call_DsiGetShellClient(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetShellClient, a0, a1);
}

int32_t Call_DsiGetShellClientVal(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetShellClientVal, a0, a1);
}

int32_t Call_DsiSetShellID(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiSetShellID, a0, a1);
}

int32_t Call_DsiGetShellID(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetShellID, a0, a1);
}

int32_t Call_DsiSetShellIsStandard(W a0, uint8_t a1) {
  return Status<int16_t(W, uint32_t)>(gDSILibAccess, kDSI_DsiSetShellIsStandard, a0, uint32_t{a1});
}

int32_t Call_DsiSetShellMaxLocation(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiSetShellMaxLocation, a0, a1);
}

int32_t Call_DsiSetShellDSPCode(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiSetShellDSPCode, a0, a1);
}

int32_t Call_DsiShellDSPCodeIsNULL(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiShellDSPCodeIsNULL, a0, a1);
}

int32_t Call_DsiSetShellHostCodeHandler(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiSetShellHostCodeHandler, a0, a1);
}

int32_t Call_DsiGetDSPCardIndex(W a0, W a1) {
  return Status<int16_t(W, W)>(gDSILibAccess, kDSI_DsiGetDSPCardIndex, a0, a1);
}

int32_t Call_DsiDoHostCommandOnEmptyHostPort(W dsp, W command, W timeOut) {
  int32_t error;
  if (auto* entry = EngineCall::Find<int16_t(W, W, W)>(gDSILibAccess, kDSI_DsiDoHostCommandOnEmptyHostPort, error))
    return entry(dsp, command, timeOut);
  int32_t status = Call_DsiWaitHostBit(dsp, 2, 1, timeOut);
  if (status != 0) return status;
  return Call_DsiDoHostCommand(dsp, static_cast<int16_t>(command), timeOut);
}

int32_t Call_DsiDoHostCommandWithDataList(W dsp, W command, uint8_t sendFirst, int32_t receiveCount,
                                          int32_t* receiveBuffer, int32_t sendCount, const int32_t* sendBuffer) {
  int32_t error;
  if (auto* entry = EngineCall::Find<int16_t(W, W, uint32_t, W, W, W, W)>(
          gDSILibAccess, kDSI_DsiDoHostCommandWithDataList, error))
    return entry(dsp, command, uint32_t{sendFirst}, static_cast<W>(receiveCount > 0 ? receiveCount : 0),
                 reinterpret_cast<W>(receiveBuffer), static_cast<W>(sendCount > 0 ? sendCount : 0),
                 reinterpret_cast<W>(sendBuffer));

  auto sendWords = [&]() -> int32_t {
    for (int32_t i = 0; i < sendCount; ++i)
      if (int32_t s = Call_DsiSendLo24of32(dsp, static_cast<uint32_t>(sendBuffer[i]), kDSIHostPortTimeOut)) return s;
    return 0;
  };
  int32_t status;
  if (sendFirst) {
    if ((status = sendWords()) != 0) return status;
    if ((status = Call_DsiDoHostCommandOnEmptyHostPort(dsp, command, kDSIHostPortTimeOut)) != 0) return status;
  } else {
    if ((status = Call_DsiDoHostCommandOnEmptyHostPort(dsp, command, kDSIHostPortTimeOut)) != 0) return status;
    if ((status = sendWords()) != 0) return status;
  }
  for (int32_t i = 0; i < receiveCount; ++i)
    if ((status = Call_DsiGetLo24ofS32(dsp, reinterpret_cast<W>(&receiveBuffer[i]), kDSIHostPortTimeOut)) != 0)
      return status;
  return 0;
}

int32_t Call_WaitForHostStatusBitSet(W dsp, int32_t mask) {
  W bit;
  switch (mask) {
  case 1: bit = 2; break;
  case 2: bit = 1; break;
  case 4: bit = 0; break;
  case 8: bit = 7; break;
  case 16: bit = 8; break;
  case 32: bit = 9; break;
  default: return -1;
  }
  return Call_DsiWaitHostBit(dsp, bit, 1, kDSIHostPortTimeOut);
}
