#pragma once

// The mix-in of every value-bound widget (knob, switch, toggle and select
// buttons): an integer position inside an integer range, and the gesture
// events the editor binds to a parameter.
//
// Two sides move the position. The program side (setValue, or writing
// `position`) fires nothing; the user side (adjustPosition) fires onChange.
// A gesture is the bracket startChange ... endChange a widget opens on the
// press and closes on the release; onStartChange and onEndChange become the
// host's touch and release of the bound control.
//
// Every widget's propertyChange runs the property protocol first:
//
//   if (beginPropertyChange(p)) {
//     ... the widget's own reaction ...
//     endPropertyChange();
//   }
//
// which keeps the range ordered (max > min) and the position inside it, does
// not react again to changes made during a reaction, and, while a gesture
// runs, puts back any outside write of the position (a host echo, an
// automation value) so the widget never moves away from the user's hand.
//
// Every event is fired with the ValueEditor (not the widget) as sender.

#include "base/NotifyEvent.h"
#include "base/Property.h"

#include <string>

namespace gui {

class ValueEditor {
public:
  // The position a reset gesture sets.
  Property<int> defaultPosition{nullptr, 0};
  Property<int> maximum;
  Property<int> minimum;
  Property<int> position;
  // Free for the widget's user (the editor keeps a parameter index here).
  Property<int> id;
  NotifyEvent onChange;
  NotifyEvent onLink;
  NotifyEvent onStartChange;
  NotifyEvent onEndChange;

  // owner is the widget: it hears of changes of the range, position and id.
  explicit ValueEditor(PropertyOwner* owner);
  ValueEditor(const ValueEditor&) = delete;
  ValueEditor& operator=(const ValueEditor&) = delete;

  // The widget's control hint.
  virtual void setHint(const std::string& text) = 0;

  // The position as 0..1 over the range.
  float getValue() const;
  // The program side: the nearest position to v (0..1); no event.
  void setValue(float v);
  // The user side: clamps p into the range and, when it moves the position,
  // sets it and fires onChange.
  void adjustPosition(int p);
  void startChange();
  void endChange();
  // Fires onLink when linking switches on.
  void setLinked(bool on);

  bool isChanging() const { return changing; }
  bool isLinked() const { return linked; }

protected:
  // Not deleted through this class.
  ~ValueEditor() = default;

  // True when the widget should react to p; it then calls
  // endPropertyChange afterwards.
  bool beginPropertyChange(const AbstractProperty* p);
  void endPropertyChange() { propertyChanging = false; }

  int startPosition = 0;
  bool changing = false;
  bool propertyChanging = false;
  bool linked = false;
};

} // namespace gui
