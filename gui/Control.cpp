#include "gui/Control.h"

#include "gui/Menu.h"
#include "gui/UserInterface.h"

#include <algorithm>
#include <memory>

namespace gui {

Control::Control(UserInterface* userInterface) : Component(userInterface) {}

Control::~Control() {
  deletingChildren = true;
  const std::vector<Control*> detached = children;
  for (Control* child : detached)
    if (child->parent.get()) child->parent = nullptr;
  parent = nullptr;
  // While the user interface is destroyed the root may already be gone.
  if (mouseCaptured && !userInterface->isDestroying()) {
    mouseCaptured = false;
    userInterface->captureMouse(nullptr);
  }
}

void Control::propertyChange(const AbstractProperty* property) {
  if (property == &bounds) {
    std::unique_ptr<Update> batch(beginUpdate());
    const Rect& b = bounds.get();
    clientRect = Rect(b.width(), b.height());
    Rect old = appliedBounds;
    old.offset(Point(-b.left, -b.top));
    dirtyRect = clientRect;
    dirtyRect.setUnion(old);
    appliedBounds = b;
    resized();
    notifyChange();
  } else if (property == &opacity) {
    if (visible) {
      dirtyRect.setUnion(clientRect);
      notifyChange();
    }
  } else if (property == &parent) {
    if (appliedParent) appliedParent->removeControl(this);
    appliedParent = parent.get();
    if (appliedParent) appliedParent->addControl(this);
  } else if (property == &visible) {
    dirtyRect = clientRect;
    notifyChange();
  }
}

void Control::setBounds(int x, int y, int width, int height) { bounds = Rect(Point(x, y), width, height); }

void Control::setPosition(const Point& p) {
  const Rect& b = bounds.get();
  bounds = Rect(p, b.width(), b.height());
}

Point Control::getGlobalPosition() const {
  Point p = bounds.get().topLeft();
  for (const Control* a = parent.get(); a && a->parent.get(); a = a->parent.get()) p = p + a->bounds.get().topLeft();
  return p;
}

void Control::addControl(Control* child) {
  children.push_back(child);
  if (visible) {
    Rect r = child->bounds.get();
    r.intersect(clientRect);
    dirtyRect.setUnion(r);
    notifyChange();
  }
  if (child->mouseControl) mouseControl = child;
}

void Control::removeControl(Control* child) {
  if (deletingChildren) return;
  auto it = std::find(children.begin(), children.end(), child);
  if (it != children.end()) children.erase(it);
  if (mouseControl == child) mouseControl = this;
  if (visible) {
    Rect r = child->bounds.get();
    r.intersect(clientRect);
    dirtyRect.setUnion(r);
    notifyChange();
  }
}

void Control::deleteChildren() {
  deletingChildren = true;
  const std::vector<Control*> doomed = children;
  for (Control* child : doomed) {
    child->deleteChildren();
    delete child;
  }
  children.clear();
  deletingChildren = false;
  // The mouse is over this control now; a deleted child must not be left
  // behind as the one it is over.
  if (mouseControl && mouseControl != this) mouseControl = this;
  if (visible) {
    dirtyRect.setUnion(clientRect);
    notifyChange();
  }
}

Control* Control::controlAtPos(const Point& p) {
  for (size_t i = children.size(); i-- > 0;) {
    Control* child = children[i];
    if (child->isPointInside(p - child->appliedBounds.topLeft())) return child;
  }
  return nullptr;
}

bool Control::isPointInside(const Point& p) {
  if (!visible || !enabled || !clientRect.contains(p)) return false;
  int v = opacity * getOpacityAt(p);
  for (const Control* a = parent.get(); a; a = a->parent.get()) v = v * a->opacity / 255;
  return hitThreshold * 255 < v;
}

void Control::paintControl(Canvas& canvas) {
  Rect clip = canvas.clip;
  clip.intersect(clientRect);
  canvas.clip = clip;
  if (clip.isEmpty()) return;
  canvas.opacity = canvas.opacity * opacity / 255;
  paint(canvas);
  for (size_t i = 0; i < children.size(); ++i) {
    Control* child = children[i];
    // A child outside the area would paint nothing: a light's repaint then
    // passes the rest of the tree by without saving and restoring the canvas
    // for each control. The test reads only the child's rectangle, in this
    // control's coordinates, so each child passed by costs one memory line
    // (its client rectangle is the same rectangle moved to the origin).
    const Rect& b = child->appliedBounds;
    const int left = std::max(clip.left, b.left), right = std::min(clip.right, b.right);
    const int top = std::max(clip.top, b.top), bottom = std::min(clip.bottom, b.bottom);
    if (right - left < 1 || bottom - top < 1) continue;
    if (!child->visible || child->opacity <= 0) continue;
    const Point corner = b.topLeft();
    Rect childClip = canvas.clip;
    childClip.offset(Point(-corner.x, -corner.y));
    const Canvas::State saved(&canvas);
    canvas.origin = canvas.origin.get() + corner;
    canvas.clip = childClip;
    child->paintControl(canvas);
  }
}

void Control::invalidate() {
  if (!visible) return;
  dirtyRect.setUnion(clientRect);
  notifyChange();
}

void Control::invalidate(const Rect& r) {
  if (!visible) return;
  Rect area = r;
  area.intersect(clientRect);
  dirtyRect.setUnion(area);
  notifyChange();
}

void Control::change() {
  updateControl(dirtyRect);
  dirtyRect = Rect();
}

void Control::updateControl(const Rect& r) {
  if (!appliedParent) return;
  Rect area = r;
  area.offset(appliedBounds.topLeft());
  if (appliedParent->visible) {
    area.intersect(appliedParent->clientRect);
    appliedParent->dirtyRect.setUnion(area);
    appliedParent->notifyChange();
  }
}

void Control::doMouseMove(const Point& p, ShiftState state) {
  if (!mouseCaptured) {
    if (Control* child = controlAtPos(p)) {
      setMouseControl(child);
      child->doMouseMove(p - child->appliedBounds.topLeft(), state);
      return;
    }
  }
  setMouseControl(this);
  mouseMove(p, state);
}

void Control::doMouseDown(MouseButton button, const Point& p, ShiftState state) {
  if (Control* child = controlAtPos(p)) {
    child->doMouseDown(button, p - child->appliedBounds.topLeft(), state);
    return;
  }
  if (button == 0 && !mouseCaptured) {
    userInterface->captureMouse(this);
    mouseCaptured = true;
  }
  userInterface->setCurrentHint("");
  mouseDown(button, p, state);
}

void Control::doMouseUp(MouseButton button, const Point& p, ShiftState state) {
  if (!mouseCaptured) {
    if (Control* child = controlAtPos(p)) {
      child->doMouseUp(button, p - child->appliedBounds.topLeft(), state);
      return;
    }
  }
  if (button == 0 && mouseCaptured) {
    userInterface->captureMouse(nullptr);
    mouseCaptured = false;
  }
  mouseUp(button, p, state);
}

void Control::doMouseLeave() { setMouseControl(nullptr); }

void Control::setMouseControl(Control* control) {
  if (control == mouseControl) return;
  Control* old = mouseControl;
  mouseControl = control;
  if (old && old != this) old->setMouseControl(nullptr);
  if (!control) {
    if (!hint.get().empty()) userInterface->setCurrentHint("");
    onMouseLeave(this);
    mouseLeave();
  } else if (!old) {
    mouseEnter();
    if (!hint.get().empty()) userInterface->setCurrentHint(hint);
    onMouseEnter(this);
  }
}

void Control::setMouseCapture() {
  if (mouseCaptured) return;
  userInterface->captureMouse(this);
  mouseCaptured = true;
}

void Control::releaseMouseCapture() {
  if (!mouseCaptured) return;
  userInterface->captureMouse(nullptr);
  mouseCaptured = false;
}

void Control::mouseDown(MouseButton, const Point& p, ShiftState) {
  if (!movable) return;
  dragging = true;
  dragPoint = p;
}

void Control::mouseMove(const Point& p, ShiftState) {
  if (dragging) bounds = appliedBounds.moved(p - dragPoint);
}

void Control::mouseUp(MouseButton, const Point& p, ShiftState) {
  if (dragging) {
    bounds = appliedBounds.moved(p - dragPoint);
    dragging = false;
  }
  if (isPointInside(p)) click();
}

void Control::click() { onClick(this); }

void Control::popup(PopupMenu* menu) {
  Rect r = clientRect;
  r.offset(getGlobalPosition());
  menu->popup(r);
}

Dialog::Dialog(UserInterface* userInterface) : Control(userInterface) {
  Control* root = userInterface->getWindow();
  parent = root;
  bounds = root->getClientRect();
}

Dialog::~Dialog() { deleteChildren(); }

} // namespace gui
