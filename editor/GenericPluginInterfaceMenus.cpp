// The editor base's three menus (presets, MIDI controller map, help) and
// what their items do.

#include "editor/GenericPluginInterface.h"

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "base/PresetManager.h"
#include "editor/EditorMessages.h"
#include "editor/PresetFolderMenu.h"
#include "gui/FileDialogs.h"
#include "plugin/AbstractPluginParameter.h"
#include "plugin/ControllerMapping.h"
#include "plugin/MidiVirtualPluginParameter.h"

#include <cerrno>
#include <filesystem>
#include <memory>

void GenericPluginInterface::presetMenuPopup(void*) { initializePresetMenu(); }
void GenericPluginInterface::midiMenuPopup(void*) { initializeMidiMenu(); }
void GenericPluginInterface::helpMenuPopup(void*) { initializeHelpMenu(); }

// ---- presets

void GenericPluginInterface::initializePresetMenu() {
  GenericPlugin::Settings* settings = GenericPlugin::sSettings;
  const bool programNumbers = settings && settings->ViewProgramNumbersEnabled;
  PresetManager* manager = plugin->getPresetManager(-1);
  PresetContext* context = plugin->getPresetContext();

  presetMenu->clear();
  if (manager) {
    const std::string current = context ? manager->getFullPresetPath(context->presetPath.get()) : "";
    fillPresetFolderMenu(*manager, presetMenu, this, programNumbers ? cPresetViewProgramNumbers : cPresetViewNames,
                         current);
  }
  presetMenu->addDivider();
  if (settings && settings->SavePresetItemEnabled)
    presetMenu->add(new gui::MenuItem("Save", NotifyEvent::bind(this, &GenericPluginInterface::saveItemClick)));
  presetMenu->add(new gui::MenuItem("Save As...", NotifyEvent::bind(this, &GenericPluginInterface::saveAsItemClick)));
  presetMenu->addDivider();
  auto* view = new gui::MenuItem("View Bank/Program Numbers",
                                 NotifyEvent::bind(this, &GenericPluginInterface::viewProgramNumbersClick));
  view->checkMark = programNumbers;
  presetMenu->add(view);
  presetMenu->add(new gui::MenuItem("Change Preset Folder...",
                                    NotifyEvent::bind(this, &GenericPluginInterface::changeFolderClick)));
}

void GenericPluginInterface::presetClick(Preset* preset) { loadPreset(preset); }

void GenericPluginInterface::loadPreset(Preset* preset) {
  if (!plugin->loadPreset(preset)) ui->showMessage(cPresetOpenErrorText);
}

void GenericPluginInterface::loadNextPreset() {
  PresetManager* manager = plugin->getPresetManager(-1);
  PresetContext* context = plugin->getPresetContext();
  if (!manager || !context) return;
  if (Preset* preset = manager->findPresetByPath(context->presetPath, PresetManager::findAfter)) loadPreset(preset);
}

void GenericPluginInterface::loadPreviousPreset() {
  PresetManager* manager = plugin->getPresetManager(-1);
  PresetContext* context = plugin->getPresetContext();
  if (!manager || !context) return;
  if (Preset* preset = manager->findPresetByPath(context->presetPath, PresetManager::findBefore)) loadPreset(preset);
}

void GenericPluginInterface::saveItemClick(void*) {
  PresetManager* manager = plugin->getPresetManager(-1);
  PresetContext* context = plugin->getPresetContext();
  if (!manager || !context || context->presetName.get().empty()) return;
  // A preset saved or loaded outside the library is known by its full
  // path: it is overwritten where it lies.
  Preset preset(manager->getFullPresetPath(context->presetPath.get()));
  errno = 0;
  if (!plugin->savePreset(&preset)) ui->showMessage(savePresetFailureMessage(preset.getPath(), errno));
}

void GenericPluginInterface::saveAsItemClick(void*) {
  PresetManager* manager = plugin->getPresetManager(-1);
  if (!manager) return;
  const std::string root = manager->getFolderPath();
  std::unique_ptr<gui::SaveDialog> dialog(ui->createSaveDialog());
  dialog->location = root;
  dialog->filter = "Quorvane Presets (*.qvp)|*.qvp|All Files (*.*)|*.*";
  dialog->extension = "qvp";
  if (dialog->execute()) {
    Preset preset(dialog->fileName);
    errno = 0;
    if (!plugin->savePreset(&preset)) ui->showMessage(savePresetFailureMessage(preset.getPath(), errno));
  } else {
    // Folders made inside the dialog show up in the menu.
    manager->initialize(root);
  }
}

void GenericPluginInterface::viewProgramNumbersClick(void* sender) {
  if (!GenericPlugin::sSettings) return;
  Property<bool>& view = GenericPlugin::sSettings->ViewProgramNumbersEnabled;
  view = !view.get();
  // The menu is not rebuilt here: that would delete the item whose click
  // is running. It is rebuilt the next time it opens.
  static_cast<gui::MenuItem*>(sender)->checkMark = view.get();
}

void GenericPluginInterface::changeFolderClick(void*) {
  PresetManager* manager = plugin->getPresetManager(-1);
  if (!manager) return;
  std::unique_ptr<gui::SelectFolderDialog> dialog(ui->createSelectFolderDialog());
  dialog->title = "Select a folder to store your presets:";
  dialog->folder = manager->getFolderPath();
  if (!dialog->execute()) return;
  // A folder that is not there would be kept and show "(No Presets)" on
  // every later run: refuse it and keep the one in use.
  const std::string chosen = dialog->folder;
  std::error_code error;
  if (chosen.empty() || !std::filesystem::is_directory(chosen, error)) {
    ui->showMessage(missingPresetFolderMessage(chosen, manager->getFolderPath()));
    return;
  }
  manager->initialize(chosen);
}

// ---- MIDI controller map

GenericPluginInterface::MidiMenuItem::MidiMenuItem(GenericPluginInterface* editor, int controller,
                                                   const std::string& parameterName)
    : gui::MenuItem(std::to_string(controller) + ": " + parameterName), controller(controller), editor(editor) {}

void GenericPluginInterface::MidiMenuItem::click() {
  if (GenericPlugin::sControllerMapping) GenericPlugin::sControllerMapping->removeConnection(controller);
}

void GenericPluginInterface::initializeMidiMenu() {
  midiMenu->clear();
  ControllerMapping* mapping = GenericPlugin::sControllerMapping;

  auto* clear = new gui::MenuItem("Clear");
  if (mapping) {
    for (int i = 0; i < plugin->getNumParameters(); ++i) {
      const int controller = mapping->getControllerNumber(i);
      if (controller >= 0) clear->add(new MidiMenuItem(this, controller, plugin->getParameter(i)->getName()));
    }
    for (const MidiVirtualPluginParameter* p : plugin->getMidiVirtualParameters()) {
      const int controller = mapping->getControllerNumber(p->getIdentifier());
      if (controller >= 0) clear->add(new MidiMenuItem(this, controller, p->getName()));
    }
  }
  clear->enabled = clear->getCount() > 0;
  if (clear->enabled) {
    clear->addDivider();
    clear->add(new gui::MenuItem("Clear All", NotifyEvent::bind(this, &GenericPluginInterface::midiClearAllClick)));
  }
  midiMenu->add(clear);
  midiMenu->add(new gui::MenuItem("Revert", NotifyEvent::bind(this, &GenericPluginInterface::midiRevertClick)));
  midiMenu->add(new gui::MenuItem("Save", NotifyEvent::bind(this, &GenericPluginInterface::midiSaveClick)));
  if (plugin->getType() == 0)
    midiMenu->add(new gui::MenuItem("Load Factory Settings",
                                    NotifyEvent::bind(this, &GenericPluginInterface::midiFactoryClick)));
}

void GenericPluginInterface::midiClearAllClick(void*) {
  if (GenericPlugin::sControllerMapping) GenericPlugin::sControllerMapping->reset();
}

void GenericPluginInterface::midiRevertClick(void*) { plugin->loadMidiSettings(); }
void GenericPluginInterface::midiSaveClick(void*) { plugin->saveMidiSettings(); }
void GenericPluginInterface::midiFactoryClick(void*) { plugin->loadMidiFactorySettings(); }

// ---- help

std::string GenericPluginInterface::getStandardUrl(StandardUrlId id) {
  switch (id) {
  case cHomePage:
    return cMakerWebAddress;
  case cSupportPage:
    return cMakerSupportAddress;
  }
  return "";
}

void GenericPluginInterface::initializeHelpMenu() {
  helpMenu->clear();
  helpMenu->add(new gui::MenuItem("Help Topics", NotifyEvent::bind(this, &GenericPluginInterface::helpTopicsItemClick)));
  auto* hints = new gui::MenuItem("Show Interactive Help Hints",
                                  NotifyEvent::bind(this, &GenericPluginInterface::helpHintsItemClick));
  hints->checkMark = !GenericPlugin::sSettings || GenericPlugin::sSettings->showInteractiveHelp;
  helpMenu->add(hints);
  helpMenu->addDivider();
  helpMenu->add(new gui::MenuItem("Quorvane Web Site", NotifyEvent::bind(this, &GenericPluginInterface::helpSiteItemClick)));
  helpMenu->add(
      new gui::MenuItem("Quorvane Support", NotifyEvent::bind(this, &GenericPluginInterface::helpSupportItemClick)));
  helpMenu->addDivider();
  helpMenu->add(new gui::MenuItem("About...", NotifyEvent::bind(this, &GenericPluginInterface::helpAboutItemClick)));
}

void GenericPluginInterface::helpTopicsItemClick(void*) { postEvent(cOpenHelpFileEvent, 0); }

void GenericPluginInterface::helpHintsItemClick(void* sender) {
  if (!GenericPlugin::sSettings) return;
  Property<bool>& show = GenericPlugin::sSettings->showInteractiveHelp;
  show = !show.get();
  static_cast<gui::MenuItem*>(sender)->checkMark = show.get();
}

void GenericPluginInterface::helpSiteItemClick(void*) { openUrl(getStandardUrl(cHomePage)); }
void GenericPluginInterface::helpSupportItemClick(void*) { openUrl(getStandardUrl(cSupportPage)); }
void GenericPluginInterface::helpAboutItemClick(void*) { showAboutDialog(); }
