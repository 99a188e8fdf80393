#pragma once

// The hint texts name modifier keys as the default shortcut table has them
// (command resets, shift is fine, option links). When a host has remapped
// the table, a hint that still named those keys would send the user to the
// wrong gesture (an "Alt" drag that resets a knob instead of moving both),
// so the editor passes every hint through here: under the default table the
// text comes back as it is; otherwise each key phrase names the keys now in
// force for the same gesture.

#include "gui/ShiftStateMapping.h"

#include <string>

std::string hintWithKeysInForce(const std::string& text,
                                const gui::ShiftStateMapping& mapping = gui::shiftStateMapping);
