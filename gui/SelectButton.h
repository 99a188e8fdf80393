#pragma once

// A button that pops up a menu of texts and shows the chosen one as its
// caption; the chosen item's index (plus the minimum) is the position, and
// the current item carries the check mark. The range is left to the user:
// set `maximum` to the item count less one.
//
// The whole menu interaction runs inside the press, so the gesture brackets
// the choice: it opens before the menu shows and closes when the menu is
// gone, and a real release arriving later closes nothing again.

#include "gui/Menu.h"
#include "gui/ValueButton.h"

namespace gui {

class SelectButton : public ValueButton {
public:
  class SelectMenuItem : public MenuItem {
  public:
    SelectMenuItem(SelectButton* button, int index, const std::string& text)
        : MenuItem(text), button(button), index(index) {}
    // Chooses the item: the button's position becomes its index + minimum.
    void click() override;

    SelectButton* button;
    int index;
  };

  // Makes the button's menu; the button deletes it.
  SelectButton(UserInterface* userInterface, Style* style);
  ~SelectButton() override;

  void addItem(const std::string& text);
  int getItemCount() const { return menu->getCount(); }
  // Caption and check marks from the position.
  void updateSelected();

  void propertyChange(const AbstractProperty* property) override;

private:
  PopupMenu* menu;
};

} // namespace gui
