#pragma once

// Flushes denormal floats to zero on the current thread for the lifetime of
// the object, and puts the thread's floating-point control state back as it
// found it when the object goes. Denormals in feedback paths (filters,
// envelopes decaying towards zero) cost many times the time of a normal
// operation; the host's own state must not change behind its back.

#include <xmmintrin.h>

class ScopedDenormalFlush {
public:
  // Flush-to-zero (bit 15) and denormals-are-zero (bit 6) of the SSE
  // control and status register.
  static constexpr unsigned cFlushBits = 0x8040u;

  ScopedDenormalFlush() : mSaved(_mm_getcsr()) { _mm_setcsr(mSaved | cFlushBits); }
  ~ScopedDenormalFlush() { _mm_setcsr(mSaved); }

  ScopedDenormalFlush(const ScopedDenormalFlush&) = delete;
  ScopedDenormalFlush& operator=(const ScopedDenormalFlush&) = delete;

private:
  unsigned mSaved;
};
