// The adapter's settings chunks. The host stores every control value in the
// controls chunk of the host layer; the preset-name chunk adds the name of
// the instance's current preset, so that a restored document shows which
// preset its sound came from. It never loads a preset: the values come back
// through the controls chunk.
//
// Preset-name chunk data: 64 bytes, the name's 8-bit characters padded with
// NUL bytes; a name of 64 characters or more fills the field without a
// terminator. Restoring reads at most 63 characters.

#include "host/bridge/DigiPluginAdapter.h"

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "base/PresetManager.h"
#include "host/ChunkDataParser.h"
#include "host/PlugInGlobals.h"

#include <algorithm>
#include <cstring>
#include <string>

int32_t DigiPluginAdapter::GetChunk(uint32_t id, SFicPlugInChunk* chunk) {
  // What the plug-in changed itself belongs in the stored control values,
  // and the preset the render thread loaded in the stored name.
  HandOverControlChanges();
  GetPlugin()->applyPendingPresetContext();
  if (id != kPresetNameChunkID) return CEffectProcessMIDI::GetChunk(id, chunk);
  PlugInAssertPointer(chunk);
  chunk->fSize = kPresetNameChunkSize;
  unsigned char* field = ChunkData(chunk);
  std::memset(field, 0, kPresetNameSize);
  if (const PresetContext* context = GetPlugin()->getPresetContext()) {
    const std::string& name = context->presetName.get();
    std::memcpy(field, name.data(), std::min<size_t>(name.size(), kPresetNameSize));
  }
  return 0;
}

void DigiPluginAdapter::FillControlsChunk(ChunkDataParser& parser) const {
  CEffectProcessMIDI::FillControlsChunk(parser);
  parser.AddLong(kStateVersionName, GetPlugin()->getStateVersion());
}

int32_t DigiPluginAdapter::SetChunk(uint32_t id, SFicPlugInChunk* chunk) {
  // Pending changes go to the host (and into the preset context) before the
  // restored values replace them.
  HandOverControlChanges();
  GetPlugin()->applyPendingPresetContext();
  if (id == kControlsChunkID) {
    PlugInAssertPointer(chunk);
    int32_t version = 0;
    ChunkDataParser parser;
    if (ParseChunk(chunk, parser)) parser.FindLong(kStateVersionName, version);
    const int32_t result = CEffectProcessMIDI::SetChunk(id, chunk);
    if (result == 0 && version < GetPlugin()->getStateVersion()) GetPlugin()->upgradeState(version);
    return result;
  }
  if (id != kPresetNameChunkID) return CEffectProcessMIDI::SetChunk(id, chunk);
  PlugInAssertPointer(chunk);
  if (chunk->fSize < kPresetNameChunkSize) return kPlugInErr_BadChunk;
  const char* field = reinterpret_cast<const char*>(ChunkData(chunk));
  const std::string name(field, strnlen(field, kPresetNameSize - 1));

  PresetContext* context = GetPlugin()->getPresetContext();
  if (!context || name == context->presetName.get()) return 0;
  context->presetName = name;
  std::string path;
  if (PresetManager* manager = GetPlugin()->getPresetManager(-1)) {
    // A program change may rescan the library on the render thread.
    PresetManager::ReadAccess access(*manager, PresetManager::ReadAccess::wait);
    if (const Preset* preset = manager->findPresetByName(name)) path = manager->getPresetPath(preset);
  }
  context->presetPath = path;
  return 0;
}
