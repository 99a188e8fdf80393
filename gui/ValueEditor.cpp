#include "gui/ValueEditor.h"

#include "base/TextUtils.h"

namespace gui {

ValueEditor::ValueEditor(PropertyOwner* owner)
    : maximum(owner, 4096), minimum(owner, 0), position(owner, 0), id(owner, -1) {}

float ValueEditor::getValue() const {
  const int span = maximum - minimum;
  if (span <= 0) return 0.0f;
  return enumToFloat(position - minimum, span + 1, nullptr);
}

void ValueEditor::setValue(float v) {
  const int span = maximum - minimum;
  position = minimum + (span > 0 ? floatToEnum(v, span + 1, nullptr) : 0);
}

void ValueEditor::adjustPosition(int p) {
  if (p < minimum) p = minimum;
  if (p > maximum) p = maximum;
  if (p == position) return;
  // Recorded first, so that the protocol takes the write for the user's own.
  startPosition = p;
  position = p;
  onChange(this);
}

void ValueEditor::startChange() {
  changing = true;
  startPosition = position;
  onStartChange(this);
}

void ValueEditor::endChange() {
  changing = false;
  onEndChange(this);
}

void ValueEditor::setLinked(bool on) {
  if (on == linked) return;
  linked = on;
  if (on) onLink(this);
}

bool ValueEditor::beginPropertyChange(const AbstractProperty* p) {
  if (propertyChanging) return false;
  propertyChanging = true;
  if (changing && p == &position && position != startPosition) {
    position = startPosition;
    propertyChanging = false;
    return false;
  }
  if (p == &maximum) {
    if (maximum <= minimum) minimum = maximum - 1;
  } else if (p == &minimum) {
    if (minimum >= maximum) maximum = minimum + 1;
  } else if (p != &position) {
    return true;
  }
  int clamped = position;
  if (clamped < minimum) clamped = minimum;
  if (clamped > maximum) clamped = maximum;
  position = clamped;
  return true;
}

} // namespace gui
