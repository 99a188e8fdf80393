#pragma once

// Puts the current thread's SSE floating-point control state into the one
// the render path runs with, for the lifetime of the guard, and restores the
// state it found when it goes: flush-to-zero, denormals-are-zero, every
// exception masked, round-to-nearest. Denormals in feedback paths (filter
// states, decays towards zero) cost many times a normal operation; the
// host's own state must not change behind its back.
//
// Guards nest: one that finds the render state already set changes nothing
// and restores nothing, so a kernel may take one inside the plug-in's own
// at the cost of reading the control register.

#include <xmmintrin.h>

namespace wave {

class DenormalGuard {
public:
  // Flush-to-zero (0x8000), all six exception masks (0x1f80),
  // denormals-are-zero (0x0040); rounding bits 0 (to nearest).
  static constexpr unsigned cRenderState = 0x9fc0u;
  // Every control bit of the register (the low six are status flags).
  static constexpr unsigned cControlBits = 0xffc0u;

  DenormalGuard() : saved(_mm_getcsr()) {
    changed = (saved & cControlBits) != cRenderState;
    if (changed) _mm_setcsr((saved & ~cControlBits) | cRenderState);
  }
  ~DenormalGuard() {
    if (changed) _mm_setcsr(saved);
  }

  DenormalGuard(const DenormalGuard&) = delete;
  DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
  unsigned saved;
  bool changed;
};

} // namespace wave
