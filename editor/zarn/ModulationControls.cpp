#include "editor/zarn/ModulationControls.h"

#include "base/PlatformUtils.h"
#include "editor/zarn/ModulationDragStage.h"
#include "editor/zarn/ModulationMatrixPluginInterface.h"
#include "gui/Bitmap.h"
#include "gui/Timer.h"
#include "gui/UserInterface.h"
#include "synth/ModulationMatrixPlugin.h"

#include <cstdlib>

namespace {

// How far the mouse moves before a press on a source icon becomes a drag.
constexpr int cDragDistance = 5;

gui::Timer* makeDoubleClickTimer(gui::UserInterface* ui) {
  gui::Timer* timer = ui->createTimer();
  timer->interval = static_cast<int>(getDoubleClickInterval());
  return timer;
}

} // namespace

// ---- source icon

ModulationSourceButton::ModulationSourceButton(ModulationMatrixPluginInterface* editor, int source)
    : gui::Button(editor->getUserInterface(), editor->getSourceButtonStyle()), editor(editor), sourceIndex(source),
      timer(makeDoubleClickTimer(editor->getUserInterface())) {
  timer->onTimer = NotifyEvent::bind(this, &ModulationSourceButton::timerTimer);
}

bool ModulationSourceButton::isTimerRunning() const { return timer->enabled; }

void ModulationSourceButton::startTimer() {
  timer->enabled = false;
  timer->enabled = true;
}

void ModulationSourceButton::placeOnDragStage() {
  savedParent = parent.get();
  const gui::Point home = savedParent ? savedParent->getPosition() : gui::Point();
  parent = editor->getDragStage();
  setPosition(home + getPosition());
}

void ModulationSourceButton::restoreParent() {
  if (!savedParent) return;
  setPosition(getPosition() - savedParent->getPosition());
  parent = savedParent;
  savedParent = nullptr;
}

void ModulationSourceButton::endModulationView() {
  timer->enabled = false;
  restoreParent();
  ModulationDragStage* stage = editor->getDragStage();
  if (mode == 1) {
    stage->mode = 0;
    stage->initializeSourceFeedback(nullptr);
  } else {
    stage->endDrag();
  }
  mode = 0;
  editor->endModulationView();
}

void ModulationSourceButton::mouseDown(gui::MouseButton button, const gui::Point& p, gui::ShiftState state) {
  gui::Button::mouseDown(button, p, state);
  pressed = true;
  editor->hideWelcomeHint();
  if (mode == 1) {
    endModulationView();
    return;
  }
  if (mode == 0) {
    if (timer->enabled) endModulationView();
  } else {
    // Armed or dragging: only a second click within the double-click
    // interval starts over.
    if (!timer->enabled) return;
    endModulationView();
  }
  editor->beginModulationView();
  if (button != 0) return;

  pressPoint = p;
  placeOnDragStage();
  ModulationDragStage* stage = editor->getDragStage();
  if (state & gui::cDoubleClickBit) {
    mode = 1;
    stage->mode = 1;
    stage->initializeSourceFeedback(this);
  } else {
    mode = 2;
    stage->mode = 2;
    stage->initializeSourceFeedback(this);
    startTimer();
  }
}

void ModulationSourceButton::mouseMove(const gui::Point& p, gui::ShiftState state) {
  if (mode == 2 &&
      (std::abs(p.x - pressPoint.x) >= cDragDistance || std::abs(p.y - pressPoint.y) >= cDragDistance)) {
    if (pressed) {
      mode = 3;
      timer->enabled = false;
    } else {
      endModulationView();
    }
  }
  if (mode == 3)
    editor->getDragStage()->updateDrag(p + getPosition());
  else if (mode == 0)
    gui::Button::mouseMove(p, state);
}

void ModulationSourceButton::mouseUp(gui::MouseButton button, const gui::Point& p, gui::ShiftState state) {
  if ((mode == 2 || mode == 3) && !timer->enabled) endModulationView();
  pressed = false;
  gui::Button::mouseUp(button, p, state);
}

void ModulationSourceButton::mouseLeave() {
  gui::Button::mouseLeave();
  if (mode == 1 || ((mode == 2 || mode == 3) && !pressed)) endModulationView();
}

void ModulationSourceButton::timerTimer(void*) {
  if (!pressed) endModulationView();
  timer->enabled = false;
}

void ModulationSourceButton::paint(const gui::Canvas& canvas) {
  gui::Button::paint(canvas);
  gui::Bitmap* mark = getStyle()->overlayOn;
  if (mark->getWidth() >= 1 && mark->getHeight() >= 1 &&
      editor->getModulationPlugin()->getModMatrixController()->hasSourceSlots(sourceIndex))
    canvas.drawBitmap(mark, gui::Point(0, 0), 255);
}

// ---- target knob

ModulationTargetKnob::ModulationTargetKnob(ModulationMatrixPluginInterface* editor, gui::Knob::Style* style)
    : gui::Knob(editor->getUserInterface(), style), editor(editor),
      timer(makeDoubleClickTimer(editor->getUserInterface())) {
  timer->onTimer = NotifyEvent::bind(this, &ModulationTargetKnob::timerTimer);
}

void ModulationTargetKnob::mouseDown(gui::MouseButton button, const gui::Point& p, gui::ShiftState state) {
  gui::Knob::mouseDown(button, p, state);
  pressPoint = p;
  if (mode != 0) return;
  if (state & gui::cDoubleClickBit) {
    timer->enabled = false;
    mode = 1;
    ModulationDragStage* stage = editor->getDragStage();
    stage->mode = 1;
    stage->initializeTargetFeedback(this);
  } else {
    timer->enabled = false;
    timer->enabled = true;
  }
}

void ModulationTargetKnob::mouseMove(const gui::Point& p, gui::ShiftState state) {
  const int slack = getDoubleClickDistance() / 2;
  if (std::abs(p.x - pressPoint.x) > slack || std::abs(p.y - pressPoint.y) > slack) timer->enabled = false;
  if (mode != 1 && !timer->enabled) gui::Knob::mouseMove(p, state);
}

void ModulationTargetKnob::mouseLeave() {
  gui::Knob::mouseLeave();
  if (mode == 1) {
    mode = 0;
    ModulationDragStage* stage = editor->getDragStage();
    stage->mode = 0;
    stage->initializeTargetFeedback(nullptr);
  }
}

void ModulationTargetKnob::timerTimer(void*) { timer->enabled = false; }
