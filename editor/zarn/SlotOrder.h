#pragma once

// Reordering modulation slots by dragging. Each slot row carries a
// SlotOrderButton; while it is held the button lies on the editor's
// full-window SlotOrderStage (same place on screen), which the derived
// editor implements: it shows the drop marker, flips slot banks and, at
// the release, moves the slot through the matrix controller. After the drag
// the button is back in its row at its old place, whatever the stage did to
// the slots.

#include "gui/Button.h"

class ModulationMatrixPluginInterface;
class SlotOrderButton;

class SlotOrderStage : public gui::Control {
public:
  // Full-window bounds, invisible.
  explicit SlotOrderStage(ModulationMatrixPluginInterface* editor);

  // A drag of button began at p (stage coordinates); the stage shows itself.
  virtual void beginOrder(const gui::Point& p, SlotOrderButton* button) = 0;
  virtual void updateOrder(const gui::Point& p) = 0;
  // Performs the move, if any, clears the feedback and hides the stage.
  virtual void endOrder() = 0;
};

class SlotOrderButton : public gui::Button {
public:
  SlotOrderButton(ModulationMatrixPluginInterface* editor, gui::Button::Style* style, int slot);

  int getSlotIndex() const { return slotIndex; }
  void setSlotIndex(int slot) { slotIndex = slot; }
  bool isDragging() const { return dragging; }

protected:
  void mouseDown(gui::MouseButton button, const gui::Point& p, gui::ShiftState state) override;
  void mouseMove(const gui::Point& p, gui::ShiftState state) override;
  void mouseUp(gui::MouseButton button, const gui::Point& p, gui::ShiftState state) override;

private:
  ModulationMatrixPluginInterface* editor;
  gui::Control* savedParent = nullptr;
  int slotIndex;
  bool dragging = false;
};
