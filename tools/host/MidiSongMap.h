#pragma once

// The transport's bar and beat positions for a song read from a MIDI file:
// a sample location becomes a time at the render's sample rate, and the
// song's tempo map gives the bar and beat there, through every change of
// tempo and meter. Ticks run within the beat, 960000 to a quarter note, as
// the transport counts them.

#include "tools/host/Transport.h"
#include "tools/render/TempoMap.h"

namespace simhost {

class MidiSongMap : public SongMap {
public:
  // The map must outlive this object.
  MidiSongMap(const renderio::TempoMap& map, double sampleRate) : mMap(map), mSampleRate(sampleRate) {}
  void barBeat(int64_t location, int32_t& bars, int32_t& beats, int64_t& ticks) const override;

private:
  const renderio::TempoMap& mMap;
  double mSampleRate;
};

} // namespace simhost
