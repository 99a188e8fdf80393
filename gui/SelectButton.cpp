#include "gui/SelectButton.h"

#include "gui/Text.h"
#include "gui/UserInterface.h"

namespace gui {

void SelectButton::SelectMenuItem::click() { button->adjustPosition(index + button->minimum); }

SelectButton::SelectButton(UserInterface* userInterface, Style* style)
    : ValueButton(userInterface, style), menu(userInterface->createPopupMenu()) {
  popupMenu = menu;
}

SelectButton::~SelectButton() {
  if (popupMenu.get() == menu) popupMenu = nullptr;
  delete menu;
}

void SelectButton::addItem(const std::string& text) {
  menu->add(new SelectMenuItem(this, menu->getCount(), text));
  updateSelected();
}

void SelectButton::updateSelected() {
  const int i = position - minimum;
  const int count = menu->getCount();
  getText()->text = (i >= 0 && i < count) ? menu->getItem(i)->text.get() : std::string();
  for (int k = 0; k < count; ++k) menu->getItem(k)->checkMark = k == i;
}

void SelectButton::propertyChange(const AbstractProperty* property) {
  if (beginPropertyChange(property)) {
    // A lowered maximum may have clamped the position without a reaction.
    if (property == &position || property == &minimum || property == &maximum) updateSelected();
    endPropertyChange();
  }
  Button::propertyChange(property);
}

} // namespace gui
