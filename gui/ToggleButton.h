#pragma once

// A toggling button bound to a value: alone it edits 0/1 (`selected` and
// `position` follow each other), and as the first member of a radio group
// its position is the index of the selected member (plus the minimum).
//
// Its look follows `selected` whichever side moved it: a position written
// by the program (a preset load, automation) selects or clears the button
// inside the property protocol, where the value reaction is refused, but
// the overlay still updates.

#include "gui/ValueButton.h"

#include <vector>

namespace gui {

class ToggleButton : public ValueButton {
public:
  ToggleButton(UserInterface* userInterface, Style* style);

  // The first call adds this button as member 0 and selects it; b is
  // appended unselected and its clicks select it. Members are not owned.
  void addRadioButton(Button* b);
  const std::vector<Button*>& getRadioButtons() const { return radioButtons; }

  void propertyChange(const AbstractProperty* property) override;

private:
  void radioButtonClick(void* sender);
  void updateRadioButtons();

  std::vector<Button*> radioButtons;
};

} // namespace gui
