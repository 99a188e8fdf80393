// The sequence of a voice layout change, driven as the plug-in drives it
// (events between slices at their own samples, each slice as long as
// beginSlice allows) with a player that records when each event plays and
// keeps a model of what sounds: which keys have a voice held down, which
// the pedal holds. Every expected time follows from when the events came
// and when the fade ends, never from the class's own arithmetic.

#include "synth/ZarnLayoutChange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using Kind = ZarnLayoutChange::EventKind;
using Event = ZarnLayoutChange::Event;

constexpr int kRate = 48000;
constexpr int kFade = 240; // 5 ms
constexpr uint32_t kChange = 10000;

// What a voice manager makes of the events, per key: voices whose key is
// down, and voices the pedal holds.
struct Sound {
  std::array<int, 128> down{};
  std::array<int, 128> held{};
  bool pedal = false;

  void play(const Event& e) {
    const int n = e.note & 127;
    switch (e.kind) {
    case Kind::noteOn:
      // A key struck again under the pedal restarts its held voice.
      down[n] += 1;
      held[n] = 0;
      break;
    case Kind::noteOff:
      if (pedal) held[n] += down[n];
      down[n] = 0;
      break;
    case Kind::sustain:
      pedal = e.value != 0.0f;
      if (!pedal) held.fill(0);
      break;
    case Kind::allNotesOff:
      pedal = false;
      down.fill(0);
      held.fill(0);
      break;
    }
  }
  int sounding(int note) const { return down[note] + held[note]; }
};

struct Played {
  Event event;
  uint32_t at;
};

class Recorder : public ZarnLayoutChange::Player {
public:
  void dealLayout() override { deals.push_back(now); }
  void play(const Event& e) override {
    played.push_back({e, now});
    sound.play(e);
  }
  // When the n-th (from 0) event of that kind and note played; -1 if never.
  int64_t when(Kind kind, int note, int n = 0) const {
    for (const Played& p : played)
      if (p.event.kind == kind && p.event.note == note && n-- == 0) return p.at;
    return -1;
  }

  uint32_t now = 0;
  std::vector<uint32_t> deals;
  std::vector<Played> played;
  Sound sound;
};

// An event of the song, or (fade > 0) a layout change whose fades last
// that many samples.
struct Step {
  uint32_t time;
  Kind kind;
  int note = 0;
  int fade = 0;
};

Step on(uint32_t t, int note) { return {t, Kind::noteOn, note}; }
Step off(uint32_t t, int note) { return {t, Kind::noteOff, note}; }
Step pedal(uint32_t t, bool down) { return {t, Kind::sustain, down ? 1 : 0}; }
Step panic(uint32_t t) { return {t, Kind::allNotesOff}; }
Step change(uint32_t t, int fade = kFade) { return {t, Kind::sustain, 0, fade}; }

// Runs the song (steps in time order) to sample `end` in 32-sample
// buffers split at each step, as GenericPlugin::process does.
void run(ZarnLayoutChange& c, Recorder& r, const std::vector<Step>& song, uint32_t end) {
  size_t next = 0;
  uint32_t now = 0;
  while (now < end) {
    r.now = now;
    for (; next < song.size() && song[next].time <= now; ++next) {
      const Step& s = song[next];
      if (s.fade > 0)
        c.fading(s.fade);
      else
        c.receive({s.kind, static_cast<uint8_t>(s.kind == Kind::sustain ? 0 : s.note),
                   s.kind == Kind::sustain ? static_cast<float>(s.note) : 0.8f, now});
    }
    uint32_t limit = std::min<uint32_t>(end - now, 32 - now % 32);
    if (next < song.size()) limit = std::min(limit, song[next].time - now);
    const int k = c.beginSlice(now, static_cast<int>(limit));
    EXPECT_GT(k, 0);
    EXPECT_LE(k, static_cast<int>(limit));
    c.rendered(k);
    now += static_cast<uint32_t>(k);
  }
  r.now = now;
}

} // namespace

// A key struck anywhere in the fade and held 1 to 10 ms, its release falling
// inside the fade, on its last sample (191 + 48), right after it (192 + 48)
// or later: its strike waits for the layout, and its release keeps its
// distance, so the key sounds as long as it was played. The first key
// struck in the fade plays once the fade is done; one struck later as far
// after it as it came.
TEST(ZarnLayoutChangeTest, AKeyThatWaitedKeepsItsLengthWhereverItsReleaseFalls) {
  for (int firstAt : {-1, 0, 100}) {
    for (int strikeAt : {0, 1, 120, 191, 192, kFade - 1}) {
      for (int ms = 1; ms <= 10; ++ms) {
        if (firstAt > strikeAt) continue;
        const int length = ms * kRate / 1000;
        SCOPED_TRACE(testing::Message() << "first key at " << firstAt << ", key at " << strikeAt << ", " << ms
                                        << " ms");
        Recorder r;
        ZarnLayoutChange c(r);
        std::vector<Step> song = {change(kChange)};
        if (firstAt >= 0) song.push_back(on(kChange + firstAt, 48));
        song.push_back(on(kChange + strikeAt, 72));
        song.push_back(off(kChange + strikeAt + length, 72));
        std::stable_sort(song.begin(), song.end(), [](const Step& a, const Step& b) { return a.time < b.time; });
        run(c, r, song, kChange + 2000);

        ASSERT_EQ(r.deals.size(), 1u);
        EXPECT_EQ(r.deals[0], kChange + kFade);
        const int64_t first = firstAt >= 0 ? firstAt : strikeAt;
        const int64_t struck = r.when(Kind::noteOn, 72);
        EXPECT_EQ(struck, kChange + kFade + (strikeAt - first));
        EXPECT_EQ(r.when(Kind::noteOff, 72) - struck, length);
        EXPECT_EQ(r.sound.sounding(72), 0);
        // Key 48, struck in the fade too, is held: its release would wait.
        EXPECT_EQ(c.isLate(48), firstAt >= 0);
        EXPECT_EQ(c.state() == ZarnLayoutChange::State::settled, firstAt < 0);
      }
    }
  }
}

// After the layout is dealt, only the keys that waited are late, and only
// until their release has played: keys that did not wait play when they
// come, however dense the stream; once the last late key is released the
// change is settled and every event plays when it comes.
TEST(ZarnLayoutChangeTest, OnlyTheKeysThatWaitedAreLateAndTheChangeSettles) {
  Recorder r;
  ZarnLayoutChange c(r);
  // Key 40 struck before the change and released after the fade; key 72
  // struck in the fade and held through a dense stream of other keys,
  // struck and released every 7 samples for a second.
  std::vector<Step> song = {on(kChange - 100, 40), change(kChange), on(kChange + 10, 72)};
  const uint32_t from = kChange + kFade + 50;
  std::vector<uint32_t> stream;
  for (int i = 0; i < kRate / 7; ++i) {
    const uint32_t t = from + 7 * static_cast<uint32_t>(i);
    const int note = 60 + (i / 2) % 5;
    song.push_back(i % 2 ? off(t, note) : on(t, note));
    stream.push_back(t);
  }
  song.push_back(off(from + 3, 40));
  std::stable_sort(song.begin(), song.end(), [](const Step& a, const Step& b) { return a.time < b.time; });
  const uint32_t release = from + kRate + 1000;
  song.push_back(off(release, 72));
  song.push_back(on(release + 500, 72));
  song.push_back(off(release + 600, 72));
  run(c, r, song, release + 2000);

  const uint32_t shift = kFade - 10;
  EXPECT_EQ(r.when(Kind::noteOn, 72), kChange + 10 + shift);
  EXPECT_EQ(r.when(Kind::noteOff, 40), from + 3);
  // Each of the stream's events plays at the sample it came at.
  std::vector<uint32_t> heard;
  for (const Played& p : r.played)
    if (p.event.note >= 60 && p.event.note < 65) heard.push_back(p.at);
  EXPECT_EQ(heard, stream);
  EXPECT_EQ(r.when(Kind::noteOff, 72), release + shift);
  // Settled once that played: the next strike plays when it comes.
  EXPECT_EQ(r.when(Kind::noteOn, 72, 1), release + 500);
  EXPECT_EQ(r.when(Kind::noteOff, 72, 1), release + 600);
  EXPECT_EQ(c.state(), ZarnLayoutChange::State::settled);
}

// The events of one key keep their order and their distances: a key that
// waited, released after the fade and struck again before its release has
// played, is struck again the same shift later (both strikes keep their
// lengths). A key struck over and over without releases (a drum part)
// plays its new strikes when they come. A pedal move or an all-notes-off
// plays what waits first, then acts at once on every key; while one
// waits, keys wait behind it.
TEST(ZarnLayoutChangeTest, OneKeysEventsKeepTheirOrderAndThePedalActsOnEveryKeyInTurn) {
  struct Case {
    std::string name;
    std::vector<Step> song;
    // Expected (kind, note, time) of what plays, in order, from the deal on.
    std::vector<std::array<int64_t, 3>> played;
    // Keys expected to sound at the end.
    std::vector<int> sounding;
  };
  const int64_t deal = kChange + kFade;
  const int64_t shift = kFade - 20; // the first key waits from kChange + 20
  const int64_t after = kChange + kFade + 100;
  auto k = [](Kind kind) { return static_cast<int64_t>(kind); };
  const std::vector<Case> cases = {
      {"struck again while its release waits",
       {change(kChange), on(kChange + 20, 72), off(after, 72), on(after + 30, 72), off(after + 80, 72)},
       {{k(Kind::noteOn), 72, deal}, {k(Kind::noteOff), 72, after + shift}, {k(Kind::noteOn), 72, after + 30 + shift},
        {k(Kind::noteOff), 72, after + 80 + shift}},
       {}},
      {"a drum part without releases",
       {change(kChange), on(kChange + 20, 36), on(after, 36), on(after + 2400, 36)},
       {{k(Kind::noteOn), 36, deal}, {k(Kind::noteOn), 36, after}, {k(Kind::noteOn), 36, after + 2400}},
       {36}},
      {"the pedal goes down while a late release waits",
       {change(kChange), on(kChange + 20, 72), off(after, 72), pedal(after + 10, true), on(after + 20, 60),
        off(after + 30, 60)},
       {{k(Kind::noteOn), 72, deal},
        {k(Kind::noteOff), 72, after + 10},
        {k(Kind::sustain), 0, after + 10},
        {k(Kind::noteOn), 60, after + 20},
        {k(Kind::noteOff), 60, after + 30}},
       {60}},
      {"keys wait behind a pedal move that waits",
       {on(kChange - 50, 60), change(kChange), on(kChange + 20, 72), pedal(kChange + 30, true), off(deal + 5, 60),
        off(deal + 6, 72), on(deal + 300, 64), pedal(deal + 400, false)},
       {{k(Kind::noteOn), 60, kChange - 50},
        {k(Kind::noteOn), 72, deal},
        {k(Kind::sustain), 0, deal + 10},
        {k(Kind::noteOff), 60, deal + 5 + shift},
        {k(Kind::noteOff), 72, deal + 6 + shift},
        {k(Kind::noteOn), 64, deal + 300},
        {k(Kind::sustain), 0, deal + 400}},
       {64}},
      {"all notes off while strikes wait",
       {change(kChange), on(kChange + 20, 72), on(kChange + 200, 76), panic(deal + 10), on(deal + 20, 79)},
       {{k(Kind::noteOn), 72, deal},
        {k(Kind::noteOn), 76, deal + 10},
        {k(Kind::allNotesOff), 0, deal + 10},
        {k(Kind::noteOn), 79, deal + 20}},
       {79}},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.name);
    Recorder r;
    ZarnLayoutChange c(r);
    run(c, r, t.song, static_cast<uint32_t>(after + 5000));
    ASSERT_EQ(r.played.size(), t.played.size());
    for (size_t i = 0; i < t.played.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(static_cast<int64_t>(r.played[i].event.kind), t.played[i][0]);
      EXPECT_EQ(r.played[i].event.note, t.played[i][1]);
      EXPECT_EQ(r.played[i].at, t.played[i][2]);
    }
    for (int n = 0; n < 128; ++n)
      EXPECT_EQ(r.sound.sounding(n) > 0, std::count(t.sounding.begin(), t.sounding.end(), n) > 0) << "key " << n;
  }
}

// Bursts of far more key and pedal events than there is room for, within
// one fade, merged at least once after each key's last event: after the
// replay each key sounds as the burst left it (no key hangs, none sounds
// twice, none is lost), against the same burst played as it came, and each
// key's last strike keeps its length. Keys held from before the change are
// released first thing in the burst, and some struck again at its end.
TEST(ZarnLayoutChangeTest, ABurstOverTheRoomIsMergedSoEveryKeyEndsAsItWasLeft) {
  for (int burst : {1, 2, 3}) {
    SCOPED_TRACE(testing::Message() << "burst " << burst);
    std::vector<Step> song;
    std::array<bool, 128> down{};
    for (int n : {20, 21, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39}) {
      song.push_back(on(kChange - 500 + n, n));
      down[n] = true;
    }
    song.push_back(change(kChange));
    // 60 events a sample from here, so the burst comes within the fade.
    int count = 0;
    auto next = [&] { return kChange + 1 + static_cast<uint32_t>(count++) / 60; };
    song.push_back(off(next(), 20));
    song.push_back(off(next(), 21));
    down[20] = down[21] = false;
    // A pseudo-random stretch on keys 30..69 and the pedal (for burst 3
    // with an all-notes-off early on).
    uint32_t seed = 12345u * static_cast<uint32_t>(burst);
    for (int i = 0; i < 1024 * burst; ++i) {
      seed = seed * 1664525u + 1013904223u;
      const uint32_t t = next();
      const int n = 30 + static_cast<int>((seed >> 8) % 40);
      if (burst == 3 && i == 400) {
        song.push_back(panic(t));
        down.fill(false);
      } else if ((seed >> 20) % 17 == 0) {
        song.push_back(pedal(t, (seed >> 25) % 2));
      } else {
        song.push_back(down[n] ? off(t, n) : on(t, n));
        down[n] = !down[n];
      }
    }
    // The last strikes: every third key and key 21 held 3 samples, key 20
    // left down; then more than the room of other keys struck and
    // released, so these are merged too.
    const uint32_t last = next();
    for (int n : {21, 30, 33, 36, 39, 42, 45, 48, 51, 54, 57, 60, 63, 66, 69}) {
      if (down[n]) song.push_back(off(last, n));
      song.push_back(on(last + 1, n));
      song.push_back(off(last + 4, n));
      down[n] = false;
    }
    song.push_back(on(last + 1, 20));
    down[20] = true;
    count += 60 * 5;
    for (int i = 0; i < 1100; ++i) song.push_back(i % 2 ? off(next(), 80 + i / 2 % 20) : on(next(), 80 + i / 2 % 20));
    ASSERT_LT(next(), kChange + kFade);
    std::stable_sort(song.begin(), song.end(), [](const Step& a, const Step& b) { return a.time < b.time; });
    song.push_back(pedal(kChange + 3000, false));

    Recorder merged, asItCame;
    ZarnLayoutChange c(merged), none(asItCame);
    run(c, merged, song, kChange + 5000);
    std::vector<Step> noChange;
    for (const Step& s : song)
      if (s.fade == 0) noChange.push_back(s);
    run(none, asItCame, noChange, kChange + 5000);

    ASSERT_GT(merged.played.size(), 0u);
    EXPECT_LT(merged.played.size(), asItCame.played.size());
    for (int n = 0; n < 128; ++n) {
      EXPECT_EQ(merged.sound.down[n], asItCame.sound.down[n]) << "key " << n;
      EXPECT_EQ(merged.sound.held[n], asItCame.sound.held[n]) << "key " << n;
      EXPECT_EQ(merged.sound.sounding(n) > 0, down[n]) << "key " << n;
    }
    for (int n : {21, 30, 33, 36, 39, 42, 45, 48, 51, 54, 57, 60, 63, 66, 69}) {
      // The last strike and its release, wherever the merge put them.
      int64_t struck = -1, released = -1;
      for (const Played& p : merged.played)
        if (p.event.note == n && p.event.kind == Kind::noteOn) struck = p.at;
      for (const Played& p : merged.played)
        if (p.event.note == n && p.event.kind == Kind::noteOff && p.at >= struck) released = p.at;
      EXPECT_EQ(released - struck, 3) << "key " << n;
    }
  }
}
