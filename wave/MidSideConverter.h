#pragma once

// Converts a pair of signals between left/right and mid/side, or passes it
// through without copying.

#include "base/Property.h"
#include "wave/MultiProducer.h"

#include <cstdint>

class MidSideConverter : public wave::MultiProducer {
public:
  enum Mode {
    cPassThrough = 0,
    cToMidSide = 1, // left/right in, mid/side out
    cToLeftRight = 2 // mid/side in, left/right out (any value but 0 and 1)
  };

  explicit MidSideConverter(wave::Environment* env);
  ~MidSideConverter() override;

  // Not owned. A missing input is silence.
  void setInputs(wave::Producer* first, wave::Producer* second);
  void setMode(int32_t m) { mode = m; }

  void produce(wave::Block* const* outputs, int n, int flags) override;

  // Read at every block; changes notify nobody.
  Property<int32_t> mode{nullptr, cPassThrough};
  wave::Producer* firstInput = nullptr;
  wave::Producer* secondInput = nullptr;
};
