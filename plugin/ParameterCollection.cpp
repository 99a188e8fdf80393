#include "plugin/ParameterCollection.h"

#include "base/BinaryData.h"
#include "base/Preset.h"
#include "plugin/AbstractPluginParameter.h"
#include "plugin/GenericPlugin.h"
#include "plugin/PresetLoader.h"

int ParameterCollection::registerParameter(AbstractPluginParameter* parameter) {
  mParameters.push_back(parameter);
  return size() - 1;
}

bool ParameterCollection::loadPreset(Preset* preset, int version, PresetLoadFailure* failure) {
  CollectionPresetLoader loader(this);
  const bool loaded = loader.load(preset, version);
  if (failure) *failure = loader.failure();
  return loaded;
}

bool ParameterCollection::savePreset(Preset* preset, int version) {
  if (!preset || !mPlugin) return false;
  // The writer fills a temporary file and puts it in place only when every
  // byte was written: a preset that exists is never left truncated.
  BinaryFileWriter writer(preset->getPath());
  writer.writeHeader(mPlugin->getIdentifier(), version);
  writer.writeInt(size());
  for (const AbstractPluginParameter* parameter : mParameters) writer.writeFloat(parameter->getValue());
  return writer.commit();
}
