#pragma once

// Remembers that a unit's input last gave a value that stands until a
// parameter or a bus of the environment changes (see
// Producer::holdsOutput), so that the unit may keep using what it read
// instead of pulling the input, and the input's parameter, every block.

#include "wave/Environment.h"
#include "wave/Producer.h"

#include <cstdint>

namespace wave {

class HeldInput {
public:
  // True while p is the input last kept and nothing that could change its
  // value has happened since.
  bool holds(const Producer* p, const Environment* env) const {
    return from == p && parameterChanges == env->parameterChanges && busChanges == env->busChanges;
  }
  // After a pull of p: keeps it when its block stands until the next change.
  void keepIfHeld(const Producer* p, const Environment* env) {
    from = p->constantBlock && p->holdsOutput() ? p : nullptr;
    parameterChanges = env->parameterChanges;
    busChanges = env->busChanges;
  }
  void forget() { from = nullptr; }

private:
  const Producer* from = nullptr;
  uint32_t parameterChanges = 0;
  uint32_t busChanges = 0;
};

} // namespace wave
