#include "host/services/CTextPopupControlEditor.h"

#include "host/PlugInGlobals.h"
#include "host/services/PopupMenuSupport.h"

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
  int top = click.v - (item - 1) * itemHeight - itemHeight / 2, left = click.h - menu.width / 2;
  Rect desk = platform::desktopBounds().inset(5, 5);
  left = std::clamp(left, static_cast<int>(desk.left), std::max<int>(desk.left, desk.right - menu.width));
  top = std::clamp(top, static_cast<int>(desk.top), std::max<int>(desk.top, desk.bottom - menu.height));
  return {static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(top + menu.height),
          static_cast<int16_t>(left + menu.width)};
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
    chosen = platform::popUpMenuSelect(menu, fPort->localToGlobal(event->where), current, [&](const Rect& where) {
      // The menu's rectangle grown by 1 left and top and 2 right and bottom.
      Point topLeft = fPort->globalToLocal({static_cast<int16_t>(where.top - 1), static_cast<int16_t>(where.left - 1)});
      Point bottomRight =
          fPort->globalToLocal({static_cast<int16_t>(where.bottom + 2), static_cast<int16_t>(where.right + 2)});
      Rect local{topLeft.v, topLeft.h, bottomRight.v, bottomRight.h};
      GrafPtr saved = platform::currentPort();
      platform::setCurrentPort(fPort);
      CPlugInView::SetOverlay(&popupmenu::MenuPort(), &local);
      platform::setCurrentPort(saved);
      overlay.set = true;
    });
    if (chosen > 0 && chosen != current) SetStep(chosen - 1);
  }
}

CPlugInView* CreateCTextPopupControlEditor() { return new CTextPopupControlEditor; }
