#pragma once

// The DSP-card driver's own records, as the plug-in reads them when the
// driver offers no access entries ("old access"). The driver owns them. The
// fields are those the plug-in reads, in the driver's order; words that carry
// a pointer (clients, client values) are pointer-wide on this platform, so
// only the 78-byte DSP information block keeps its size.

#include <cstddef>
#include <cstdint>

struct CardRecord;
struct ShellRecord;

// The driver's description of one DSP, handed out whole by the driver. Its
// first pointer-wide bytes hold the address of the DSP's host-port register
// block (null where the driver offers none); the three words after it are the
// chip's own figures, which the plug-in keeps but does not interpret.
struct DSPInfoRecord {
  uint8_t bytes[78];
};
static_assert(sizeof(DSPInfoRecord) == 78);
constexpr size_t kDSPInfoHostPortOffset = 0;
constexpr size_t kDSPInfoWordsOffset = sizeof(void*);

// The host interface of a DSP as the card maps it for old access: byte
// registers at the offsets below. The card's registers change by themselves
// (a status bit sets when the chip has taken a word), so they are never
// cached: every access goes through the block's read and write routines,
// which on a card are single bus reads and writes of the mapped bytes.
struct SHostPortRegisters {
  uint8_t (*read)(SHostPortRegisters* block, int32_t offset);
  void (*write)(SHostPortRegisters* block, int32_t offset, uint8_t value);
};

constexpr int32_t kHostPortControl = 3;        // interface control; bit 0 cleared at set-up
constexpr int32_t kHostPortCommandVector = 7;  // bit 7: a host command is pending
constexpr int32_t kHostPortStatus = 11;        // interface status, the bits below
constexpr int32_t kHostPortDataHigh = 23;      // bits 16-23 of the 24-bit data word
constexpr int32_t kHostPortDataMiddle = 27;    // bits 8-15
constexpr int32_t kHostPortDataLow = 31;       // bits 0-7
constexpr uint8_t kHostPortReceiveFull = 1 << 0;
constexpr uint8_t kHostPortTransmitEmpty = 1 << 1;
constexpr uint8_t kHostPortTransmitterReady = 1 << 2;
constexpr uint8_t kHostPortCommandPending = 1 << 7;

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
