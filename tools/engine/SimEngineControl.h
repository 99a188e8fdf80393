#pragma once

// The control interface that every simulated engine library exports beside
// its entry points. Tests and the simulated host look these functions up by
// name in the loaded library (platform::Bundle::function) and use them to
// decide what the library offers and to see what the plug-in asked of it.
//
// Settings are "key=value" pairs separated by ';' or line breaks. The
// library starts with its defaults plus the settings of its environment
// variable (ZARN_SIM_AUDIO_ENGINE, ZARN_SIM_CARD_DRIVER, ZARN_SIM_DSP_MANAGER)
// and goes back to that state on SimEngineReset.
//
// Settings every library understands:
//   missing=Name,Name     entry points the library does not export: looking
//                         them up by name finds nothing (applies to look-ups
//                         made after the setting)
//   result.Name=N         the value the entry returns instead of its own
//                         (cut to the entry's result width); "result.Name="
//                         removes the override
// Numbers are decimal or 0x-hexadecimal, optionally negative.
//
// Simulated audio engine:
//   gestalt.XXXX=N        answer N with status 0 to the four-character
//                         selector XXXX; "gestalt.XXXX=!S" gives status S and
//                         leaves the answer untouched; unlisted selectors give
//                         status -5551. Defaults: vqta=0, sdsh=1.
//   quantum=N             the maximum render quantum (default 32)
// Simulated card driver:
//   cards=T:N[:F],...     the installed cards: card type T with N DSPs whose
//                         core-type flags are F (default none)
//   clients=SIG:H,...     the driver's client list: four-character signature
//                         and a progress handler flag (0 or 1)
//   receive=W,...         words that the DSPs hand to the host, in order
//   hostbits=N            the host-port bits of every DSP (default 0xFFFF)
//   port.R=V,...          what successive reads of host-port register R give
//                         (the last value repeats); unscripted, the status
//                         register reads ready (receive full while words wait),
//                         the command vector reads its last value with the
//                         pending bit taken, and reading the high data byte
//                         takes the next word for the middle and low bytes.
//                         Every register write is logged:
//                         "HostPortWrite <dsp index> <register> <value>".
//                         Shells carry their program: a shell loaded with DSP
//                         code logs it ("DsiLoadShell ... program=<text>").
// Simulated DSP manager (the manager counts references: "managerRefs",
// "interfaceRefs"; "SimDSPManagerConnection" gives a connection object):
//   refuse=1              the manager has no interface to give
//   cmvc=N                the connection's answer to 'cmvc' (default 1)
//   changing=1            the connection's changing flag starts set
//   fail.Op.I=S           the connection's Op (ReactivateTalker,
//                         DeactivateTalker, ReactivateListener,
//                         DeactivateListener) on index I answers S;
//                         fail.Query=S and fail.SetChangingFlag=S likewise

#include <cstdint>

extern "C" {
using SimEngineConfigureProc = int32_t (*)(const char* settings); // 0, or -1 for a setting not understood
using SimEngineResetProc = void (*)();
// The calls received so far, one line each: the entry's name, then its
// arguments (numbers in decimal, words that can carry a pointer in hex).
// The text stays valid until the next call of SimEngineLog.
using SimEngineLogProc = const char* (*)();
using SimEngineClearLogProc = void (*)();
// A number the library keeps, 0 for a name it does not know. Audio engine:
// "objects" (live servers, objects and critical sections), "criticalSections",
// "enters", "leaves", "idles", "midiClients", "tokens" (queued). Card driver:
// "cards", "dsps", "shells", "portReads".
using SimEngineStateProc = int64_t (*)(const char* name);
// Audio engine only: queues a token with its task and task value for the
// plug-in's next FicSDSGetTokenAndTaskVal.
using SimEnginePostTokenProc = void (*)(uintptr_t token, uintptr_t task, uintptr_t taskValue);
// DSP manager only: the connection object (an IDSPConnection*).
using SimDSPManagerConnectionProc = void* (*)();
}

namespace sim {
constexpr const char* kConfigure = "SimEngineConfigure";
constexpr const char* kReset = "SimEngineReset";
constexpr const char* kLog = "SimEngineLog";
constexpr const char* kClearLog = "SimEngineClearLog";
constexpr const char* kState = "SimEngineState";
constexpr const char* kPostToken = "SimEnginePostToken";
constexpr const char* kConnection = "SimDSPManagerConnection";
} // namespace sim
