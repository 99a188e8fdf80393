// The factory presets as a musician switching between them hears them: one
// loudness on a reference phrase (the demo song and a held four-note chord
// at velocity 100, the loudest 400 ms of either, RMS of both channels), no
// DC, and the default sound's headroom. Rendered by zarn-host in-process.

#include "tests/tools/host/HostCommandRun.h"

#include "tests/support/TempDir.h"
#include "tests/tools/render/MidiBytes.h"
#include "tools/host/HostState.h"
#include "tools/render/WavReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#ifdef ZARN_BUNDLE

namespace {

using hosttest::Result;
using hosttest::run;

constexpr double kRate = 44100.0;

// 480 ticks to the quarter at 120 per minute: 960 ticks a second.
std::string chordSong() {
  return midibytes::header(0, 1, 480) +
         midibytes::track({0x00, 0x90, 48, 100, 0x00, 0x90, 55, 100, 0x00, 0x90, 60, 100, 0x00, 0x90, 64, 100,
                           0x8F, 0x00, 0x80, 48, 64, 0x00, 0x80, 55, 64, 0x00, 0x80, 60, 64, 0x00, 0x80, 64, 64,
                           0x00, 0xFF, 0x2F, 0x00});
}

// A4 at velocity 100 for 1.5 s.
std::string singleNote() {
  return midibytes::header(0, 1, 480) +
         midibytes::track({0x00, 0x90, 69, 100, 0x8B, 0x20, 0x80, 69, 64, 0x00, 0xFF, 0x2F, 0x00});
}

// One key at velocity 100 for 1.5 s.
std::string heldKey(int key) {
  return midibytes::header(0, 1, 480) +
         midibytes::track({0x00, 0x90, key, 100, 0x8B, 0x20, 0x80, key, 64, 0x00, 0xFF, 0x2F, 0x00});
}

// How alike the sound is to itself lag frames later, from 0.5 s to 1 s,
// both channels summed: 1 for a wave that repeats every lag frames.
double likenessAfter(const renderio::WavData& w, int64_t lag) {
  const int64_t from = w.sampleRate / 2, to = w.sampleRate;
  if (to + lag > w.frames) return -2.0;
  double ab = 0.0, aa = 0.0, bb = 0.0;
  for (int64_t i = from; i < to; ++i) {
    const double a = w.at(i, 0) + w.at(i, 1), b = w.at(i + lag, 0) + w.at(i + lag, 1);
    ab += a * b;
    aa += a * a;
    bb += b * b;
  }
  return ab / std::sqrt(std::max(aa * bb, 1e-30));
}

// Every key from 36 up, 32 of them, at velocity 127.
std::string fullChord() {
  std::string body;
  for (int k = 0; k < 32; ++k) body += midibytes::bytes({0x00, 0x90, 36 + k, 127});
  body += midibytes::bytes({0x8F, 0x00, 0x80, 36, 64, 0x00, 0xFF, 0x2F, 0x00});
  return midibytes::header(0, 1, 480) + midibytes::chunk("MTrk", body);
}

struct Levels {
  double loudest = 0.0; // dB, the loudest 400 ms
  double peak = 0.0;    // dBFS
  double dc = 0.0;      // dB, |mean| against RMS over [from, to) seconds, the worse channel
};

double dB(double x) { return 20.0 * std::log10(std::max(x, 1e-20)); }

Levels measure(const renderio::WavData& w, double from, double to) {
  Levels l;
  const size_t n = static_cast<size_t>(w.frames);
  const size_t window = static_cast<size_t>(0.4 * kRate);
  double sum = 0.0, best = 0.0, peak = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double a = w.at(static_cast<int64_t>(i), 0), b = w.at(static_cast<int64_t>(i), 1);
    peak = std::max({peak, std::fabs(a), std::fabs(b)});
    sum += (a * a + b * b) / 2.0;
    if (i >= window) {
      const double c = w.at(static_cast<int64_t>(i - window), 0), d = w.at(static_cast<int64_t>(i - window), 1);
      sum -= (c * c + d * d) / 2.0;
    }
    if (i + 1 >= window) best = std::max(best, sum / static_cast<double>(window));
  }
  l.loudest = 10.0 * std::log10(std::max(best, 1e-30));
  l.peak = dB(peak);
  l.dc = -400.0;
  const size_t i0 = static_cast<size_t>(from * kRate), i1 = std::min(n, static_cast<size_t>(to * kRate));
  for (int ch = 0; ch < 2; ++ch) {
    double m = 0.0, s = 0.0;
    for (size_t i = i0; i < i1; ++i) {
      const double v = w.at(static_cast<int64_t>(i), ch);
      m += v;
      s += v * v;
    }
    const double count = static_cast<double>(i1 - i0);
    l.dc = std::max(l.dc, dB(std::fabs(m / count)) - dB(std::sqrt(s / count)));
  }
  return l;
}

class PresetLevelsTest : public ::testing::Test {
protected:
  // Quiet unless what the renderer says is asked for.
  renderio::WavData render(const std::vector<std::string>& extra, const std::string& song, Result* result = nullptr) {
    std::vector<std::string> args{"render", "--bundle", ZARN_BUNDLE, "--tail", "0.5"};
    if (!result) args.insert(args.begin() + 1, "--quiet");
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(song);
    args.push_back(mDir.file("out.wav"));
    const Result r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    if (result) *result = r;
    renderio::WavData data;
    renderio::WavReader reader;
    EXPECT_TRUE(reader.read(mDir.file("out.wav"), data)) << reader.error();
    return data;
  }
  std::string demo() const { return std::string(std::getenv("ZARN_SOURCE_DIR")) + "/tools/demo/demo.mid"; }

  zarn::test::TempDir mDir{"preset-levels"};
};

} // namespace

TEST_F(PresetLevelsTest, EveryFactoryPresetSitsAtOneLoudnessWithoutDc) {
  ASSERT_NE(std::getenv("ZARN_SOURCE_DIR"), nullptr);
  mDir.write("chord.mid", chordSong());
  const std::vector<std::string> presets = {"Default Sound", "Clean", "Sub Bass", "Acid Bass", "Pluck Bass",
                                            "Sync Lead", "Square Lead", "Warm Pad", "PWM Pad", "Pluck",
                                            "Glass Pluck", "Brass", "Strings", "Wind", "Thunder", "Surf"};
  std::vector<double> loudness;
  std::string table;
  for (const std::string& p : presets) {
    const Levels song = measure(render({"--preset", p}, demo()), 0.0, 1.0);
    // The chord held from 0.3 s (past every attack but the slow pads') to
    // its end at 2 s.
    const Levels chord = measure(render({"--preset", p}, mDir.file("chord.mid")), 0.3, 2.0);
    loudness.push_back(std::max(song.loudest, chord.loudest));
    // Thunder is pink noise under a 180 Hz low pass: its mean over a
    // second and a half is the noise's own slow drift (about -30 dB), not an
    // offset.
    if (p != "Thunder") {
      EXPECT_LT(chord.dc, -50.0) << p;
    }
    char line[160];
    std::snprintf(line, sizeof line, "%-14s %6.1f dB (song %6.1f, chord %6.1f), peak %5.1f dBFS, DC %6.1f dB\n",
                  p.c_str(), loudness.back(), song.loudest, chord.loudest, std::max(song.peak, chord.peak),
                  chord.dc);
    table += line;
  }
  std::vector<double> sorted = loudness;
  std::sort(sorted.begin(), sorted.end());
  const double middle = (sorted[7] + sorted[8]) / 2.0;
  for (size_t k = 0; k < presets.size(); ++k) EXPECT_NEAR(loudness[k], middle, 2.0) << presets[k] << "\n" << table;
  // Loud enough to work with: the common level is that of a song a few
  // decibels below full scale.
  EXPECT_NEAR(middle, -15.5, 2.0) << table;
}

// A held key sounds as that key on every pitched preset: two periods of
// the note on, the sound is again what it was (a sub-octave repeats after
// two). A resonance that rings by itself at a pitch of its own, or an
// oscillator off its key, does not. Rendered at 44 kHz so that two periods
// of A3 and A5 are whole frames (400 and 100). The detuned strings give
// 0.86 and more; a filter whistling at its own 650 Hz gave 0.52 and -0.83.
TEST_F(PresetLevelsTest, EveryPitchedFactoryPresetSoundsTheKeyItPlays) {
  const std::vector<std::string> presets = {"Default Sound", "Clean",       "Sub Bass", "Acid Bass", "Pluck Bass",
                                            "Sync Lead",     "Square Lead", "Warm Pad", "PWM Pad",   "Pluck",
                                            "Glass Pluck",   "Brass",       "Strings"};
  for (const int key : {57, 81}) {
    mDir.write("key.mid", heldKey(key));
    const int64_t twoPeriods = key == 57 ? 400 : 100;
    for (const std::string& p : presets) {
      const renderio::WavData w = render({"--preset", p, "--rate", "44000"}, mDir.file("key.mid"));
      ASSERT_EQ(w.sampleRate, 44000);
      EXPECT_GT(likenessAfter(w, twoPeriods), 0.8) << p << ", key " << key;
      // Not merely periodic by chance: half a period of the fundamental
      // later the wave is another.
      EXPECT_LT(likenessAfter(w, twoPeriods / 4), 0.8) << p << ", key " << key;
    }
  }
}

TEST_F(PresetLevelsTest, TheDefaultSoundLeavesHeadroomAndSaysWhenAChordExceedsIt) {
  ASSERT_NE(std::getenv("ZARN_SOURCE_DIR"), nullptr);
  mDir.write("a4.mid", singleNote());
  mDir.write("full.mid", fullChord());
  // A single note at velocity 100 peaks near -12 dBFS; the demo song,
  // played on the sound an instance starts with, between -8 and -3.
  EXPECT_NEAR(measure(render({"--preset", "Default Sound"}, mDir.file("a4.mid")), 0, 1).peak, -12.0, 1.5);
  const Levels song = measure(render({}, demo()), 0, 1);
  EXPECT_GT(song.peak, -8.0);
  EXPECT_LT(song.peak, -3.0);

  // 32 voices at full velocity pass full scale: the float file keeps the
  // samples, and the renderer says once how many and how far.
  Result r;
  const renderio::WavData full = render({"--preset", "Default Sound"}, mDir.file("full.mid"), &r);
  int64_t over = 0;
  float peak = 0.0f;
  for (float v : full.samples) {
    over += std::fabs(v) > 1.0f ? 1 : 0;
    peak = std::max(peak, std::fabs(v));
  }
  ASSERT_GT(over, 0);
  char said[120];
  std::snprintf(said, sizeof said, "%lld samples beyond full scale, peak %.4f", static_cast<long long>(over), peak);
  EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("beyond full scale"), r.err.rfind("beyond full scale")) << r.err;

  // --quiet keeps the note back, as it keeps back everything but errors.
  const Result quiet = run({"render", "--quiet", "--bundle", ZARN_BUNDLE, "--tail", "0.5", "--preset", "Default Sound",
                            mDir.file("full.mid"), mDir.file("quiet.wav")});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(quiet.out, "");
}


TEST_F(PresetLevelsTest, AStateSavedBeforeTheVoiceGainKeepsItsLoudness) {
  ASSERT_NE(std::getenv("ZARN_SOURCE_DIR"), nullptr);
  mDir.write("a4.mid", singleNote());
  const std::string now = mDir.file("now.state");
  const renderio::WavData saved = render({"--preset", "Default Sound", "--save-state", now}, mDir.file("a4.mid"));

  // The same state as a build before the voice gain wrote it: its stored
  // values carry state version 0 (a state without the entry reads as 0).
  simhost::HostState state;
  std::string error;
  ASSERT_TRUE(state.read(now, error)) << error;
  std::vector<simhost::HostStateChunk> chunks = state.chunks();
  bool marked = false;
  for (simhost::HostStateChunk& c : chunks) {
    const std::string name = "ZSVr";
    auto at = std::search(c.record.begin(), c.record.end(), name.begin(), name.end());
    if (at == c.record.end()) continue;
    // The name, a type byte, then the value (big-endian): 1 now.
    const size_t value = static_cast<size_t>(at - c.record.begin()) + name.size() + 1;
    ASSERT_LE(value + 4, c.record.size());
    EXPECT_EQ(c.record[value + 3], 1);
    for (size_t k = 0; k < 4; ++k) c.record[value + k] = 0;
    marked = true;
  }
  ASSERT_TRUE(marked);
  simhost::HostState old;
  for (const simhost::HostStateChunk& c : chunks) old.add(c.id, c.record);
  ASSERT_TRUE(old.write(mDir.file("old.state"), error)) << error;
  const renderio::WavData before = render({"--load-state", mDir.file("old.state")}, mDir.file("a4.mid"));

  // Its Volume is lowered by the voice gain (6.9, 16.8 dB) that came after
  // it: as loud as it was then.
  EXPECT_NEAR(measure(saved, 0, 1).loudest - measure(before, 0, 1).loudest, 20.0 * std::log10(6.9), 0.1);

  // Builds from before the entry wrote no entry at all: such a state is as
  // old as one whose entry reads 0, and must sound like it. The entry's 10
  // bytes (name length 4, the name, 'l', the value) go, the big-endian
  // count after the data's version word drops by one and so does the
  // record's size word (the host's, in the machine's order).
  const unsigned char entry[] = {4, 'Z', 'S', 'V', 'r', 'l'};
  simhost::HostState older;
  bool removed = false;
  for (simhost::HostStateChunk c : state.chunks()) {
    auto at = std::search(c.record.begin(), c.record.end(), std::begin(entry), std::end(entry));
    if (at != c.record.end()) {
      ASSERT_LE(static_cast<size_t>(at - c.record.begin()) + 10, c.record.size());
      c.record.erase(at, at + 10);
      uint32_t count = 0;
      for (size_t k = 60; k < 64; ++k) count = count << 8 | c.record[k];
      --count;
      for (size_t k = 60; k < 64; ++k) c.record[k] = static_cast<unsigned char>(count >> (8 * (63 - k)));
      int32_t size;
      std::memcpy(&size, c.record.data(), sizeof size);
      EXPECT_EQ(static_cast<size_t>(size), c.record.size() + 10);
      size -= 10;
      std::memcpy(c.record.data(), &size, sizeof size);
      removed = true;
    }
    older.add(c.id, c.record);
  }
  ASSERT_TRUE(removed);
  ASSERT_TRUE(older.write(mDir.file("older.state"), error)) << error;
  const renderio::WavData withoutEntry = render({"--load-state", mDir.file("older.state")}, mDir.file("a4.mid"));
  ASSERT_EQ(withoutEntry.samples.size(), before.samples.size());
  EXPECT_TRUE(withoutEntry.samples == before.samples);
}

#endif
