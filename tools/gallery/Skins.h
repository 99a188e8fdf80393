#pragma once

// Skin images drawn by program, for the gallery and for looking at widgets
// without the product's resources: a graphite knob with a scale, cream
// pointers, grey buttons with lamp overlays, a slide switch and lamps.
// Shapes are sampled 4 x 4 per pixel, so edges are antialiased and the
// alpha of every image is its shape.

#include "gui/Button.h"
#include "gui/Knob.h"
#include "gui/Light.h"
#include "gui/Switch.h"

namespace gallery {

// A knob of the given diameter whose scale spans the default 300 degrees.
void makeKnobSkin(gui::Knob::Style& style, int size);
// Faces `height` pixels high (three-part, stretched along x), a lamp overlay
// off and on.
void makeButtonSkin(gui::Button::Style& style, int height);
// The same faces with a downward arrow as both overlays (menu buttons).
void makeMenuButtonSkin(gui::Button::Style& style, int height);
// A track `length` long (horizontal when wide) and a handle half as long.
void makeSwitchSkin(gui::Switch::Style& style, int length, int thickness, bool vertical);
void makeLightSkin(gui::Light::Style& style, int size);
// A pale panel for hint windows.
void makeHintImage(gui::Bitmap* bitmap, int width, int height);

} // namespace gallery
