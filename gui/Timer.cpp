#include "gui/Timer.h"

namespace gui {

void Timer::propertyChange(const AbstractProperty* property) {
  if (property == &enabled || property == &interval) updateTimer();
}

} // namespace gui
