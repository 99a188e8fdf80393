#pragma once

// The largest step of a signal: the largest difference between two
// neighbouring samples, which is what a click is. Tests hold a fade, a
// restart or a program change to the steps the signal takes by itself.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <span>

namespace zarn::test {

// The largest |x[i] - x[i - 1]| for i in [from, to) (to is clipped to the
// samples there are). Samples are `stride` apart (2 for a channel of an
// interleaved stereo signal, whose first sample x points at; i counts
// frames). The step into the first sample counts from `before` when one is
// given, and is left out when not.
inline double largestStep(std::span<const float> x, size_t from, size_t to, size_t stride = 1,
                          std::optional<float> before = std::nullopt) {
  const size_t frames = (x.size() + stride - 1) / stride;
  to = std::min(to, frames);
  double step = 0.0;
  for (size_t i = from; i < to; ++i) {
    if (i == 0 && !before) continue;
    const double previous = i == 0 ? *before : x[(i - 1) * stride];
    step = std::max(step, std::fabs(static_cast<double>(x[i * stride]) - previous));
  }
  return step;
}

} // namespace zarn::test
