#include "plugin/PresetLoader.h"

#include "base/BinaryData.h"
#include "base/Preset.h"
#include "plugin/AbstractPluginParameter.h"
#include "plugin/GenericPlugin.h"
#include "plugin/ParameterCollection.h"
#include "platform/RegularFile.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>

std::string describePresetFailure(const PresetLoadFailure& f) {
  switch (f.kind) {
  case PresetLoadFailure::none: return "nothing is wrong with it";
  case PresetLoadFailure::cannotOpen: return std::string("it cannot be opened (") + std::strerror(f.detail) + ")";
  case PresetLoadFailure::notAPreset: return "it is not a preset of this plug-in";
  case PresetLoadFailure::otherVersion:
    return "it has version " + std::to_string(f.detail) + ", and this plug-in reads version " +
           std::to_string(f.expected);
  case PresetLoadFailure::badCount: return "it declares a negative number of values";
  case PresetLoadFailure::cutShort:
    return f.detail < 0 ? std::string("it is cut short within its header")
                        : "it is cut short before the last of its " + std::to_string(f.detail) + " values";
  case PresetLoadFailure::notAFile: return "it is not a file";
  case PresetLoadFailure::refused: break;
  }
  return "the plug-in could not read it";
}

bool PresetLoader::fail(PresetLoadFailure::Kind kind, int32_t detail, int32_t expected) {
  mFailure = PresetLoadFailure{kind, detail, expected};
  if (plugin) plugin->notePresetFailure(mFailure);
  return false;
}

bool PresetLoader::load(Preset* preset, int version, const std::string& identifier) {
  mFailure = PresetLoadFailure{};
  if (!preset) return false;
  const std::string tag = !identifier.empty() ? identifier : (plugin ? plugin->getIdentifier() : std::string());
  if (tag.empty()) return false;

  errno = 0;
  BinaryFileReader reader(preset->getPath());
  if (reader.failed()) {
    if (reader.failure() == platform::cNotAFile) return fail(PresetLoadFailure::notAFile);
    return fail(PresetLoadFailure::cannotOpen, errno != 0 ? errno : ENOENT);
  }
  if (!reader.headerValid(tag))
    return reader.failed() ? fail(PresetLoadFailure::cutShort, -1) : fail(PresetLoadFailure::notAPreset);
  if (reader.getVersion() != version) return fail(PresetLoadFailure::otherVersion, reader.getVersion(), version);
  const int stored = reader.readInt();
  if (reader.failed()) return fail(PresetLoadFailure::cutShort, -1);
  if (stored < 0) return fail(PresetLoadFailure::badCount);

  const int parameters = getNumParameters() < 0 ? 0 : getNumParameters();
  const int present = stored < parameters ? stored : parameters;
  std::vector<float> values(static_cast<size_t>(present));
  for (float& v : values) v = reader.readFloat();
  // Values past the parameters are not used, but a file that ends before
  // the count it declares is cut short (or lies about its count) and must
  // not be half applied. Reading stops at the first missing byte, so a huge
  // count costs no more than the file is long.
  for (int64_t i = present; i < stored && !reader.failed(); ++i) reader.readFloat();
  if (reader.failed()) return fail(PresetLoadFailure::cutShort, stored);

  if (plugin) plugin->beginParameterUpdate();
  for (int i = 0; i < present; ++i) {
    const float v = values[static_cast<size_t>(i)];
    // An infinity or NaN would reach the engine and never leave it.
    if (std::isfinite(v)) setParameterValue(i, v);
  }
  for (int i = present; i < parameters; ++i) setParameterToDefault(i);
  if (plugin) plugin->endParameterUpdate();
  return true;
}

CollectionPresetLoader::CollectionPresetLoader(ParameterCollection* collection)
    : PresetLoader(collection ? collection->getPlugin() : nullptr), mCollection(collection) {}

int CollectionPresetLoader::getNumParameters() { return mCollection ? mCollection->size() : 0; }

void CollectionPresetLoader::setParameterToDefault(int index) {
  if (AbstractPluginParameter* p = mCollection->get(index)) p->setValue(p->getDefault(), 0);
}

void CollectionPresetLoader::setParameterValue(int index, float natural) {
  if (AbstractPluginParameter* p = mCollection->get(index)) p->setValue(natural, 0);
}

void CustomPresetLoader::add(AbstractPluginParameter& parameter) { mEntries.push_back(ParamDef{&parameter, nullptr}); }

void CustomPresetLoader::add(AbstractPluginParameter& first, int count) {
  for (int k = 0; k < count; ++k) {
    const int64_t index = static_cast<int64_t>(first.getIndex()) + k;
    AbstractPluginParameter* p = nullptr;
    if (!plugin)
      p = k == 0 ? &first : nullptr;
    else if (index <= INT32_MAX)
      p = plugin->getParameter(static_cast<int>(index));
    mEntries.push_back(ParamDef{p, nullptr});
  }
}

void CustomPresetLoader::add(float* target, float def) {
  if (target) *target = def;
  mEntries.push_back(ParamDef{nullptr, target});
}

int CustomPresetLoader::getNumParameters() { return static_cast<int>(mEntries.size()); }

void CustomPresetLoader::setParameterToDefault(int index) {
  if (index < 0 || index >= getNumParameters()) return;
  // A plain target keeps what it holds: its default was stored when the
  // entry was added.
  if (AbstractPluginParameter* p = mEntries[static_cast<size_t>(index)].parameter) p->setValue(p->getDefault(), 0);
}

void CustomPresetLoader::setParameterValue(int index, float natural) {
  if (index < 0 || index >= getNumParameters()) return;
  const ParamDef& entry = mEntries[static_cast<size_t>(index)];
  if (entry.parameter) entry.parameter->setValue(natural, 0);
  if (entry.target) *entry.target = natural;
}
