#include "tools/host/MidiSongMap.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace simhost {

void MidiSongMap::barBeat(int64_t location, int32_t& bars, int32_t& beats, int64_t& ticks) const {
  const double seconds = static_cast<double>(std::max<int64_t>(location, 0)) / mSampleRate;
  int64_t bar = 1;
  double beat = 1.0;
  mMap.barBeatAt(seconds, bar, beat);
  const renderio::TempoMap::Meter& meter = mMap.meterAt(seconds);
  const int64_t perBeat = 3840000 / meter.denominator;
  double whole = std::floor(beat);
  int64_t rest = std::llround((beat - whole) * static_cast<double>(perBeat));
  // A beat that rounds up to its end is the next beat's start.
  if (rest >= perBeat) {
    whole += 1.0;
    rest = 0;
    if (whole > meter.numerator) {
      whole = 1.0;
      ++bar;
    }
  }
  bars = static_cast<int32_t>(std::min<int64_t>(bar, std::numeric_limits<int32_t>::max()));
  beats = static_cast<int32_t>(whole);
  ticks = rest;
}

} // namespace simhost
