#pragma once

// Everything made for an editor surface (controls, widgets, styles, timers)
// is a Component owned by one UserInterface: the constructor registers it,
// the user interface deletes it in its own destructor, in creation order,
// and the destructor unregisters it. A component never deletes other
// components on its own.

#include "base/Property.h"

namespace gui {

class UserInterface;

class Component : public PropertyOwner {
public:
  explicit Component(UserInterface* userInterface);
  virtual ~Component();
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  void propertyChange(const AbstractProperty*) override {}

  UserInterface* getUserInterface() const { return userInterface; }

protected:
  UserInterface* userInterface;
};

} // namespace gui
