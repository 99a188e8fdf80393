#pragma once

// The bitmap-skinned push button: three face images (normal, hover,
// pressed) stretched over the button, an optional overlay image (off, or on
// while a toggling button is selected) and a caption. With `toggle` a click
// flips `selected`; with a popup menu the button shows the menu while it is
// pressed and never stays pressed.
//
// A release that no press of this button preceded (one arriving after a
// menu closed) is ignored: every press makes exactly one click at most.

#include "gui/Color.h"
#include "gui/Control.h"

#include <string>

namespace gui {

class Bitmap;
class Text;

class Button : public Control {
public:
  enum State : int { cNormal = 0, cHover = 1, cPressed = 2 };

  class Style : public Component {
  public:
    // Copied into every button made with the style.
    Property<int> alignment{nullptr, 0};
    Property<int> margin{nullptr, 0};
    Property<Color> textColor{nullptr, Color(0, 0, 0, 255)};
    Property<int> textOffset{nullptr, 0};
    // Owned; made empty.
    Bitmap* normal;
    Bitmap* hover;
    Bitmap* pressed;
    Bitmap* overlayOff;
    Bitmap* overlayOn;

    explicit Style(UserInterface* userInterface);
    ~Style() override;

    // Empty overlay names skip those images.
    void loadFromResource(const std::string& normal, const std::string& hover, const std::string& pressed,
                          const std::string& overlayOff, const std::string& overlayOn);
  };

  Property<bool> selected{this, false};
  Property<bool> toggle{this, false};
  // Placement of the overlay: 0 left, 1 centre, 2 right.
  Property<int> alignment{this, 0};
  // Distance of a left or right overlay from the edge.
  Property<int> margin{this, 0};
  // Not owned.
  Property<PopupMenu*> popupMenu{nullptr, nullptr};
  // Horizontal shift of the caption.
  Property<int> textOffset{this, 0};

  // A null style: the button makes a default one and keeps empty bounds.
  Button(UserInterface* userInterface, Style* style);
  ~Button() override;

  // Loads into the button's style and sizes the button to the normal face.
  void loadFromResource(const std::string& normal, const std::string& hover, const std::string& pressed,
                        const std::string& overlayOff, const std::string& overlayOn);

  void propertyChange(const AbstractProperty* property) override;

  Text* getText() const { return text; }
  Style* getStyle() const { return style; }
  State getState() const { return state; }
  int getOverlayState() const { return overlayState; }
  bool isPressed() const { return pressed; }
  void setState(State s);
  void updateOverlayState();

protected:
  int getOpacityAt(const Point&) override { return 255; }
  void mouseDown(MouseButton button, const Point& p, ShiftState state) override;
  void mouseEnter() override;
  void mouseLeave() override;
  void mouseMove(const Point& p, ShiftState state) override;
  void mouseUp(MouseButton button, const Point& p, ShiftState state) override;
  void paint(const Canvas& canvas) override;
  void resized() override;

private:
  void textChange(void* sender);
  // The caption shortens itself to the button's width less 12.
  void fitCaption();

  bool pressed = false;
  int overlayState = 0;
  State state = cNormal;
  Style* style;
  Text* text;
};

} // namespace gui
