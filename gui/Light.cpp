#include "gui/Light.h"

#include "gui/Bitmap.h"
#include "gui/Timer.h"
#include "gui/UserInterface.h"

namespace gui {

Light::Style::Style(UserInterface* userInterface)
    : Component(userInterface), offBitmap(userInterface->createBitmap()), onBitmap(userInterface->createBitmap()) {}

Light::Style::~Style() {
  delete offBitmap;
  delete onBitmap;
}

void Light::Style::loadFromResource(const std::string& off, const std::string& onName) {
  offBitmap->loadFromResource(off);
  onBitmap->loadFromResource(onName);
}

Light::Light(UserInterface* userInterface, Style* style)
    : Control(userInterface), style(style), timer(userInterface->createTimer()) {
  timer->onTimer = NotifyEvent::bind(this, &Light::timerTimer);
  setBounds(0, 0, style->offBitmap->getWidth(), style->offBitmap->getHeight());
}

// The timer is a component of the user interface, which forgets it here.
Light::~Light() { delete timer; }

void Light::pulse(int milliseconds) {
  timer->enabled = false;
  // A timer with no interval never fires; the shortest one it has serves.
  timer->interval = milliseconds > 0 ? milliseconds : 1;
  timer->enabled = true;
  on = true;
}

void Light::timerTimer(void*) {
  timer->enabled = false;
  on = false;
}

void Light::propertyChange(const AbstractProperty* property) {
  if (property == &on) invalidate();
  Control::propertyChange(property);
}

void Light::paint(const Canvas& canvas) {
  canvas.drawBitmap(on ? style->onBitmap : style->offBitmap, Point(0, 0), 255);
}

} // namespace gui
