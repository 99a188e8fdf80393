#include "tools/host/Transport.h"

#include <cmath>

namespace simhost {

void Transport::setMeter(int32_t numerator, int32_t denominator) {
  // Beats are whole, half, quarter ... notes; anything else leaves the meter.
  if (numerator < 1 || numerator > 0x7FFF) return;
  if (denominator < 1 || denominator > 64 || (denominator & (denominator - 1))) return;
  mMeter.store((numerator << 16) | denominator);
}

void Transport::meter(int32_t& numerator, int32_t& denominator) const {
  int32_t m = mMeter.load();
  numerator = m >> 16;
  denominator = m & 0xFFFF;
}

void Transport::barBeat(int64_t location, int32_t& bars, int32_t& beats, int64_t& ticks) const {
  if (const SongMap* map = mSongMap.load()) return map->barBeat(location < 0 ? 0 : location, bars, beats, ticks);
  int32_t numerator, denominator;
  meter(numerator, denominator);
  double quarters = static_cast<double>(location < 0 ? 0 : location) / sampleRate() * tempo() / 60.0;
  int64_t total = std::llround(quarters * 960000.0);
  int64_t perBeat = 3840000 / denominator;
  int64_t perBar = perBeat * numerator;
  bars = static_cast<int32_t>(total / perBar + 1);
  int64_t rest = total % perBar;
  beats = static_cast<int32_t>(rest / perBeat + 1);
  ticks = rest % perBeat;
}

} // namespace simhost
