#include "host/CEffectType.h"

#include "host/CEffectProcess.h"
#include "host/services/CDAEError.h"
#include "host/services/HostStrings.h"
#include "host/services/StemFormat.h"

#include <algorithm>
#include <cstring>
#include <memory>

bool CProcessType::IsInstance(int32_t instanceID) const {
  for (const CProcess* p : fProcesses)
    if (p->GetInstanceID() == instanceID) return true;
  return false;
}

CEffectType::CEffectType(uint32_t typeID, uint32_t typeID2, uint32_t categoryBits)
    : fTypeID(typeID), fTypeID2(typeID2), fCategoryBits(categoryBits) {}

void CEffectType::DefineTypeNames(const char* names) { fNames = names ? names : ""; }

void CEffectType::AddGestalt(int32_t selector) {
  if (std::find(fGestalts.begin(), fGestalts.end(), selector) == fGestalts.end()) fGestalts.push_back(selector);
}

void CEffectType::DefineSampleRateSupport(int32_t rates) { fSampleRates = rates; }

void CEffectType::DefineStemFormats(EPlugIn_StemFormat input, EPlugIn_StemFormat output, EPlugIn_StemFormat third) {
  fInput = input;
  fOutput = output;
  fThird = third;
}

void CEffectType::AttachEffectProcessCreator(ProcessCreator creator, void* refCon) {
  fCreator = creator;
  fRefCon = refCon;
}

int32_t CEffectType::GetProcessTypeName(int32_t maxLength, unsigned char* name) const {
  name[0] = 0;
  if (fNames.empty()) return kPlugInErr_Unexpected;
  maxLength = std::clamp(maxLength, 0, 255);
  char buffer[256];
  GetStringOfLength(buffer, fNames.c_str(), maxLength);
  size_t n = std::min(std::strlen(buffer), static_cast<size_t>(maxLength));
  name[0] = static_cast<unsigned char>(n);
  std::memcpy(name + 1, buffer, n);
  return 0;
}

int32_t CEffectType::Gestalt(int32_t selector, int32_t* answer) const {
  *answer = 0;
  if (std::find(fGestalts.begin(), fGestalts.end(), selector) == fGestalts.end()) return 0;
  *answer = selector == ePlugInGestalt_SideChainInput ? SurroundFormatToNumChannels(fInput) + 1 : 1;
  return 0;
}

int32_t CEffectType::GetNumAuxOutputStems(int32_t instanceID, int32_t* count) const {
  if (!IsInstance(instanceID)) return kPlugInErr_NoSuchInstance;
  *count = 0;
  return 0;
}

int32_t CEffectType::GetAuxOutputStemInfo(int32_t instanceID, int32_t, SAuxOutputStemInfo* info) const {
  if (!IsInstance(instanceID)) return kPlugInErr_NoSuchInstance;
  *info = SAuxOutputStemInfo{0, ePlugIn_StemFormat_Mono};
  return 0;
}

CProcess* CEffectType::InstantiateProcess(int32_t instanceID) {
  if (!fCreator) throw CDAEError(kPlugInErr_Unexpected);
  std::unique_ptr<CEffectProcess> process(fCreator());
  if (!process) throw CDAEError(kPlugInErr_NoMemory);
  process->SetProcessType(this);
  process->SetInstanceID(instanceID);
  AdoptProcess(process.get());
  int32_t status;
  try {
    status = process->Initialize();
  } catch (...) {
    ReleaseProcess(process.get());
    throw;
  }
  if (status != 0) {
    ReleaseProcess(process.get());
    throw CDAEError(status);
  }
  return process.release();
}
