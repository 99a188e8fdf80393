#include "editor/GenericPluginInterface.h"

#include "base/PlatformUtils.h"
#include "gui/Bitmap.h"
#include "gui/Control.h"
#include "gui/Image.h"
#include "gui/Text.h"
#include "gui/ValueEditor.h"
#include "hints/ZarnHints.h"
#include "plugin/AbstractPluginParameter.h"

GenericPluginInterface::GenericPluginInterface(std::unique_ptr<gui::UserInterface> userInterface,
                                               GenericPlugin* plugin, InterfaceListener* listener,
                                               const std::string& backgroundName, float contrast)
    : activeContainer(userInterface->getWindow()), listener(listener), plugin(plugin), ui(std::move(userInterface)),
      pluginEvents(ui.get(), plugin->getNumParameters()) {
  ui->registerListener(this);
  try {
    gui::Bitmap::sContrast = contrast;
    gui::Bitmap* background = ui->createBitmap();
    try {
      background->loadFromResource(backgroundName);
    } catch (...) {
      delete background;
      throw;
    }
    ui->setBackground(background);

    presetMenu = createPopupMenu();
    presetMenu->onPopup = NotifyEvent::bind(this, &GenericPluginInterface::presetMenuPopup);
    midiMenu = createPopupMenu();
    midiMenu->onPopup = NotifyEvent::bind(this, &GenericPluginInterface::midiMenuPopup);
    helpMenu = createPopupMenu();
    helpMenu->onPopup = NotifyEvent::bind(this, &GenericPluginInterface::helpMenuPopup);

    const size_t count = static_cast<size_t>(plugin->getNumParameters());
    controls.assign(count, nullptr);
    links.assign(count, std::vector<ParameterLink>());
  } catch (...) {
    // Nothing may keep a pointer to an editor that was never built.
    ui->unregisterListener(this);
    delete presetMenu;
    delete midiMenu;
    delete helpMenu;
    throw;
  }
  // Last: from here on the plug-in posts from any thread.
  plugin->setListener(&pluginEvents);
}

GenericPluginInterface::~GenericPluginInterface() {
  // Returns only when no listener call of the plug-in is still running.
  plugin->setListener(nullptr);
  delete helpMenu;
  delete midiMenu;
  delete presetMenu;
  ui->unregisterListener(this);
  ui.reset();
}

gui::PopupMenu* GenericPluginInterface::createPopupMenu() { return ui->createPopupMenu(); }

void GenericPluginInterface::postEvent(int event, int value) { ui->postEvent(event, value); }

void GenericPluginInterface::receiveEvent(int event, int value) {
  // Before the look at the plug-in's state: a change after it is posted
  // again.
  pluginEvents.delivered(event, value);
  switch (event) {
  case cGeneralChangeEvent:
    updateGeneralControls(value);
    break;
  case cParameterChangeEvent:
    if (value == -1)
      updateParameterControls();
    else
      updateParameterControl(value);
    break;
  case cPresetChangeEvent:
    updatePresetControls();
    break;
  case cMidiReceivedEvent:
    updateReceivedMidi();
    break;
  case cOpenUrlEvent:
    openWebPage(pendingUrl);
    break;
  case cOpenHelpFileEvent:
    if (GenericPlugin::sSettings && !GenericPlugin::sSettings->HelpFileName.get().empty())
      openHelpFile(GenericPlugin::sSettings->HelpFileName);
    break;
  case cCloseDialogEvent: {
    gui::Dialog* dialog = pendingDialog;
    pendingDialog = nullptr;
    delete dialog;
    if (GenericPlugin::sSettings && GenericPlugin::sSettings->showWelcomeHint) showWelcomeHint();
    break;
  }
  default:
    break;
  }
}

void GenericPluginInterface::updateParameterControls() {
  for (int i = 0; i < static_cast<int>(controls.size()); ++i) updateParameterControl(i);
}

void GenericPluginInterface::updateParameterControl(int index) {
  // MIDI-only parameters (and anything else outside the list) have no
  // control.
  if (index < 0 || index >= static_cast<int>(controls.size())) return;
  gui::ValueEditor* control = controls[static_cast<size_t>(index)];
  AbstractPluginParameter* parameter = plugin->getParameter(index);
  if (control && parameter) control->setValue(parameter->getNormalizedValue());
}

void GenericPluginInterface::propertyChange(const AbstractProperty* property) {
  if (property == &midiLearnMode && !midiLearnMode) plugin->learnMidi(-1);
}

void GenericPluginInterface::openUrl(const std::string& url) {
  pendingUrl = url;
  postEvent(cOpenUrlEvent, 0);
}

void GenericPluginInterface::openPluginHelpFile() { postEvent(cOpenHelpFileEvent, 0); }

void GenericPluginInterface::closeDialog(gui::Dialog* dialog) {
  pendingDialog = dialog;
  postEvent(cCloseDialogEvent, 0);
}

void GenericPluginInterface::initialize() {
  initializeHelpMenu();
  updateParameterControls();
  if (gui::ImageLabel* display = getHintDisplay()) {
    // A hint lies over other controls: it lets their clicks through, except
    // while it shows the welcome text.
    display->hitThreshold = 255;
    display->onClick = NotifyEvent::bind(this, &GenericPluginInterface::labelMouseClick);
  }
  if (GenericPlugin::sSettings && GenericPlugin::sSettings->showWelcomeHint) showWelcomeHint();
}

void GenericPluginInterface::showHint(const std::string& text) {
  gui::ImageLabel* display = getHintDisplay();
  if (!display) return;
  display->getText()->text = text;
  const bool interactive = !GenericPlugin::sSettings || GenericPlugin::sSettings->showInteractiveHelp;
  display->visible = !text.empty() && interactive;
}

void GenericPluginInterface::showWelcomeHint() {
  gui::ImageLabel* display = getHintDisplay();
  if (!display) return;
  display->hitThreshold = 240;
  // Bound each time the welcome shows (also when a closed dialog shows it
  // again), since hiding it unbinds.
  display->onClick = NotifyEvent::bind(this, &GenericPluginInterface::labelMouseClick);
  if (GenericPlugin::sSettings) GenericPlugin::sSettings->showWelcomeHint = false;
  ui->setCurrentHint(cHintFirstRun);
  ui->hintsEnabled = false;
}

void GenericPluginInterface::labelMouseClick(void*) { hideWelcomeHint(); }

void GenericPluginInterface::hideWelcomeHint() {
  gui::ImageLabel* display = getHintDisplay();
  if (!display) return;
  display->onClick = nullptr;
  display->hitThreshold = 255;
  ui->hintsEnabled = true;
  ui->setCurrentHint("");
}
