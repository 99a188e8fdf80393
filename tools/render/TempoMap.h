#pragma once

// The tempo and meter of a song over time, built from a MIDI file's set-tempo
// and time-signature events, so that a host's transport can follow the song.
//
// Times are seconds from the start of the song; positions are beats counted
// in quarter notes from the start (the MIDI file's tick divided by its ticks
// per quarter note), whatever the meter. Tempo is in quarter notes per minute.
// Until the first change the tempo is 120 and the meter 4/4, as in any MIDI
// file.

#include <cstdint>
#include <vector>

namespace renderio {

class TempoMap {
public:
  struct Tempo {
    int64_t tick = 0;
    double seconds = 0.0;
    double beats = 0.0;
    double microsPerQuarter = 500000.0;
    double bpm() const { return 60000000.0 / microsPerQuarter; }
  };
  struct Meter {
    int64_t tick = 0;
    double seconds = 0.0;
    double beats = 0.0;
    // Whole bars before this meter starts; a change in the middle of a bar
    // starts a new bar.
    int64_t barsBefore = 0;
    int32_t numerator = 4;
    int32_t denominator = 4;
    double quartersPerBar() const { return numerator * 4.0 / denominator; }
  };

  explicit TempoMap(int32_t ticksPerQuarter = 480);

  int32_t ticksPerQuarter() const { return mTicksPerQuarter; }

  // Changes come in tick order (one earlier than the last is ignored); a
  // change at the same tick as the last one replaces it. A tempo is ignored
  // unless it is above 0; a meter unless the numerator is at least 1 and the
  // denominator is 1, 2, 4 ... 64.
  void addTempo(int64_t tick, double microsPerQuarter);
  void addMeter(int64_t tick, int32_t numerator, int32_t denominator);

  double secondsAtTick(int64_t tick) const;
  double secondsAtBeats(double beats) const;
  // The song position in quarter notes.
  double beatsAtSeconds(double seconds) const;
  // Quarter notes per minute at a time (a change takes effect at its time).
  double tempoAt(double seconds) const;
  const Meter& meterAt(double seconds) const;
  // Bar from 1 and beat within the bar from 1 (in the meter's own beats, so
  // 1.5 is the off-beat of the first beat), for the bar display.
  void barBeatAt(double seconds, int64_t& bar, double& beat) const;

  const std::vector<Tempo>& tempos() const { return mTempos; }
  const std::vector<Meter>& meters() const { return mMeters; }

private:
  const Tempo& tempoAtTick(int64_t tick) const;
  const Tempo& tempoAtSeconds(double seconds) const;

  int32_t mTicksPerQuarter;
  std::vector<Tempo> mTempos; // never empty, first at tick 0
  std::vector<Meter> mMeters; // never empty, first at tick 0
};

} // namespace renderio
