#include "editor/zarn/SlotOrder.h"

#include "editor/zarn/ModulationMatrixPluginInterface.h"

SlotOrderStage::SlotOrderStage(ModulationMatrixPluginInterface* editor) : gui::Control(editor->getUserInterface()) {
  setBounds(0, 0, editor->getPlugin()->getInterfaceWidth(), editor->getPlugin()->getInterfaceHeight());
  visible = false;
}

SlotOrderButton::SlotOrderButton(ModulationMatrixPluginInterface* editor, gui::Button::Style* style, int slot)
    : gui::Button(editor->getUserInterface(), style), editor(editor), slotIndex(slot) {}

void SlotOrderButton::mouseDown(gui::MouseButton button, const gui::Point& p, gui::ShiftState state) {
  gui::Button::mouseDown(button, p, state);
  if (dragging) return;
  SlotOrderStage* stage = editor->getSlotOrderStage();
  if (!stage) return;
  savedParent = parent.get();
  // The same place on screen, for a row that lies directly in the window.
  const gui::Point home = savedParent ? savedParent->getPosition() : gui::Point();
  parent = stage;
  setPosition(home + getPosition());
  dragging = true;
  stage->beginOrder(getPosition() + p, this);
}

void SlotOrderButton::mouseMove(const gui::Point& p, gui::ShiftState state) {
  if (dragging)
    editor->getSlotOrderStage()->updateOrder(getPosition() + p);
  else
    gui::Button::mouseMove(p, state);
}

void SlotOrderButton::mouseUp(gui::MouseButton button, const gui::Point& p, gui::ShiftState state) {
  if (dragging) {
    dragging = false;
    editor->getSlotOrderStage()->endOrder();
    const gui::Point home = savedParent ? savedParent->getPosition() : gui::Point();
    setPosition(getPosition() - home);
    parent = savedParent;
  }
  gui::Button::mouseUp(button, p, state);
}
