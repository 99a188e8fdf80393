#pragma once

// An ordered list of plug-in parameters: all parameters of a plug-in, or
// those of one component of it (an LFO, an envelope, a filter) that are
// saved and loaded together as a component preset. The parameters are not
// owned; the plug-in whose identifier tags preset files is named at
// construction.

#include <cstddef>
#include <vector>

class AbstractPluginParameter;
class GenericPlugin;
class Preset;
struct PresetLoadFailure;

class ParameterCollection {
public:
  explicit ParameterCollection(GenericPlugin* plugin) : mPlugin(plugin) {}

  ParameterCollection(const ParameterCollection&) = delete;
  ParameterCollection& operator=(const ParameterCollection&) = delete;

  // Appends the parameter and returns its position in this collection.
  int registerParameter(AbstractPluginParameter* parameter);

  // Reads a preset file of exactly that version into the parameters, as one
  // batch of changes (CollectionPresetLoader); true when the file matched
  // and was applied; else, when failure is given, it says why. The preset
  // context is not touched.
  bool loadPreset(Preset* preset, int version, PresetLoadFailure* failure = nullptr);
  // Writes the plug-in's identifier, the version, the count and every
  // parameter's natural value to the preset's file, which is replaced only
  // when all of it was written; true then.
  bool savePreset(Preset* preset, int version);

  int size() const { return static_cast<int>(mParameters.size()); }
  bool empty() const { return mParameters.empty(); }
  // The index is not checked.
  AbstractPluginParameter* operator[](int i) const { return mParameters[static_cast<size_t>(i)]; }
  // Null when i is not a position of the list.
  AbstractPluginParameter* get(int i) const {
    return i >= 0 && i < size() ? mParameters[static_cast<size_t>(i)] : nullptr;
  }
  const std::vector<AbstractPluginParameter*>& getParameters() const { return mParameters; }
  GenericPlugin* getPlugin() const { return mPlugin; }

  std::vector<AbstractPluginParameter*>::const_iterator begin() const { return mParameters.begin(); }
  std::vector<AbstractPluginParameter*>::const_iterator end() const { return mParameters.end(); }

private:
  std::vector<AbstractPluginParameter*> mParameters;
  GenericPlugin* mPlugin;
};
