#pragma once

// The clipboard as the host-drawn text views use it: Option+V pastes the
// clipboard's text over the edited text, Option+C puts the selected text
// on the clipboard. The clipboard is the window server's (the display's
// own where there is one), so a text copied here pastes in any program
// and the other way round.

#include "platform/TextEdit.h"

#include <cstddef>

namespace scrap {

// The characters the keyboard gives for Option+V and Option+C, with and
// without Shift.
constexpr char kOptionV = static_cast<char>(0xC3);
constexpr char kShiftOptionV = static_cast<char>(0xD7);
constexpr char kOptionC = static_cast<char>(0x8D);
constexpr char kShiftOptionC = static_cast<char>(0x82);

inline bool IsPaste(char key) { return key == kOptionV || key == kShiftOptionV; }
inline bool IsCopy(char key) { return key == kOptionC || key == kShiftOptionC; }

// The clipboard's text, length-prefixed, as one line of at most max bytes
// (max below 256): it ends at the first line break and is never cut inside
// a character. Empty when the clipboard holds no text.
void GetScrapText(unsigned char* out, size_t max = 255);
// Puts the edit record's selection on the clipboard; an empty selection
// leaves the clipboard as it was.
void CopySelection(const platform::TextEdit& edit);

} // namespace scrap
