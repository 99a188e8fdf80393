// The transport's bar and beat positions through a song's changes of tempo
// and meter.

#include "tools/host/MidiSongMap.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

constexpr double kRate = 44100.0;

struct Position {
  int32_t bars, beats;
  int64_t ticks;
  bool operator==(const Position&) const = default;
};

void PrintTo(const Position& p, std::ostream* os) { *os << p.bars << "|" << p.beats << "|" << p.ticks; }

Position at(const simhost::Transport& transport, double seconds) {
  Position p{};
  transport.barBeat(static_cast<int64_t>(seconds * kRate + 0.5), p.bars, p.beats, p.ticks);
  return p;
}

} // namespace

TEST(MidiSongMapTest, PositionsFollowTempoAndMeterChanges) {
  // 4/4 at 120 for a bar (2 s), 60 from bar 2 (4 s a bar), 3/4 from bar 3
  // (at 6 s), then 6/8 from bar 4 (at 9 s), eighths at 60 quarters a minute.
  renderio::TempoMap map(480);
  map.addTempo(1920, 1000000.0);
  map.addMeter(3840, 3, 4);
  map.addMeter(5280, 6, 8);
  simhost::MidiSongMap song(map, kRate);
  simhost::Transport transport;
  transport.setSampleRate(kRate);
  transport.setTempo(60.0);
  transport.setSongMap(&song);

  EXPECT_EQ(at(transport, 0.0), (Position{1, 1, 0}));
  EXPECT_EQ(at(transport, 0.25), (Position{1, 1, 480000}));
  EXPECT_EQ(at(transport, 1.5), (Position{1, 4, 0}));
  EXPECT_EQ(at(transport, 2.0), (Position{2, 1, 0}));
  EXPECT_EQ(at(transport, 3.0), (Position{2, 2, 0}));
  EXPECT_EQ(at(transport, 6.0), (Position{3, 1, 0}));
  EXPECT_EQ(at(transport, 7.5), (Position{3, 2, 480000}));
  EXPECT_EQ(at(transport, 9.0), (Position{4, 1, 0}));
  // Eighth-note beats: half a second each, 480000 ticks.
  EXPECT_EQ(at(transport, 9.75), (Position{4, 2, 240000}));
  EXPECT_EQ(at(transport, 12.0), (Position{5, 1, 0}));
  // Without the map, the constant tempo from the start: 3 s at 60 is the
  // fourth beat of the first bar.
  transport.setSongMap(nullptr);
  EXPECT_EQ(at(transport, 3.0), (Position{1, 4, 0}));

  // 499161 microseconds a quarter at 44100 Hz: 22013.0001 samples a
  // quarter, so sample 22013 k lies k ten-thousandths of a sample (a few
  // billionths of a quarter) before the k-th beat, well within half a tick:
  // it is that beat, with no ticks, and the fourth is the next bar's first.
  renderio::TempoMap uneven(480);
  uneven.addTempo(0, 499161.0);
  simhost::MidiSongMap unevenSong(uneven, kRate);
  transport.setSongMap(&unevenSong);
  auto atSample = [&](int64_t location) {
    Position p{};
    transport.barBeat(location, p.bars, p.beats, p.ticks);
    return p;
  };
  EXPECT_EQ(atSample(22013), (Position{1, 2, 0}));
  EXPECT_EQ(atSample(3 * 22013), (Position{1, 4, 0}));
  EXPECT_EQ(atSample(4 * 22013), (Position{2, 1, 0}));
  // A sample on is 0.9999 / 22013.0001 of a quarter past it, 43.6 ticks.
  EXPECT_EQ(atSample(22013 + 1), (Position{1, 2, 44}));
  transport.setSongMap(nullptr);
}
