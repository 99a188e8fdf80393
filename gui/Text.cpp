#include "gui/Text.h"

namespace gui {

Text::Text()
    : bold(this, false), color(this, Color(0, 0, 0, 255)), font(this, ""), italic(this, false),
      overflowMode(this, cOverflowClip), maxWidth(this, 0), size(this, 8), text(this, ""), underline(this, false) {}

void Text::propertyChange(const AbstractProperty*) { notifyChange(); }

void Text::change() { onChange(this); }

} // namespace gui
