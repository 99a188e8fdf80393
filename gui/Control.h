#pragma once

// The visible part of an editor surface is a tree of controls. Each has a
// rectangle in its parent's coordinates, a visibility flag, an opacity, a
// hint text and an ordered list of children (painted in that order, the
// last one on top). The tree
// - hit-tests with per-pixel opacity: a point hits a control when its
//   opacity times getOpacityAt(p), scaled by every ancestor's opacity,
//   exceeds hitThreshold x 255;
// - routes the mouse from the control holding the capture (the root when
//   none does) down to the deepest control hit: a left press captures the
//   mouse for the control that gets it, so moves and the release stay with
//   it; a click is a release over the control that got the press;
// - tracks entering and leaving (hints, rollover looks);
// - paints into a Canvas with the clip narrowed and the origin moved to each
//   child;
// - hands invalidated areas up the tree as dirty rectangles until the root,
//   whose platform implementation repaints the window.
//
// Points handed to a control are in its own coordinates. A control does not
// own its children: deleting a control detaches them; deleteChildren()
// deletes them. A control that is deleted while it holds the mouse capture
// gives it back, so the root never routes to a deleted control (while the
// whole user interface is being destroyed nothing is routed any more and
// nothing is given back). GUI thread only.

#include "base/NotifyEvent.h"
#include "base/UpdatedObject.h"
#include "gui/Canvas.h"
#include "gui/Component.h"
#include "gui/Geometry.h"
#include "gui/MouseInput.h"

#include <string>
#include <vector>

namespace gui {

class PopupMenu;

class Control : public Component, public UpdatedObject {
public:
  // When true, dragging the control with the left button moves it.
  bool movable = false;

  Property<Rect> bounds{this};
  Property<bool> enabled{this, true};
  Property<std::string> hint;
  Property<int> opacity{this, 255};
  Property<int> hitThreshold{nullptr, 240};
  Property<Control*> parent{this, nullptr};
  Property<bool> visible{this, true};
  NotifyEvent onClick;
  NotifyEvent onMouseEnter;
  NotifyEvent onMouseLeave;

  explicit Control(UserInterface* userInterface);
  ~Control() override;

  void propertyChange(const AbstractProperty* property) override;

  // Geometry.
  void setBounds(int x, int y, int width, int height);
  void setPosition(const Point& p);
  Point getPosition() const { return bounds.get().topLeft(); }
  Point getClientCenter() const { return Point(clientRect.width() / 2, clientRect.height() / 2); }
  // Relative to the root control.
  Point getGlobalPosition() const;
  const Rect& getClientRect() const { return clientRect; }
  const Rect& getAppliedBounds() const { return appliedBounds; }

  // The tree.
  void addControl(Control* child);
  void removeControl(Control* child);
  void deleteChildren();
  const std::vector<Control*>& getChildren() const { return children; }
  // The topmost direct child hit at p (this control's coordinates), or null.
  Control* controlAtPos(const Point& p);
  bool isPointInside(const Point& p);
  bool isMouseInside() const { return mouseControl != nullptr; }
  Control* getMouseControl() const { return mouseControl; }
  bool hasMouseCapture() const { return mouseCaptured; }

  // Painting and invalidation.
  void paintControl(Canvas& canvas);
  void invalidate();
  void invalidate(const Rect& r);
  const Rect& getDirtyRect() const { return dirtyRect; }

  // The mouse, as the platform root delivers it to the capture control.
  void doMouseMove(const Point& p, ShiftState state);
  void doMouseDown(MouseButton button, const Point& p, ShiftState state);
  void doMouseUp(MouseButton button, const Point& p, ShiftState state);
  void doMouseLeave();
  void setMouseControl(Control* control);
  void setMouseCapture();
  void releaseMouseCapture();

  // Shows the menu under this control.
  void popup(PopupMenu* menu);

  virtual void click();

protected:
  void change() override;
  virtual int getOpacityAt(const Point&) { return 255; }
  virtual void mouseDown(MouseButton button, const Point& p, ShiftState state);
  virtual void mouseEnter() {}
  virtual void mouseLeave() {}
  virtual void mouseMove(const Point& p, ShiftState state);
  virtual void mouseUp(MouseButton button, const Point& p, ShiftState state);
  virtual void paint(const Canvas&) {}
  virtual void resized() {}
  // Takes r (own coordinates) to the parent's dirty rectangle.
  virtual void updateControl(const Rect& r);

  Rect appliedBounds;
  Rect clientRect;
  std::vector<Control*> children;
  bool deletingChildren = false;
  bool dragging = false;
  Point dragPoint;
  bool mouseCaptured = false;
  Control* mouseControl = nullptr;
  Control* appliedParent = nullptr;
  Rect dirtyRect;
};

// A control that covers the whole window; it deletes its children with
// itself.
class Dialog : public Control {
public:
  explicit Dialog(UserInterface* userInterface);
  ~Dialog() override;
};

} // namespace gui
