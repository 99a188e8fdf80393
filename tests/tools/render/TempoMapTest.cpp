#include "tools/render/TempoMap.h"

#include <gtest/gtest.h>

using renderio::TempoMap;

TEST(TempoMapTest, StartsAt120In4By4) {
  TempoMap map(480);
  EXPECT_DOUBLE_EQ(map.tempoAt(0.0), 120.0);
  EXPECT_DOUBLE_EQ(map.tempoAt(1000.0), 120.0);
  EXPECT_DOUBLE_EQ(map.secondsAtTick(480 * 3), 1.5);
  EXPECT_DOUBLE_EQ(map.beatsAtSeconds(2.0), 4.0);
  EXPECT_EQ(map.meterAt(5.0).numerator, 4);
  EXPECT_EQ(map.meterAt(5.0).denominator, 4);
  int64_t bar;
  double beat;
  map.barBeatAt(2.25, bar, beat); // beat 4.5 from the start
  EXPECT_EQ(bar, 2);
  EXPECT_DOUBLE_EQ(beat, 1.5);
}

TEST(TempoMapTest, TimesAndPositionsFollowEachTempoChange) {
  TempoMap map(96);
  map.addTempo(0, 600000.0);        // 100 bpm
  map.addTempo(96 * 4, 400000.0);   // 150 bpm from beat 4 (2.4 s)
  map.addTempo(96 * 10, 1000000.0); // 60 bpm from beat 10 (4.8 s)
  EXPECT_DOUBLE_EQ(map.secondsAtTick(96 * 4), 2.4);
  EXPECT_DOUBLE_EQ(map.secondsAtTick(96 * 10), 4.8);
  EXPECT_DOUBLE_EQ(map.secondsAtTick(96 * 12), 6.8);
  EXPECT_NEAR(map.tempoAt(2.3999), 100.0, 1e-9);
  EXPECT_NEAR(map.tempoAt(2.4), 150.0, 1e-9);
  EXPECT_NEAR(map.tempoAt(4.8), 60.0, 1e-9);
  for (double s : {0.0, 1.0, 2.4, 3.0, 4.8, 9.5}) EXPECT_NEAR(map.secondsAtBeats(map.beatsAtSeconds(s)), s, 1e-12);
  EXPECT_NEAR(map.beatsAtSeconds(3.0), 5.5, 1e-12);
  ASSERT_EQ(map.tempos().size(), 3u);
  EXPECT_DOUBLE_EQ(map.tempos()[1].beats, 4.0);
  EXPECT_DOUBLE_EQ(map.tempos()[2].seconds, 4.8);
}

TEST(TempoMapTest, IgnoresImpossibleChangesAndReplacesSimultaneousOnes) {
  TempoMap map(480);
  map.addTempo(0, 0.0);
  map.addTempo(0, -5.0);
  map.addTempo(960, 1000000.0);
  map.addTempo(480, 250000.0); // earlier than the last: ignored
  map.addTempo(960, 250000.0); // replaces the one at 960
  ASSERT_EQ(map.tempos().size(), 2u);
  EXPECT_DOUBLE_EQ(map.tempos()[0].bpm(), 120.0);
  EXPECT_DOUBLE_EQ(map.tempos()[1].bpm(), 240.0);

  map.addMeter(0, 0, 4);
  map.addMeter(0, 3, 3);
  map.addMeter(0, 3, 128);
  ASSERT_EQ(map.meters().size(), 1u);
  EXPECT_EQ(map.meters()[0].numerator, 4);
  map.addMeter(0, 7, 8);
  ASSERT_EQ(map.meters().size(), 1u);
  EXPECT_EQ(map.meters()[0].numerator, 7);
  map.addMeter(0, 5, 64); // the shortest note value a meter may count
  ASSERT_EQ(map.meters().size(), 1u);
  EXPECT_EQ(map.meters()[0].denominator, 64);
}

TEST(TempoMapTest, CountsBarsAcrossMeterChanges) {
  TempoMap map(480);
  map.addMeter(0, 4, 4);
  map.addMeter(480 * 8, 3, 4);  // after two bars of 4/4
  map.addMeter(480 * 14, 6, 8); // after two bars of 3/4
  map.addMeter(480 * 14, 6, 8); // the same change again, as another track may repeat it
  map.addMeter(480 * 16, 2, 4); // in the middle of a bar of 6/8: that bar is cut short
  ASSERT_EQ(map.meters().size(), 4u);
  EXPECT_EQ(map.meters()[1].barsBefore, 2);
  EXPECT_EQ(map.meters()[2].barsBefore, 4);
  EXPECT_EQ(map.meters()[3].barsBefore, 5);

  auto at = [&](double quarters, int64_t wantBar, double wantBeat) {
    int64_t bar;
    double beat;
    map.barBeatAt(map.secondsAtBeats(quarters), bar, beat);
    EXPECT_EQ(bar, wantBar) << quarters;
    EXPECT_NEAR(beat, wantBeat, 1e-9) << quarters;
  };
  at(0.0, 1, 1.0);
  at(7.5, 2, 4.5);
  at(8.0, 3, 1.0);
  at(11.0, 4, 1.0);
  at(14.0, 5, 1.0);
  at(15.0, 5, 3.0); // eighths count in 6/8
  at(16.0, 6, 1.0);
  at(19.0, 7, 2.0);
  EXPECT_EQ(map.meterAt(map.secondsAtBeats(15.0)).denominator, 8);
}

TEST(TempoMapTest, MetersAreTimedByLaterAddedTempos) {
  TempoMap map(480);
  map.addMeter(1920, 3, 4);    // added while the tempo is 120: 2.0 s
  map.addTempo(960, 1000000.0); // 60 bpm from beat 2: the meter moves to 3.0 s
  EXPECT_DOUBLE_EQ(map.meters()[1].seconds, 3.0);
  EXPECT_EQ(map.meterAt(2.9).numerator, 4);
  EXPECT_EQ(map.meterAt(3.0).numerator, 3);
}
