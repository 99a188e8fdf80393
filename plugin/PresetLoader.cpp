#include "plugin/PresetLoader.h"

#include "base/BinaryData.h"
#include "base/Preset.h"
#include "plugin/AbstractPluginParameter.h"
#include "plugin/GenericPlugin.h"
#include "plugin/ParameterCollection.h"
#include "platform/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sys/stat.h>

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
  case PresetLoadFailure::notAFile:
    switch (f.detail) {
    case S_IFIFO: return "it is a FIFO, not a file";
    case S_IFCHR:
    case S_IFBLK: return "it is a device, not a file";
    case S_IFSOCK: return "it is a socket, not a file";
    case S_IFDIR: return "it is a folder, not a file";
    default: return "it is not a file";
    }
  case PresetLoadFailure::notFinite: {
    const std::string what = f.expected == 0 ? "is not a number" : "is infinite";
    if (f.parameter[0] == 0) return "its value " + std::to_string(f.detail + 1) + " " + what;
    return "its value for the parameter \"" + std::string(f.parameter) + "\" " + what;
  }
  case PresetLoadFailure::refused: break;
  }
  return "the plug-in could not read it";
}

bool PresetLoader::fail(PresetLoadFailure::Kind kind, int32_t detail, int32_t expected) {
  mFailure = PresetLoadFailure{kind, detail, expected};
  return false;
}

bool PresetLoader::load(Preset* preset, int version, const std::string& identifier) {
  mFailure = PresetLoadFailure{};
  if (!preset) return false;
  PresetData data;
  if (!read(preset->getPath(), version, data, identifier)) return false;
  apply(data);
  return true;
}

bool PresetLoader::read(const std::string& path, int version, PresetData& data, const std::string& identifier,
                        int olderVersion) {
  mFailure = PresetLoadFailure{};
  data = PresetData{};
  const std::string tag = !identifier.empty() ? identifier : (plugin ? plugin->getIdentifier() : std::string());
  if (tag.empty()) return false;

  // One open: the header and the values come from the same file, even when
  // the file is replaced while it is read.
  // What is no file (the library lists FIFOs and devices so as to say why
  // they do not load) is known by a look and not opened: opening a FIFO
  // would let a writer waiting at its other end go on, and a device may act
  // on being opened.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    return fail(PresetLoadFailure::notAFile, static_cast<int32_t>(st.st_mode & S_IFMT));
  errno = 0;
  BinaryFileReader reader(path);
  if (reader.failed()) {
    // One put in the file's place since the look is refused all the same.
    if (reader.failure() == platform::cNotAFile) return fail(PresetLoadFailure::notAFile);
    return fail(PresetLoadFailure::cannotOpen, errno != 0 ? errno : ENOENT);
  }
  if (!reader.headerValid(tag))
    return reader.failed() ? fail(PresetLoadFailure::cutShort, -1) : fail(PresetLoadFailure::notAPreset);
  const int fileVersion = reader.getVersion();
  if (fileVersion != version && (olderVersion < 0 || fileVersion != olderVersion))
    return fail(PresetLoadFailure::otherVersion, fileVersion, version);
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

  for (int i = 0; i < present; ++i) {
    const float v = values[static_cast<size_t>(i)];
    if (std::isfinite(v)) continue;
    // Keeping the parameter's previous value instead would make the preset
    // sound of whatever was loaded before it.
    PresetLoadFailure failure{PresetLoadFailure::notFinite, i, std::isnan(v) ? 0 : 1};
    const std::string name = getParameterName(i);
    const size_t length = std::min(name.size(), PresetLoadFailure::cParameterNameCapacity - 1);
    std::memcpy(failure.parameter, name.data(), length);
    failure.parameter[length] = 0;
    mFailure = failure;
    return false;
  }
  data.version = fileVersion;
  data.values = std::move(values);
  return true;
}

void PresetLoader::apply(const PresetData& data) {
  const int parameters = getNumParameters() < 0 ? 0 : getNumParameters();
  const int present = std::min(static_cast<int>(data.values.size()), parameters);
  if (plugin) plugin->beginParameterUpdate();
  for (int i = 0; i < present; ++i) setParameterValue(i, data.values[static_cast<size_t>(i)]);
  for (int i = present; i < parameters; ++i) setParameterToDefault(i);
  if (plugin) plugin->endParameterUpdate();
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

std::string CollectionPresetLoader::getParameterName(int index) {
  const AbstractPluginParameter* p = mCollection ? mCollection->get(index) : nullptr;
  return p ? p->getName() : std::string();
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

std::string CustomPresetLoader::getParameterName(int index) {
  if (index < 0 || index >= getNumParameters()) return {};
  const AbstractPluginParameter* p = mEntries[static_cast<size_t>(index)].parameter;
  return p ? p->getName() : std::string();
}
