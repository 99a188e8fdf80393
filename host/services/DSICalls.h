#pragma once

// Wrappers of the DSP-card driver interface (DSI), one per entry point the
// plug-in calls, in the same way as the audio-engine wrappers: -2812 without
// the DSI library, -2802 without the entry, else the entry's 16-bit status
// sign-extended. Arguments are words passed on as they are; short arguments
// reach the entry sign-extended, byte arguments zero-extended. Records and
// out-pointers travel as words: the comment after each wrapper says what a
// word points to (the records are in DSIRecords.h).

#include "host/services/DSIRecords.h"

#include <cstdint>

// Every host-port transfer the fall-backs make waits at most this long.
constexpr uintptr_t kDSIHostPortTimeOut = 1000000000;

// Creates the DSI access object when needed (its load error when that
// fails), then the driver's own initialisation.
int32_t Call_InitSADriver();

int32_t Call_GetClientList(uintptr_t out); // out: SDSIClientRecord** (the first client)
int32_t Call_GetShellList(uintptr_t out); // out: ShellRecord** (the first shell)
int32_t Call_GetCardList(uintptr_t out); // out: CardRecord** (the first card)
int32_t Call_GetDSPList(uintptr_t out); // out: DSPRecord** (the first DSP of all cards)
int32_t Call_ResetDSP(uintptr_t dsp); // dsp
int32_t Call_DsiLoadShell(uintptr_t dsp, uintptr_t shell, uintptr_t client); // dsp, shell, client
int32_t Call_SGetXWord(uintptr_t dsp, uintptr_t address, uintptr_t out); // dsp, address, out: int32_t*
int32_t Call_SGetYWord(uintptr_t dsp, uintptr_t address, uintptr_t out); // dsp, address, out: int32_t*
int32_t Call_SGetPWord(uintptr_t dsp, uintptr_t address, uintptr_t out); // dsp, address, out: int32_t*
int32_t Call_SChangeXBits(uintptr_t dsp, uintptr_t address, uintptr_t mask, uintptr_t bits); // dsp, address, mask, bits
int32_t Call_SChangeYBits(uintptr_t dsp, uintptr_t address, uintptr_t mask, uintptr_t bits); // dsp, address, mask, bits
int32_t Call_SChangePBits(uintptr_t dsp, uintptr_t address, uintptr_t mask, uintptr_t bits); // dsp, address, mask, bits
int32_t Call_SExecute(uintptr_t dsp, int16_t address); // dsp, address
int32_t Call_SSetLeftRightBit(uintptr_t dsp, uintptr_t value); // dsp, value
int32_t Call_SGetControlLatch(uintptr_t dsp, uintptr_t out); // dsp, out: uintptr_t*
int32_t Call_SSetControlLatch(uintptr_t dsp, uintptr_t value); // dsp, value
int32_t Call_SInitShell(uintptr_t dsp); // dsp
int32_t Call_SStartShell(uintptr_t dsp); // dsp
int32_t Call_SPauseShell(uintptr_t dsp); // dsp
int32_t Call_SResumeShell(uintptr_t dsp); // dsp
int32_t Call_SSetInputDelay(uintptr_t dsp, uintptr_t delay); // dsp, delay
int32_t Call_SSetOutputDelay(uintptr_t dsp, uintptr_t delay); // dsp, delay
int32_t Call_SUpdateDSPPeripheral(uintptr_t dsp); // dsp
int32_t Call_SGetDSPCodeInfo(uintptr_t dsp, int16_t selector, uintptr_t out); // dsp, selector, out: int32_t*
int32_t Call_DsiSendMsg(uintptr_t message); // const SDSIMessage*
int32_t Call_DsiPrintf(uintptr_t text); // const char* (NUL-terminated text)
int32_t Call_DsiSendLo24of32(uintptr_t dsp, uintptr_t word, uintptr_t timeOut); // dsp, word, time-out
int32_t Call_DsiSendLo24of32Check(uintptr_t dsp, uintptr_t count, uintptr_t words, uintptr_t timeOut); // dsp, count, const int32_t* words, time-out
int32_t Call_DsiGetLo24ofS32(uintptr_t dsp, uintptr_t out, uintptr_t timeOut); // dsp, out: int32_t*, time-out
int32_t Call_DsiGetLo24ofS32Check(uintptr_t dsp, uintptr_t count, uintptr_t words, uintptr_t timeOut); // dsp, count, int32_t* words, time-out
int32_t Call_DsiDoHostCommand(uintptr_t dsp, int16_t command, uintptr_t timeOut); // dsp, command, time-out
int32_t Call_DsiSetHostBit(uintptr_t dsp, uintptr_t bit, uint8_t value); // dsp, bit, value
int32_t Call_DsiGetHostBit(uintptr_t dsp, uintptr_t bit, uintptr_t out); // dsp, bit, out: uint8_t*
int32_t Call_DsiWaitHostBit(uintptr_t dsp, uintptr_t bit, uint8_t value, uintptr_t timeOut); // dsp, bit, value, time-out
int32_t Call_DsiGetNextCard(uintptr_t card, uintptr_t out); // card, out: CardRecord**
int32_t Call_DsiGetNextCardClient(uintptr_t card, uintptr_t out); // card (0: from the first), out: CardRecord** (the next card that has a client)
int32_t Call_DsiSetCardClient(uintptr_t card, uintptr_t client); // card, client
int32_t Call_DsiGetCardClientVal(uintptr_t card, uintptr_t out); // card, out: uintptr_t*
int32_t Call_DsiSetCardClientVal(uintptr_t card, uintptr_t value); // card, value
int32_t Call_DsiGetCardType(uintptr_t card, uintptr_t out); // card, out: int16_t*
int32_t Call_DsiGetFirstDSPOnCard(uintptr_t card, uintptr_t out); // card, out: DSPRecord**
int32_t Call_DsiGetNumDSPsOnCard(uintptr_t card, uintptr_t out); // card, out: int16_t*
int32_t Call_DsiIsCardTDM2(uintptr_t card, uintptr_t out); // card, out: uint8_t*
int32_t Call_DsiIsDSP321(uintptr_t dsp, uintptr_t out); // dsp, out: uint8_t*
int32_t Call_DsiIsPresto(uintptr_t dsp, uintptr_t out); // dsp, out: uint8_t*
int32_t Call_DsiIsTDM2(uintptr_t dsp, uintptr_t out); // dsp, out: uint8_t*
int32_t Call_DsiGetCardTypeFromDSP(uintptr_t dsp, uintptr_t out); // dsp, out: int16_t*
int32_t Call_DsiDSPToDriverType(uintptr_t dsp, uintptr_t out); // dsp, out: int32_t*
int32_t Call_DsiGetNextDSP(uintptr_t dsp, uintptr_t out); // dsp, out: DSPRecord**
int32_t Call_DsiGetDSPClient(uintptr_t dsp, uintptr_t out); // dsp, out: uintptr_t*
int32_t Call_DsiGetDSPClientVal(uintptr_t dsp, uintptr_t out); // dsp, out: uintptr_t*
int32_t Call_DsiSetDSPClientVal(uintptr_t dsp, uintptr_t value); // dsp, value
int32_t Call_DsiGetDSPShell(uintptr_t dsp, uintptr_t out); // dsp, out: ShellRecord**
int32_t Call_DsiGetDSPInfoRecord(uintptr_t dsp, uintptr_t out); // dsp, out: DSPInfoRecord*
int32_t Call_DsiGetDSPCoreType(uintptr_t dsp, uintptr_t out); // dsp, out: int32_t*
int32_t Call_DsiCreateShell(uintptr_t out); // out: ShellRecord**
int32_t Call_DsiDestroyShell(uintptr_t shell); // shell
int32_t Call_DsiGetShellClient(uintptr_t shell, uintptr_t out); // shell, out: uintptr_t*
int32_t Call_DsiGetShellClientVal(uintptr_t shell, uintptr_t out); // shell, out: uintptr_t*
int32_t Call_DsiSetShellID(uintptr_t shell, uintptr_t id); // shell, id
int32_t Call_DsiGetShellID(uintptr_t shell, uintptr_t out); // shell, out: int32_t*
int32_t Call_DsiSetShellIsStandard(uintptr_t shell, uint8_t flag); // shell, flag
int32_t Call_DsiSetShellMaxLocation(uintptr_t shell, uintptr_t location); // shell, location
int32_t Call_DsiSetShellDSPCode(uintptr_t shell, uintptr_t code); // shell, char** code
int32_t Call_DsiShellDSPCodeIsNULL(uintptr_t shell, uintptr_t out); // shell, out: uint8_t*
int32_t Call_DsiSetShellHostCodeHandler(uintptr_t shell, uintptr_t handler); // shell, DSIHostCodeHandler
int32_t Call_DsiGetDSPCardIndex(uintptr_t dsp, uintptr_t out); // dsp, out: int16_t*

// With the entry, the driver's own; else waits for host-port bit 2 and sends
// the command's low 16 bits. The first non-zero status is the result.
int32_t Call_DsiDoHostCommandOnEmptyHostPort(uintptr_t dsp, uintptr_t command, uintptr_t timeOut);
// With the entry, the driver's own; else the words of sendBuffer around the
// command (before it when sendFirst is non-zero, after it otherwise), then
// receiveCount words into receiveBuffer. The first non-zero status ends it.
int32_t Call_DsiDoHostCommandWithDataList(uintptr_t dsp, uintptr_t command, uint8_t sendFirst, int32_t receiveCount,
                                          int32_t* receiveBuffer, int32_t sendCount, const int32_t* sendBuffer);

// Waits for a host status bit given by its mask (1, 2, 4, 8, 16 or 32) to be
// set; -1 for any other mask, without asking the driver.
int32_t Call_WaitForHostStatusBitSet(uintptr_t dsp, int32_t mask);

// The card, DSP and shell queries are also reachable under these names.

inline int32_t Call_DsiGetNextCardRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetNextCard(record, word); }
inline int32_t Call_DsiGetNextCardClientRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetNextCardClient(record, word); }
inline int32_t Call_DsiSetCardClientRoutine(uintptr_t record, uintptr_t word) { return Call_DsiSetCardClient(record, word); }
inline int32_t Call_DsiGetCardClientValRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetCardClientVal(record, word); }
inline int32_t Call_DsiSetCardClientValRoutine(uintptr_t record, uintptr_t word) { return Call_DsiSetCardClientVal(record, word); }
inline int32_t Call_DsiGetCardTypeRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetCardType(record, word); }
inline int32_t Call_DsiGetFirstDSPOnCardRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetFirstDSPOnCard(record, word); }
inline int32_t Call_DsiGetNumDSPsOnCardRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetNumDSPsOnCard(record, word); }
inline int32_t Call_DsiIsCardTDM2Routine(uintptr_t record, uintptr_t word) { return Call_DsiIsCardTDM2(record, word); }
inline int32_t Call_DSIIsDSP321Routine(uintptr_t record, uintptr_t word) { return Call_DsiIsDSP321(record, word); }
inline int32_t Call_DsiIsPrestoRoutine(uintptr_t record, uintptr_t word) { return Call_DsiIsPresto(record, word); }
inline int32_t Call_DsiIsTDM2Routine(uintptr_t record, uintptr_t word) { return Call_DsiIsTDM2(record, word); }
inline int32_t Call_DsiGetCardTypeFromDSPRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetCardTypeFromDSP(record, word); }
inline int32_t Call_DsiDSPToDriverTypeRoutine(uintptr_t record, uintptr_t word) { return Call_DsiDSPToDriverType(record, word); }
inline int32_t Call_DsiGetNextDSPRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetNextDSP(record, word); }
inline int32_t Call_DsiGetDSPClientRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetDSPClient(record, word); }
inline int32_t Call_DsiGetDSPClientValRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetDSPClientVal(record, word); }
inline int32_t Call_DsiSetDSPClientValRoutine(uintptr_t record, uintptr_t word) { return Call_DsiSetDSPClientVal(record, word); }
inline int32_t Call_DsiGetDSPShellRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetDSPShell(record, word); }
inline int32_t Call_DsiGetDSPInfoRecordRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetDSPInfoRecord(record, word); }
inline int32_t Call_DsiGetDSPCoreTypeRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetDSPCoreType(record, word); }
inline int32_t Call_DsiCreateShellRoutine(uintptr_t record) { return Call_DsiCreateShell(record); }
inline int32_t Call_DsiDestroyShellRoutine(uintptr_t record) { return Call_DsiDestroyShell(record); }
inline int32_t Call_DsiGetShellClientRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetShellClient(record, word); }
inline int32_t Call_DsiGetShellClientValRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetShellClientVal(record, word); }
inline int32_t Call_DsiSetShellIDRoutine(uintptr_t record, uintptr_t word) { return Call_DsiSetShellID(record, word); }
inline int32_t Call_DsiGetShellIDRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetShellID(record, word); }
inline int32_t Call_DsiSetShellIsStandardRoutine(uintptr_t record, uint8_t word) { return Call_DsiSetShellIsStandard(record, word); }
inline int32_t Call_DsiSetShellMaxLocationRoutine(uintptr_t record, uintptr_t word) { return Call_DsiSetShellMaxLocation(record, word); }
inline int32_t Call_DsiSetShellDSPCodeRoutine(uintptr_t record, uintptr_t word) { return Call_DsiSetShellDSPCode(record, word); }
inline int32_t Call_DsiShellDSPCodeIsNULLRoutine(uintptr_t record, uintptr_t word) { return Call_DsiShellDSPCodeIsNULL(record, word); }
inline int32_t Call_DsiSetShellHostCodeHandlerRoutine(uintptr_t record, uintptr_t word) { return Call_DsiSetShellHostCodeHandler(record, word); }
inline int32_t Call_DsiGetDSPCardIndexRoutine(uintptr_t record, uintptr_t word) { return Call_DsiGetDSPCardIndex(record, word); }
