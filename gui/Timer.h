#pragma once

// A periodic timer component made by the user interface's factory. While
// `enabled` and `interval` (milliseconds) is above 0 it fires onTimer every
// interval, the first tick one full interval after the last change of
// either property.

#include "base/NotifyEvent.h"
#include "gui/Component.h"

namespace gui {

class Timer : public Component {
public:
  Property<bool> enabled{this, false};
  Property<int> interval{this, 1000};
  NotifyEvent onTimer;

  explicit Timer(UserInterface* userInterface) : Component(userInterface) {}

  void propertyChange(const AbstractProperty* property) override;

protected:
  // Stops the platform timer and, when enabled with a positive interval,
  // starts it again.
  virtual void updateTimer() = 0;
};

} // namespace gui
