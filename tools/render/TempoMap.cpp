#include "tools/render/TempoMap.h"

#include <algorithm>
#include <cmath>

namespace renderio {

TempoMap::TempoMap(int32_t ticksPerQuarter) : mTicksPerQuarter(ticksPerQuarter > 0 ? ticksPerQuarter : 480) {
  mTempos.push_back(Tempo{});
  mMeters.push_back(Meter{});
}

void TempoMap::addTempo(int64_t tick, double microsPerQuarter) {
  if (!(microsPerQuarter > 0.0) || !std::isfinite(microsPerQuarter) || tick < mTempos.back().tick) return;
  Tempo t;
  t.tick = tick;
  t.seconds = secondsAtTick(tick);
  t.beats = static_cast<double>(tick) / mTicksPerQuarter;
  t.microsPerQuarter = microsPerQuarter;
  if (tick == mTempos.back().tick)
    mTempos.back() = t;
  else
    mTempos.push_back(t);
  // A meter already added at or after this tick was timed with the old
  // tempo: time it again, so tempos and meters may be added in either order.
  for (Meter& m : mMeters)
    if (m.tick >= tick) m.seconds = secondsAtTick(m.tick);
}

void TempoMap::addMeter(int64_t tick, int32_t numerator, int32_t denominator) {
  bool powerOfTwo = denominator >= 1 && denominator <= 64 && (denominator & (denominator - 1)) == 0;
  if (numerator < 1 || !powerOfTwo || tick < mMeters.back().tick) return;
  Meter m;
  m.tick = tick;
  m.seconds = secondsAtTick(tick);
  m.beats = static_cast<double>(tick) / mTicksPerQuarter;
  m.numerator = numerator;
  m.denominator = denominator;
  if (tick == mMeters.back().tick) {
    m.barsBefore = mMeters.back().barsBefore;
    mMeters.back() = m;
  } else {
    const Meter& prev = mMeters.back();
    double bars = (m.beats - prev.beats) / prev.quartersPerBar();
    // A bar that the change cuts short still counts as a bar.
    m.barsBefore = prev.barsBefore + static_cast<int64_t>(std::ceil(bars - 1e-9));
    mMeters.push_back(m);
  }
}

const TempoMap::Tempo& TempoMap::tempoAtTick(int64_t tick) const {
  auto it = std::upper_bound(mTempos.begin(), mTempos.end(), tick,
                             [](int64_t t, const Tempo& x) { return t < x.tick; });
  return it == mTempos.begin() ? mTempos.front() : *(it - 1);
}

const TempoMap::Tempo& TempoMap::tempoAtSeconds(double seconds) const {
  auto it = std::upper_bound(mTempos.begin(), mTempos.end(), seconds,
                             [](double s, const Tempo& x) { return s < x.seconds; });
  return it == mTempos.begin() ? mTempos.front() : *(it - 1);
}

double TempoMap::secondsAtTick(int64_t tick) const {
  const Tempo& t = tempoAtTick(tick);
  return t.seconds + static_cast<double>(tick - t.tick) * t.microsPerQuarter / (1e6 * mTicksPerQuarter);
}

double TempoMap::secondsAtBeats(double beats) const {
  auto it = std::upper_bound(mTempos.begin(), mTempos.end(), beats,
                             [](double b, const Tempo& x) { return b < x.beats; });
  const Tempo& t = it == mTempos.begin() ? mTempos.front() : *(it - 1);
  return t.seconds + (beats - t.beats) * t.microsPerQuarter / 1e6;
}

double TempoMap::beatsAtSeconds(double seconds) const {
  const Tempo& t = tempoAtSeconds(seconds);
  return t.beats + (seconds - t.seconds) * 1e6 / t.microsPerQuarter;
}

double TempoMap::tempoAt(double seconds) const { return tempoAtSeconds(seconds).bpm(); }

const TempoMap::Meter& TempoMap::meterAt(double seconds) const {
  auto it = std::upper_bound(mMeters.begin(), mMeters.end(), seconds,
                             [](double s, const Meter& x) { return s < x.seconds; });
  return it == mMeters.begin() ? mMeters.front() : *(it - 1);
}

void TempoMap::barBeatAt(double seconds, int64_t& bar, double& beat) const {
  const Meter& m = meterAt(seconds);
  double quarters = std::max(0.0, beatsAtSeconds(seconds) - m.beats);
  double perBar = m.quartersPerBar();
  // A hair of tolerance so that a time computed for a bar line lands on it.
  double bars = std::floor(quarters / perBar + 1e-9);
  double within = std::max(0.0, quarters - bars * perBar);
  bar = m.barsBefore + static_cast<int64_t>(bars) + 1;
  beat = within * m.denominator / 4.0 + 1.0;
}

} // namespace renderio
