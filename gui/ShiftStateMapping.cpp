#include "gui/ShiftStateMapping.h"

#include <cstddef>

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


ShiftState ShiftStateMapping::getShiftState(ShiftStatePurpose p) const {
  for (const Entry& e : entries)
    if (e.purpose == p) return e.shiftState;
  return 0;
}

ShiftState ShiftStateMapping::inDefaultKeys(ShiftState s) const {
  static const ShiftStateMapping defaults;
  const ShiftState keys = cShiftBit | cOptionBit | cCommandBit | cControlBit;
  ShiftState out = s & ~keys;
  for (ShiftStatePurpose p : {cPurposeReset, cPurposeFine, cPurposeLinked}) {
    const ShiftState k = getShiftState(p);
    if (k != 0 && (s & k) == k) out |= defaults.getShiftState(p);
  }
  return out;
}

bool ShiftStateMapping::isDefault() const {
  const ShiftStateMapping defaults;
  if (entries.size() != defaults.entries.size()) return false;
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i].shiftState != defaults.entries[i].shiftState || entries[i].purpose != defaults.entries[i].purpose)
      return false;
  return true;
}

} // namespace gui
