#pragma once

// The three engine libraries the plug-in binds (the host audio engine, the
// DSP-card driver interface and the DSP manager), one process-wide access
// object each, created on first need and freed when the process group
// closes. A failed creation leaves the holder empty, so the next use tries
// again. Creation and freeing happen on the host's main thread; afterwards
// any thread may read the holders and the entry tables.

#include "host/services/UDigiLibAccess.h"

#include <atomic>
#include <cstdint>

// Bundle identifiers of the host's libraries.
inline constexpr SPStringConstant kDAELibraryIdentifier("org.example.simhost.AudioEngine");
inline constexpr SPStringConstant kDSILibraryIdentifier("org.example.simhost.CardDriverInterface");
inline constexpr SPStringConstant kDSPMgrLibraryIdentifier("org.example.simhost.DSPManager");
inline constexpr SPStringConstant kStreamManagerLibraryIdentifier("org.example.simhost.StreamManager");

// File names of the frameworks that are also looked for by file.
inline constexpr const char* kDAEFrameworkName = "DAE.framework";
inline constexpr const char* kStreamManagerFrameworkName = "DigiStreamManager.framework";

class CDAELibAccess : public UDigiLibAccess {
public:
  CDAELibAccess();
  int32_t GetFunctionName(int32_t id, unsigned char* name) override;
};

class CDSILibAccess : public UDigiLibAccess {
public:
  CDSILibAccess();
  int32_t GetFunctionName(int32_t id, unsigned char* name) override;
};

class CDSPMgrLibAccess : public UDigiLibAccess {
public:
  CDSPMgrLibAccess();
  int32_t GetFunctionName(int32_t id, unsigned char* name) override;
};

// The process-wide holders; null while no access object exists.
extern std::atomic<CDAELibAccess*> gDAELibAccess;
extern std::atomic<CDSILibAccess*> gDSILibAccess;
extern std::atomic<CDSPMgrLibAccess*> gDSPMgrLibAccess;

// 0 when the holder is set or the library was loaded; else the load error.
int32_t InitializeDAELibAccess();
int32_t FreeDAELibAccess(); // always 0
int32_t InitializeDSILibAccess();
int32_t FreeDSILibAccess();
int32_t InitializeDSPMgrLibAccess();
int32_t FreeDSPMgrLibAccess();

// The DSP manager object, from the DSP-manager library's one entry; null when
// the library or the entry is missing.
void* GetDSPManager();
