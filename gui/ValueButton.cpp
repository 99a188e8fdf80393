#include "gui/ValueButton.h"

namespace gui {

ValueButton::ValueButton(UserInterface* userInterface, Style* style)
    : Button(userInterface, style), ValueEditor(this) {}

void ValueButton::setHint(const std::string& text) { hint = text; }

void ValueButton::mouseDown(MouseButton button, const Point& p, ShiftState state) {
  startChange();
  Button::mouseDown(button, p, state);
}

void ValueButton::mouseUp(MouseButton button, const Point& p, ShiftState state) {
  Button::mouseUp(button, p, state);
  if (ValueEditor::changing) endChange();
}

} // namespace gui
