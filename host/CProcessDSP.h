#pragma once

// The chip families of the DSP-card road. CProcessDSP talks to the program
// the plug-in loads: every request is one host command with a data list on
// the memory command, made inside the object's own critical section, whose
// first word names the request. The families differ in their command
// numbering and memory layout:
//
//   CProcessDSP      command base 18, memory command 13, bases 63 and 63,
//                    address offset 65472
//   C321ChipDSP      command base 58, bases 511 and 510, offset 0x801800
//   COnyxChipDSP     commands go out as (n + 58) x 2, offset 0x8001C0, host
//                    flags by mask, host status waits of at most 30 ticks
//   CPrestoChipDSP   as Onyx with command number 74, bases 511 and 510,
//                    offset 0x801800
//
// GetNewCProcessDSP (DSPCardConnections.h) picks the family by card type.

#include "host/CDSP.h"

#include <cstdint>

class CProcessDSP : public CDSP {
public:
  CProcessDSP();
  // Deletes the critical section.
  ~CProcessDSP() override;

  // The object's critical section; Enter reports through IsOutermost whether
  // this entry is the outermost one.
  void Enter() override;
  void Leave() override;
  bool IsOutermost() const { return fBusy; }
  int32_t GetNesting() const { return fNesting; }

  // Shell initialise and start are the program's host commands 0 and 1; the
  // code information is the process group's, else the driver's.
  int32_t ShellOperation(EShellOperation operation, uintptr_t a, uintptr_t b, uintptr_t c) override;

  // The requests, by the number of their first word. Each returns the
  // status of the transfer.
  int32_t Synchronize(int32_t* answer);                                          // 0
  int32_t TransferBlock(int32_t op, int32_t a, int32_t b, int32_t c, int32_t address); // 1, 2
  int32_t ChangeBlock(int32_t op, int32_t a, int32_t b, int32_t c);              // 3, 4
  int32_t SetBlockFlag(int32_t op, int32_t a, int32_t b, bool flag);             // 6, 7
  int32_t SetSingleAddress(int32_t address);                                     // 7
  int32_t SetAddressRange(int32_t first, int32_t last);                         // 8
  // The state data: two blocks of count words each, given as handles with
  // the number of words they hold; a missing or short block gives -108.
  int32_t SetStateData(const int32_t head[3], int32_t count, int32_t middle, const int32_t* const* first,
                       int32_t firstWords, const int32_t tail[2], const int32_t* const* second,
                       int32_t secondWords);                                   // 9
  int32_t SetLongValue(int32_t a, int32_t b, int32_t value);                   // 11
  int32_t ReadStatusWord(int32_t* answer);                                     // 12
  int32_t ReadWord(int32_t a, int32_t b, int32_t* answer);                     // 13
  int32_t Acknowledge();                                                       // 14
  int32_t ReadPair(bool flag, int32_t answer[2]);                              // 15
  // The chip's time of day: 8 bits from the first word, 24 from the second.
  uint32_t GetCurrentTimeOfDay();                                              // 16

  // -1 when the chip cannot take requests that need it (SetLongValue).
  virtual int32_t IsAvailable() { return 0; }

  int32_t GetSingleAddress() const { return fSingleAddress; }
  int32_t GetRangeFirst() const { return fRangeFirst; }
  int32_t GetRangeLast() const { return fRangeLast; }
  int32_t GetAddressOffset() const { return fAddressOffset; }
  int32_t GetMemoryBase(int which) const { return which == 0 ? fMemoryBaseX : fMemoryBaseY; }

protected:
  // One request: the words sent after the memory command, then receiveCount
  // words received, inside the critical section.
  int32_t Request(int32_t sendCount, const int32_t* send, int32_t receiveCount, int32_t* receive);

  uintptr_t fCriticalSection = 0;
  int32_t fNesting = 0;
  bool fBusy = false;
  int16_t fMemoryCommand = 13;
  int32_t fMemoryBaseX = 63;
  int32_t fMemoryBaseY = 63;
  int32_t fAddressOffset = 65472;
  int32_t fSmallWords[2] = {0, 1};
  int32_t fSingleAddress = 0;
  int32_t fRangeFirst = 0;
  int32_t fRangeLast = 0;
};

// The chips whose host-port bits the plug-in reads and sets itself.
class CGenericDSP : public CProcessDSP {
public:
  // New access through the driver; old access on the status register
  // (reading) and the control register (setting), bits 0 to 7.
  virtual int32_t GetHostBit(int32_t bit, uint8_t* value);
  virtual int32_t SetHostBit(int32_t bit, uint8_t value);
};

class C321ChipDSP : public CGenericDSP {
public:
  C321ChipDSP();
};

class COnyxChipDSP : public CGenericDSP {
public:
  COnyxChipDSP();

  // Host flags by mask 8, 16, 32 (host-port bits 4, 5, 6).
  int32_t SetHostFlags(int32_t mask);
  int32_t ClearHostFlags(int32_t mask);
  // Host-port bits 0, 1, 7, 8 and 9 only; others -7401.
  int32_t GetHostBit(int32_t bit, uint8_t* value) override;
  // Waits for a status bit of the mask: at most 30 ticks in old access
  // (-7218, or -7201 without a register block).
  int32_t WaitForHostStatus(int32_t mask);

protected:
  int32_t HostCommandNumber(int16_t command) const override { return (command + fOnyxCommand) * 2; }
  int16_t fOnyxCommand = 58;
};

class CPrestoChipDSP : public COnyxChipDSP {
public:
  CPrestoChipDSP();
};
