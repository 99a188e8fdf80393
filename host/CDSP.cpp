#include "host/CDSP.h"

#include "host/DSPManagerRoutines.h"
#include "host/PlugInEntryPoints.h"
#include "host/services/CDAEError.h"
#include "host/services/DSICalls.h"
#include "host/services/DSIServices.h"
#include "platform/ResourceFile.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

bool gHasPENResources = false;

namespace {

template <class T> uintptr_t word(T* p) { return reinterpret_cast<uintptr_t>(p); }

constexpr int32_t kShellID = 0x44696769; // 'Digi'
constexpr uint32_t kProgramResourceType = 0x53414344; // 'SACD'
constexpr uint32_t kPENResourceType = 0x50454E20; // 'PEN '

// A bundle's resource of type t and id n is the file Resources/t/n, with the
// type's trailing spaces left out of the folder's name.
std::string resourceFolder(uint32_t type) {
  std::string name;
  for (int shift = 24; shift >= 0; shift -= 8) name += static_cast<char>((type >> shift) & 0xFF);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

// A loaded resource as a handle: the master pointer first, so that the
// handle is the block's address. The data end in a 0 byte the file does not
// hold, so that a reader of text stops inside the block.
struct SResourceBlock {
  char* master;
  size_t size;
};

char** loadResource(BundleRef bundle, uint32_t type, int16_t id) {
  std::string folder = bundle ? bundle->resourcePath(resourceFolder(type)) : "";
  if (folder.empty()) throw CDAEError(kDSPErr_ProgramMissing);
  std::ifstream in(folder + "/" + std::to_string(id), std::ios::binary);
  if (!in) throw CDAEError(kDSPErr_ProgramMissing);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw CDAEError(HostStatus::kNullObject);
  auto* block = new SResourceBlock{new char[bytes.size() + 1], bytes.size()};
  std::memcpy(block->master, bytes.data(), bytes.size());
  block->master[bytes.size()] = 0;
  return &block->master;
}

void releaseResource(char** handle) {
  if (!handle) return;
  auto* block = reinterpret_cast<SResourceBlock*>(handle);
  delete[] block->master;
  delete block;
}

// The bus is synchronised around every register access, so that the chip
// sees the accesses in program order. A locked read-modify-write is a full
// barrier on the processor, as a fence is, and one that the thread checker
// understands (it cannot model a bare fence and warns of it).
void synchronize() {
  static std::atomic<int> bus{0};
  bus.fetch_add(0, std::memory_order_seq_cst);
}

} // namespace

CDSP::CDSP() {
  const char* path = CProcessGroupGetBundleRef();
  BundleRef own = path && *path ? platform::Bundle::open(path) : nullptr;
  gHasPENResources = own && !own->resourcePath(resourceFolder(kPENResourceType)).empty();
}

CDSP::~CDSP() {
  if (fShell) DestroyShell(fShell);
}

int32_t CDSP::Initialize(DSPRecord* dsp) {
  fUseCount = 0;
  fNewAccess = UseNewDSIAccess();
  if (!dsp) return 0;
  fDSP = dsp;
  int32_t status = GetDSPInfoRecord(dsp, &fInfo);
  if (status != 0) return status;
  status = SetUpHostPort();
  if (status != 0) return status;
  std::memcpy(fChipFigures, fInfo.bytes + kDSPInfoWordsOffset, sizeof fChipFigures);
  int16_t cardType = GetCardType();
  fCardIs18 = cardType == 18;
  fCardIs18Or19 = cardType == 18 || cardType == 19;

  if (fShell) DestroyShell(fShell); // a chip initialised again gets a new shell
  fShell = nullptr;
  if ((status = CreateShell(&fShell)) != 0) return status;
  if ((status = SetShellID(fShell, kShellID)) != 0) return status;
  if ((status = SetShellIsStandard(fShell, 1)) != 0) return status;
  if ((status = SetShellDSPCode(fShell, nullptr)) != 0) return status;
  status = SetShellHostCodeHandler(fShell, reinterpret_cast<DSIHostCodeHandler>(&DSPManagerRoutineTable));
  if (status != 0) return status;
  return SetShellMaxLocation(fShell, 0);
}

int32_t CDSP::SetUpHostPort() {
  fHostPort = nullptr;
  if (!fNewAccess) std::memcpy(&fHostPort, fInfo.bytes + kDSPInfoHostPortOffset, sizeof fHostPort);
  fHostPortCopy = fHostPort;
  if (fHostPort) WriteRegister(kHostPortControl, ReadRegister(kHostPortControl) & ~1u);
  return 0;
}

DSPRecord* CDSP::FindFreeDSP() {
  DSPRecord* dsp = nullptr;
  ThrowIfDAEError(Call_GetDSPList(word(&dsp)));
  while (dsp) {
    uintptr_t client = 0;
    if (GetDSPClient(dsp, &client) == 0 && client == 0) return dsp;
    DSPRecord* next = nullptr;
    if (GetNextDSP(dsp, &next) != 0) return nullptr;
    dsp = next;
  }
  return nullptr;
}

void CDSP::LoadProgram(BundleRef bundle, int16_t resourceID) {
  platform::ResourceFileSaver saver;
  // A map already current stays open for whoever opened it.
  bool wasOpen = bundle && platform::resourceMapBundle(platform::currentResourceFile()) == bundle;
  platform::ResourceFileRef map = platform::openResourceMap(bundle);
  char** code = nullptr;
  auto finish = [&] {
    if (fShell) SetShellDSPCode(fShell, nullptr);
    releaseResource(code);
    if (map > 0 && !wasOpen) platform::closeResourceMap(map);
  };
  try {
    code = loadResource(bundle, kProgramResourceType, resourceID);
    ThrowIfDAEError(SetShellDSPCode(fShell, code));
    ShellRecord* current = nullptr;
    ShellRecord* first = nullptr;
    ThrowIfDAEError(GetDSPShell(fDSP, &current));
    ThrowIfDAEError(Call_GetShellList(word(&first)));
    if (current != first) {
      ThrowIfDAEError(SetDSPClientVal(fDSP, 0));
      ThrowIfDAEError(Call_ResetDSP(DSPWord()));
      ThrowIfDAEError(Call_DsiLoadShell(DSPWord(), word(first), 0));
    }
    ThrowIfDAEError(SetDSPClientVal(fDSP, word(this)));
    ThrowIfDAEError(Call_DsiLoadShell(DSPWord(), word(fShell), word(this)));
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

void CDSP::ReleaseChip() {
  if (fNewAccess) Call_DsiSetHostBit(DSPWord(), 10, 0);
  ShellRecord* first = nullptr;
  ThrowIfDAEError(Call_GetShellList(word(&first)));
  ThrowIfDAEError(Call_DsiLoadShell(DSPWord(), word(first), 0));
  ThrowIfDAEError(SetDSPClientVal(fDSP, 0));
}

int16_t CDSP::GetCardType() {
  int16_t type = 0;
  return fDSP && GetCardTypeFromDSP(fDSP, &type) == 0 ? type : 0;
}

void* CDSP::GetQuickReadAddress() {
  void* address = nullptr;
  return fDSP && GetCardQuickReadAddrFromDSP(fDSP, &address) == 0 ? address : nullptr;
}

// ------------------------------------------------------------- registers

uint8_t CDSP::ReadRegister(int32_t offset) {
  synchronize();
  uint8_t value = fHostPort->read(fHostPort, offset);
  synchronize();
  return value;
}

void CDSP::WriteRegister(int32_t offset, uint8_t value) {
  synchronize();
  fHostPort->write(fHostPort, offset, value);
  synchronize();
}

int32_t CDSP::WaitForRegister(int32_t offset, uint8_t mask, bool set) {
  for (int32_t count = kHostPortPolls; count >= 0; --count)
    if (((ReadRegister(offset) & mask) != 0) == set) return 0;
  return kDSPErr_HostPortTimeOut;
}

// ------------------------------------------------------------- host port

int32_t CDSP::SendHostCommand(int16_t command) {
  int32_t number = HostCommandNumber(command);
  if (fNewAccess) return Call_DsiDoHostCommand(DSPWord(), static_cast<int16_t>(number), kDSIHostPortTimeOut);
  if (!fHostPort) return kDSPErr_NoChip;
  if (int32_t status = WaitForRegister(kHostPortCommandVector, kHostPortCommandPending, false)) return status;
  WriteRegister(kHostPortCommandVector, static_cast<uint8_t>(number + kHostPortCommandPending));
  return 0;
}

int32_t CDSP::SendHostCommandOnEmptyPort(int16_t command) {
  if (fNewAccess)
    return Call_DsiDoHostCommandOnEmptyHostPort(DSPWord(), static_cast<uintptr_t>(HostCommandNumber(command)),
                                                kDSIHostPortTimeOut);
  if (!fHostPort) return kDSPErr_NoChip;
  if (int32_t status = WaitForRegister(kHostPortStatus, kHostPortTransmitterReady, true)) return status;
  return SendHostCommand(command);
}

int32_t CDSP::SendWord(int32_t value) {
  if (fNewAccess) return Call_DsiSendLo24of32(DSPWord(), static_cast<uint32_t>(value), kDSIHostPortTimeOut);
  if (!fHostPort) return kDSPErr_NoChip;
  if (int32_t status = WaitForRegister(kHostPortStatus, kHostPortTransmitEmpty, true)) return status;
  WriteRegister(kHostPortDataHigh, static_cast<uint8_t>(value >> 16));
  WriteRegister(kHostPortDataMiddle, static_cast<uint8_t>(value >> 8));
  WriteRegister(kHostPortDataLow, static_cast<uint8_t>(value));
  return 0;
}

int32_t CDSP::ReceiveWord(int32_t* value) {
  if (fNewAccess) return Call_DsiGetLo24ofS32(DSPWord(), word(value), kDSIHostPortTimeOut);
  if (!fHostPort) return kDSPErr_NoChip;
  if (int32_t status = WaitForRegister(kHostPortStatus, kHostPortReceiveFull, true)) return status;
  uint32_t w = static_cast<uint32_t>(ReadRegister(kHostPortDataHigh)) << 16;
  w |= static_cast<uint32_t>(ReadRegister(kHostPortDataMiddle)) << 8;
  w |= ReadRegister(kHostPortDataLow);
  *value = static_cast<int32_t>(w << 8) >> 8;
  return 0;
}

int32_t CDSP::SendWords(int32_t count, const int32_t* words) {
  if (fNewAccess)
    return Call_DsiSendLo24of32Check(DSPWord(), static_cast<uintptr_t>(count), word(words), kHostPortBlockTimeOut);
  for (int32_t i = 0; i < count; ++i)
    if (int32_t status = SendWord(words[i])) return status;
  return 0;
}

int32_t CDSP::ReceiveWords(int32_t count, int32_t* words) {
  if (fNewAccess)
    return Call_DsiGetLo24ofS32Check(DSPWord(), static_cast<uintptr_t>(count), word(words), kHostPortBlockTimeOut);
  for (int32_t i = 0; i < count; ++i)
    if (int32_t status = ReceiveWord(&words[i])) return status;
  return 0;
}

int32_t CDSP::CommandThenData(int16_t command, int32_t receiveCount, int32_t* receive, int32_t sendCount,
                              const int32_t* send) {
  return CommandWithData(command, false, receiveCount, receive, sendCount, send);
}

int32_t CDSP::DataThenCommand(int16_t command, int32_t receiveCount, int32_t* receive, int32_t sendCount,
                              const int32_t* send) {
  return CommandWithData(command, true, receiveCount, receive, sendCount, send);
}

int32_t CDSP::CommandWithData(int16_t command, bool sendFirst, int32_t receiveCount, int32_t* receive,
                              int32_t sendCount, const int32_t* send) {
  if (fNewAccess)
    return Call_DsiDoHostCommandWithDataList(DSPWord(), static_cast<uintptr_t>(HostCommandNumber(command)),
                                             sendFirst ? 1 : 0, receiveCount, receive, sendCount, send);
  int32_t status;
  if (sendFirst) {
    if ((status = SendWords(sendCount, send)) != 0) return status;
    if ((status = SendHostCommandOnEmptyPort(command)) != 0) return status;
  } else {
    if ((status = SendHostCommandOnEmptyPort(command)) != 0) return status;
    if ((status = SendWords(sendCount, send)) != 0) return status;
  }
  return ReceiveWords(receiveCount, receive);
}

// ------------------------------------------------------------------ shell

int32_t CDSP::ShellOperation(EShellOperation operation, uintptr_t a, uintptr_t b, uintptr_t c) {
  uintptr_t dsp = DSPWord();
  int32_t status;
  Enter();
  switch (operation) {
  case eShell_GetXWord: status = Call_SGetXWord(dsp, a, b); break;
  case eShell_GetYWord: status = Call_SGetYWord(dsp, a, b); break;
  case eShell_GetPWord: status = Call_SGetPWord(dsp, a, b); break;
  case eShell_ChangeXBits: status = Call_SChangeXBits(dsp, a, b, c); break;
  case eShell_ChangeYBits: status = Call_SChangeYBits(dsp, a, b, c); break;
  case eShell_ChangePBits: status = Call_SChangePBits(dsp, a, b, c); break;
  case eShell_Execute: status = Call_SExecute(dsp, static_cast<int16_t>(a)); break;
  case eShell_SetLeftRightBit: status = Call_SSetLeftRightBit(dsp, a); break;
  case eShell_GetControlLatch: status = Call_SGetControlLatch(dsp, a); break;
  case eShell_SetControlLatch: status = Call_SSetControlLatch(dsp, a); break;
  case eShell_Init: status = Call_SInitShell(dsp); break;
  case eShell_Start: status = Call_SStartShell(dsp); break;
  case eShell_Pause: status = Call_SPauseShell(dsp); break;
  case eShell_Resume: status = Call_SResumeShell(dsp); break;
  case eShell_SetInputDelay: status = Call_SSetInputDelay(dsp, a); break;
  case eShell_SetOutputDelay: status = Call_SSetOutputDelay(dsp, a); break;
  case eShell_UpdateDSPPeripheral: status = Call_SUpdateDSPPeripheral(dsp); break;
  case eShell_GetDSPCodeInfo: status = Call_SGetDSPCodeInfo(dsp, static_cast<int16_t>(a), b); break;
  default: status = HostStatus::kUnexpectedCase; break;
  }
  Leave();
  return status;
}
