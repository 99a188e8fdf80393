#pragma once

// A Standard MIDI File read into one time-ordered list of channel events and
// a tempo map, for rendering a song offline.
//
//   renderio::MidiFile song;
//   if (!song.read("song.mid", 48000.0)) { report(song.error()); ... }
//   for (const renderio::MidiEvent& e : song.events()) ... e.sample, e.status ...
//   song.tempoMap().tempoAt(seconds) ...
//
// Formats 0 and 1 with a division in ticks per quarter note are read; format
// 2 and SMPTE divisions are refused. Running status is followed (also across
// meta and system exclusive events, as most writers expect). System exclusive
// events and meta events other than set tempo, time signature and end of
// track are skipped. Tempo and time signature events count from any track.
// A note-on with velocity 0 comes out as a note-off with velocity 64, the
// release velocity of a keyboard that does not sense it.
//
// Events of all tracks are merged by time; events at the same tick keep the
// file's order (tracks in order, then events within a track).
//
// Malformed input never crashes or hangs: read and parse return false and
// error() gives a one-line reason; the object is then empty.

#include "tools/render/TempoMap.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace renderio {

struct MidiEvent {
  enum class Type { NoteOff, NoteOn, PolyPressure, Controller, ProgramChange, ChannelPressure, PitchBend };

  int64_t tick = 0;     // from the start of the song, in the file's ticks
  double seconds = 0.0; // from the start of the song
  int64_t sample = 0;   // seconds at the file's sample rate, rounded
  uint8_t status = 0;   // 0x80 ... 0xEF, the channel in the low four bits
  uint8_t data1 = 0;
  uint8_t data2 = 0;    // 0 for program change and channel pressure
  uint16_t track = 0;   // index among the file's tracks

  Type type() const { return static_cast<Type>((status >> 4) - 8); }
  int channel() const { return status & 0x0F; }
  // Bytes of the message on the wire: 2 or 3.
  int size() const { return type() == Type::ProgramChange || type() == Type::ChannelPressure ? 2 : 3; }
  // -8192 ... 8191 for a pitch bend, 0 at rest.
  int pitchBend() const { return ((data2 << 7) | data1) - 8192; }
};

class MidiFile {
public:
  // Larger files are refused: no real song comes near this.
  static constexpr size_t kMaxFileBytes = 16u << 20;
  // Songs that last longer are refused, so a stray delta time cannot make a
  // renderer write hours of silence.
  static constexpr double kMaxSeconds = 2.0 * 60.0 * 60.0;

  MidiFile();

  bool read(const std::string& path, double sampleRate = 44100.0);
  bool parse(const void* data, size_t size, double sampleRate = 44100.0);
  bool parse(const std::string& bytes, double sampleRate = 44100.0) {
    return parse(bytes.data(), bytes.size(), sampleRate);
  }
  // Why the last read or parse failed ("" after success).
  const std::string& error() const { return mError; }

  // Recomputes every event's sample position (and the length in samples).
  // Ignored unless the rate is above 0 and at most 10 MHz.
  void setSampleRate(double sampleRate);
  double sampleRate() const { return mSampleRate; }

  int format() const { return mFormat; }
  int trackCount() const { return mTrackCount; }
  int32_t ticksPerQuarter() const { return mTempoMap.ticksPerQuarter(); }
  const std::vector<MidiEvent>& events() const { return mEvents; }
  const TempoMap& tempoMap() const { return mTempoMap; }

  // The end of the song: the latest end of track (or event, if later).
  int64_t lengthTicks() const { return mLengthTicks; }
  double lengthSeconds() const { return mLengthSeconds; }
  int64_t lengthSamples() const;

private:
  bool fail(std::string reason);
  void clear();

  std::string mError;
  double mSampleRate = 44100.0;
  int mFormat = 0;
  int mTrackCount = 0;
  std::vector<MidiEvent> mEvents;
  TempoMap mTempoMap;
  int64_t mLengthTicks = 0;
  double mLengthSeconds = 0.0;
};

} // namespace renderio
