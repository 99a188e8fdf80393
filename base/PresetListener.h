#pragma once

class Preset;

// Told when the user picks a preset in a preset menu.
class PresetListener {
public:
  virtual ~PresetListener() = default;
  virtual void presetClick(Preset* preset) = 0;
};
