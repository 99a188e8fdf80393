#pragma once

// How the host's DSP manager reaches the chip objects of a plug-in on its
// DSP cards. Every program shell the plug-in creates names
// DSPManagerRoutineTable as its host code handler; the manager asks it for
// the routine of a selector (256 to 273, the shell operations of CDSP in
// order) and calls the routine with the DSP record and up to three words.
// The routine finds the chip object kept as the record's client value and
// runs the operation on it.
//
// The plug-in's own exported Dispatcher sits between: the table hands every
// routine through it before answering, and shell initialise and pause tell
// it about the shell. Dispatcher, CDSPDoHostCommand, CDSPGetLoLong and
// CDSPSendLoLong are exported from the bundle for the manager.

#include "host/PlugInEntryPoints.h" // ZARN_PLUGIN_EXPORT
#include "host/services/DSIRecords.h"

#include <cstdint>

// The records handed to Dispatcher: a header of two 32-bit words (version 1,
// then the kind), then the kind's words. Words that carry a pointer are
// pointer-wide.
struct SDispatchHeader {
  int32_t fVersion;
  int32_t fKind;
};
constexpr int32_t kDispatchRoutineLookup = 0;
constexpr int32_t kDispatchShellInit = 1;
constexpr int32_t kDispatchShellPause = 2;

struct SDispatchRoutineLookup {
  SDispatchHeader fHeader; // {1, kDispatchRoutineLookup}
  int16_t fSelector;
  uintptr_t fRoutine;
};

struct SDispatchShellEvent {
  SDispatchHeader fHeader; // {1, kDispatchShellInit or kDispatchShellPause}
  DSPRecord* fDSP;
  uintptr_t fWord;         // gDSPDispatchWord
};

// A routine of the table: the DSP record and up to three words; a 16-bit
// status.
using DSPManagerRoutine = int16_t (*)(DSPRecord* dsp, uintptr_t a, uintptr_t b, uintptr_t c);

constexpr int16_t kFirstDSPManagerSelector = 256;
constexpr int16_t kLastDSPManagerSelector = 273;

// The word the shell events carry; the plug-in sets it as it needs.
extern uintptr_t gDSPDispatchWord;

// The routine of selector as the plug-in's Dispatcher answers it (the
// routine itself when the bundle has no Dispatcher); 0 for other selectors.
uintptr_t DSPManagerRoutineTable(int16_t selector);

// A routine lookup record gives its routine; anything else (no record, a
// shell event) gives 0.
ZARN_PLUGIN_EXPORT uintptr_t Dispatcher(const SDispatchHeader* record);
// The chip object of the record (its client value) sends a host command,
// receives a word or sends one; without a record or an object nothing
// happens (and 0 is received).
ZARN_PLUGIN_EXPORT void CDSPDoHostCommand(DSPRecord* dsp, int16_t command);
ZARN_PLUGIN_EXPORT int32_t CDSPGetLoLong(DSPRecord* dsp);
ZARN_PLUGIN_EXPORT void CDSPSendLoLong(DSPRecord* dsp, int32_t value);
