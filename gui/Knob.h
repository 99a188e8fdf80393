#pragma once

// The rotary control of the editors: a face image and a pointer image
// rotated to the angle of the position. It turns two ways:
// - a vertical drag anywhere on the knob; a slow hand is scaled down towards
//   the fine factor (acceleration), the fine purpose scales every step, and
//   a full-rate drag of 200 pixels sweeps the whole range;
// - grabbing the pointer itself (the ring within grabAngle degrees of it)
//   and rotating it about the centre.
// A knob without a face image jumps to the clicked angle on a plain click.
//
// Angles are in turns (0..1) clockwise from 12 o'clock. The sweep of
// angleRange degrees is centred on 12 o'clock + angleOffset, so with the
// defaults the minimum sits at 7 o'clock and the maximum at 5 o'clock; a
// click in the dead zone between them goes to the nearer end.
//
// The rotated pointer is cached in `overlay` and re-rendered only when the
// angle moved by 0.001 turn or more, or the look (rollover, highlight,
// dragging) changed. The drag's timing reads the system clock through an
// IntervalTimer, so a virtual clock makes scripted drags exact.

#include "gui/Control.h"
#include "gui/ShiftStateMapping.h"
#include "gui/ValueEditor.h"

class IntervalTimer;

namespace gui {

class Bitmap;

class Knob : public Control, public ValueEditor {
public:
  class Style : public Component {
  public:
    // Half-width in degrees of the pointer's grab area.
    Property<float> grabAngle{nullptr, 30.0f};
    // The ring in which the pointer can be grabbed; an outer radius still 0
    // after loading becomes half the face's width less 2.
    Property<int> outerRadius{nullptr, 0};
    Property<int> innerRadius{nullptr, 2};
    // Owned; made empty.
    Bitmap* activeBackground;
    Bitmap* activePointer;
    Bitmap* dragPointer;
    Bitmap* background;
    Bitmap* pointer;
    Bitmap* grabPointer;

    explicit Style(UserInterface* userInterface);
    ~Style() override;

    // Empty names of the two face images skip them.
    void loadFromResource(const std::string& background, const std::string& pointer,
                          const std::string& activeBackground, const std::string& activePointer,
                          const std::string& grabPointer, const std::string& dragPointer);
    // What loading ends with; for styles whose images are drawn, not loaded.
    void deriveRadius();
  };

  Property<bool> acceleration{this, true};
  // Shows the active look with the mouse elsewhere (drop targets).
  Property<bool> highlighted{this, false};
  // Degrees; kept in 1..360 and -359..359.
  Property<int> angleRange{this, 300};
  Property<int> angleOffset{this, 0};
  Property<float> fineFactor{this, 0.1f};

  // The style must be loaded; it is shared, not owned.
  Knob(UserInterface* userInterface, Style* style);
  ~Knob() override;

  void propertyChange(const AbstractProperty* property) override;
  void setHint(const std::string& text) override;

  // The angle of the minimum, and of the current position.
  float getStartAngle() const;
  float getAngle() const;
  float getCurrentAngle() const { return angle; }
  // The user side: the position whose angle is a.
  void adjustPositionWithAngle(float a);
  // The angle of p (own coordinates) about the client centre; 0 at the
  // centre itself.
  float getMouseAngle(const Point& p) const;
  bool isPointInRotateArea(const Point& p, float angle, float widthDegrees) const;
  // 0 normal, 1 active (mouse over or highlighted), 2 over the grab area.
  int getVisibleState() const;
  // 0 none, 1 vertical drag, 2 rotate drag.
  int getDragMode() const { return dragMode; }
  Style* getStyle() const { return style; }

  static bool isEqualAngle(float a, float b, float eps);

protected:
  int getOpacityAt(const Point& p) override;
  void mouseDown(MouseButton button, const Point& p, ShiftState state) override;
  void mouseEnter() override;
  void mouseLeave() override;
  void mouseMove(const Point& p, ShiftState state) override;
  void mouseUp(MouseButton button, const Point& p, ShiftState state) override;
  void paint(const Canvas& canvas) override;

private:
  void updateAngle();
  bool isOverlayInvalid() const;
  void updateRolloverState(const Point& p);
  void verticalStep(int y, ShiftStatePurpose purpose);

  float angle = 0.0f;
  float dragStartAngle = 0.0f;
  float dragStartMouseAngle = 0.0f;
  int lastY = 0;
  float remainder = 0.0f;
  int dragMode = 0;
  // The press was a reset.
  bool resetPressed = false;
  IntervalTimer* stopwatch;
  Bitmap* overlay;
  float drawnAngle = -10.0f;
  bool drawnDragging = false;
  int drawnState = 0;
  int rolloverState = 0;
  Style* style;
};

} // namespace gui
