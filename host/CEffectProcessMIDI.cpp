#include "host/CEffectProcessMIDI.h"

#include "host/ChunkDataParser.h"
#include "host/PlugInGlobals.h"

CEffectProcessMIDI::CEffectProcessMIDI() : fWorld(this) {
  AddChunk(kMIDIConnectionChunkID, kMIDIConnectionChunkName, 0);
}

CEffectProcessMIDI::~CEffectProcessMIDI() = default;

void CEffectProcessMIDI::FillConnectionChunk(ChunkDataParser& parser) const {
  const CEffectMIDINode* node = fWorld.GetNode(1);
  parser.AddLong(kMIDIInstanceIDName, static_cast<int32_t>(node ? node->GetIdentity() : 0));
}

int32_t CEffectProcessMIDI::GetChunkSize(uint32_t id, int32_t* size) {
  if (id != kMIDIConnectionChunkID) return CEffectProcess::GetChunkSize(id, size);
  ChunkDataParser parser;
  FillConnectionChunk(parser);
  *size = kChunkHeaderSize + static_cast<int32_t>(parser.GetDataSize());
  return 0;
}

int32_t CEffectProcessMIDI::GetChunk(uint32_t id, SFicPlugInChunk* chunk) {
  if (id != kMIDIConnectionChunkID) return CEffectProcess::GetChunk(id, chunk);
  PlugInAssertPointer(chunk);
  ChunkDataParser parser;
  FillConnectionChunk(parser);
  WriteChunk(parser, chunk);
  return 0;
}

int32_t CEffectProcessMIDI::SetChunk(uint32_t id, SFicPlugInChunk* chunk) {
  if (id != kMIDIConnectionChunkID) return CEffectProcess::SetChunk(id, chunk);
  PlugInAssertPointer(chunk);
  ChunkDataParser parser;
  int32_t saved;
  std::string why;
  if (!ParseChunk(chunk, parser, &why)) return RefuseChunk(why);
  if (!parser.FindLong(kMIDIInstanceIDName, saved))
    return RefuseChunk(std::string("it holds no \"") + kMIDIInstanceIDName + "\" value");
  CEffectMIDINode* node = fWorld.GetNode(1);
  // A node that never had an identity, or an instance without MIDI, keeps
  // what it has.
  if (!node || !node->IsInitialized() || saved == 0) return 0;
  return node->RestoreIdentity(static_cast<uint32_t>(saved));
}
