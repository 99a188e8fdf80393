#include "editor/zarn/ModulationDragStage.h"

#include "editor/zarn/ModulationControls.h"
#include "editor/zarn/ModulationMatrixPluginInterface.h"
#include "gui/Bitmap.h"
#include "gui/Knob.h"
#include "gui/Timer.h"
#include "gui/UserInterface.h"
#include "synth/ModulationMatrixPlugin.h"

#include <algorithm>

using gui::Point;
using gui::Rect;

namespace {

const char* const cNoFreeSlotMessage = "No free slots are available. Clear one or more slots and try again.";

} // namespace

// ---- the veil with the lifted knobs

ModulationTargetLayer::ModulationTargetLayer(gui::UserInterface* userInterface, int width, int height)
    : gui::Control(userInterface) {
  setBounds(0, 0, width, height);
  visible = false;
}

void ModulationTargetLayer::registerTarget(int target, gui::Knob* knob) {
  if (!knob) {
    std::erase_if(targets, [target](const Target& t) { return t.targetIndex == target; });
    return;
  }
  const Target added{knob, knob->parent.get(), target, knob->getClientCenter()};
  const Rect& inner = knob->bounds.get();
  for (auto t = targets.rbegin(); t != targets.rend() && t->parent == added.parent; ++t) {
    const Rect& ring = t->knob->bounds.get();
    if (ring != inner && ring.contains(inner.topLeft())) {
      t->center.y += (inner.height() + ring.height()) / 4 - 1;
      break;
    }
  }
  targets.push_back(added);
}

int ModulationTargetLayer::getTargetIndex(gui::Knob* knob) const {
  for (const Target& t : targets)
    if (t.knob == knob) return t.targetIndex;
  return -1;
}

int ModulationTargetLayer::getSelectedTargetIndex() const {
  return selectedTarget >= 0 ? targets[static_cast<size_t>(selectedTarget)].targetIndex : -1;
}

Point ModulationTargetLayer::getDragTargetPos(int target) const {
  for (const Target& t : targets)
    if (t.targetIndex == target) return t.knob->getPosition() + t.center;
  return Point(0, 0);
}

void ModulationTargetLayer::prepare() {
  if (lifted) return;
  lifted = true;
  for (const Target& t : targets) {
    const Point home = t.parent ? t.parent->getPosition() : Point();
    t.knob->parent = this;
    t.knob->setPosition(home + t.knob->getPosition());
  }
  visible = true;
}

void ModulationTargetLayer::restore() {
  if (selectedTarget >= 0) targets[static_cast<size_t>(selectedTarget)].knob->highlighted = false;
  selectedTarget = -1;
  if (!lifted) return;
  lifted = false;
  for (const Target& t : targets) {
    const Point home = t.parent ? t.parent->getPosition() : Point();
    t.knob->setPosition(t.knob->getPosition() - home);
    t.knob->parent = t.parent;
  }
  visible = false;
}

void ModulationTargetLayer::updateDrag(const Point& p) {
  gui::Control* hit = controlAtPos(p);
  int found = -1;
  for (size_t i = 0; hit && i < targets.size(); ++i)
    if (targets[i].knob == hit) {
      found = static_cast<int>(i);
      break;
    }
  if (found == selectedTarget) return;
  if (selectedTarget >= 0) targets[static_cast<size_t>(selectedTarget)].knob->highlighted = false;
  if (found >= 0) targets[static_cast<size_t>(found)].knob->highlighted = true;
  selectedTarget = found;
}

void ModulationTargetLayer::paint(const gui::Canvas& canvas) { canvas.fillRect(clientRect, gui::Color(0, 0, 0, 64)); }

// ---- the stage

ModulationDragStage::ModulationDragStage(ModulationMatrixPluginInterface* editor, ModulationTargetLayer* layer,
                                         int width, int height)
    : gui::Control(editor->getUserInterface()),
      controller(editor->getModulationPlugin()->getModMatrixController()),
      dot(editor->getUserInterface()->createBitmap()), editor(editor), targetLayer(layer),
      timer(editor->getUserInterface()->createTimer()) {
  setBounds(0, 0, width, height);
  visible = false;
  timer->interval = cLingerMs;
  timer->onTimer = NotifyEvent::bind(this, &ModulationDragStage::timerTimer);
}

ModulationDragStage::~ModulationDragStage() { delete dot; }

bool ModulationDragStage::isTimerRunning() const { return timer->enabled; }

Rect ModulationDragStage::getDotRect(const Point& p) const {
  return Rect(p - dotOffset, dot->getWidth(), dot->getHeight());
}

void ModulationDragStage::initializeSourceFeedback(ModulationSourceButton* button) {
  if (button) {
    timer->enabled = false;
    sourceButton = button;
    sourcePoint = dragPoint = button->getClientCenter() + button->getPosition();
    dotOffset = Point(dot->getWidth() / 2, dot->getHeight() / 2);
    targetLayer->prepare();
    visible = true;
  } else {
    targetLayer->restore();
    sourceButton = nullptr;
    visible = false;
  }
  invalidate();
}

void ModulationDragStage::showSourceConnections(ModulationSourceButton* button) {
  mode = button ? 1 : 0;
  initializeSourceFeedback(button);
}

void ModulationDragStage::beginDrag(ModulationSourceButton* button) {
  mode = 2;
  initializeSourceFeedback(button);
}

void ModulationDragStage::initializeTargetFeedback(ModulationTargetKnob* knob) {
  if (knob) {
    timer->enabled = false;
    targetKnob = knob;
    dotOffset = Point(dot->getWidth() / 2, dot->getHeight() / 2);
    targetLayer->prepare();
    visible = true;
    // Clicks pass through to the lifted knobs.
    hitThreshold = 255;
  } else {
    targetLayer->restore();
    targetKnob = nullptr;
    hitThreshold = 240;
    visible = false;
  }
  invalidate();
}

void ModulationDragStage::showTargetConnections(ModulationTargetKnob* knob) {
  mode = knob ? 1 : 0;
  initializeTargetFeedback(knob);
}

void ModulationDragStage::selectFreeSlot() {
  int first = 0, last = -1;
  editor->getPreferredSlotRange(first, last);
  slot = controller->selectFreeSlot(first, last);
  if (slot == -1) slot = controller->selectFreeSlot(0, controller->getNumSlots() - 1);
  if (slot != -1) {
    slotSourcePoint = editor->getSlotSourcePos(slot);
    slotTargetPoint = editor->getSlotTargetPos(slot);
  }
}

void ModulationDragStage::updateDrag(const Point& p) {
  // The dots at both ends of the moving line, and the line itself with its
  // width (a dot may be smaller than the line is wide).
  Rect area = getDotRect(slotTargetPoint);
  area.setUnion(getDotRect(dragPoint));
  area.setUnion(getDotRect(p));
  const int pad = lineWidth.get() + 1;
  Rect span(std::min({slotTargetPoint.x, dragPoint.x, p.x}) - pad, std::min({slotTargetPoint.y, dragPoint.y, p.y}) - pad,
            std::max({slotTargetPoint.x, dragPoint.x, p.x}) + pad + 1,
            std::max({slotTargetPoint.y, dragPoint.y, p.y}) + pad + 1);
  area.setUnion(span);
  dragPoint = p;
  if (mode == 3) {
    invalidate(area);
  } else {
    selectFreeSlot();
    mode = 3;
    invalidate();
  }
  if (slot != -1) targetLayer->updateDrag(p);
}

void ModulationDragStage::endDrag() {
  const int target = targetLayer->getSelectedTargetIndex();
  targetLayer->restore();
  if (target == -1 || slot == -1 || !sourceButton) {
    if (mode != 1) {
      sourceButton = nullptr;
      visible = false;
    }
  } else {
    editor->makeConnection(slot, sourceButton->getSourceIndex(), target);
    slotSourcePoint = editor->getSlotSourcePos(slot);
    slotTargetPoint = editor->getSlotTargetPos(slot);
    invalidate();
    // The new connection stays in view a moment.
    timer->enabled = false;
    timer->enabled = true;
  }
  if (mode == 3 && slot == -1) getUserInterface()->showMessage(cNoFreeSlotMessage);
}

void ModulationDragStage::finishDrag() {
  if (mode == 1) return;
  sourceButton = nullptr;
  visible = false;
}

void ModulationDragStage::timerTimer(void*) {
  timer->enabled = false;
  finishDrag();
}

void ModulationDragStage::paint(const gui::Canvas& canvas) {
  if (mode == 1)
    drawConnections(canvas);
  else if (mode == 3 && slot != -1)
    drawDragFeedback(canvas);
}

void ModulationDragStage::line(const gui::Canvas& canvas, const Point& a, const Point& b) {
  canvas.drawLine(a, b, lineColor.get(), static_cast<float>(lineWidth.get()));
}

void ModulationDragStage::drawDot(const gui::Canvas& canvas, const Point& p) {
  canvas.drawBitmap(dot, p - dotOffset, 255);
}

void ModulationDragStage::drawConnections(const gui::Canvas& canvas) {
  std::vector<int> slots;
  if (sourceButton) {
    const Point s = sourceButton->getGlobalPosition() + sourceButton->getClientCenter();
    controller->getSourceSlots(sourceButton->getSourceIndex(), slots);
    for (int i : slots) {
      if (!controller->isSlotValid(i)) continue;
      const Point a = editor->getSlotSourcePos(i), b = editor->getSlotTargetPos(i);
      const Point c = editor->getDragTargetPos(controller->getSlotTarget(i));
      line(canvas, s, a);
      line(canvas, b, c);
      drawDot(canvas, a);
      drawDot(canvas, b);
      drawDot(canvas, c);
    }
  } else if (targetKnob) {
    controller->getTargetSlots(targetLayer->getTargetIndex(targetKnob), slots);
    for (int i : slots) {
      if (!controller->isSlotValid(i)) continue;
      const Point p = editor->getSourceButtonPos(controller->getSlotSource(i));
      const Point a = editor->getSlotSourcePos(i);
      line(canvas, p, a);
      drawDot(canvas, a);
      drawDot(canvas, p);
      const Point b = editor->getSlotTargetPos(i);
      const Point c = editor->getDragTargetPos(controller->getSlotTarget(i));
      line(canvas, b, c);
      drawDot(canvas, b);
      drawDot(canvas, c);
    }
  }
}

void ModulationDragStage::drawDragFeedback(const gui::Canvas& canvas) {
  line(canvas, sourcePoint, slotSourcePoint);
  line(canvas, slotTargetPoint, dragPoint);
  drawDot(canvas, slotSourcePoint);
  drawDot(canvas, slotTargetPoint);
  drawDot(canvas, dragPoint);
}
