#pragma once

// A handle dragged along a track, one stop per value. The track is
// vertical when it is no wider than high. While `autoSize` is set the
// switch grows along the track with the range: each position beyond the
// second adds (track length - handle length) to the track image's length.
// Dragging snaps to the nearest stop; a click on the track away from the
// handle jumps the handle's centre to the click. Only the linked purpose
// of the modifiers is read, while the handle is dragged.

#include "gui/Control.h"
#include "gui/ValueEditor.h"

namespace gui {

class Bitmap;

class Switch : public Control, public ValueEditor {
public:
  class Style : public Component {
  public:
    // Owned; made empty.
    Bitmap* handleRollover;
    Bitmap* background;
    Bitmap* handle;

    explicit Style(UserInterface* userInterface);
    ~Style() override;

    void loadFromResource(const std::string& background, const std::string& handle,
                          const std::string& handleRollover);
  };

  Property<bool> autoSize{this, true};

  // The style is shared, not owned; the range starts as 0..1.
  Switch(UserInterface* userInterface, Style* style);

  void propertyChange(const AbstractProperty* property) override;
  void setHint(const std::string& text) override;

  // Pixels the handle travels.
  int getButtonSpace() const;
  Point getButtonPosition() const { return buttonPosition; }
  bool isVertical() const { return vertical; }
  // p: the handle's leading coordinate along the track.
  void updatePosition(int p);
  bool isPointInButton(const Point& p) const;
  void setRollover(bool on);

protected:
  void mouseDown(MouseButton button, const Point& p, ShiftState state) override;
  void mouseLeave() override;
  void mouseMove(const Point& p, ShiftState state) override;
  void mouseUp(MouseButton button, const Point& p, ShiftState state) override;
  void paint(const Canvas& canvas) override;

private:
  void updateButtonPos();
  void updateSize();
  int handleLength() const;

  Point buttonPosition;
  bool pressed = false;
  Point grabOffset;
  bool vertical = false;
  bool rollover = false;
  Style* style;
};

} // namespace gui
