#include "host/services/CTextPopupControlEditor.h"

#include "host/PlugInGlobals.h"
#include "host/services/PopupMenuSupport.h"
#include "platform/Clock.h"

#include <algorithm>

std::string CTextPopupControlEditor::GetValueText(int32_t value) {
  if (!fControlView) return std::to_string(value / 65536); // as a control view without a process says it
  char text[256] = {};
  fControlView->GetValueString(value, text, 255);
  return text;
}

std::vector<std::string> CTextPopupControlEditor::GetItemTexts() {
  std::vector<std::string> items;
  const int32_t steps = std::min(GetNumSteps(), popupmenu::kMaxItems);
  for (int32_t i = 0; i < steps; ++i) items.push_back(GetValueText(StepToValue(i)));
  return items;
}

void CTextPopupControlEditor::DrawContents(Rect* area) {
  DrawBackground(area);
  GrafPtr port = platform::currentPort();
  if (!port) return;
  RGBColor fore, saved = port->foreColor();
  GetForegroundColor(&fore);
  port->setForeColor(fore);
  port->setTextFont(fFont);
  port->setTextSize(fSize);
  port->setTextFace(fFace);
  port->setTextMode(platform::kSrcOr);
  fShown = GetValueText(GetValue());
  int width = port->textWidth(fShown);
  platform::DrawPort::FontInfo fi = port->fontInfo();
  int h = fAlignment == 1 ? fRect.right - 3 - width : fAlignment == 2 ? fRect.left + 3 : (fRect.left + fRect.right - width) / 2;
  port->moveTo(h, (fRect.top + fRect.bottom + fi.ascent - fi.descent) / 2);
  port->drawString(fShown);
  port->setForeColor(saved);
}

void CTextPopupControlEditor::Refresh() {
  if (GetValueText(GetValue()) != fShown && fPort) Update(nullptr);
}

void CTextPopupControlEditor::size(platform::CustomMenu& menu) {
  platform::DrawPort measure(1, 1);
  measure.setTextFont(fFont);
  measure.setTextSize(fSize);
  platform::DrawPort::FontInfo fi = measure.fontInfo();
  measure.setTextFace(platform::kFaceBold);
  int widest = 0;
  for (const std::string& item : menu.items) widest = std::max(widest, measure.textWidth(item));
  int itemHeight = fi.ascent + fi.descent + 4;
  menu.width = static_cast<int16_t>(widest + 14);
  menu.height = static_cast<int16_t>(itemHeight * static_cast<int>(menu.items.size()));
}

Rect CTextPopupControlEditor::place(const platform::CustomMenu& menu, Point click, int16_t item) {
  int itemHeight = menu.items.empty() ? 0 : menu.height / static_cast<int>(menu.items.size());
  const int top = click.v - (item - 1) * itemHeight - itemHeight / 2, left = click.h - menu.width / 2;
  return PlaceMenu(menu, {static_cast<int16_t>(top), static_cast<int16_t>(left)},
                   platform::desktopBounds().inset(5, 5), item);
}

std::string CTextPopupControlEditor::FittedText(platform::DrawPort& port, int32_t step, int width) {
  const int32_t value = StepToValue(step);
  std::string text = GetValueText(value);
  // The control shortens its own text: asked again with one character less
  // each time.
  for (int16_t length = 255; length > 1 && port.textWidth(text) > width; --length) {
    if (fControlView) {
      char shorter[256] = {};
      fControlView->GetValueString(value, shorter, length);
      text = shorter;
    } else {
      text.resize(std::min<size_t>(text.size(), static_cast<size_t>(length - 1)));
    }
  }
  return text;
}

void CTextPopupControlEditor::DrawMenuItem(platform::CustomMenu&, platform::DrawPort& port, int16_t item,
                                           const Rect& r, bool highlighted) {
  static constexpr RGBColor kHighlight{0x0000, 0x6666, 0xFFFF};
  const RGBColor fore = port.foreColor(), back = port.backColor();
  port.setBackColor(highlighted ? kHighlight : kMenuBack);
  port.eraseRect(r);
  port.setForeColor(highlighted ? RGBColor{0xFFFF, 0xFFFF, 0xFFFF} : RGBColor{0, 0, 0});
  port.setTextFont(fFont);
  port.setTextSize(fSize);
  port.setTextFace(0);
  port.setTextMode(platform::kSrcOr);
  const std::string text = FittedText(port, item - 1, r.width() - 6);
  const int baseline = r.bottom - port.fontInfo().descent - 1;
  for (int pass = 0; pass < (item == fCurrent ? 2 : 1); ++pass) {
    port.moveTo(r.left + 3 + pass, baseline);
    port.drawString(text);
  }
  port.setForeColor(fore);
  port.setBackColor(back);
}

void CTextPopupControlEditor::Tracked(platform::CustomMenu&, Point) {
  if (fControlView) fControlView->Idle(static_cast<int32_t>(platform::ticks()));
}

void CTextPopupControlEditor::TrackClick(EventRecord* event, bool synthetic) {
  if (synthetic || !fPort) return;
  popupmenu::OverlayScope overlay;
  int16_t chosen = 0, current = 0;
  {
    CClickedScope clicked(this);
    platform::CustomMenu menu;
    menu.id = kMenuID;
    menu.items = GetItemTexts();
    menu.definition = this;
    current = popupmenu::ItemOfStep(GetStep());
    chosen = platform::popUpMenuSelect(menu, fPort->localToGlobal(event->where), current,
                                       [&](const Rect& where) { overlay.Cover(fPort, menu.port, where); });
    if (chosen > 0 && chosen != current) SetStep(chosen - 1);
  }
}

CPlugInView* CreateCTextPopupControlEditor() { return new CTextPopupControlEditor; }
