// A program change while a chord sounds, as a musician switching sounds in
// a live set hears it: the voices that end must fade, not stop in one
// sample; a key struck at the change sounds as on a fresh instance of the
// new preset, and one struck and released during the fade keeps its
// length. Rendered by zarn-host in-process.

#include "tests/tools/host/HostCommandRun.h"

#include "tests/support/TempDir.h"
#include "tests/support/LargestStep.h"
#include "tests/tools/render/MidiBytes.h"
#include "tools/render/WavReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#ifdef ZARN_BUNDLE

namespace {

using hosttest::Result;
using hosttest::run;

// 480 ticks to the quarter at 120 per minute: 960 ticks a second. The chord
// 60-64-67 from 0 s, program change `program` at 1 s, the keys up at
// 1.0625 s.
std::string chordWithProgramChange(int program) {
  return midibytes::header(0, 1, 480) +
         midibytes::track({0x00, 0x90, 60, 100, 0x00, 0x90, 64, 100, 0x00, 0x90, 67, 100,
                           // 960 ticks: 0x87 0x40
                           0x87, 0x40, 0xC0, program,
                           // 60 ticks
                           0x3C, 0x80, 60, 64, 0x00, 0x80, 64, 64, 0x00, 0x80, 67, 64, 0x00, 0xFF, 0x2F, 0x00});
}

// RMS of both channels over frames [from, to).
double level(const renderio::WavData& w, int64_t from, int64_t to) {
  double s = 0.0;
  for (int64_t i = from; i < to; ++i) s += w.at(i, 0) * w.at(i, 0) + w.at(i, 1) * w.at(i, 1);
  return std::sqrt(s / (2.0 * static_cast<double>(to - from)));
}

// The largest change from one frame to the next in [from, to), either
// channel.
double largestStep(const renderio::WavData& w, int64_t from, int64_t to) {
  const std::span<const float> x(w.samples);
  return std::max(zarn::test::largestStep(x, size_t(from), size_t(to), 2),
                  zarn::test::largestStep(x.subspan(1), size_t(from), size_t(to), 2));
}

double dB(double x) { return 20.0 * std::log10(std::max(x, 1e-20)); }

std::string key(int status, int note) { return midibytes::bytes({status, note, status == 0x90 ? 100 : 64}); }
std::string program(int number) { return midibytes::bytes({0xC0, number}); }

// The song rendered at 48 kHz from the preset, with 0.1 s after its end.
renderio::WavData render(zarn::test::TempDir& dir, const std::vector<midibytes::TimedMessage>& song,
                         const std::string& preset) {
  dir.write("song.mid", midibytes::timedSong(song));
  const Result r = run({"render", "--quiet", "--bundle", ZARN_BUNDLE, "--tail", "0.1", "--rate", "48000", "--preset",
                        preset, dir.file("song.mid"), dir.file("out.wav")});
  EXPECT_EQ(r.status, 0) << r.err;
  renderio::WavData w;
  renderio::WavReader reader;
  EXPECT_TRUE(reader.read(dir.file("out.wav"), w)) << reader.error();
  return w;
}

// RMS of both channels over [from, to) seconds (0 past the end).
double level(const renderio::WavData& w, double from, double to) {
  const int64_t end = std::lround(to * w.sampleRate);
  return end <= w.frames ? level(w, std::lround(from * w.sampleRate), end) : 0.0;
}

} // namespace

TEST(ProgramChangeVoicesTest, VoicesThatAProgramChangeEndsFadeInsteadOfStopping) {
  zarn::test::TempDir dir{"program-change-voices"};
  for (int program = 0; program < 16; ++program) {
    SCOPED_TRACE("program " + std::to_string(program));
    dir.write("song.mid", chordWithProgramChange(program));
    const Result r = run({"render", "--quiet", "--bundle", ZARN_BUNDLE, "--tail", "0", "--preset", "Warm Pad",
                          dir.file("song.mid"), dir.file("out.wav")});
    ASSERT_EQ(r.status, 0) << r.err;
    renderio::WavData w;
    renderio::WavReader reader;
    ASSERT_TRUE(reader.read(dir.file("out.wav"), w)) << reader.error();
    const int64_t ms = w.sampleRate / 1000;
    const int64_t change = w.sampleRate; // 1 s
    ASSERT_GE(w.frames, change + 50 * ms);

    // The chord is sounding (past the pad's attack) when the change comes.
    const double before = level(w, change - 5 * ms, change);
    ASSERT_GT(before, 0.01);
    // A fade of a few milliseconds has not gone far 1-2 ms in; a cut has
    // gone all the way.
    const double after = level(w, change + ms, change + 2 * ms);
    EXPECT_GT(dB(after / before), -12.0) << "level " << before << " before the change, " << after << " after";
    // No step larger than the held chord's own: the wave's steps through
    // half a second of it, against every step from the change on (the
    // fade, the new preset, the keys going up).
    const double own = largestStep(w, change - w.sampleRate / 2, change);
    const double around = largestStep(w, change, w.frames);
    EXPECT_LE(around, own) << "the chord's own largest step " << own;
  }
}

// A key struck half a millisecond after a program change opens with the
// new preset's envelope, as the same key does on an instance that took the
// program long before: its 10 ms levels 20, 30 and 40 ms in lie within 3 dB
// of that key's. The key alone is the difference of the renders with and
// without it. Warm Pad to Default Sound and Strings to Glass Pluck deal new
// layouts (the chord fades, the key waits for it); Pluck Bass to Wind keeps
// the layout, so its chord plays on (its levels glide to Wind's) while the
// key opens with Wind's 1.2 s attack.
TEST(ProgramChangeVoicesTest, AKeyStruckAtAProgramChangeOpensWithTheNewPresetsEnvelope) {
  zarn::test::TempDir dir{"program-change-attack"};
  struct Case {
    const char* from;
    int to;
  };
  for (const Case c : {Case{"Warm Pad", 1}, Case{"Strings", 14}, Case{"Pluck Bass", 9}}) {
    SCOPED_TRACE(std::string(c.from) + " to program " + std::to_string(c.to));
    std::vector<midibytes::TimedMessage> chord;
    for (int note : {60, 64, 67}) chord.insert(chord.end(), {{0.0, key(0x90, note)}, {1.3, key(0x80, note)}});
    chord.push_back({1.0, program(c.to)});
    std::vector<midibytes::TimedMessage> withKey = chord;
    withKey.insert(withKey.end(), {{1.0005, key(0x90, 76)}, {1.3, key(0x80, 76)}});
    const renderio::WavData a = render(dir, withKey, c.from);
    renderio::WavData keyAlone = render(dir, chord, c.from);
    ASSERT_EQ(keyAlone.samples.size(), a.samples.size());
    for (size_t i = 0; i < a.samples.size(); ++i) keyAlone.samples[i] = a.samples[i] - keyAlone.samples[i];
    const renderio::WavData fresh =
        render(dir, {{0.0, program(c.to)}, {0.5005, key(0x90, 76)}, {0.8, key(0x80, 76)}}, c.from);
    for (double t : {0.02, 0.03, 0.04}) {
      const double heard = dB(level(keyAlone, 1.0 + t - 0.005, 1.0 + t + 0.005));
      const double expected = dB(level(fresh, 0.5 + t - 0.005, 0.5 + t + 0.005));
      EXPECT_NEAR(heard, expected, 3.0) << t * 1000 << " ms after the change";
    }
  }
}

// Drum-style keys of a few ticks on the beat of a program change: a key
// struck anywhere while the voices the change ends fade out (Pluck's two
// unison copies a key, Default Sound's one), held 1 to 10 ms so that its
// release comes within the fade, on its end or after it, waits for the fade
// and keeps its length, so it sounds as the same key alone on an instance
// that took the program long before: the level of its first 90 ms, from
// the sample it begins, within half a decibel (a 5.5 ms key released just
// after the fade was played 31 dB short).
TEST(ProgramChangeVoicesTest, AShortKeyStruckDuringTheFadeKeepsItsLength) {
  zarn::test::TempDir dir{"program-change-short-key"};
  // The first sample at or after `from` seconds that is not silent.
  auto onset = [](const renderio::WavData& w, double from) {
    for (int64_t i = std::lround(from * w.sampleRate); i < w.frames; ++i)
      if (w.at(i, 0) != 0.0f || w.at(i, 1) != 0.0f) return i;
    return w.frames;
  };
  for (double length : {0.001, 0.003, 0.0045, 0.0055, 0.006, 0.008, 0.01}) {
    const renderio::WavData alone =
        render(dir, {{0.0, program(1)}, {0.5, key(0x90, 72)}, {0.5 + length, key(0x80, 72)}}, "Pluck");
    const int64_t begins = onset(alone, 0.4);
    const int64_t span = alone.sampleRate * 90 / 1000;
    ASSERT_LE(begins + span, alone.frames);
    const double expected = dB(level(alone, begins, begins + span));
    ASSERT_GT(expected, -40.0);
    for (double at : {0.0003, 0.0025, 0.0048}) {
      SCOPED_TRACE(std::to_string(length * 1000) + " ms, struck " + std::to_string(at * 1000) + " ms in");
      std::vector<midibytes::TimedMessage> song = {{1.0, program(1)}, {1.0 + at, key(0x90, 72)},
                                                   {1.0 + at + length, key(0x80, 72)}};
      for (int note : {60, 64, 67}) song.push_back({0.9, key(0x90, note)});
      const renderio::WavData w = render(dir, song, "Pluck");
      // The chord is silent once its fade is done; the key begins then.
      const int64_t heard = onset(w, 1.005);
      ASSERT_LE(heard + span, w.frames);
      EXPECT_LT(heard, std::lround(1.0065 * w.sampleRate));
      EXPECT_NEAR(dB(level(w, heard, heard + span)), expected, 0.5);
    }
  }
}

// Default Sound and Clean deal the same voice layout: a program change
// between them under a held chord lets the chord play on and glide to the
// new values. Its largest step over the first 50 ms stays under 1.5 times
// the larger of the two sounds' own (1.42 from Default Sound to Clean).
TEST(ProgramChangeVoicesTest, AChangeThatKeepsTheLayoutGlidesUnderAHeldChord) {
  zarn::test::TempDir dir{"program-change-glide"};
  for (const char* from : {"Default Sound", "Clean"}) {
    SCOPED_TRACE(from);
    const int to = std::string(from) == "Clean" ? 1 : 0;
    std::vector<midibytes::TimedMessage> song = {{1.0, program(to)}};
    for (int note : {60, 64, 67}) song.insert(song.end(), {{0.0, key(0x90, note)}, {1.6, key(0x80, note)}});
    const renderio::WavData w = render(dir, song, from);
    const int64_t change = w.sampleRate;
    const double before = largestStep(w, change - w.sampleRate / 2, change);
    const double after = largestStep(w, change + w.sampleRate / 4, change + w.sampleRate / 2);
    ASSERT_GT(before, 0.0);
    EXPECT_LT(largestStep(w, change, change + w.sampleRate / 20), 1.5 * std::max(before, after));
  }
}

#endif
