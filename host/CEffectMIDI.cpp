#include "host/CEffectMIDI.h"

#include "host/CProcess.h"
#include "host/PlugInGlobals.h"

#include <algorithm>

CEffectMIDIWorld::~CEffectMIDIWorld() {
  LogOut();
  while (!fNodes.empty()) fNodes.back()->Detach(true);
}

int32_t CEffectMIDIWorld::LogIn() {
  if (IsLoggedIn()) return 0;
  SHostMIDIService* service = GetHostMIDIService();
  if (!service || !service->LogIn) return kPlugInErr_NoSuchSelector;
  int32_t version = 0;
  uintptr_t session = 0;
  int32_t status = static_cast<int16_t>(
      service->LogIn(service, fProcess ? fProcess->GetHostReference() : 0, kMIDIInterfaceVersionMax, &version, &session));
  if (status != 0) return status;
  if (session == 0) return kPlugInErr_Unexpected;
  fService = service;
  fSession = session;
  fVersion = std::min(version, kMIDIInterfaceVersionMax);
  return 0;
}

int32_t CEffectMIDIWorld::LogOut() {
  if (!IsLoggedIn()) return 0;
  // The host forgets the session's nodes and their buffers.
  for (CEffectMIDINode* node : fNodes) node->Detach(false);
  int32_t status = fService->LogOut ? static_cast<int16_t>(fService->LogOut(fService, fSession)) : 0;
  fSession = 0;
  fVersion = 0;
  return status;
}

CEffectMIDINode* CEffectMIDIWorld::GetNode(int32_t index) const {
  if (index < 1 || index > GetNumNodes()) return nullptr;
  return fNodes[static_cast<size_t>(index - 1)];
}

CEffectMIDINode::CEffectMIDINode(CEffectMIDIWorld* world, EMIDINodeType type, const std::string& name, void* refCon)
    : fWorld(world), fType(type), fName(name), fRefCon(refCon) {
  if (fWorld) fWorld->fNodes.push_back(this);
}

CEffectMIDINode::~CEffectMIDINode() {
  if (fWorld && fWorld->IsLoggedIn() && fIdentity != 0 && fWorld->fService->DeleteNode)
    fWorld->fService->DeleteNode(fWorld->fService, fWorld->fSession, fIdentity);
  Detach(true);
}

void CEffectMIDINode::Detach(bool fromWorld) {
  fHostBuffer = nullptr;
  fIdentity = 0;
  if (fromWorld && fWorld) {
    auto& nodes = fWorld->fNodes;
    nodes.erase(std::remove(nodes.begin(), nodes.end(), this), nodes.end());
    fWorld = nullptr;
  }
}

int32_t CEffectMIDINode::Initialize(uint32_t channels, uint8_t flags) {
  if (!fWorld || !fWorld->IsLoggedIn()) return kPlugInErr_Unexpected;
  if (IsInitialized()) return 0;
  SHostMIDIService* service = fWorld->fService;
  if (!service->NewNode) return kPlugInErr_NoSuchSelector;
  uint32_t identity = 0;
  const SHostMIDINodeBuffer* buffer = nullptr;
  int32_t status = static_cast<int16_t>(
      service->NewNode(service, fWorld->fSession, fType, fName.c_str(), channels, flags, &identity, &buffer));
  if (status != 0) return status;
  if (identity == 0) return kPlugInErr_Unexpected;
  fIdentity = identity;
  fHostBuffer = buffer;
  return 0;
}

int32_t CEffectMIDINode::RestoreIdentity(uint32_t savedIdentity) {
  if (!IsInitialized()) return kPlugInErr_Unexpected;
  if (savedIdentity == fIdentity) return 0;
  SHostMIDIService* service = fWorld->fService;
  if (!service->RestoreNodeIdentity) return kPlugInErr_NoSuchSelector;
  int32_t status =
      static_cast<int16_t>(service->RestoreNodeIdentity(service, fWorld->fSession, fIdentity, savedIdentity));
  if (status == 0) fIdentity = savedIdentity;
  return status;
}

const SMIDIRecord* CEffectMIDIBufferedNode::GetBufferPtr() const {
  const SHostMIDINodeBuffer* b = GetHostBuffer();
  return b ? b->fRecords : nullptr;
}

int32_t CEffectMIDIBufferedNode::GetBufferSize() const {
  const SHostMIDINodeBuffer* b = GetHostBuffer();
  return b && b->fRecords ? std::max(b->fCount, 0) : 0;
}

bool CEffectMIDITransport::Usable() const {
  return fWorld && fWorld->IsLoggedIn() && fWorld->GetVersion() >= kMIDIInterfaceVersionTransport;
}

int32_t CEffectMIDITransport::GetCurrentRTASSampleLocation(int64_t* location) const {
  if (!Usable() || !fWorld->GetService()->GetSampleLocation) return kPlugInErr_MIDIVersionTooOld;
  SHostMIDIService* s = fWorld->GetService();
  return static_cast<int16_t>(s->GetSampleLocation(s, fWorld->GetSession(), location));
}

int32_t CEffectMIDITransport::GetCurrentTempo(double* beatsPerMinute) const {
  if (!Usable() || !fWorld->GetService()->GetTempo) return kPlugInErr_MIDIVersionTooOld;
  SHostMIDIService* s = fWorld->GetService();
  return static_cast<int16_t>(s->GetTempo(s, fWorld->GetSession(), beatsPerMinute));
}

int32_t CEffectMIDITransport::GetCurrentMeter(int32_t* numerator, int32_t* denominator) const {
  if (!Usable() || !fWorld->GetService()->GetMeter) return kPlugInErr_MIDIVersionTooOld;
  SHostMIDIService* s = fWorld->GetService();
  return static_cast<int16_t>(s->GetMeter(s, fWorld->GetSession(), numerator, denominator));
}

int32_t CEffectMIDITransport::GetBarBeatPosition(int32_t* bars, int32_t* beats, int64_t* ticks,
                                                 int64_t sampleLocation) const {
  if (!Usable() || !fWorld->GetService()->GetBarBeatPosition) return kPlugInErr_MIDIVersionTooOld;
  SHostMIDIService* s = fWorld->GetService();
  return static_cast<int16_t>(s->GetBarBeatPosition(s, fWorld->GetSession(), bars, beats, ticks, sampleLocation));
}
