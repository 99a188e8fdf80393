#include "tools/render/MidiFile.h"

#include "tests/support/TempDir.h"
#include "tests/tools/render/MidiBytes.h"

#include <gtest/gtest.h>

using namespace midibytes;
using renderio::MidiEvent;
using renderio::MidiFile;
using Type = renderio::MidiEvent::Type;

namespace {

const int EOT[] = {0xFF, 0x2F, 0x00};

// A format 1 song: a tempo track that slows from 120 to 60 at beat 2, and a
// track of notes, with running status, a text event and a system exclusive
// message in it.
std::string twoTrackSong() {
  return header(1, 2, 480) +
         track({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,       // 120 bpm
                0x87, 0x40, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, // at tick 960: 60 bpm
                0x00, 0xFF, 0x2F, 0x00}) +
         track({0x00, 0x90, 0x3C, 0x64,                   // C4 on at 0
                0x83, 0x60, 0x3C, 0x00,                   // off at 480 (running status, velocity 0)
                0x00, 0xFF, 0x01, 0x02, 'h', 'i',          // text
                0x00, 0xF0, 0x03, 0x7E, 0x09, 0xF7,        // system exclusive
                0x83, 0x60, 0x40, 0x50,                   // E4 on at 960, running status across both
                0x83, 0x60, 0x80, 0x40, 0x00,             // off at 1440
                0x00, 0xFF, 0x2F, 0x00});
}

void expectFailure(const std::string& bytes, const std::string& phrase) {
  MidiFile song;
  EXPECT_FALSE(song.parse(bytes)) << phrase;
  EXPECT_NE(song.error().find(phrase), std::string::npos) << "error: " << song.error();
  EXPECT_EQ(song.error().find('\n'), std::string::npos);
  EXPECT_TRUE(song.events().empty());
  EXPECT_EQ(song.lengthSeconds(), 0.0);
}

} // namespace

TEST(MidiFileTest, ReadsFormatZeroWithRunningStatusAndBothNoteOffForms) {
  MidiFile song;
  ASSERT_TRUE(song.parse(header(0, 1, 96) + track({0x00, 0x91, 0x3C, 0x64, // ch 2 on
                                                   0x60, 0x3C, 0x00,       // running: velocity 0 is an off
                                                   0x00, 0x40, 0x70,       // running: on
                                                   0x81, 0x40, 0x81, 0x40, 0x00, // explicit off after 192
                                                   0x00, 0xFF, 0x2F, 0x00}),
                         48000.0))
      << song.error();
  EXPECT_EQ(song.format(), 0);
  EXPECT_EQ(song.trackCount(), 1);
  EXPECT_EQ(song.ticksPerQuarter(), 96);
  const auto& e = song.events();
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ(e[0].type(), Type::NoteOn);
  EXPECT_EQ(e[0].channel(), 1);
  EXPECT_EQ(e[0].data1, 0x3C);
  EXPECT_EQ(e[0].data2, 0x64);
  EXPECT_EQ(e[1].status, 0x81); // the velocity-0 note-on became a note-off
  EXPECT_EQ(e[1].data2, 64);
  EXPECT_EQ(e[1].tick, 96);
  EXPECT_DOUBLE_EQ(e[1].seconds, 0.5);
  EXPECT_EQ(e[1].sample, 24000);
  EXPECT_EQ(e[2].type(), Type::NoteOn);
  EXPECT_EQ(e[2].tick, 96);
  EXPECT_EQ(e[3].status, 0x81);
  EXPECT_EQ(e[3].data2, 0); // an explicit note-off keeps its own velocity
  EXPECT_EQ(e[3].tick, 288);
  EXPECT_DOUBLE_EQ(e[3].seconds, 1.5);
  EXPECT_EQ(e[3].sample, 72000);
  EXPECT_DOUBLE_EQ(song.lengthSeconds(), 1.5);
  EXPECT_EQ(song.lengthSamples(), 72000);
}

TEST(MidiFileTest, DecodesEveryKindOfChannelMessage) {
  MidiFile song;
  ASSERT_TRUE(song.parse(header(0, 1, 480) + track({0x00, 0xC5, 0x07,       // program change
                                                    0x00, 0xD5, 0x40,       // channel pressure
                                                    0x00, 0x50,             // running status, one data byte
                                                    0x00, 0xA5, 0x3C, 0x20, // poly pressure
                                                    0x00, 0xB5, 0x01, 0x7F, // controller
                                                    0x00, 0xE5, 0x00, 0x40, // bend at rest
                                                    0x00, 0x7F, 0x7F,       // running: full up
                                                    0x00, 0x00, 0x00,       // full down
                                                    0x00, 0xFF, 0x2F, 0x00})))
      << song.error();
  const auto& e = song.events();
  ASSERT_EQ(e.size(), 8u);
  EXPECT_EQ(e[0].type(), Type::ProgramChange);
  EXPECT_EQ(e[0].size(), 2);
  EXPECT_EQ(e[0].data1, 7);
  EXPECT_EQ(e[1].type(), Type::ChannelPressure);
  EXPECT_EQ(e[2].type(), Type::ChannelPressure);
  EXPECT_EQ(e[2].data1, 0x50);
  EXPECT_EQ(e[2].size(), 2);
  EXPECT_EQ(e[3].type(), Type::PolyPressure);
  EXPECT_EQ(e[3].size(), 3);
  EXPECT_EQ(e[4].type(), Type::Controller);
  EXPECT_EQ(e[4].data1, 1);
  EXPECT_EQ(e[4].data2, 0x7F);
  EXPECT_EQ(e[5].type(), Type::PitchBend);
  EXPECT_EQ(e[5].pitchBend(), 0);
  EXPECT_EQ(e[6].pitchBend(), 8191);
  EXPECT_EQ(e[7].pitchBend(), -8192);
  for (const MidiEvent& x : e) EXPECT_EQ(x.channel(), 5);
}

TEST(MidiFileTest, TempoChangeMidSongTimesTheEventsAfterIt) {
  MidiFile song;
  ASSERT_TRUE(song.parse(twoTrackSong(), 44100.0)) << song.error();
  EXPECT_EQ(song.format(), 1);
  const auto& e = song.events();
  ASSERT_EQ(e.size(), 4u); // the text and system exclusive events are skipped
  EXPECT_DOUBLE_EQ(e[0].seconds, 0.0);
  EXPECT_DOUBLE_EQ(e[1].seconds, 0.5); // one beat at 120
  EXPECT_DOUBLE_EQ(e[2].seconds, 1.0); // two beats at 120
  EXPECT_EQ(e[2].data1, 0x40);         // running status survived the meta and sysex events
  EXPECT_EQ(e[2].data2, 0x50);
  EXPECT_DOUBLE_EQ(e[3].seconds, 2.0); // then one beat at 60
  EXPECT_EQ(e[3].sample, 88200);
  EXPECT_EQ(e[3].track, 1);
  EXPECT_DOUBLE_EQ(song.lengthSeconds(), 2.0);

  const auto& map = song.tempoMap();
  EXPECT_DOUBLE_EQ(map.tempoAt(0.99), 120.0);
  EXPECT_DOUBLE_EQ(map.tempoAt(1.0), 60.0);
  EXPECT_DOUBLE_EQ(map.beatsAtSeconds(1.5), 2.5);
  ASSERT_EQ(map.tempos().size(), 2u);
  EXPECT_EQ(map.tempos()[1].tick, 960);

  song.setSampleRate(48000.0);
  EXPECT_EQ(song.events()[3].sample, 96000);
  EXPECT_EQ(song.lengthSamples(), 96000);
}

TEST(MidiFileTest, MergesTracksByTimeKeepingFileOrderForTies) {
  // Tempo (60 bpm) and meter in the last track still rule the whole song.
  MidiFile song;
  ASSERT_TRUE(song.parse(header(1, 3, 100) +
                         track({0x00, 0x90, 0x30, 0x40, 0x64, 0xB0, 0x07, 0x10, 0x00, 0xFF, 0x2F, 0x00}) +
                         track({0x00, 0x90, 0x31, 0x40, 0x32, 0xB0, 0x07, 0x20, 0x32, 0x90, 0x32, 0x40, 0x00,
                                0xFF, 0x2F, 0x00}) +
                         track({0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, 0x00, 0xFF, 0x58, 0x04, 0x06, 0x03,
                                0x18, 0x08, 0x00, 0xFF, 0x2F, 0x00})))
      << song.error();
  const auto& e = song.events();
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[0].data1, 0x30);
  EXPECT_EQ(e[1].data1, 0x31);
  EXPECT_EQ(e[2].data2, 0x20); // tick 50
  EXPECT_EQ(e[3].data2, 0x10); // tick 100, track 1 ...
  EXPECT_EQ(e[3].track, 0);
  EXPECT_EQ(e[4].data1, 0x32); // ... before track 2 at the same tick
  EXPECT_EQ(e[4].track, 1);
  EXPECT_DOUBLE_EQ(e[4].seconds, 1.0);
  const auto& meter = song.tempoMap().meterAt(0.5);
  EXPECT_EQ(meter.numerator, 6);
  EXPECT_EQ(meter.denominator, 8);
}

TEST(MidiFileTest, SkipsWhatIsNotAChannelEvent) {
  std::string longSysex = bytes({0x00, 0xF0, 0x81, 0x00}); // 128 bytes that look like note-ons
  for (int i = 0; i < 64; ++i) longSysex += bytes({0x90, 0x3C});
  MidiFile song;
  ASSERT_TRUE(song.parse(header(1, 1, 480) +
                         chunk("XFIH", bytes({0x90, 0x3C, 0x40})) + // an unknown chunk, skipped
                         chunk("MTrk", longSysex + bytes({0x00, 0xF7, 0x02, 0xF8, 0xFA, // escape
                                                          0x00, 0xFF, 0x59, 0x02, 0x00, 0x00, // key signature
                                                          0x00, 0xFF, 0x7F, 0x03, 0x90, 0x3C, 0x40, // sequencer-specific
                                                          0x00, 0xFF, 0x01, 0x00, // empty text
                                                          0x10, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}))))
      << song.error();
  ASSERT_EQ(song.events().size(), 1u);
  EXPECT_EQ(song.events()[0].tick, 16);
}

TEST(MidiFileTest, HeaderMayBeLongerAndTrailingBytesAreIgnored) {
  std::string longHeader = chunk("MThd", bytes({0, 0, 0, 1, 0, 96, 0xAA, 0xBB}));
  MidiFile song;
  ASSERT_TRUE(song.parse(longHeader + track({0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}) + "junk"))
      << song.error();
  EXPECT_EQ(song.events().size(), 1u);
}

TEST(MidiFileTest, EndOfTrackSetsTheLengthAndEndsTheTrack) {
  MidiFile song;
  // The end of track comes 480 ticks after the last note; what follows it is
  // not part of the song.
  ASSERT_TRUE(song.parse(header(0, 1, 480) +
                         track({0x00, 0x90, 0x3C, 0x40, 0x60, 0x3C, 0x00, 0x83, 0x00, 0xFF, 0x2F, 0x00, 0x00,
                                0x90, 0x3E, 0x40})))
      << song.error();
  EXPECT_EQ(song.events().size(), 2u);
  EXPECT_EQ(song.lengthTicks(), 96 + 384);
  EXPECT_DOUBLE_EQ(song.lengthSeconds(), 0.5);

  // Without an end of track, the song ends at its last event.
  ASSERT_TRUE(song.parse(header(0, 1, 480) + track({0x00, 0x90, 0x3C, 0x40, 0x83, 0x60, 0x3C, 0x00})));
  EXPECT_EQ(song.lengthTicks(), 480);
  EXPECT_EQ(song.events().size(), 2u);

  // The latest end of any track ends the song, even when a later track ends
  // sooner: two beats at the default 120 bpm.
  ASSERT_TRUE(song.parse(header(1, 2, 480) + track({0x00, 0x90, 0x3C, 0x40, 0x87, 0x40, 0xFF, 0x2F, 0x00}) +
                         track({0x00, 0x90, 0x3E, 0x40, 0x00, 0xFF, 0x2F, 0x00})));
  EXPECT_EQ(song.lengthTicks(), 960);
  EXPECT_DOUBLE_EQ(song.lengthSeconds(), 1.0);
}

TEST(MidiFileTest, RefusesMalformedHeaders) {
  expectFailure("", "not a MIDI file");
  expectFailure("RIFF\0\0\0\0WAVE", "not a MIDI file");
  expectFailure("MThd", "cut short");
  expectFailure(chunk("MThd", bytes({0, 0, 0, 1, 0})) + "xxxxxxxx", "header chunk of 5 bytes");
  expectFailure(bytes({'M', 'T', 'h', 'd', 0, 0, 0, 0x20, 0, 0, 0, 1, 0, 96}), "runs past the end");
  expectFailure(header(2, 1, 96) + track({0x00, 0xFF, 0x2F, 0x00}), "format 2");
  expectFailure(header(7, 1, 96) + track({0x00, 0xFF, 0x2F, 0x00}), "unknown MIDI file format 7");
  expectFailure(header(1, 0, 96), "no tracks");
  expectFailure(header(0, 2, 96) + track({0x00, 0xFF, 0x2F, 0x00}) + track({0x00, 0xFF, 0x2F, 0x00}),
                "format 0 file with 2 tracks");
  expectFailure(header(0, 1, 0xE728) + track({0x00, 0xFF, 0x2F, 0x00}), "SMPTE");
  expectFailure(header(0, 1, 0) + track({0x00, 0xFF, 0x2F, 0x00}), "zero ticks");
}

TEST(MidiFileTest, RefusesMalformedChunks) {
  const std::string ok = track({0x00, 0xFF, 0x2F, 0x00});
  expectFailure(header(1, 2, 96) + ok, "file ends after 1 of 2 tracks");
  expectFailure(header(1, 2, 96) + ok + "MTr", "chunk header cut short");
  expectFailure(header(0, 1, 96) + "MTrk" + be32(5) + bytes({0x00, 0xFF, 0x2F, 0x00}), "runs past the end of the file");
  expectFailure(header(0, 1, 96) + "MTrk" + be32(0xFFFFFFFF) + bytes({0x00, 0xFF, 0x2F, 0x00}),
                "4294967295 bytes runs past the end of the file");
  // An unknown chunk must fit too.
  expectFailure(header(0, 1, 96) + "JUNK" + be32(1000) + ok, "runs past the end of the file");
}

TEST(MidiFileTest, RefusesMalformedEvents) {
  auto one = [](std::initializer_list<int> body) { return header(0, 1, 96) + track(body); };
  expectFailure(one({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x90, 0x3C, 0x40}), "unterminated variable-length number");
  expectFailure(one({0x00, 0x90, 0x3C, 0x40, 0x81}), "variable-length number runs past the end of the track");
  expectFailure(one({0x00}), "delta time without an event");
  expectFailure(one({0x00, 0xFF}), "meta event without a type");
  expectFailure(one({0x00, 0xFF, 0x01, 0x10, 'a'}), "meta event of 16 bytes runs past the end of the track");
  expectFailure(one({0x00, 0xFF, 0x01, 0x8F}), "variable-length number runs past");
  expectFailure(one({0x00, 0xF0, 0x05, 0x7E, 0xF7}), "system exclusive event of 5 bytes runs past");
  expectFailure(one({0x00, 0x3C, 0x40}), "data byte 0x3C without a running status");
  expectFailure(one({0x00, 0x90, 0x3C}), "channel event runs past the end of the track");
  expectFailure(one({0x00, 0xC0}), "channel event runs past the end of the track");
  expectFailure(one({0x00, 0x90, 0x3C, 0x90, 0x3C, 0x40}), "status byte 0x90 where a data byte was expected");
  expectFailure(one({0x00, 0xF8}), "status byte 0xF8 is not allowed");
  expectFailure(one({0x00, 0xF2, 0x00, 0x00}), "status byte 0xF2 is not allowed");
  expectFailure(one({0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}), "set tempo event of 2 bytes");
  expectFailure(one({0x00, 0xFF, 0x51, 0x03, 0x00, 0x00, 0x00}), "tempo of zero");
  expectFailure(one({0x00, 0xFF, 0x58, 0x02, 0x04, 0x02}), "time signature event of 2 bytes");
  expectFailure(one({0x00, 0xFF, 0x58, 0x04, 0x04, 0x07, 0x18, 0x08}), "out of range");
  expectFailure(one({0x00, 0xFF, 0x58, 0x04, 0x00, 0x02, 0x18, 0x08}), "out of range");
  // The reason names the track and where in the file the fault is.
  expectFailure(header(1, 2, 96) + track({0x00, 0xFF, 0x2F, 0x00}) + track({0x00, 0x3C, 0x40}), "track 2: ");
  expectFailure(one({0x00, 0x3C, 0x40}), "(byte 23)");
}

TEST(MidiFileTest, RefusesAbsurdSizes) {
  // A quarter-hour delta at one tick per quarter note lasts for years.
  expectFailure(header(0, 1, 1) + track({0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x40}), "song lasts");
  // The end of track alone can make the song too long.
  expectFailure(header(0, 1, 1) + track({0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x2F, 0x00}), "song lasts");
  std::string huge = header(0, 1, 96) + track({0x00, 0xFF, 0x2F, 0x00});
  huge.resize(MidiFile::kMaxFileBytes + 1);
  expectFailure(huge, "too large");
  MidiFile song;
  EXPECT_FALSE(song.parse(twoTrackSong(), 0.0));
  EXPECT_FALSE(song.parse(twoTrackSong(), -48000.0));
}

TEST(MidiFileTest, EveryTruncationFailsCleanly) {
  const std::string full = twoTrackSong();
  for (size_t n = 0; n < full.size(); ++n) {
    MidiFile song;
    EXPECT_FALSE(song.parse(full.substr(0, n))) << "cut at " << n;
    EXPECT_FALSE(song.error().empty());
  }
}

TEST(MidiFileTest, DamagedBytesNeverBreakTheReader) {
  // Overwrite bytes of a good song with others, by a fixed pseudo-random
  // sequence; whatever the reader decides, what it gives must be sound.
  const std::string good = twoTrackSong();
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  int accepted = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string bytes = good;
    int flips = 1 + int(next() >> 30);
    for (int i = 0; i < flips; ++i) bytes[(next() >> 8) % bytes.size()] = char(next() >> 24);
    MidiFile song;
    if (song.parse(bytes, 48000.0)) {
      ++accepted;
      const auto& e = song.events();
      for (size_t i = 1; i < e.size(); ++i) {
        ASSERT_LE(e[i - 1].tick, e[i].tick);
        ASSERT_LE(e[i - 1].sample, e[i].sample);
      }
      for (const MidiEvent& x : e) {
        ASSERT_GE(x.status, 0x80);
        ASSERT_LE(x.status, 0xEF);
        ASSERT_LT(x.data1, 0x80);
        ASSERT_LT(x.data2, 0x80);
        ASSERT_LE(x.seconds, song.lengthSeconds());
      }
      ASSERT_LE(song.lengthSeconds(), MidiFile::kMaxSeconds);
    } else {
      ASSERT_FALSE(song.error().empty());
      ASSERT_EQ(song.error().find('\n'), std::string::npos);
    }
  }
  // Damage to note numbers or velocities still reads: both paths were taken.
  EXPECT_GT(accepted, 0);
  EXPECT_LT(accepted, 3000);
}

TEST(MidiFileTest, ReadsFilesAndNamesThemInReasons) {
  zarn::test::TempDir dir;
  dir.write("song.mid", twoTrackSong());
  MidiFile song;
  ASSERT_TRUE(song.read(dir.file("song.mid"), 48000.0)) << song.error();
  EXPECT_EQ(song.events().size(), 4u);
  EXPECT_EQ(song.events()[3].sample, 96000);

  EXPECT_FALSE(song.read(dir.file("missing.mid")));
  EXPECT_NE(song.error().find("missing.mid"), std::string::npos);
  EXPECT_TRUE(song.events().empty());

  EXPECT_FALSE(song.read(dir.path()));
  EXPECT_NE(song.error().find("not a file"), std::string::npos);

  dir.write("bad.mid", header(0, 1, 96) + track({0x00, 0x3C}));
  EXPECT_FALSE(song.read(dir.file("bad.mid")));
  EXPECT_EQ(song.error().rfind(dir.file("bad.mid") + ": track 1: ", 0), 0u) << song.error();
}
