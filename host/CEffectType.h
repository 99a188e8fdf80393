#pragma once

// Process types: the plug-in variants a group offers the host. Each type has
// its identifiers and category, its names (variants separated by newlines,
// longest first), the capabilities it answers, the sample rates and stem
// formats it supports, and the creator of its processes. The type keeps the
// processes it made, so that per-instance queries can tell its own instances.

#include "host/HostInterface.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

class CEffectProcess;
class CProcess;
class CProcessGroup;

class CProcessType {
public:
  CProcessType() = default;
  virtual ~CProcessType() = default;
  CProcessType(const CProcessType&) = delete;
  CProcessType& operator=(const CProcessType&) = delete;

  CProcessGroup* GetProcessGroup() const { return fGroup; }
  void SetProcessGroup(CProcessGroup* group) { fGroup = group; }

  // A new process of this type with that instance id, initialised, or a
  // thrown error.
  virtual CProcess* InstantiateProcess(int32_t instanceID) = 0;
  // Forgets a process of this type (the caller deletes it).
  void ReleaseProcess(CProcess* process) { fProcesses.erase(process); }
  bool IsInstance(int32_t instanceID) const;

protected:
  void AdoptProcess(CProcess* process) { fProcesses.insert(process); }

private:
  CProcessGroup* fGroup = nullptr;
  std::set<CProcess*> fProcesses;
};

class CEffectType : public CProcessType {
public:
  using ProcessCreator = CEffectProcess* (*)();

  CEffectType(uint32_t typeID, uint32_t typeID2, uint32_t categoryBits);

  void DefineTypeNames(const char* names);
  // Capabilities answered with 1 (side chain: the side-chain port's index).
  virtual void AddGestalt(int32_t selector);
  void DefineSampleRateSupport(int32_t rates);
  void DefineStemFormats(EPlugIn_StemFormat input, EPlugIn_StemFormat output, EPlugIn_StemFormat third);
  void AttachEffectProcessCreator(ProcessCreator creator, void* refCon);

  // The longest name variant of at most maxLength characters (else the last
  // cut) as a length-prefixed string (name holds maxLength + 1 bytes); 0, or
  // non-zero when the type has no names.
  int32_t GetProcessTypeName(int32_t maxLength, unsigned char* name) const;
  // 0 with the answer; an unanswered capability answers 0. The side-chain
  // capability answers the index of the side-chain input port (the input
  // channel count + 1).
  virtual int32_t Gestalt(int32_t selector, int32_t* answer) const;
  // Auxiliary output stems of an instance: none in this layer. 0, or -7126
  // for an instance id that is not one of this type's.
  int32_t GetNumAuxOutputStems(int32_t instanceID, int32_t* count) const;
  int32_t GetAuxOutputStemInfo(int32_t instanceID, int32_t stem, SAuxOutputStemInfo* info) const;

  // Builds a process with the creator, binds it to this type and runs its
  // Initialize; a failing Initialize deletes it again and throws its status.
  CProcess* InstantiateProcess(int32_t instanceID) override;

  uint32_t GetTypeID() const { return fTypeID; }
  uint32_t GetTypeID2() const { return fTypeID2; }
  uint32_t GetCategoryBits() const { return fCategoryBits; }
  const std::string& GetTypeNames() const { return fNames; }
  int32_t GetSampleRateSupport() const { return fSampleRates; }
  EPlugIn_StemFormat GetInputStemFormat() const { return fInput; }
  EPlugIn_StemFormat GetOutputStemFormat() const { return fOutput; }
  EPlugIn_StemFormat GetThirdStemFormat() const { return fThird; }
  const std::vector<int32_t>& GetGestalts() const { return fGestalts; }

private:
  uint32_t fTypeID, fTypeID2, fCategoryBits;
  std::string fNames;
  std::vector<int32_t> fGestalts;
  int32_t fSampleRates = 0;
  EPlugIn_StemFormat fInput = ePlugIn_StemFormat_Stereo;
  EPlugIn_StemFormat fOutput = ePlugIn_StemFormat_Stereo;
  EPlugIn_StemFormat fThird = ePlugIn_StemFormat_Mono;
  ProcessCreator fCreator = nullptr;
  void* fRefCon = nullptr;
};

// A type whose processes render on the host's own processor, called by the
// host's real-time render thread.
class CEffectTypeRTAS : public CEffectType {
public:
  CEffectTypeRTAS(uint32_t typeID, uint32_t typeID2, uint32_t categoryBits)
      : CEffectType(typeID, typeID2, categoryBits) {}
};
