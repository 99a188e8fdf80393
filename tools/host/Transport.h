#pragma once

// The simulated host's transport: tempo (quarter notes per minute), meter and
// the song position where new instances start. Set on the main thread, read
// on the render thread. Bar and beat positions follow from a sample location
// at a constant tempo and meter: bars and beats count from 1, and ticks run
// within the beat, 960000 to a quarter note.

#include <atomic>
#include <cstdint>

namespace simhost {

// Bar and beat positions of a song whose tempo or meter changes, which the
// transport's constant tempo and meter cannot give. Called on the render
// thread: it must not change while a render runs.
class SongMap {
public:
  virtual ~SongMap() = default;
  virtual void barBeat(int64_t location, int32_t& bars, int32_t& beats, int64_t& ticks) const = 0;
};

class Transport {
public:
  void setTempo(double beatsPerMinute) { mTempo.store(beatsPerMinute > 0 ? beatsPerMinute : 120.0); }
  double tempo() const { return mTempo.load(); }
  // Ignored unless numerator >= 1 and denominator is 1, 2, 4 ... 64.
  void setMeter(int32_t numerator, int32_t denominator);
  void meter(int32_t& numerator, int32_t& denominator) const;
  void setSampleRate(double rate) { mSampleRate.store(rate > 0 ? rate : 44100.0); }
  double sampleRate() const { return mSampleRate.load(); }
  void setSongPosition(int64_t location) { mSongPosition.store(location < 0 ? 0 : location); }
  int64_t songPosition() const { return mSongPosition.load(); }

  // From the song map when one is set (set it before rendering, clear it
  // before it goes), else at the constant tempo and meter.
  void setSongMap(const SongMap* map) { mSongMap.store(map); }
  void barBeat(int64_t location, int32_t& bars, int32_t& beats, int64_t& ticks) const;

private:
  std::atomic<double> mTempo{120.0};
  std::atomic<int32_t> mMeter{(4 << 16) | 4};
  std::atomic<double> mSampleRate{44100.0};
  std::atomic<int64_t> mSongPosition{0};
  std::atomic<const SongMap*> mSongMap{nullptr};
};

} // namespace simhost
