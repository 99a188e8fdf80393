#include "gui/ShiftStateMapping.h"

namespace gui {

ShiftStateMapping shiftStateMapping;

ShiftStateMapping::ShiftStateMapping()
    : entries{{cCommandBit, cPurposeReset},
              {cShiftBit, cPurposeFine},
              {cOptionBit, cPurposeLinked},
              {cShiftBit | cOptionBit, cPurposeFineLinked}} {}

ShiftStatePurpose ShiftStateMapping::getPurpose(ShiftState s) const {
  const ShiftState masked = s & (cShiftBit | cOptionBit | cCommandBit | cControlBit);
  for (const Entry& e : entries)
    if (e.shiftState == masked) return e.purpose;
  return 0;
}

void ShiftStateMapping::setPurposeShiftState(ShiftStatePurpose p, ShiftState s) {
  for (Entry& e : entries)
    if (e.purpose == p) {
      e.shiftState = s;
      return;
    }
  entries.push_back({s, p});
}

} // namespace gui
