// The adapter's settings chunks. The host stores every control value in the
// controls chunk of the host layer; the preset-name chunk adds the name of
// the instance's current preset, so that a restored document shows which
// preset its sound came from. It never loads a preset: the values come back
// through the controls chunk. Its layout, and how a host probes the library
// through it, are in host/PresetNameChunk.h.
//
// Restoring prefers the path: presets of one name may live in two folders
// (a factory "Plucks/Pluck" and a user's "Bass/Pluck"), and the name alone
// finds the first of them in library order. The path is taken when the
// library has a preset there whose name begins with the stored name (which
// holds at most 63 characters); otherwise (the preset was moved or renamed
// since, or the chunk holds no path) the first preset of that name is
// taken.

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
  chunk->fSize = presetchunk::kRecordSize;
  unsigned char* field = ChunkData(chunk);
  std::memset(field, 0, presetchunk::kDataSize);
  // A text into its field: cut to the field (a name), or left out when it
  // needs more room (a path, which cut short would name another file).
  auto put = [&](int32_t offset, int32_t size, const std::string& text, bool cut) {
    if (cut || text.size() < static_cast<size_t>(size))
      std::memcpy(field + offset, text.data(), std::min<size_t>(text.size(), static_cast<size_t>(size)));
  };
  if (const PresetContext* context = GetPlugin()->getPresetContext()) {
    put(0, presetchunk::kNameSize, context->presetName.get(), true);
    put(presetchunk::kPathOffset, presetchunk::kPathSize, context->presetPath.get(), false);
  }
  const GenericPlugin::PresetRefusal& refusal = GetPlugin()->getPresetRefusal();
  if (!refusal.path.empty()) {
    PresetManager* manager = GetPlugin()->getPresetManager(-1);
    const Preset refused(refusal.path);
    put(presetchunk::kRefusedPathOffset, presetchunk::kRefusedPathSize,
        manager ? manager->getPresetPath(&refused) : refusal.path, false);
    put(presetchunk::kReasonOffset, presetchunk::kReasonSize, refusal.reason, true);
  }
  // Only to a host that probes: a state the host saves from this record
  // carries no folder of the user's.
  if (GetPlugin()->presetRefusalsToHost())
    if (PresetManager* manager = GetPlugin()->getPresetManager(-1))
      put(presetchunk::kLibraryOffset, presetchunk::kLibrarySize, manager->getFolderPath(), false);
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
  if (id == presetchunk::kProbeID) {
    // The host's own call: it is no chunk of a state (none is listed by
    // that id), so only a host at work sends it.
    PlugInAssertPointer(chunk);
    if (chunk->fSize < kChunkHeaderSize) return RefuseChunk("it holds fewer bytes than its header");
    GetPlugin()->setPresetRefusalsToHost(true);
    if (PresetContext* context = GetPlugin()->getPresetContext()) {
      context->presetName = "";
      context->presetPath = "";
    }
    return 0;
  }
  if (id != kPresetNameChunkID) return CEffectProcessMIDI::SetChunk(id, chunk);
  PlugInAssertPointer(chunk);
  if (chunk->fSize < presetchunk::kNameRecordSize)
    return RefuseChunk("it holds " + std::to_string(chunk->fSize) + " bytes, fewer than the " +
                       std::to_string(presetchunk::kNameRecordSize) + " of a header and a preset name");
  const char* field = reinterpret_cast<const char*>(ChunkData(chunk));
  std::string name(field, strnlen(field, presetchunk::kNameSize - 1));
  // The marker of an earlier version's probe, in a state saved while it
  // probed: no preset.
  if (name == presetchunk::kNoPresetName) name.clear();
  std::string storedPath;
  if (chunk->fSize > presetchunk::kNameRecordSize) {
    const size_t room =
        std::min<size_t>(static_cast<size_t>(chunk->fSize - presetchunk::kNameRecordSize), presetchunk::kPathSize);
    const char* pathField = field + presetchunk::kPathOffset;
    const size_t length = strnlen(pathField, room);
    // A path without its terminator within the field was cut: not used.
    if (length < room) storedPath.assign(pathField, length);
  }
  // A state restored ends a probe; none starts one (above).
  GetPlugin()->setPresetRefusalsToHost(false);

  PresetContext* context = GetPlugin()->getPresetContext();
  if (!context) return 0;
  if (name == context->presetName.get() && (storedPath.empty() || storedPath == context->presetPath.get())) return 0;
  std::string path;
  if (PresetManager* manager = name.empty() ? nullptr : GetPlugin()->getPresetManager(-1)) {
    // Another thread may rescan the library meanwhile.
    PresetManager::ReadAccess access(*manager, PresetManager::ReadAccess::wait);
    if (!storedPath.empty())
      if (const Preset* preset = manager->findPresetByPath(storedPath, PresetManager::findAt);
          preset && preset->getName().compare(0, name.size(), name) == 0)
        path = storedPath;
    if (path.empty())
      if (const Preset* preset = manager->findPresetByName(name)) path = manager->getPresetPath(preset);
  }
  context->presetName = name;
  context->presetPath = path;
  return 0;
}
