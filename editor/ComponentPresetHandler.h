#pragma once

// The preset menu of one component of a plug-in (an oscillator section, an
// envelope): the component's own preset folder tree, a divider and "Save
// As...". A component preset holds only the component's parameters (its
// ParameterCollection) and lives in the folder of its component type, whose
// manager gives the file extension. The owner shows the handler's menu from
// a button of the component; the menu is rebuilt, with a rescan of the
// folder, each time it opens.

#include "base/PresetListener.h"
#include "editor/GenericPluginInterface.h"

class ParameterCollection;
class Preset;
class PresetManager;

namespace gui {
class PopupMenu;
class UserInterface;
} // namespace gui

class ComponentPresetHandler : public PresetListener {
public:
  // The version component preset files are written and read with.
  static constexpr int cFileVersion = 1;

  // Nothing is owned but the menu, which the handler makes.
  ComponentPresetHandler(gui::UserInterface* ui, ParameterCollection* collection, PresetManager* manager,
                         GenericPluginInterface::InterfaceListener* listener);
  ~ComponentPresetHandler() override;
  ComponentPresetHandler(const ComponentPresetHandler&) = delete;
  ComponentPresetHandler& operator=(const ComponentPresetHandler&) = delete;

  // The popup handler: rescans the folder and refills the menu.
  void initializeMenu(void* sender = nullptr);
  void presetClick(Preset* preset) override;
  // Shows a message when the file does not fit the collection.
  void loadPreset(Preset* preset);
  // "Save As...".
  void saveItemClick(void* sender);

  gui::PopupMenu* getMenu() const { return menu; }
  ParameterCollection* getCollection() const { return collection; }
  GenericPluginInterface::InterfaceListener* getListener() const { return listener; }

private:
  ParameterCollection* collection;
  GenericPluginInterface::InterfaceListener* listener;
  gui::PopupMenu* menu;
  PresetManager* manager;
  gui::UserInterface* ui;
};
