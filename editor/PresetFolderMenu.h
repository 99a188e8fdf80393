#pragma once

// Preset libraries shown as nested menus: each folder of the tree becomes
// an item with a sub-menu (sub-folders first, in the folder's order), each
// preset an item that hands its preset to a PresetListener when chosen. The
// current preset and every folder on its way are checked. Used by the
// editor's preset menu and by the component preset menus.

#include "gui/Menu.h"

#include <string>

class Preset;
class PresetFolder;
class PresetListener;

// A preset of a menu. Neither the preset nor the listener is owned: the
// item lives until its menu is rebuilt, which happens before the library
// can be rescanned under it.
class PresetMenuItem : public gui::MenuItem {
public:
  PresetMenuItem(const std::string& text, Preset* preset, PresetListener* listener);
  // Tells the listener (when there is one) that the preset was chosen.
  void click() override;

  Preset* getPreset() const { return preset; }

private:
  PresetListener* listener;
  Preset* preset;
};

// How presets are labelled (bit set).
enum PresetViewOptions : int {
  cPresetViewNames = 0,
  // "(bank/program) name" instead of the plain name.
  cPresetViewProgramNumbers = 1
};

// Clears the menu and fills it with the folder's tree: "(No Presets)",
// disabled, for an empty folder. currentPath is the full path of the
// current preset ("" checks nothing).
void fillPresetFolderMenu(const PresetFolder& folder, gui::Menu* menu, PresetListener* listener, int options,
                          const std::string& currentPath);
