#pragma once

// The two full-window layers of drag-and-drop modulation, both invisible
// outside a gesture.
//
// ModulationTargetLayer is the veil: a translucent black control onto which
// every registered target knob is lifted during a gesture (same place on
// screen, above the veil) and from which they all return to their own
// parents afterwards. While a source is dragged it highlights the knob under
// the pointer; that knob's target is where a drop connects.
//
// ModulationDragStage lies above the layer and draws the feedback: during a
// drag a line from the source icon to the slot's source end and one from
// the slot's target end to the pointer, with a dot at each end; after a
// drop the same lines to the drop point for 800 ms; and, for a double
// click, every valid connection of a source (or into a target). It chooses
// the slot of the coming connection when the drag begins: the first free
// slot of the editor's preferred range (the visible bank), else of all
// slots. With none free it draws and highlights nothing, and the drop says
// so.

#include "base/Property.h"
#include "gui/Color.h"
#include "gui/Control.h"
#include "synth/ModulationMatrix.h"

#include <vector>

class ModulationMatrixPluginInterface;
class ModulationSourceButton;
class ModulationTargetKnob;

namespace gui {
class Bitmap;
class Knob;
class Timer;
} // namespace gui

class ModulationTargetLayer : public gui::Control {
public:
  struct Target {
    gui::Knob* knob;
    // The knob's parent when it was registered; it goes back there.
    gui::Control* parent;
    int targetIndex;
    // Where lines end and drops aim, in the knob's coordinates.
    gui::Point center;
  };

  // Full-window bounds.
  ModulationTargetLayer(gui::UserInterface* userInterface, int width, int height);

  // Null removes every registration of the target. A knob placed inside an
  // already registered ring knob of the same parent moves the ring's
  // connection point down, out from under the inner knob.
  void registerTarget(int target, gui::Knob* knob);
  int getTargetIndex(gui::Knob* knob) const;
  int getSelectedTargetIndex() const;
  // In window coordinates while the knobs are lifted.
  gui::Point getDragTargetPos(int target) const;
  const std::vector<Target>& getTargets() const { return targets; }

  // Lifts the knobs above the veil and shows it; restore() puts everything
  // back. Each does nothing when already done.
  void prepare();
  void restore();
  // Highlights the knob under the point (layer coordinates), if any.
  void updateDrag(const gui::Point& p);

protected:
  void paint(const gui::Canvas& canvas) override;

private:
  int selectedTarget = -1;
  std::vector<Target> targets;
  bool lifted = false;
};

class ModulationDragStage : public gui::Control {
public:
  static constexpr int cLingerMs = 800;

  Property<gui::Color> lineColor{nullptr, gui::Color(255, 255, 255, 255)};
  Property<int> lineWidth{nullptr, 3};

  ModulationDragStage(ModulationMatrixPluginInterface* editor, ModulationTargetLayer* layer, int width, int height);
  ~ModulationDragStage() override;

  // Owned; the derived editor loads it.
  gui::Bitmap* getDot() const { return dot; }
  // Where a dot centred on p is drawn.
  gui::Rect getDotRect(const gui::Point& p) const;

  // 0 nothing, 1 show connections, 2 drag armed, 3 dragging (and, after a
  // drop, the finished connection until the timer hides the stage).
  int mode = 0;

  // Null ends the feedback.
  void initializeSourceFeedback(ModulationSourceButton* button);
  void showSourceConnections(ModulationSourceButton* button);
  void beginDrag(ModulationSourceButton* button);
  void initializeTargetFeedback(ModulationTargetKnob* knob);
  void showTargetConnections(ModulationTargetKnob* knob);
  void selectFreeSlot();
  // p in window coordinates.
  void updateDrag(const gui::Point& p);
  void endDrag();
  void finishDrag();

  int getSlot() const { return slot; }
  bool isTimerRunning() const;

protected:
  void paint(const gui::Canvas& canvas) override;

private:
  void drawConnections(const gui::Canvas& canvas);
  void drawDragFeedback(const gui::Canvas& canvas);
  void drawDot(const gui::Canvas& canvas, const gui::Point& p);
  void line(const gui::Canvas& canvas, const gui::Point& a, const gui::Point& b);
  void timerTimer(void* sender);

  ModulationMatrix::Controller* controller;
  gui::Bitmap* dot;
  gui::Point dotOffset;
  ModulationMatrixPluginInterface* editor;
  gui::Point dragPoint;
  int slot = -1;
  gui::Point slotSourcePoint;
  gui::Point slotTargetPoint;
  ModulationSourceButton* sourceButton = nullptr;
  ModulationTargetKnob* targetKnob = nullptr;
  gui::Point sourcePoint;
  ModulationTargetLayer* targetLayer;
  gui::Timer* timer;
};
