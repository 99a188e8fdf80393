#include "editor/ComponentPresetHandler.h"

#include "base/Preset.h"
#include "base/PresetManager.h"
#include "editor/EditorMessages.h"
#include "editor/PresetFolderMenu.h"
#include "gui/FileDialogs.h"
#include "gui/Menu.h"
#include "gui/UserInterface.h"
#include "plugin/ParameterCollection.h"

#include <cerrno>
#include <memory>

ComponentPresetHandler::ComponentPresetHandler(gui::UserInterface* ui, ParameterCollection* collection,
                                               PresetManager* manager,
                                               GenericPluginInterface::InterfaceListener* listener)
    : collection(collection), listener(listener), menu(ui->createPopupMenu()), manager(manager), ui(ui) {
  menu->onPopup = NotifyEvent::bind(this, &ComponentPresetHandler::initializeMenu);
}

ComponentPresetHandler::~ComponentPresetHandler() { delete menu; }

void ComponentPresetHandler::initializeMenu(void*) {
  // Files added since the last popup are listed. The root is copied: the
  // rescan replaces the string it would otherwise refer to.
  const std::string root = manager->getFolderPath();
  manager->initialize(root);
  fillPresetFolderMenu(*manager, menu, this, cPresetViewNames, "");
  menu->addDivider();
  menu->add(new gui::MenuItem("Save As...", NotifyEvent::bind(this, &ComponentPresetHandler::saveItemClick)));
}

void ComponentPresetHandler::presetClick(Preset* preset) { loadPreset(preset); }

void ComponentPresetHandler::loadPreset(Preset* preset) {
  if (!collection->loadPreset(preset, cFileVersion)) ui->showMessage(cPresetOpenErrorText);
}

void ComponentPresetHandler::saveItemClick(void*) {
  const std::string root = manager->getFolderPath();
  const std::string& extension = manager->getManagerExtension();
  std::unique_ptr<gui::SaveDialog> dialog(ui->createSaveDialog());
  dialog->location = root;
  dialog->filter = "Quorvane Component Presets (*" + extension + ")|*" + extension + "|All Files (*.*)|*.*";
  dialog->extension = extension.empty() ? extension : extension.substr(1);
  if (dialog->execute()) {
    Preset preset(dialog->fileName);
    errno = 0;
    if (!collection->savePreset(&preset, cFileVersion))
      ui->showMessage(savePresetFailureMessage(preset.getPath(), errno));
  }
  manager->initialize(root);
}
