#pragma once

// The DSP-card driver's own records, as the plug-in reads them when the
// driver offers no access entries ("old access"). The driver owns them. The
// fields are those the plug-in reads, in the driver's order; words that carry
// a pointer (clients, client values) are pointer-wide on this platform, so
// only the 78-byte DSP information block keeps its size.

#include <cstdint>

struct CardRecord;
struct ShellRecord;

// The driver's description of one DSP, handed out whole by the driver.
struct DSPInfoRecord {
  uint8_t bytes[78];
};
static_assert(sizeof(DSPInfoRecord) == 78);

// Core-type flags of a DSP record.
constexpr int32_t kDSPCoreType321 = 1 << 9;  // a DSP 321 chip
constexpr int32_t kDSPCoreTypeSRAM = 1 << 4; // an SRAM core

struct DSPRecord {
  DSPRecord* next;        // the next DSP of the driver's list (all cards)
  uintptr_t client;       // the client that owns the DSP, 0 when free
  uintptr_t clientValue;  // the client's word (the plug-in keeps its DSP object here)
  CardRecord* card;       // the card the DSP sits on
  int16_t indexOnCard;    // 0-based
  ShellRecord* shell;     // the shell loaded on the DSP
  DSPInfoRecord info;
  int32_t coreType;       // kDSPCoreType... flags
};

struct CardRecord {
  CardRecord* next;
  int16_t cardType;
  DSPRecord* firstDSP;
  void* quickReadAddress;
};

using DSIHostCodeHandler = void (*)();

// A program slot on a DSP.
struct ShellRecord {
  uintptr_t client;
  uintptr_t clientValue;
  int32_t shellID;
  uint8_t isStandard;
  char** dspCode;                     // a handle, null when no code is set
  DSIHostCodeHandler hostCodeHandler;
  int32_t maxLocation;
};

// One client of the driver's client list.
struct SDSIClientRecord {
  SDSIClientRecord* next;
  uint32_t signature;        // four characters
  uintptr_t progressHandler; // non-zero when the client takes progress messages
};

constexpr uint32_t kProgressClientSignature = 0x5072674C; // 'PrgL'
constexpr int32_t kProgressMessageCode = 1002;

// A message for a driver client (DsiSendMsg).
struct SDSIMessage {
  uintptr_t reserved;  // 0
  uintptr_t client;
  int32_t code;        // kProgressMessageCode
  int32_t dataSize;    // bytes of data: 4
  int32_t data;
};
