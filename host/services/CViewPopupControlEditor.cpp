#include "host/services/CViewPopupControlEditor.h"

#include "host/PlugInGlobals.h"
#include "host/services/PopupMenuSupport.h"
#include "host/services/HostViewTypes.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cstdio>

void CViewPopupControlEditor::InitFromItemParse(SCustomParser* parser) {
  CControlEditor::InitFromItemParse(parser);
  SCustomParseElem* e = TakeGroup(parser);
  PlugInAssert(e != nullptr);
  fDialogID = ShortNumber(e);
  for (e = e->next; e; e = e->next) {
    PlugInAssert(e->kind == kElemCode && fTypeCount < kMaxViews);
    fTypes[fTypeCount++] = static_cast<uint32_t>(e->value);
  }
}

void CViewPopupControlEditor::InitializeTree() {
  fDialog = std::make_unique<CDialogView>();
  fDialog->SetDialogID(fDialogID);
  fDialog->Initialize();
  for (int i = 0; i < fTypeCount; ++i) {
    fViews[i] = fDialog->FindViewByType(fTypes[i]);
    // The dialog's views show this editor's choices, not a control of their own.
    if (auto* editor = dynamic_cast<CControlEditor*>(fViews[i])) editor->Detach();
  }
  CControlEditor::InitializeTree();
}

std::vector<std::string> CViewPopupControlEditor::GetItemTexts() {
  std::vector<std::string> items;
  const int32_t steps = std::min(GetNumSteps(), popupmenu::kMaxItems);
  for (int32_t i = 0; i < steps; ++i) {
    char text[256] = {};
    if (fControlView) fControlView->GetValueString(StepToValue(i), text, 255);
    else std::snprintf(text, sizeof text, "%d", StepToValue(i) / 65536);
    items.push_back(text);
  }
  return items;
}

void CViewPopupControlEditor::size(platform::CustomMenu& menu) {
  Rect r = fDialog ? fDialog->GetBounds() : Rect{0, 0, 0, 0};
  menu.width = static_cast<int16_t>(r.right - r.left);
  menu.height = static_cast<int16_t>(r.bottom - r.top);
}

Rect CViewPopupControlEditor::place(const platform::CustomMenu& menu, Point click, int16_t) {
  // One screen: the desktop is the device that holds every click.
  Rect screen = platform::desktopBounds().inset(5, 5);
  int left = click.h - menu.width / 2, top = click.v - menu.height / 2;
  left = std::clamp(left, static_cast<int>(screen.left), std::max<int>(screen.left, screen.right - menu.width));
  top = std::clamp(top, static_cast<int>(screen.top), std::max<int>(screen.top, screen.bottom - menu.height));
  return {static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(top + menu.height),
          static_cast<int16_t>(left + menu.width)};
}

void CViewPopupControlEditor::ShowDialog(const Rect& where, Point mouse) {
  if (!fDialog) return;
  GrafPtr saved = platform::currentPort();
  platform::setCurrentPort(&popupmenu::MenuPort());
  fDialog->MoveTo(where.left, where.top);
  fDialog->SetViewPort(&popupmenu::MenuPort());
  RGBColor savedFore = popupmenu::MenuPort().foreColor();
  // The menu takes the editor's font and size while it is drawn, as the
  // text pop-up's menu does.
  const int16_t savedFont = popupmenu::MenuPort().textFont(), savedSize = popupmenu::MenuPort().textSize();
  popupmenu::MenuPort().setTextFont(fFont);
  popupmenu::MenuPort().setTextSize(fSize);
  popupmenu::MenuPort().setForeColor({gDefaultForeColor.red, gDefaultForeColor.green, gDefaultForeColor.blue});
  fDialog->Update(nullptr);
  popupmenu::MenuPort().setForeColor(savedFore);
  popupmenu::MenuPort().setTextFont(savedFont);
  popupmenu::MenuPort().setTextSize(savedSize);
  EventRecord press;
  press.what = kMouseDownEvent;
  press.message = kSyntheticClickMessage;
  press.when = platform::ticks();
  press.where = mouse;
  press.modifiers = 128;
  fDialog->HandleMouseDown(&press);
  platform::setCurrentPort(saved);
}

void CViewPopupControlEditor::TrackClick(EventRecord* event, bool synthetic) {
  if (synthetic || !fPort) return;
  popupmenu::OverlayScope overlay;
  CClickedScope clicked(this);
  platform::CustomMenu menu;
  menu.id = kMenuID;
  menu.items = GetItemTexts();
  menu.definition = this;
  const int16_t current = popupmenu::ItemOfStep(GetStep());
  const Point mouse = fPort->localToGlobal(event->where);
  const int16_t chosen = platform::popUpMenuSelect(menu, mouse, current, [&](const Rect& where) {
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
    ShowDialog(where, mouse);
  });
  if (chosen > 0 && chosen != current) SetStep(chosen - 1);
}

CPlugInView* CreateCViewPopupControlEditor() { return new CViewPopupControlEditor; }
