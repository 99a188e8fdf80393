// The modulation slot strip of the synthesizer's editor: the eight slot
// units, the mask over unusable slots, the bank operations and the stage
// on which slots are reordered.

#include "editor/zarn/ZarnInterface.h"
#include "editor/zarn/ModulationControls.h"
#include "gui/Bitmap.h"
#include "editor/zarn/ZarnLayout.h"
#include "gui/Canvas.h"
#include "gui/Image.h"
#include "gui/Label.h"
#include "gui/SelectButton.h"
#include "gui/Text.h"
#include "gui/Timer.h"
#include "gui/ToggleButton.h"
#include "hints/ZarnHints.h"
#include "synth/ModulationMatrix.h"
#include "synth/ModulationMatrixParameterSet.h"
#include "synth/ZarnPlugin.h"

#include <algorithm>
#include <string>

using namespace zarnlayout;

constexpr int cMarkerWidth = 5;

namespace {

ModulationMatrix::Controller* controllerOf(ZarnInterface* editor) {
  return editor->getZarnPlugin()->getModMatrixController();
}

ModulationMatrixParameterSet::SlotParameters& slotParameters(ZarnInterface* editor, int slot) {
  return editor->getZarnPlugin()->getModMatrixParameters()->at(slot);
}

} // namespace

// ---- SlotUnit

ZarnInterface::SlotUnit::SlotUnit(ZarnInterface* editor, int slot, int x, int y)
    : gui::Component(editor->getUserInterface()), editor(editor) {
  editor->setActiveContainer(editor->createContainer(x, y, cSlotW, cSlotH));
  ModulationMatrixParameterSet::SlotParameters& first = slotParameters(editor, slot);
  targetButton = editor->createSelectButton(x + cSlotTarget.x, y + cSlotTarget.y, cSlotSelectW,
                                            editor->plainButtonStyle, first.target);
  targetButton->setHint(cHintSlotTarget);
  levelKnob = editor->createTargetKnob(x + cSlotLevel.x, y + cSlotLevel.y, editor->smallKnobStyle);
  levelKnob->setHint(cHintSlotLevel);
  invertSwitch = editor->createSwitch(x + cSlotInvert.x, y + cSlotInvert.y, editor->verSwitchStyle);
  invertSwitch->setHint(cHintSlotInvert);
  sourceButton = editor->createSelectButton(x + cSlotSource.x, y + cSlotSource.y, cSlotSelectW,
                                            editor->plainButtonStyle, first.source);
  sourceButton->setHint(cHintSlotSource);
  numberLabel = editor->createLabel(x + cSlotNumber.x, y + cSlotNumber.y, 14, 20);
  numberLabel->horizontalAlignment = 1;
  numberLabel->verticalAlignment = 1;
  numberLabel->autoSize = false;
  numberLabel->getText()->size = 7;
  numberLabel->getText()->color = gui::Color(255, 255, 255, 255);
  bypassButton = editor->createToggleButton(x + cSlotBypass.x, y + cSlotBypass.y, editor->bypassButtonStyle);
  bypassButton->setHint(cHintSlotByPass);
  clearButton = editor->createButton(x + cSlotClear.x, y + cSlotClear.y, cSmallButton, editor->clearButtonStyle);
  clearButton->hint = std::string(cHintSlotClear);
  clearButton->onClick = NotifyEvent::bind(this, &SlotUnit::clearButtonClick);
  warningImage = editor->createImage(x + cSlotWarning.x, y + cSlotWarning.y, "SlotWarning.png");
  warningImage->visible = false;
  warningImage->hint = std::string(cHintSlotWarning);
  orderButton = editor->createSlotOrderButton(x + cSlotOrder.x, y + cSlotOrder.y, editor->slotOrderButtonStyle, slot);
  editor->setActiveContainer(nullptr);
  setSlotIndex(slot);
}

void ZarnInterface::SlotUnit::bindSlot(int slot, bool bind) {
  ModulationMatrixParameterSet::SlotParameters& p = slotParameters(editor, slot);
  editor->setControl(p.target, bind ? targetButton : nullptr);
  editor->setControl(p.level, 38 + slot, bind ? levelKnob : nullptr);
  editor->setControl(p.bypassed, bind ? bypassButton : nullptr);
  editor->setControl(p.inverted, bind ? invertSwitch : nullptr);
  editor->setControl(p.source, bind ? sourceButton : nullptr);
}

void ZarnInterface::SlotUnit::setSlotIndex(int slot) {
  if (slot == slotIndex) return;
  if (slotIndex >= 0) bindSlot(slotIndex, false);
  slotIndex = slot;
  orderButton->setSlotIndex(slot);
  const std::string number = std::to_string(slot + 1);
  if (numberLabel->getText()->text.get() != number) numberLabel->getText()->text = number;
  if (slot >= 0) bindSlot(slot, true);
}

void ZarnInterface::SlotUnit::updateWarning() {
  if (slotIndex < 0) return;
  ModulationMatrix::Controller* c = controllerOf(editor);
  const bool refused = c->getSlotSource(slotIndex) != -1 && c->getSlotTarget(slotIndex) != -1 &&
                       !c->getSlotBypassed(slotIndex) && !c->isSlotValid(slotIndex);
  if (warningImage->visible.get() != refused) warningImage->visible = refused;
}

void ZarnInterface::SlotUnit::clearButtonClick(void*) {
  if (slotIndex != -1) controllerOf(editor)->clearSlot(slotIndex);
}

// ---- SlotMask

ZarnInterface::SlotMask::SlotMask(ZarnInterface* editor) : gui::Control(editor->getUserInterface()), editor(editor) {
  parent = editor->getUserInterface()->getWindow();
  setBounds(0, cSlotY, cWidth, cSlotH);
  opacity = 100;
}

void ZarnInterface::SlotMask::paint(const gui::Canvas& canvas) {
  const gui::Color fill(199, 186, 139, 255);
  ModulationMatrix::Controller* c = controllerOf(editor);
  const int h = cSlotH;
  for (int i = 0; i < 8; ++i) {
    const int s = 8 * editor->getBank() + i, x = cSlotW * i;
    if (c->isSlotValid(s)) continue;
    if (c->getSlotBypassed(s)) {
      canvas.fillRect(gui::Rect(x, 0, x + 80, 24), fill);
      canvas.fillRect(gui::Rect(x, h - 24, x + 80, h), fill);
      canvas.fillRect(gui::Rect(x + 16, 24, x + 80, h - 24), fill);
    } else {
      const int y0 = c->getSlotTarget(s) != -1 ? 24 : 0;
      const int y1 = c->getSlotSource(s) != -1 ? h - 24 : h;
      canvas.fillRect(gui::Rect(x, y0, x + 80, y1), fill);
    }
  }
}

// ---- the editor's bank and geometry operations

void ZarnInterface::getPreferredSlotRange(int& first, int& last) {
  first = 8 * currentBank;
  last = first + 7;
}

gui::Point ZarnInterface::getSlotSourcePos(int slot) {
  return gui::Point((slot - 8 * currentBank) * cSlotW + 40, 304);
}

gui::Point ZarnInterface::getSlotTargetPos(int slot) { return gui::Point(getSlotSourcePos(slot).x, 237); }

gui::Point ZarnInterface::getDragTargetPos(int target) {
  const gui::Point p = ModulationMatrixPluginInterface::getDragTargetPos(target);
  if (p != gui::Point(0, 0)) return p;
  return gui::Point((target - 38 - 8 * currentBank) * cSlotW + 54, 270);
}

void ZarnInterface::activateSlotBank(int bank) {
  if (bankButtons[currentBank]->selected.get()) bankButtons[currentBank]->selected = false;
  if (!bankButtons[bank]->selected.get()) bankButtons[bank]->selected = true;
  currentBank = bank;
  for (int i = 0; i < 8; ++i) slotUnits[i]->setSlotIndex(8 * bank + i);
  updateParameterControls();
  updateBankButtons();
}

void ZarnInterface::bankButtonClick(void* sender) {
  activateSlotBank(sender == bankButtons[0] ? 0 : sender == bankButtons[1] ? 1 : 2);
}

void ZarnInterface::updateBankButtons() {
  for (int b = 0; b < 3; ++b) {
    const gui::Color c = b != currentBank && isBankEmpty(b) ? gui::Color(0, 0, 0, 64) : gui::Color(0, 0, 0, 200);
    if (bankButtons[b]->getText()->color.get() != c) bankButtons[b]->getText()->color = c;
  }
}

bool ZarnInterface::isBankEmpty(int bank) {
  ModulationMatrix::Controller* c = controllerOf(this);
  for (int s = 8 * bank; s < 8 * bank + 8; ++s)
    if (c->isSlotValid(s)) return false;
  return true;
}

// ---- ZarnSlotOrderStage

ZarnInterface::ZarnSlotOrderStage::ZarnSlotOrderStage(ZarnInterface* editor)
    : SlotOrderStage(editor), editor(editor) {
  gui::UserInterface* ui = editor->getUserInterface();
  parent = ui->getWindow();
  image = new gui::Image(ui);
  image->getBitmap()->resize(cSlotW, cSlotH);
  image->getBitmap()->fillRect(gui::Rect(0, 0, cSlotW, cSlotH), gui::Color(0, 0, 0, 255));
  image->getBitmap()->fillRect(gui::Rect(1, 1, cSlotW - 1, cSlotH - 1), gui::Color(100, 100, 100, 255));
  image->setBounds(0, 0, cSlotW, cSlotH);
  image->opacity = 60;
  image->visible = false;
  image->parent = this;
  marker = new gui::Image(ui);
  marker->getBitmap()->resize(cMarkerWidth, cSlotH);
  marker->getBitmap()->fillRect(gui::Rect(0, 0, cMarkerWidth, cSlotH), gui::Color(0, 0, 0, 255));
  marker->setBounds(0, cSlotY, cMarkerWidth, cSlotH);
  marker->opacity = 75;
  marker->visible = false;
  marker->parent = this;
  timer = ui->createTimer();
  timer->interval = 600;
  timer->onTimer = NotifyEvent::bind(this, &ZarnSlotOrderStage::timerTimer);
}

void ZarnInterface::ZarnSlotOrderStage::beginOrder(const gui::Point& p, SlotOrderButton* button) {
  visible = true;
  image->visible = true;
  originSlot = button->getSlotIndex();
  bank = originSlot / 8;
  grabOffset = gui::Point((originSlot % 8) * cSlotW - p.x, 0);
  image->setPosition(grabOffset + p);
  updateResultIndex(p);
}

void ZarnInterface::ZarnSlotOrderStage::updateOrder(const gui::Point& p) {
  image->setPosition(grabOffset + p);
  updateResultIndex(p);
  marker->setPosition(getResultMarkerPosition(p));
  marker->visible = resultSlot != originSlot;
  flipDirection = p.x < 0 ? -1 : p.x > clientRect.width() ? 1 : 0;
  timer->enabled = flipDirection != 0;
}

void ZarnInterface::ZarnSlotOrderStage::endOrder() {
  visible = false;
  image->visible = false;
  marker->visible = false;
  timer->enabled = false;
  if (originSlot >= 0 && resultSlot >= 0) controllerOf(editor)->moveSlot(originSlot, resultSlot);
  originSlot = resultSlot = -1;
}

// A flip shows the neighbouring bank; the result is found again from where
// the pointer is, so it always names a slot of the shown bank.
void ZarnInterface::ZarnSlotOrderStage::timerTimer(void*) {
  const int next = std::clamp(bank + flipDirection, 0, 2);
  if (next == bank) return;
  editor->activateSlotBank(next);
  bank = next;
  updateResultIndex(lastPoint);
  marker->setPosition(getResultMarkerPosition(lastPoint));
  marker->visible = resultSlot != originSlot;
}

void ZarnInterface::ZarnSlotOrderStage::updateResultIndex(const gui::Point& p) {
  lastPoint = p;
  const int width = clientRect.width();
  const int g = p.x < 0 ? 40 : p.x > width ? width + 40 : p.x + 40;
  int result = 8 * bank + g / cSlotW;
  if (result > originSlot) result -= 1;
  resultSlot = std::clamp(result, 0, 23);
}

gui::Point ZarnInterface::ZarnSlotOrderStage::getResultMarkerPosition(const gui::Point&) const {
  const int r = resultSlot % 8;
  int x = r * cSlotW - cMarkerWidth / 2;
  if (resultSlot > originSlot) x += cSlotW;
  return gui::Point(x, cSlotY);
}
