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

Rect CViewPopupControlEditor::place(const platform::CustomMenu& menu, Point click, int16_t item) {
  // One screen: the desktop is the device that holds every click.
  return PlaceMenu(menu, {static_cast<int16_t>(click.v - menu.height / 2), static_cast<int16_t>(click.h - menu.width / 2)},
                   platform::desktopBounds().inset(5, 5), item);
}

void CViewPopupControlEditor::DrawMenuContent(platform::CustomMenu&, platform::DrawPort& port) {
  if (!fDialog) return;
  // The dialog stands where the menu's content does, in the menu's port.
  fDialog->MoveTo(fContent.left, fContent.top);
  fDialog->SetViewPort(&port);
  const RGBColor savedFore = port.foreColor();
  // The menu takes the editor's font and size while it is drawn, as the
  // text pop-up's menu does.
  const int16_t savedFont = port.textFont(), savedSize = port.textSize();
  port.setTextFont(fFont);
  port.setTextSize(fSize);
  port.setForeColor({gDefaultForeColor.red, gDefaultForeColor.green, gDefaultForeColor.blue});
  fDialog->Update(nullptr);
  port.setForeColor(savedFore);
  port.setTextFont(savedFont);
  port.setTextSize(savedSize);
}

void CViewPopupControlEditor::highlightItem(platform::CustomMenu&, int16_t, int16_t item) {
  // The dialog's views show the choice themselves.
  fHighlighted = item;
}

int16_t CViewPopupControlEditor::ItemAt(const platform::CustomMenu& menu, Point mouse) {
  if (!InnerFrame().contains(mouse)) return 0;
  const int steps = std::min<int>(GetNumSteps(), static_cast<int>(menu.items.size()));
  if (fTypeCount == 0) {
    const int height = fContent.height();
    const int item = height > 0 ? (mouse.v - fContent.top) * steps / height + 1 : 0;
    return item >= 1 && item <= steps ? static_cast<int16_t>(item) : 0;
  }
  for (int i = 0; i < fTypeCount && i < steps; ++i)
    if (fViews[i] && fViews[i]->GetBounds().contains(mouse)) return static_cast<int16_t>(i + 1);
  return 0;
}

void CViewPopupControlEditor::PressDialog(platform::CustomMenu& menu, Point mouse) {
  fLastMouse = mouse;
  if (!fDialog || !menu.port) return;
  GrafPtr saved = platform::currentPort();
  platform::setCurrentPort(menu.port);
  EventRecord press;
  press.what = kMouseDownEvent;
  press.message = kSyntheticClickMessage;
  press.when = platform::ticks();
  press.where = mouse;
  press.modifiers = 128;
  fDialog->HandleMouseDown(&press);
  platform::setCurrentPort(saved);
  drawMenu(menu);
}

void CViewPopupControlEditor::Tracked(platform::CustomMenu& menu, Point mouse) {
  if (!(mouse == fLastMouse)) PressDialog(menu, mouse);
}

void CViewPopupControlEditor::TrackClick(EventRecord* event, bool synthetic) {
  if (synthetic || !fPort) return;
  popupmenu::OverlayScope overlay;
  CClickedScope clicked(this);
  // The menu's port goes with the menu: the dialog lets go of it.
  struct Release {
    CDialogView* dialog;
    ~Release() {
      if (dialog) dialog->SetViewPort(nullptr);
    }
  } release{fDialog.get()};
  platform::CustomMenu menu;
  menu.id = kMenuID;
  menu.items = GetItemTexts();
  menu.definition = this;
  const int16_t current = popupmenu::ItemOfStep(GetStep());
  const Point mouse = fPort->localToGlobal(event->where);
  const int16_t chosen = platform::popUpMenuSelect(menu, mouse, current, [&](const Rect& where) {
    overlay.Cover(fPort, menu.port, where);
    // The dialog hears the press that opened the menu.
    drawMenu(menu);
    PressDialog(menu, mouse);
  });
  if (chosen > 0 && chosen != current) SetStep(chosen - 1);
}

CPlugInView* CreateCViewPopupControlEditor() { return new CViewPopupControlEditor; }
