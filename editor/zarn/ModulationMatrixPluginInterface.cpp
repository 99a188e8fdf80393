#include "editor/zarn/ModulationMatrixPluginInterface.h"

#include "editor/zarn/ModulationControls.h"
#include "editor/zarn/ModulationDragStage.h"
#include "editor/zarn/SlotOrder.h"
#include "synth/ModulationMatrixPlugin.h"

namespace {

const char* const cSourceButtonHint =
    "The Source Icon represents the modulation source. You can grab it, drag it and drop it onto any modulation "
    "target knob in the interface!\n\nThe moment you click on the source icon, the interface dims and the knobs of "
    "all modulatable parameters are highlighted.\n\nWhen you start dragging the icon, lines will appear, that show "
    "you which slot will be used for the future modulation connection.";

const char* const cSlotOrderHint =
    "The Slot Order button enables you to re-order your slots at all times. Just grab the button and drag it to a "
    "new position. Drag the slots to the left or right outside the user interface to move them to a different slot "
    "bank.";

} // namespace

ModulationMatrixPluginInterface::ModulationMatrixPluginInterface(std::unique_ptr<gui::UserInterface> userInterface,
                                                                 ModulationMatrixPlugin* plugin,
                                                                 InterfaceListener* listener,
                                                                 const std::string& backgroundName, float contrast)
    : GenericPluginInterface(std::move(userInterface), plugin, listener, backgroundName, contrast),
      matrixPlugin(plugin) {
  sourceButtonStyle = new gui::Button::Style(ui.get());
  targetLayer = new ModulationTargetLayer(ui.get(), plugin->getInterfaceWidth(), plugin->getInterfaceHeight());
  dragStage =
      new ModulationDragStage(this, targetLayer, plugin->getInterfaceWidth(), plugin->getInterfaceHeight());
}

// Every control belongs to the user interface, which the base deletes.
ModulationMatrixPluginInterface::~ModulationMatrixPluginInterface() = default;

void ModulationMatrixPluginInterface::getPreferredSlotRange(int& first, int& last) {
  first = 0;
  last = matrixPlugin->getModMatrixController()->getNumSlots() - 1;
}

gui::Point ModulationMatrixPluginInterface::getDragTargetPos(int target) {
  return targetLayer->getDragTargetPos(target);
}

gui::Point ModulationMatrixPluginInterface::getSourceButtonPos(int source) {
  for (ModulationSourceButton* b : sourceButtons) {
    if (b->getSourceIndex() != source) continue;
    gui::Point p = b->getPosition() + b->getClientCenter();
    if (gui::Control* parent = b->parent.get()) p = p + parent->getPosition();
    return p;
  }
  return gui::Point(0, 0);
}

void ModulationMatrixPluginInterface::makeConnection(int slot, int source, int target) {
  matrixPlugin->getModMatrixController()->makeConnection(slot, source, target);
}

ModulationSourceButton* ModulationMatrixPluginInterface::createSourceButton(int source, int x, int y) {
  auto* button = new ModulationSourceButton(this, source);
  place(button, x, y);
  button->hitThreshold = 128;
  button->hint = cSourceButtonHint;
  sourceButtons.push_back(button);
  return button;
}

ModulationTargetKnob* ModulationMatrixPluginInterface::createTargetKnob(int x, int y, gui::Knob::Style* style) {
  auto* knob = new ModulationTargetKnob(this, style);
  place(knob, x, y);
  knob->hitThreshold = 128;
  knob->onMouseEnter = NotifyEvent::bind<GenericPluginInterface>(this, &GenericPluginInterface::knobMouseEnter);
  knob->onMouseLeave = NotifyEvent::bind<GenericPluginInterface>(this, &GenericPluginInterface::knobMouseLeave);
  return knob;
}

SlotOrderButton* ModulationMatrixPluginInterface::createSlotOrderButton(int x, int y, gui::Button::Style* style,
                                                                       int slot) {
  auto* button = new SlotOrderButton(this, style, slot);
  place(button, x, y);
  button->hint = cSlotOrderHint;
  return button;
}

void ModulationMatrixPluginInterface::setControl(const AbstractPluginParameter& parameter, int target,
                                                 gui::Knob* knob) {
  targetLayer->registerTarget(target, knob);
  GenericPluginInterface::setControl(parameter, knob);
}

void ModulationMatrixPluginInterface::initialize() {
  targetLayer->parent = ui->getWindow();
  dragStage->parent = ui->getWindow();
  GenericPluginInterface::initialize();
}

void ModulationMatrixPluginInterface::updateParameterControl(int index) {
  GenericPluginInterface::updateParameterControl(index);
  for (ModulationSourceButton* b : sourceButtons) b->invalidate();
}
