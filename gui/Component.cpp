#include "gui/Component.h"

#include "gui/UserInterface.h"

namespace gui {

Component::Component(UserInterface* userInterface) : userInterface(userInterface) {
  userInterface->addComponent(this);
}

Component::~Component() { userInterface->removeComponent(this); }

} // namespace gui
