#pragma once

// The one process group of a plug-in bundle: what the host meets first. It
// tells the host the plug-in's names, version, manufacturer and
// capabilities, offers its process types, makes and deletes the processes
// (the instances), and holds the engine libraries and the host critical
// section for the whole run. The bundle supplies the group through
// CProcessGroup::CreateProcessGroup; NewMachOPlugIn runs its Initialize.

#include "host/HostInterface.h"

#include <cstdint>
#include <string>
#include <vector>

class CProcess;
class CProcessType;
struct DSPRecord;

// What the host-facing code needs of a group.
class CProcessGroupInterface {
public:
  CProcessGroupInterface() = default;
  virtual ~CProcessGroupInterface() = default;
  CProcessGroupInterface(const CProcessGroupInterface&) = delete;
  CProcessGroupInterface& operator=(const CProcessGroupInterface&) = delete;

  // The group's start-up, once, after creation: 0 or a status (or a thrown
  // CDAEError).
  virtual int32_t Initialize() = 0;
  // The host's idle time: every process idles.
  virtual void Idle() = 0;
  // Lets the host run pending work; nothing without an idle callback.
  virtual void IdleHost() = 0;
  // Called once per pass of a mouse-tracking loop: both idle operations.
  void IdleWhileTracking() {
    Idle();
    IdleHost();
  }
};

class CProcessGroup : public CProcessGroupInterface {
public:
  // Supplied by the bundle: its group, or null when none could be made.
  static CProcessGroupInterface* CreateProcessGroup();

  CProcessGroup();
  // Deletes the remaining processes and the types, the control-messaging
  // server and the critical section, and frees the engine libraries.
  ~CProcessGroup() override;

  // Binds the engine libraries (their errors are reported), sets up the
  // control-messaging server when the host offers it, and creates the host
  // critical section when the host's plug-in services allow it (-7060 when
  // they refuse, -7075 for a null handle).
  int32_t Initialize() override;
  void Idle() override;
  void IdleHost() override;

  // The group's critical section (no-ops without a host critical section).
  void EnterCriticalSection();
  void LeaveCriticalSection();
  uintptr_t GetCriticalSection() const { return fCriticalSection; }
  // Code information of a DSP program: -7026, this group has none.
  virtual int32_t GetDSPCodeInfo(DSPRecord* dsp, int16_t which, uintptr_t info);

  // Identity, as defined by the effect group.
  const std::string& GetNames() const { return fNames; }
  uint32_t GetVersion() const { return fVersion; }
  const std::string& GetManufacturerNames() const { return fManufacturerNames; }
  uint32_t GetManufacturerID() const { return fManufacturerID; }
  // Capabilities the group answers with 1; others 0.
  int32_t Gestalt(int32_t selector, int32_t* answer) const;

  int32_t GetNumProcessTypes() const { return static_cast<int32_t>(fTypes.size()); }
  // 1-based; null when absent.
  CProcessType* GetProcessType(int32_t index) const;

  // A new, initialised process of type index; throws its status on failure.
  CProcess* NewProcess(int32_t typeIndex);
  // -7126 for a process that is not one of this group's.
  int32_t DeleteProcess(CProcess* process);
  bool IsProcess(const CProcess* process) const;
  int32_t GetNumProcesses() const { return static_cast<int32_t>(fProcesses.size()); }

protected:
  void SetNamesAndVersion(const char* names, uint32_t version);
  void SetManufacturer(const char* names, uint32_t id);
  void AddGroupGestalt(int32_t selector);
  void AddProcessType(CProcessType* type);

private:
  std::string fNames;
  uint32_t fVersion = 0;
  std::string fManufacturerNames;
  uint32_t fManufacturerID = 0;
  std::vector<int32_t> fGestalts;
  std::vector<CProcessType*> fTypes;
  std::vector<CProcess*> fProcesses;
  int32_t fNextInstanceID = 1;
  uintptr_t fCriticalSection = 0;
  uintptr_t fMessagingServer = 0;
  uintptr_t fMessagingObject = 0;
};

// The group start-up of a plug-in whose types are defined by the group
// itself: the common start-up, then CreateProcessTypes.
class CDSPProcessGroup : public CProcessGroup {
public:
  int32_t Initialize() override;
  virtual void CreateProcessTypes() = 0;
};

// The bundle's resource map, switched in and out by host-drawn views: the
// first switch opens it (CDAEError -7400 when the group has no bundle or the
// bundle no resources); each switch makes it current and returns the file
// current before; each restore makes that file current again and, at the
// outermost, closes the map.
int16_t UseGroupResourceFile();
void RestoreGroupResourceFile(int16_t previous);
