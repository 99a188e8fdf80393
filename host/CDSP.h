#pragma once

// One DSP chip claimed by a plug-in that runs on the host's DSP cards. The
// object loads the plug-in's DSP program into a shell on the chip, talks to
// the chip through its host port (host commands and 24-bit data words) and
// answers the DSP manager's calls, which reach it through the routine table
// (DSPManagerRoutines.h) with the object kept as the DSP record's client
// value.
//
// The host port is reached in one of two ways, chosen at the group's start
// (UseNewDSIAccess): through the driver's host-port entries ("new access"),
// or on the chip's registers directly ("old access"), polling a status bit
// before each transfer. Polling gives up after a million tries with -7218
// and then touches no register; a chip without a register block answers -1.
//
// Chip families differ in how they number host commands and lay out memory
// and get subclasses (CProcessDSP.h). A host-native instrument never takes
// this road; the classes serve plug-ins built on the same host layer.

#include "host/services/DSIRecords.h"
#include "platform/Bundle.h"

#include <cstdint>

// Statuses of the DSP-card road.
constexpr int32_t kDSPErr_NoChip = -1;                // old access without a register block
constexpr int32_t kDSPErr_ProgramMissing = -7061;     // no program resource of that id
constexpr int32_t kDSPErr_NoDSPManager = -7080;       // the host offers no DSP manager
constexpr int32_t kDSPErr_NoHostPort = -7201;         // a wait on a chip without a register block
constexpr int32_t kDSPErr_HostPortTimeOut = -7218;    // the host port never became ready
constexpr int32_t kDSPErr_Unavailable = -7433;        // the chip refuses the request
constexpr int32_t kDSPErr_StateMemory = -108;         // state memory missing or too small

// The shell operations the DSP manager asks of a chip, in the order of its
// selectors (256 onwards); each is the driver entry of the same name.
enum EShellOperation : int32_t {
  eShell_GetXWord,
  eShell_GetYWord,
  eShell_GetPWord,
  eShell_ChangeXBits,
  eShell_ChangeYBits,
  eShell_ChangePBits,
  eShell_Execute,
  eShell_SetLeftRightBit,
  eShell_GetControlLatch,
  eShell_SetControlLatch,
  eShell_Init,
  eShell_Start,
  eShell_Pause,
  eShell_Resume,
  eShell_SetInputDelay,
  eShell_SetOutputDelay,
  eShell_UpdateDSPPeripheral,
  eShell_GetDSPCodeInfo,
  eShell_OperationCount
};

// Every old-access wait polls at most this often before it gives up.
constexpr int32_t kHostPortPolls = 1000000;
// New-access time-out of the n-word transfers.
constexpr uintptr_t kHostPortBlockTimeOut = 2000000000;

// Whether the plug-in's bundle carries resources of type 'PEN ' (recorded by
// every chip object's construction).
extern bool gHasPENResources;

class CDSP {
public:
  CDSP();
  // Destroys the shell.
  virtual ~CDSP();
  CDSP(const CDSP&) = delete;
  CDSP& operator=(const CDSP&) = delete;

  // Clears the use count; with a record: copies its information record, sets
  // up the host port, keeps the chip's figures and card flags and creates the
  // program shell ("Digi", standard, no code, the DSP manager's routine table
  // as host code handler, maximum location 0). The status of the last step.
  virtual int32_t Initialize(DSPRecord* dsp);
  // Gives the chip back: reloads the driver's first shell without a client
  // (new access also clears host-port bit 10). Driver statuses are thrown.
  virtual void ReleaseChip();
  // The object's bracket around chip access.
  virtual void Enter() {}
  virtual void Leave() {}
  // The first DSP of the driver's list without a client, or null; a failing
  // list is thrown.
  virtual DSPRecord* FindFreeDSP();
  // Loads resource 'SACD' resourceID of bundle as the shell's program and
  // makes this object the chip's client (reloading the driver's first shell
  // first when another shell is on the chip). Failures are thrown: -7061 for
  // a missing resource, driver statuses as they come.
  virtual void LoadProgram(BundleRef bundle, int16_t resourceID);

  // The host port.
  virtual int32_t SendHostCommand(int16_t command);
  virtual int32_t SendHostCommandOnEmptyPort(int16_t command);
  virtual int32_t ReceiveWord(int32_t* word); // sign-extended from 24 bits
  virtual int32_t SendWord(int32_t word);     // the low 24 bits
  virtual int32_t SendWords(int32_t count, const int32_t* words);
  virtual int32_t ReceiveWords(int32_t count, int32_t* words);
  // A host command with the words to send after it (or before it), then
  // receiveCount words received.
  int32_t CommandThenData(int16_t command, int32_t receiveCount, int32_t* receive, int32_t sendCount,
                          const int32_t* send);
  int32_t DataThenCommand(int16_t command, int32_t receiveCount, int32_t* receive, int32_t sendCount,
                          const int32_t* send);

  // The shell operations, each between Enter and Leave; the words are the
  // driver entry's arguments after the DSP record.
  virtual int32_t ShellOperation(EShellOperation operation, uintptr_t a, uintptr_t b, uintptr_t c);

  virtual int16_t GetCardType();
  DSPRecord* GetDSPRecord() const { return fDSP; }
  void SetDSPRecord(DSPRecord* dsp) { fDSP = dsp; }
  ShellRecord* GetShell() const { return fShell; }
  uintptr_t GetCallerWord() const { return fCallerWord; }
  void SetCallerWord(uintptr_t word) { fCallerWord = word; }
  void* GetQuickReadAddress();
  // Old access: clears bit 0 of the interface control register.
  virtual int32_t SetUpHostPort();

  void IncrementUseCount() { ++fUseCount; }
  void DecrementUseCount() { --fUseCount; }
  int16_t GetUseCount() const { return fUseCount; } // 0: free

  bool IsNewAccess() const { return fNewAccess; }
  SHostPortRegisters* GetHostPort() const { return fHostPort; }
  int16_t GetCommandBase() const { return fCommandBase; }
  const int32_t* GetChipFigures() const { return fChipFigures; }
  bool IsCardType18() const { return fCardIs18; }
  bool IsCardType18Or19() const { return fCardIs18Or19; }

protected:
  // The number a host command n goes out as.
  virtual int32_t HostCommandNumber(int16_t command) const { return command + fCommandBase; }
  virtual int32_t CommandWithData(int16_t command, bool sendFirst, int32_t receiveCount, int32_t* receive,
                                  int32_t sendCount, const int32_t* send);

  // Old access on the register block, with the bus synchronised around every
  // access. WaitForStatus polls until (register & mask) != 0 equals set: 0,
  // or -7218 when it gives up.
  uint8_t ReadRegister(int32_t offset);
  void WriteRegister(int32_t offset, uint8_t value);
  int32_t WaitForRegister(int32_t offset, uint8_t mask, bool set);
  uintptr_t DSPWord() const { return reinterpret_cast<uintptr_t>(fDSP); }

  SHostPortRegisters* fHostPort = nullptr;
  SHostPortRegisters* fHostPortCopy = nullptr;
  DSPInfoRecord fInfo{};
  int32_t fChipFigures[3] = {};
  DSPRecord* fDSP = nullptr;
  ShellRecord* fShell = nullptr;
  int16_t fUseCount = 0;
  bool fCardIs18 = false;
  bool fCardIs18Or19 = false;
  uintptr_t fCallerWord = 0;
  bool fNewAccess = false;
  int16_t fCommandBase = 18;
};
