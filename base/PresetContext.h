#pragma once

// The preset currently loaded into one plug-in instance. The plug-in core
// writes the values; whoever wants to hear of their changes becomes a
// property's owner.

#include "base/Property.h"

#include <string>

class PresetContext {
public:
  PresetContext() = default;
  PresetContext(const PresetContext&) = delete;
  PresetContext& operator=(const PresetContext&) = delete;

  // The preset's name.
  Property<std::string> presetName;
  // The preset's path below the library's root (PresetManager::getPresetPath).
  Property<std::string> presetPath;
  // Whether parameters changed since the preset was loaded or saved.
  Property<bool> presetModified{nullptr, false};
};
