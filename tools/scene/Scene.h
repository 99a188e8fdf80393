#pragma once

// A small toolkit surface on the headless window server, driven by a script
// and reporting a timeline. The surface holds a knob-like control that
// follows vertical drags, a preset button that pops a menu, a save button
// that asks for a file name, and a panel around them; each has a hint.
//
// Script, one command a line ('#' starts a comment; points are in the
// surface's own coordinates):
//   move X Y            the mouse moves (a drag while the button is down)
//   down X Y [MODS]     press; MODS: shift option command control double
//   drag X Y            same as move with the button down
//   up X Y              release
//   wait MS             the clock runs on
//   menu A/B/...        the next popup menu chooses this entry ("menu" alone
//                       cancels it)
//   save NAME           the next save dialog is answered (save alone cancels)
//   folder PATH         the next folder dialog is answered
//   snapshot FILE.png   writes the window as it is on the screen
// The timeline prints "<ms> <what>" lines: entering and leaving controls,
// presses, releases and clicks, value changes, hints, menus, dialogs.

#include <iosfwd>
#include <string>
#include <vector>

namespace scene {

// Runs the script on a new surface on the virtual clock. Returns the
// timeline; a line it cannot read ends the run with "error: ..." as the last
// entry.
std::vector<std::string> runScene(std::istream& script);

} // namespace scene
