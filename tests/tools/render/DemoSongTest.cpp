#include "tools/render/MidiFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>

using renderio::MidiEvent;
using renderio::MidiFile;
using Type = renderio::MidiEvent::Type;

namespace {

std::string demoPath() {
  const char* root = std::getenv("ZARN_SOURCE_DIR");
  return std::string(root ? root : ".") + "/tools/demo/demo.mid";
}

} // namespace

TEST(DemoSongTest, HasTheShapeOfTheComposition) {
  MidiFile song;
  ASSERT_TRUE(song.read(demoPath(), 48000.0)) << song.error();
  EXPECT_EQ(song.format(), 1);
  EXPECT_EQ(song.trackCount(), 5);
  EXPECT_EQ(song.ticksPerQuarter(), 480);

  // Nine bars (the last at 100 bpm) and a beat of release.
  EXPECT_NEAR(song.lengthSeconds(), 30 * 0.576923 + 2 * 0.588235 + 5 * 0.6, 1e-5);
  EXPECT_EQ(song.lengthSamples(), std::llround(song.lengthSeconds() * 48000.0));
  for (const auto& t : song.tempoMap().tempos()) {
    EXPECT_GE(t.bpm(), 100.0 - 1e-3);
    EXPECT_LE(t.bpm(), 110.0);
  }
  EXPECT_EQ(song.tempoMap().meterAt(0.0).numerator, 4);
  EXPECT_EQ(song.tempoMap().meterAt(0.0).denominator, 4);

  std::map<Type, int> kinds;
  std::map<int, int> controllers;
  for (const MidiEvent& e : song.events()) {
    ++kinds[e.type()];
    if (e.type() == Type::Controller) ++controllers[e.data1];
    EXPECT_EQ(e.channel(), 0);
  }
  EXPECT_EQ(song.events().size(), 313u);
  EXPECT_EQ(kinds[Type::NoteOn], 115);  // 65 bass, 27 pad and 23 lead notes
  EXPECT_EQ(kinds[Type::NoteOff], 115);
  EXPECT_EQ(kinds[Type::PitchBend], 10);
  EXPECT_EQ(kinds[Type::ProgramChange], 0); // the listener's choice of sound stays
  EXPECT_EQ(controllers[1], 21);
  EXPECT_EQ(controllers[74], 49);
  EXPECT_EQ(controllers[64], 3);
  EXPECT_EQ(controllers.size(), 3u);
}

TEST(DemoSongTest, EveryNoteEndsAndEveryGestureComesBackToRest) {
  MidiFile song;
  ASSERT_TRUE(song.read(demoPath(), 44100.0)) << song.error();
  int sounding[128] = {};
  int maxPolyphony = 0, polyphony = 0;
  int bend = 0, maxBend = 0, mod = 0, maxMod = 0, pedal = 0, pedalDowns = 0;
  int64_t lastSample = 0;
  for (const MidiEvent& e : song.events()) {
    EXPECT_GE(e.sample, lastSample);
    lastSample = e.sample;
    switch (e.type()) {
    case Type::NoteOn:
      // A key struck again while it sounds would be cut by its own note-off.
      EXPECT_EQ(sounding[e.data1], 0) << "key " << int(e.data1) << " at tick " << e.tick;
      ++sounding[e.data1];
      maxPolyphony = std::max(maxPolyphony, ++polyphony);
      EXPECT_GT(e.data2, 0);
      break;
    case Type::NoteOff:
      EXPECT_EQ(sounding[e.data1], 1) << "key " << int(e.data1) << " at tick " << e.tick;
      --sounding[e.data1];
      --polyphony;
      break;
    case Type::PitchBend:
      bend = e.pitchBend();
      maxBend = std::max(maxBend, bend);
      if (bend != 0) {
        EXPECT_GT(polyphony, 0); // a bend is heard on a held note
      }
      break;
    case Type::Controller:
      if (e.data1 == 1) maxMod = std::max(maxMod, mod = e.data2);
      if (e.data1 == 64) {
        if (e.data2 >= 64 && pedal < 64) ++pedalDowns;
        pedal = e.data2;
      }
      break;
    default: break;
    }
  }
  EXPECT_EQ(polyphony, 0);
  EXPECT_GE(maxPolyphony, 5); // bass, three-note chord and lead together
  EXPECT_EQ(maxBend, 8191);   // a whole tone up at the usual range of two semitones
  EXPECT_EQ(bend, 0);
  EXPECT_GE(maxMod, 64);
  EXPECT_EQ(mod, 0);
  EXPECT_EQ(pedalDowns, 1);
  EXPECT_EQ(pedal, 0);
  EXPECT_LE(lastSample, song.lengthSamples());
}
