#include "host/services/CTextEditEditor.h"

#include "host/PlugInGlobals.h"
#include "host/services/ScrapText.h"

#include <algorithm>

void CTextEditEditor::InitFromItemParse(SCustomParser* parser) {
  CCustomView::InitFromItemParse(parser);
  SCustomParseElem* e = TakeGroup(parser);
  bool coded = false;
  for (; e; e = e->next) {
    if (e->kind == kElemCode) {
      fControlType = static_cast<uint32_t>(e->value); // the last code names the control
      coded = true;
    } else {
      PlugInAssert(e->kind == kElemAttribute && e->value == kAttrReverse);
      fReverse = true;
    }
  }
  PlugInAssert(coded);
}

std::string CTextEditEditor::GetValueText() {
  char text[256] = {};
  if (fControlView) fControlView->GetValueString(GetValue(), text, 255);
  return text;
}

void CTextEditEditor::HandleKey(char key, bool* handled) {
  *handled = false;
  if (!fControlView || !fEdit) return;
  *handled = true;
  if (key == kUpArrow || key == kDownArrow) {
    int32_t step = GetStep() + ((key == kUpArrow) != fReverse ? 1 : -1);
    if (step >= 0 && step < GetNumSteps()) SetStep(step);
    fModified = false;
    return;
  }
  if (scrap::IsCopy(key)) {
    scrap::CopySelection(*fEdit);
    return;
  }
  if (scrap::IsPaste(key)) {
    // A pasted value is typed: ending the edit hands it to the control.
    unsigned char pasted[256];
    scrap::GetScrapText(pasted, kMaxTypedLength);
    if (!pasted[0]) return;
    fEdit->setText(std::string(reinterpret_cast<const char*>(pasted + 1), pasted[0]));
    fModified = true;
    if (fPort) Update(nullptr);
    return;
  }
  unsigned char accept = 0;
  fControlView->AcceptsKey(static_cast<unsigned char>(key), &accept);
  if (!accept) return;
  fEdit->key(key);
  fModified = true;
  if (fPort) Update(nullptr);
}

void CTextEditEditor::BeginEdit() {
  if (!fPort || fEdit) return;
  fPort->setTextFont(3);
  fPort->setTextSize(9);
  fPort->setTextFace(0);
  fEdit = std::make_unique<platform::TextEdit>(fPort, fRect.inset(2, 2));
  fEdit->setJustification(platform::TextEdit::kFlushRight);
  fEdit->setText(GetValueText());
  fEdit->setSelection(0, static_cast<int>(fEdit->text().size()));
  fModified = false;
  SetClicked(true);
}

void CTextEditEditor::EndEdit(bool accept) {
  if (!fEdit) return;
  std::string typed = fEdit->text().substr(0, kMaxTypedLength);
  bool modified = fModified;
  fEdit.reset();
  fModified = false;
  SetClicked(false);
  int32_t value = 0;
  if (accept && modified && !typed.empty() && fControlView && fControlView->GetValueFromString(&value, typed.c_str()))
    SetValue(value);
  else if (fPort)
    Update(nullptr);
}

void CTextEditEditor::TrackClick(EventRecord* event, bool synthetic) {
  if (fEdit && !synthetic) {
    fEdit->click(event->where, (event->modifiers & kShiftKeyBit) != 0);
    if (fPort) Update(nullptr);
    return;
  }
  CControlEditor::TrackClick(event, synthetic);
}

void CTextEditEditor::Idle(int32_t ticks) {
  if (fEdit) fEdit->idle(static_cast<uint32_t>(ticks));
  CControlEditor::Idle(ticks);
}

void CTextEditEditor::DrawContents(Rect* area) {
  DrawBackground(area);
  GrafPtr port = platform::currentPort();
  if (!port) return;
  if (fEdit) {
    fEdit->draw();
    return;
  }
  RGBColor fore, saved = port->foreColor();
  GetForegroundColor(&fore);
  port->setForeColor(fore);
  port->setTextFont(3);
  port->setTextSize(9);
  port->setTextFace(0);
  std::string text = GetValueText();
  platform::DrawPort::FontInfo fi = port->fontInfo();
  port->moveTo(fRect.right - 3 - port->textWidth(text), (fRect.top + fRect.bottom + fi.ascent - fi.descent) / 2);
  port->drawString(text);
  port->setForeColor(saved);
}

void CTextEditEditor::Refresh() {
  if (fEdit) {
    fEdit->setText(GetValueText());
    fEdit->setSelection(0, static_cast<int>(fEdit->text().size()));
  }
  if (fPort) Update(nullptr);
}

CPlugInView* CreateCTextEditEditor() { return new CTextEditEditor; }
