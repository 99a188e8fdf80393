// Writes the demo song that the renderer plays by default: about 21 seconds
// in A minor at 104 quarter notes per minute, easing to 100 in the last bar,
// all on MIDI channel 1 for one polyphonic synthesizer:
//   - a bass line of eighth notes,
//   - pad chords a bar long (Am F C G Am F Dm E, then Am),
//   - a lead melody from bar 3 whose held note in bar 8 bends up a whole
//     tone, then gains vibrato from the mod wheel, which fades on the last
//     note,
//   - the brightness controller (74) opening over four bars and closing
//     over the last two,
//   - the final chord struck short and held by the sustain pedal.
// Format 1: a tempo track, then one track per part. Note-offs are note-ons
// with velocity 0 under running status, as many sequencers write them.
//
// Usage: zarn-make-demo-midi OUTPUT.mid

#include "tools/CommandHelp.h"
#include "tools/render/MidiFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kQuarter = 480;
constexpr int kEighth = kQuarter / 2;
constexpr int kBar = 4 * kQuarter;

constexpr int64_t bar(int n) { return int64_t(n - 1) * kBar; }

class Track {
public:
  explicit Track(const std::string& name) { meta(0, 0x03, name); }

  void meta(int64_t tick, uint8_t type, const std::string& data) {
    std::string bytes = {char(0xFF), char(type)};
    bytes += char(data.size()); // every text here is shorter than 128 bytes
    bytes += data;
    add(tick, bytes, 1);
  }
  void note(int64_t tick, int length, int key, int velocity) {
    add(tick, {char(0x90), char(key), char(velocity)}, 1);
    add(tick + length, {char(0x90), char(key), 0}, 0); // offs go before ons at the same tick
  }
  void controller(int64_t tick, int number, int value) { add(tick, {char(0xB0), char(number), char(value)}, 1); }
  void pitchBend(int64_t tick, int value) { // 0 ... 16383, 8192 at rest
    add(tick, {char(0xE0), char(value & 0x7F), char(value >> 7)}, 1);
  }

  std::string encode(int64_t endTick) const {
    std::vector<Event> sorted = mEvents;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Event& a, const Event& b) {
      return a.tick != b.tick ? a.tick < b.tick : a.rank < b.rank;
    });
    std::string out;
    int64_t now = 0;
    char running = 0;
    for (const Event& e : sorted) {
      writeNumber(out, uint32_t(e.tick - now));
      now = e.tick;
      if (e.bytes[0] == char(0xFF)) {
        running = 0; // meta events end running status for strict readers
        out += e.bytes;
      } else {
        out += e.bytes[0] == running ? e.bytes.substr(1) : e.bytes;
        running = e.bytes[0];
      }
    }
    writeNumber(out, uint32_t(endTick - now));
    out += {char(0xFF), 0x2F, 0};
    return chunk("MTrk", out);
  }

  static std::string chunk(const char* id, const std::string& body) {
    std::string out(id, 4);
    for (int shift = 24; shift >= 0; shift -= 8) out += char((body.size() >> shift) & 0xFF);
    return out + body;
  }

private:
  struct Event {
    int64_t tick;
    int rank;
    std::string bytes;
  };

  void add(int64_t tick, const std::string& bytes, int rank) { mEvents.push_back({tick, rank, bytes}); }

  static void writeNumber(std::string& out, uint32_t value) {
    char groups[4];
    int n = 0;
    do {
      groups[n++] = char(value & 0x7F);
      value >>= 7;
    } while (value && n < 4);
    while (n > 1) out += char(groups[--n] | 0x80);
    out += groups[0];
  }

  std::vector<Event> mEvents;
};

std::string tempo(double bpm) {
  uint32_t micros = uint32_t(std::lround(60e6 / bpm));
  return {char(micros >> 16), char((micros >> 8) & 0xFF), char(micros & 0xFF)};
}

std::string makeSong() {
  const int64_t end = bar(10) + kQuarter; // a beat of release after the pedal lifts

  Track conductor("Zarn demo");
  conductor.meta(0, 0x51, tempo(104));
  conductor.meta(0, 0x58, {4, 2, 24, 8}); // 4/4
  conductor.meta(bar(8) + 2 * kQuarter, 0x51, tempo(102));
  conductor.meta(bar(9), 0x51, tempo(100));

  // Bass: root, root, octave, root, root, fifth, octave, fifth.
  Track bass("Bass");
  const int roots[8] = {33, 29, 36, 31, 33, 29, 38, 28}; // A1 F1 C2 G1 A1 F1 D2 E1
  const int pattern[8] = {0, 0, 12, 0, 0, 7, 12, 7};
  for (int b = 0; b < 8; ++b)
    for (int i = 0; i < 8; ++i)
      bass.note(bar(b + 1) + i * kEighth, 180, roots[b] + pattern[i], i == 0 ? 110 : i % 2 == 0 ? 96 : 78);
  bass.note(bar(9), kQuarter, 33, 100);

  Track pads("Pads");
  const int chords[8][3] = {{57, 60, 64}, {57, 60, 65}, {55, 60, 64}, {55, 59, 62},
                            {57, 60, 64}, {57, 60, 65}, {57, 62, 65}, {56, 59, 64}};
  for (int b = 0; b < 8; ++b)
    for (int v = 0; v < 3; ++v) pads.note(bar(b + 1), kBar - 20, chords[b][v], 68 + 4 * v);
  for (int key : {57, 60, 64}) pads.note(bar(9), kQuarter, key, 80);

  Track lead("Lead");
  lead.pitchBend(0, 8192);
  lead.controller(0, 1, 0);
  struct Note {
    int bar, at, length, key;
  };
  const Note melody[] = {
      {3, 0, kQuarter, 67}, {3, kQuarter, kQuarter, 72}, {3, 2 * kQuarter, 2 * kQuarter, 76},
      {4, 0, kQuarter, 74}, {4, kQuarter, kEighth, 71}, {4, kQuarter + kEighth, kEighth, 67},
      {4, 2 * kQuarter, 2 * kQuarter, 74},
      {5, 0, kQuarter, 76}, {5, kQuarter, kQuarter, 81}, {5, 2 * kQuarter, kEighth, 79},
      {5, 2 * kQuarter + kEighth, kEighth, 76}, {5, 3 * kQuarter, kQuarter, 72},
      {6, 0, kEighth, 74}, {6, kEighth, kEighth, 72}, {6, kQuarter, kQuarter, 69},
      {6, 2 * kQuarter, kQuarter, 72}, {6, 3 * kQuarter, kQuarter, 77},
      {7, 0, kQuarter + kEighth, 76}, {7, kQuarter + kEighth, kEighth, 74}, {7, 2 * kQuarter, kQuarter, 72},
      {7, 3 * kQuarter, kQuarter, 74},
      {8, 0, kBar, 74}};
  for (const Note& n : melody)
    lead.note(bar(n.bar) + n.at, n.length - 30, n.key, n.at == 0 ? 100 : 88);
  // The held D5 bends up to E5 on the off-beat of beat one ...
  for (int k = 1; k <= 8; ++k) lead.pitchBend(bar(8) + kEighth + k * 30, 8192 + int(std::lround(8191.0 * k / 8)));
  // ... and gains vibrato over the rest of the bar.
  for (int k = 1; k <= 12; ++k) lead.controller(bar(8) + kQuarter + k * 120, 1, int(std::lround(90.0 * k / 12)));
  lead.pitchBend(bar(9) - 10, 8192); // after the note has ended
  lead.note(bar(9), kQuarter, 69, 96);
  for (int k = 1; k <= 8; ++k) lead.controller(bar(9) + k * 120, 1, 90 - int(std::lround(90.0 * k / 8)));

  Track controls("Controls");
  controls.controller(0, 74, 40);
  controls.controller(0, 64, 0);
  for (int k = 1; k <= 32; ++k) controls.controller(k * kEighth, 74, 40 + int(std::lround(56.0 * k / 32)));
  for (int k = 1; k <= 16; ++k) controls.controller(bar(7) + k * kEighth, 74, 96 - int(std::lround(40.0 * k / 16)));
  controls.controller(bar(9) + 10, 64, 127);
  controls.controller(bar(10), 64, 0);

  std::string header = {0, 1, 0, 5, char(kQuarter >> 8), char(kQuarter & 0xFF)}; // format 1, 5 tracks
  return Track::chunk("MThd", header) + conductor.encode(end) + bass.encode(end) + pads.encode(end) +
         lead.encode(end) + controls.encode(end);
}

} // namespace

int main(int argc, char** argv) {
  const int status = zarn::tools::checkOneName(
      argc, argv, "usage: zarn-make-demo-midi OUTPUT.mid\n",
      "Writes the demo song (tools/demo/demo.mid) and reads it back to check it.\n"
      "  --help               this text\n");
  if (status >= 0) return status;
  std::string song = makeSong();
  // Read back what was made, so a fault in the writing shows here.
  renderio::MidiFile check;
  if (!check.parse(song)) {
    std::fprintf(stderr, "the demo song does not read back: %s\n", check.error().c_str());
    return 1;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(song.data(), std::streamsize(song.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%s: %zu bytes, %zu events, %.2f seconds\n", argv[1], song.size(), check.events().size(),
              check.lengthSeconds());
  return 0;
}
