#pragma once

// What a modifier combination means during a gesture. Widgets never test
// modifier bits themselves: they ask the process-wide table which purpose
// the mouse event's shift state has, so a host whose own shortcuts claim
// some combinations can have the table remapped once at start-up.
//
// Purposes are bits: reset to default 1, fine adjustment 2, linked move 4;
// 6 means fine and linked together.

#include "gui/MouseInput.h"

#include <vector>

namespace gui {

typedef int ShiftStatePurpose;

enum : int {
  cPurposeReset = 1,
  cPurposeFine = 2,
  cPurposeLinked = 4,
  cPurposeFineLinked = 6,
};

class ShiftStateMapping {
public:
  struct Entry {
    ShiftState shiftState;
    ShiftStatePurpose purpose;
  };

  // Command resets, shift is fine, option links, shift + option both.
  ShiftStateMapping();

  // The purpose of the first entry matching s's shift, option, command and
  // control bits (double click and anything else ignored); 0 when none does.
  ShiftStatePurpose getPurpose(ShiftState s) const;
  // The entry of purpose p gets state s; a purpose not yet present is
  // appended.
  void setPurposeShiftState(ShiftStatePurpose p, ShiftState s);
  // The keys that give purpose p alone (0 when the table has no entry).
  ShiftState getShiftState(ShiftStatePurpose p) const;
  // s with the keys of each purpose replaced by the keys the default table
  // gives that purpose, so a gesture that is not a plain purpose (a click
  // that cycles a response, a drag that mirrors) reads the keys in force as
  // the widgets do. The identity under the default table; bits that are no
  // modifier key pass unchanged.
  ShiftState inDefaultKeys(ShiftState s) const;
  // Whether the table is the one the constructor builds.
  bool isDefault() const;

  std::vector<Entry> entries;
};

extern ShiftStateMapping shiftStateMapping;

} // namespace gui
