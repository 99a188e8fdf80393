#include "gui/ToggleButton.h"

#include <algorithm>

namespace gui {

ToggleButton::ToggleButton(UserInterface* userInterface, Style* style)
    : ValueButton(userInterface, style) {
  toggle = true;
  maximum = 1;
}

void ToggleButton::addRadioButton(Button* b) {
  if (radioButtons.empty()) {
    radioButtons.push_back(this);
    selected = true;
  }
  radioButtons.push_back(b);
  b->toggle = true;
  b->selected = false;
  b->onClick = NotifyEvent::bind(this, &ToggleButton::radioButtonClick);
  maximum = static_cast<int>(radioButtons.size()) - 1;
}

void ToggleButton::radioButtonClick(void* sender) {
  auto it = std::find(radioButtons.begin(), radioButtons.end(), static_cast<Button*>(sender));
  if (it == radioButtons.end()) return;
  adjustPosition(minimum + static_cast<int>(it - radioButtons.begin()));
  updateRadioButtons();
}

void ToggleButton::updateRadioButtons() {
  for (size_t i = 0; i < radioButtons.size(); ++i)
    radioButtons[i]->selected = static_cast<int>(i) == position - minimum;
}

void ToggleButton::propertyChange(const AbstractProperty* property) {
  if (beginPropertyChange(property)) {
    if (property == &selected) {
      if (radioButtons.empty())
        adjustPosition(selected ? 1 : 0);
      else
        radioButtonClick(static_cast<Button*>(this));
    } else if (property == &position) {
      if (radioButtons.empty())
        selected = position != 0;
      else
        updateRadioButtons();
    }
    endPropertyChange();
  }
  // Outside the protocol: the overlay shows `selected` even when the
  // protocol refused to react to it.
  Button::propertyChange(property);
}

} // namespace gui
