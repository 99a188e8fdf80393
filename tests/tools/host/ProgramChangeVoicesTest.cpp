// A program change while a chord sounds, as a musician switching sounds in
// a live set hears it: the chord held on "Warm Pad" (three unison copies
// per key, so every other factory program deals the voices anew) and a
// change to each factory program one second in. The voices that end must
// fade, not stop in one sample. Rendered by zarn-host in-process.

#include "tests/tools/host/HostCommandRun.h"

#include "tests/support/TempDir.h"
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
  double step = 0.0;
  for (int64_t i = std::max<int64_t>(from, 1); i < to; ++i)
    for (int ch = 0; ch < 2; ++ch) step = std::max(step, static_cast<double>(std::fabs(w.at(i, ch) - w.at(i - 1, ch))));
  return step;
}

double dB(double x) { return 20.0 * std::log10(std::max(x, 1e-20)); }

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

#endif
