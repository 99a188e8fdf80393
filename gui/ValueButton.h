#pragma once

// The common ground of the buttons bound to a value (toggle and select
// buttons): the press opens the gesture and the release closes it, once. A
// button whose press already ran the whole interaction (a menu) has closed
// the gesture by then, so a real release arriving later closes nothing again.

#include "gui/Button.h"
#include "gui/ValueEditor.h"

namespace gui {

class ValueButton : public Button, public ValueEditor {
public:
  ValueButton(UserInterface* userInterface, Style* style);

  void setHint(const std::string& text) override;

protected:
  void mouseDown(MouseButton button, const Point& p, ShiftState state) override;
  void mouseUp(MouseButton button, const Point& p, ShiftState state) override;
};

} // namespace gui
