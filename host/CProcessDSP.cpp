#include "host/CProcessDSP.h"

#include "host/CProcessGroup.h"
#include "host/PlugInGlobals.h"
#include "host/services/CDAEError.h"
#include "host/services/DAECalls.h"
#include "host/services/DSICalls.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"

#include <vector>

namespace {
constexpr int32_t kNone = -1;          // a word the request leaves unused
constexpr int32_t kAllBits = 0xFFFFFF; // a set flag word
constexpr uint32_t kStatusWaitTicks = 30;
} // namespace

CProcessDSP::CProcessDSP() : fCriticalSection(Call_FicCreateCriticalSection()) {}

CProcessDSP::~CProcessDSP() {
  if (fCriticalSection) Call_FicDeleteCriticalSection(fCriticalSection);
}

void CProcessDSP::Enter() {
  Call_FicEnterCriticalSection(fCriticalSection);
  fBusy = ++fNesting == 1;
}

void CProcessDSP::Leave() {
  if (fNesting > 0) --fNesting;
  fBusy = false;
  Call_FicLeaveCriticalSection(fCriticalSection);
}

int32_t CProcessDSP::ShellOperation(EShellOperation operation, uintptr_t a, uintptr_t b, uintptr_t c) {
  switch (operation) {
  case eShell_Init: return SendHostCommand(0);
  case eShell_Start: return SendHostCommand(1);
  case eShell_GetDSPCodeInfo: {
    int32_t status = gProcessGroup
                         ? gProcessGroup->GetDSPCodeInfo(fDSP, static_cast<int16_t>(a), b)
                         : kPlugInErr_NoProcessGroup;
    if (status != kPlugInErr_NoProcessGroup) return status;
    return CDSP::ShellOperation(operation, a, b, c);
  }
  default: return CDSP::ShellOperation(operation, a, b, c);
  }
}

int32_t CProcessDSP::Request(int32_t sendCount, const int32_t* send, int32_t receiveCount, int32_t* receive) {
  Enter();
  int32_t status = CommandThenData(fMemoryCommand, receiveCount, receive, sendCount, send);
  Leave();
  return status;
}

int32_t CProcessDSP::Synchronize(int32_t* answer) {
  const int32_t words[] = {0, kNone, kNone};
  int32_t status = Request(3, words, 1, answer);
  if (status != 0) return status;
  return Request(3, words, 0, nullptr);
}

int32_t CProcessDSP::TransferBlock(int32_t op, int32_t a, int32_t b, int32_t c, int32_t address) {
  const int32_t words[] = {op, a, b, c, address + fAddressOffset};
  return Request(5, words, 0, nullptr);
}

int32_t CProcessDSP::ChangeBlock(int32_t op, int32_t a, int32_t b, int32_t c) {
  const int32_t words[] = {op, a, b, c};
  return Request(4, words, 0, nullptr);
}

int32_t CProcessDSP::SetBlockFlag(int32_t op, int32_t a, int32_t b, bool flag) {
  const int32_t words[] = {op, a, b, flag ? kAllBits : 0};
  return Request(4, words, 0, nullptr);
}

int32_t CProcessDSP::SetSingleAddress(int32_t address) {
  fSingleAddress = address;
  const int32_t words[] = {7, kNone, kNone, address + fAddressOffset};
  return Request(4, words, 0, nullptr);
}

int32_t CProcessDSP::SetAddressRange(int32_t first, int32_t last) {
  fRangeFirst = first;
  fRangeLast = last;
  const int32_t words[] = {8, kNone, kNone, first + fAddressOffset, last + fAddressOffset};
  return Request(5, words, 0, nullptr);
}

int32_t CProcessDSP::SetStateData(const int32_t head[3], int32_t count, int32_t middle,
                                  const int32_t* const* first, int32_t firstWords, const int32_t tail[2],
                                  const int32_t* const* second, int32_t secondWords) {
  if (!first || !*first || !second || !*second) {
    platform::debuggerString(".CProcessDSP::SetStateData anXStateMem == NULL.");
    return kDSPErr_StateMemory;
  }
  if (count < 0 || firstWords < count || secondWords < count) {
    platform::debuggerString(";CProcessDSP::SetStateData anXStateMem valid, but too small!");
    return kDSPErr_StateMemory;
  }
  std::vector<int32_t> words{9, head[0], head[1], head[2], count, middle};
  words.insert(words.end(), *first, *first + count);
  words.insert(words.end(), tail, tail + 2);
  words.insert(words.end(), *second, *second + count);
  return Request(static_cast<int32_t>(words.size()), words.data(), 0, nullptr);
}

int32_t CProcessDSP::SetLongValue(int32_t a, int32_t b, int32_t value) {
  if (IsAvailable() == -1) return kDSPErr_Unavailable;
  uint32_t v = static_cast<uint32_t>(value);
  const int32_t words[] = {11, kNone, kNone, a, b, static_cast<int32_t>(v >> 24), static_cast<int32_t>(v & 0xFFFFFF)};
  return Request(7, words, 0, nullptr);
}

int32_t CProcessDSP::ReadStatusWord(int32_t* answer) {
  const int32_t words[] = {12, kNone, kNone};
  return Request(3, words, 1, answer);
}

int32_t CProcessDSP::ReadWord(int32_t a, int32_t b, int32_t* answer) {
  const int32_t words[] = {13, a, b};
  return Request(3, words, 1, answer);
}

int32_t CProcessDSP::Acknowledge() {
  const int32_t words[] = {14, kNone, kNone};
  return Request(3, words, 0, nullptr);
}

int32_t CProcessDSP::ReadPair(bool flag, int32_t answer[2]) {
  const int32_t words[] = {15, kNone, kNone, flag ? 1 : 0};
  return Request(4, words, 2, answer);
}

uint32_t CProcessDSP::GetCurrentTimeOfDay() {
  const int32_t words[] = {16, kNone, kNone};
  int32_t answer[2] = {0, 0};
  Request(3, words, 2, answer);
  if (answer[0] < 0) platform::debuggerString("5CProcessDSP::GetCurrentTimeOfDay TODHi is negative!;g");
  return (static_cast<uint32_t>(answer[0]) & 255) << 24 | (static_cast<uint32_t>(answer[1]) & 0xFFFFFF);
}

// ------------------------------------------------------------ generic chips

int32_t CGenericDSP::GetHostBit(int32_t bit, uint8_t* value) {
  if (fNewAccess) return Call_DsiGetHostBit(DSPWord(), static_cast<uintptr_t>(bit), reinterpret_cast<uintptr_t>(value));
  if (!fHostPort) return kDSPErr_NoChip;
  if (bit < 0 || bit > 7) return HostStatus::kUnexpectedCase;
  *value = (ReadRegister(kHostPortStatus) >> bit) & 1;
  return 0;
}

int32_t CGenericDSP::SetHostBit(int32_t bit, uint8_t value) {
  if (fNewAccess) return Call_DsiSetHostBit(DSPWord(), static_cast<uintptr_t>(bit), value);
  if (!fHostPort) return kDSPErr_NoChip;
  if (bit < 0 || bit > 7) return HostStatus::kUnexpectedCase;
  uint8_t control = ReadRegister(kHostPortControl);
  control = value ? control | (1u << bit) : control & ~(1u << bit);
  WriteRegister(kHostPortControl, control);
  return 0;
}

C321ChipDSP::C321ChipDSP() {
  fCommandBase = 58;
  fAddressOffset = 0x801800;
  fMemoryBaseX = 511;
  fMemoryBaseY = 510;
}

// -------------------------------------------------------------- Onyx family

COnyxChipDSP::COnyxChipDSP() { fAddressOffset = 0x8001C0; }

namespace {
// Mask bits 8, 16 and 32 are host-port bits 4, 5 and 6.
template <class F> int32_t forEachFlag(int32_t mask, F f) {
  for (int32_t bit = 4; bit <= 6; ++bit)
    if (mask & (1 << (bit - 1)))
      if (int32_t status = f(bit)) return status;
  return 0;
}
} // namespace

int32_t COnyxChipDSP::SetHostFlags(int32_t mask) {
  if (fNewAccess) return forEachFlag(mask, [&](int32_t bit) { return CGenericDSP::SetHostBit(bit, 1); });
  if (!fHostPort) return kDSPErr_NoChip;
  WriteRegister(kHostPortControl, static_cast<uint8_t>(ReadRegister(kHostPortControl) | (mask & 0x38)));
  return 0;
}

int32_t COnyxChipDSP::ClearHostFlags(int32_t mask) {
  if (fNewAccess) return forEachFlag(mask, [&](int32_t bit) { return CGenericDSP::SetHostBit(bit, 0); });
  if (!fHostPort) return kDSPErr_NoChip;
  WriteRegister(kHostPortControl, static_cast<uint8_t>(ReadRegister(kHostPortControl) & ~(mask & 0x38)));
  return 0;
}

int32_t COnyxChipDSP::GetHostBit(int32_t bit, uint8_t* value) {
  if (bit != 0 && bit != 1 && bit != 7 && bit != 8 && bit != 9) return HostStatus::kUnexpectedCase;
  if (fNewAccess || bit <= 7) return CGenericDSP::GetHostBit(bit, value);
  // Bits 8 and 9 are the chip's own flags, in status bits 3 and 4.
  if (!fHostPort) return kDSPErr_NoChip;
  *value = (ReadRegister(kHostPortStatus) >> (bit - 5)) & 1;
  return 0;
}

int32_t COnyxChipDSP::WaitForHostStatus(int32_t mask) {
  if (fNewAccess) return Call_WaitForHostStatusBitSet(DSPWord(), mask);
  if (!fHostPort) return kDSPErr_NoHostPort;
  uint32_t start = platform::ticks();
  do {
    if (ReadRegister(kHostPortStatus) & mask) return 0;
  } while (platform::ticks() - start <= kStatusWaitTicks);
  return kDSPErr_HostPortTimeOut;
}

CPrestoChipDSP::CPrestoChipDSP() {
  fOnyxCommand = 74;
  fAddressOffset = 0x801800;
  fMemoryBaseX = 511;
  fMemoryBaseY = 510;
}
