#pragma once

// What the plug-in asks of the DSP-card driver: which access mode to use,
// the driver's records read either through its access entries ("new
// access") or directly ("old access", for drivers without the entries),
// questions about the installed cards, and the host's plug-in services
// object. All of this runs on the host's main thread.

#include "host/services/DSIRecords.h"

#include <cstdint>

struct SPlugInUtilsGlobals {
  // True selects new access; decided once, at the first group start.
  static bool gUseNewDSI;
};

bool UseNewDSIAccess();

// Loads the driver interface and chooses the access mode: new access when no
// card of type 18 is installed and the driver answers the shell query for its
// first DSP. Always 0; the driver's failures are thrown as CDAEError.
int32_t InitializeDSICalls();
int32_t FreeDSICalls(); // nothing to free

// The host's plug-in services object, asked once of the audio engine and
// kept for the life of the process once the engine answered (the answer may
// be null); 0 while the engine gives no answer.
uintptr_t GetPlugInServices();

// Record access in the current mode: the driver's status in new access, 0 in
// old access.
int32_t GetDSPShell(DSPRecord* dsp, ShellRecord** shell);
int32_t GetDSPInfoRecord(DSPRecord* dsp, DSPInfoRecord* info);
int32_t GetDSPCoreType(DSPRecord* dsp, int32_t* coreType);
int32_t GetDSPClient(DSPRecord* dsp, uintptr_t* client);
int32_t GetDSPClientVal(DSPRecord* dsp, uintptr_t* value);
int32_t SetDSPClientVal(DSPRecord* dsp, uintptr_t value);
int32_t GetNextDSP(DSPRecord* dsp, DSPRecord** next);
int32_t GetCardTypeFromDSP(DSPRecord* dsp, int16_t* cardType);
int32_t GetNextCard(CardRecord* card, CardRecord** next);
int32_t GetCardTypeFromCard(CardRecord* card, int16_t* cardType);
int32_t GetFirstDSPOnCard(CardRecord* card, DSPRecord** first);
int32_t GetShellClient(ShellRecord* shell, uintptr_t* client);
int32_t GetShellClientVal(ShellRecord* shell, uintptr_t* value);
int32_t SetShellID(ShellRecord* shell, int32_t id);
int32_t GetShellID(ShellRecord* shell, int32_t* id);
int32_t SetShellIsStandard(ShellRecord* shell, uint8_t isStandard);
int32_t SetShellMaxLocation(ShellRecord* shell, int32_t location);
int32_t SetShellDSPCode(ShellRecord* shell, char** code);
int32_t SetShellHostCodeHandler(ShellRecord* shell, DSIHostCodeHandler handler);
// Old access makes a zeroed record of its own and frees it again.
int32_t CreateShell(ShellRecord** shell);
int32_t DestroyShell(ShellRecord* shell);
int32_t ShellDSPCodeIsNULL(ShellRecord* shell, bool* isNull);
// Null with status 0 in new access.
int32_t GetCardQuickReadAddrFromDSP(DSPRecord* dsp, void** address);

// Card questions; an answer the driver cannot give is false (or -1).
bool IsDSP321(DSPRecord* dsp);
bool IsSRAMCore(DSPRecord* dsp);
int16_t GetDSPCardIndex(DSPRecord* dsp);
bool IsTDM2(DSPRecord* dsp);
bool IsPresto(DSPRecord* dsp);
bool IsGershwin(DSPRecord* dsp);
bool IsSatchmoMaria(DSPRecord* dsp);
bool IsSatchmo(DSPRecord* dsp);
bool IsMerle(DSPRecord* dsp);
bool IsDSP563xx(DSPRecord* dsp);
// The driver type serving the DSP's card, -1 for a card it does not know.
int32_t DSPToDriverType(DSPRecord* dsp, int32_t* driverType);

// Whether a card of that type is installed; the driver's initialisation
// failure is thrown as CDAEError.
bool IsCardPresent(int16_t cardType);
bool G3IsPresent();
bool G2IsPresent();
bool AM3IsPresent();
bool Digi001IsPresent();
bool TDMIsPresent();
bool TDM2IsPresent();
bool DSP321IsPresent();
