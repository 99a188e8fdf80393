#pragma once

// The two controls of drag-and-drop modulation.
//
// A ModulationSourceButton is a source icon. Pressing it dims the editor
// and lifts the target knobs (for one double-click interval when the mouse
// is released at once); moving it 5 pixels with the button down starts a
// drag, whose release over a lifted knob connects the source to that knob's
// target; a double click shows the source's connections until the mouse
// leaves the icon or clicks again. While the gesture lasts the icon lies on
// the drag stage, at the same place on screen. Its modes:
//   0 idle, 1 showing connections, 2 pressed and drag armed, 3 dragging.
//
// A ModulationTargetKnob is a knob that a double click turns into a view of
// every connection into its target (until the mouse leaves it). Within the
// double-click window a click does not turn the knob, so the second click
// of a double click never moves the value.

#include "gui/Button.h"
#include "gui/Knob.h"

class ModulationMatrixPluginInterface;

namespace gui {
class Timer;
}

class ModulationSourceButton : public gui::Button {
public:
  ModulationSourceButton(ModulationMatrixPluginInterface* editor, int source);

  int getSourceIndex() const { return sourceIndex; }
  int getMode() const { return mode; }
  bool isTimerRunning() const;
  // Ends the gesture: the icon goes home and the stage drops or hides.
  void endModulationView();

protected:
  void mouseDown(gui::MouseButton button, const gui::Point& p, gui::ShiftState state) override;
  void mouseLeave() override;
  void mouseMove(const gui::Point& p, gui::ShiftState state) override;
  void mouseUp(gui::MouseButton button, const gui::Point& p, gui::ShiftState state) override;
  void paint(const gui::Canvas& canvas) override;

private:
  void placeOnDragStage();
  void restoreParent();
  void startTimer();
  void timerTimer(void* sender);

  bool pressed = false;
  ModulationMatrixPluginInterface* editor;
  gui::Control* savedParent = nullptr;
  int sourceIndex;
  gui::Point pressPoint;
  int mode = 0;
  gui::Timer* timer;
};

class ModulationTargetKnob : public gui::Knob {
public:
  ModulationTargetKnob(ModulationMatrixPluginInterface* editor, gui::Knob::Style* style);

  int getMode() const { return mode; }

protected:
  void mouseDown(gui::MouseButton button, const gui::Point& p, gui::ShiftState state) override;
  void mouseLeave() override;
  void mouseMove(const gui::Point& p, gui::ShiftState state) override;

private:
  void timerTimer(void* sender);

  ModulationMatrixPluginInterface* editor;
  gui::Point pressPoint;
  int mode = 0;
  gui::Timer* timer;
};
