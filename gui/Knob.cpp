#include "gui/Knob.h"

#include "base/PlatformServices.h"
#include "gui/Bitmap.h"
#include "gui/ShiftStateMapping.h"
#include "gui/UserInterface.h"

#include <cmath>

namespace gui {

namespace {

constexpr double cTwoPi = 6.283185307179586;

float normalize(float a) { return a - std::floor(a); }

} // namespace

Knob::Style::Style(UserInterface* userInterface)
    : Component(userInterface),
      activeBackground(userInterface->createBitmap()),
      activePointer(userInterface->createBitmap()),
      dragPointer(userInterface->createBitmap()),
      background(userInterface->createBitmap()),
      pointer(userInterface->createBitmap()),
      grabPointer(userInterface->createBitmap()) {}

Knob::Style::~Style() {
  delete activeBackground;
  delete activePointer;
  delete dragPointer;
  delete background;
  delete pointer;
  delete grabPointer;
}

void Knob::Style::loadFromResource(const std::string& backgroundName, const std::string& pointerName,
                                   const std::string& activeBackgroundName, const std::string& activePointerName,
                                   const std::string& grabPointerName, const std::string& dragPointerName) {
  if (!backgroundName.empty()) background->loadFromResource(backgroundName);
  pointer->loadFromResource(pointerName);
  if (!activeBackgroundName.empty()) activeBackground->loadFromResource(activeBackgroundName);
  activePointer->loadFromResource(activePointerName);
  grabPointer->loadFromResource(grabPointerName);
  dragPointer->loadFromResource(dragPointerName);
  deriveRadius();
}

void Knob::Style::deriveRadius() {
  if (outerRadius == 0) outerRadius = background->getWidth() / 2 - 2;
}

Knob::Knob(UserInterface* userInterface, Style* style)
    : Control(userInterface),
      ValueEditor(this),
      stopwatch(createIntervalTimer()),
      overlay(userInterface->createBitmap()),
      style(style) {
  setBounds(0, 0, style->pointer->getWidth(), style->pointer->getHeight());
  angle = getAngle();
}

Knob::~Knob() {
  delete stopwatch;
  delete overlay;
}

void Knob::setHint(const std::string& text) { hint = text; }

float Knob::getStartAngle() const {
  return normalize(angleOffset / 360.0f + (2.0f - angleRange / 360.0f) / 2.0f);
}

float Knob::getAngle() const {
  const int span = maximum - minimum;
  const float part = span > 0 ? float(position - minimum) / float(span) : 0.0f;
  return normalize(getStartAngle() + angleRange / 360.0f * part);
}

void Knob::adjustPositionWithAngle(float a) {
  const float r = angleRange / 360.0f;
  const float t = normalize(a - angleOffset / 360.0f - 0.5f) - (1.0f - r) / 2.0f;
  const float p = minimum + float(maximum - minimum) * t / r + 0.5f;
  // Far outside the range only the side matters; keeps the conversion defined.
  if (p <= float(minimum))
    adjustPosition(minimum);
  else if (p >= float(maximum))
    adjustPosition(maximum);
  else
    adjustPosition(static_cast<int>(p));
}

float Knob::getMouseAngle(const Point& p) const {
  const Point c = getClientCenter();
  const int dx = p.x - c.x, dy = p.y - c.y;
  if (dx == 0 && dy == 0) return 0.0f;
  return normalize(float(std::atan2(double(dy), double(dx)) / cTwoPi + 0.25));
}

bool Knob::isEqualAngle(float a, float b, float eps) {
  return std::fabs(a - b) < eps || std::fabs(a + 1.0f - b) < eps || std::fabs(a - b - 1.0f) < eps;
}

bool Knob::isPointInRotateArea(const Point& p, float a, float widthDegrees) const {
  if (!isEqualAngle(getMouseAngle(p), a, widthDegrees / 360.0f)) return false;
  const Point c = getClientCenter();
  const int dx = p.x - c.x, dy = p.y - c.y;
  const int d2 = dx * dx + dy * dy;
  const int inner = style->innerRadius, outer = style->outerRadius;
  return inner * inner <= d2 && d2 <= outer * outer;
}

int Knob::getOpacityAt(const Point& p) {
  const Bitmap* face = style->background;
  if (face->getWidth() >= 1 && face->getHeight() >= 1) return face->getPixel(p).a;
  return isPointInRotateArea(p, angleOffset / 360.0f, angleRange / 2.0f + style->grabAngle) ? 255 : 0;
}

int Knob::getVisibleState() const {
  if (rolloverState != 0) return rolloverState;
  return highlighted ? 1 : 0;
}

void Knob::propertyChange(const AbstractProperty* property) {
  if (beginPropertyChange(property)) {
    if (property == &maximum || property == &minimum || property == &position || property == &angleRange ||
        property == &angleOffset)
      updateAngle();
    endPropertyChange();
  }
  if (property == &highlighted) invalidate();
  Control::propertyChange(property);
}

void Knob::updateAngle() {
  if (angleRange < 1) angleRange = 1;
  if (angleRange > 360) angleRange = 360;
  if (angleOffset < -359) angleOffset = -359;
  if (angleOffset > 359) angleOffset = 359;
  angle = getAngle();
  if (isOverlayInvalid()) invalidate();
}

bool Knob::isOverlayInvalid() const {
  return getVisibleState() != drawnState || (dragMode != 0) != drawnDragging ||
         !isEqualAngle(angle, drawnAngle, 0.001f);
}

void Knob::updateRolloverState(const Point& p) {
  const int state = isPointInRotateArea(p, angle, style->grabAngle) ? 2 : 1;
  if (state == rolloverState) return;
  rolloverState = state;
  invalidate();
}

void Knob::paint(const Canvas& canvas) {
  if (isOverlayInvalid()) {
    drawnAngle = angle;
    drawnDragging = dragMode != 0;
    drawnState = getVisibleState();
    Bitmap* source = style->pointer;
    if (drawnState == 1)
      source = style->activePointer;
    else if (drawnState == 2)
      source = drawnDragging ? style->dragPointer : style->grabPointer;
    overlay->resize(style->pointer->getWidth(), style->pointer->getHeight());
    overlay->copyRotated(source, float(angle * cTwoPi));
  }
  Bitmap* face = (rolloverState == 0 && !highlighted) ? style->background : style->activeBackground;
  canvas.drawBitmap(face, Point(0, 0), 255);
  canvas.drawBitmap(overlay, Point(0, 0), 255);
}

void Knob::mouseEnter() {
  rolloverState = 1;
  invalidate();
}

void Knob::mouseLeave() {
  rolloverState = 0;
  invalidate();
}

void Knob::mouseDown(MouseButton, const Point& p, ShiftState state) {
  stopwatch->reset();
  startChange();
  const ShiftStatePurpose purpose = shiftStateMapping.getPurpose(state);
  resetPressed = (purpose & cPurposeReset) != 0;
  if (resetPressed) {
    adjustPosition(defaultPosition);
    return;
  }
  setLinked((purpose & cPurposeLinked) != 0);
  if (rolloverState == 2) {
    dragMode = 2;
    dragStartMouseAngle = getMouseAngle(p);
    dragStartAngle = getAngle();
    invalidate();
  } else if (style->background->getWidth() >= 1 && style->background->getHeight() >= 1) {
    dragMode = 1;
    lastY = p.y;
    remainder = 0.0f;
  }
}

void Knob::mouseMove(const Point& p, ShiftState state) {
  if (dragMode == 0) {
    updateRolloverState(p);
    return;
  }
  const ShiftStatePurpose purpose = shiftStateMapping.getPurpose(state);
  setLinked((purpose & cPurposeLinked) != 0);
  if (dragMode == 2)
    adjustPositionWithAngle(getMouseAngle(p) + dragStartAngle - dragStartMouseAngle);
  else
    verticalStep(p.y, purpose);
}

void Knob::verticalStep(int y, ShiftStatePurpose purpose) {
  float dy = float(lastY - y);
  lastY = y;
  const int span = maximum - minimum;
  if (purpose & cPurposeFine) {
    dy *= fineFactor;
  } else if (acceleration && span > 20) {
    const int64_t ms = stopwatch->getElapsed();
    stopwatch->reset();
    const float d = ms >= 20 ? float(ms) : 20.0f;
    const float s = std::fabs(dy) / d;
    const float f = s > 0.1f ? 1.0f : 10.0f * s;
    dy *= f * (1.0f - fineFactor) + fineFactor;
  }
  const float divisor = float(span) * 20.0f <= 200.0f ? float(span) * 20.0f : 200.0f;
  const float steps = float(span) * dy / divisor + remainder;
  const float whole = std::trunc(steps);
  remainder = steps - whole;
  adjustPosition(position + static_cast<int>(whole));
}

void Knob::mouseUp(MouseButton, const Point& p, ShiftState) {
  // A release without a press of ours (another button's) closes nothing.
  if (ValueEditor::changing) endChange();
  if (dragMode != 0) {
    linked = false;
    dragMode = 0;
    invalidate();
  } else if (!resetPressed && !(style->background->getWidth() >= 1 && style->background->getHeight() >= 1) &&
             getOpacityAt(p) > 0) {
    // A knob without a face is set by clicking the angle; a reset click
    // keeps the default it just set.
    adjustPositionWithAngle(getMouseAngle(p));
  }
}

} // namespace gui
