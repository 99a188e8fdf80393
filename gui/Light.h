#pragma once

// A two-image lamp. pulse(ms) lights it for that long; a pulse during a
// pulse restarts the full time, and a pulse of 0 or less lights it for one
// timer period (the shortest the timer knows).

#include "gui/Control.h"

namespace gui {

class Bitmap;
class Timer;

class Light : public Control {
public:
  class Style : public Component {
  public:
    // Owned; made empty.
    Bitmap* offBitmap;
    Bitmap* onBitmap;

    explicit Style(UserInterface* userInterface);
    ~Style() override;

    void loadFromResource(const std::string& off, const std::string& on);
  };

  Property<bool> on{this, false};

  // The style is shared, not owned.
  Light(UserInterface* userInterface, Style* style);
  ~Light() override;

  void pulse(int milliseconds);

  void propertyChange(const AbstractProperty* property) override;

protected:
  void paint(const Canvas& canvas) override;

private:
  void timerTimer(void* sender);

  Style* style;
  Timer* timer;
};

// A rectangle of one colour.
class Shape : public Control {
public:
  Property<Color> color;

  Shape(UserInterface* userInterface, Color colour) : Control(userInterface), color(this, colour) {}

  void propertyChange(const AbstractProperty* property) override {
    if (property == &color) invalidate();
    Control::propertyChange(property);
  }

protected:
  void paint(const Canvas& canvas) override { canvas.fillRect(clientRect, color); }
};

} // namespace gui
