// Standard MIDI Files as the renderer reads them: the whole parse, the
// tempo map and every event's place in samples at two rates.

#include "fuzz/FuzzSupport.h"
#include "tools/render/MidiFile.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  renderio::MidiFile song;
  if (!song.parse(data, size, 44100.0)) {
    if (song.error().empty()) std::abort(); // a failure must say why
    return 0;
  }
  song.setSampleRate(96000.0);
  int64_t last = 0;
  for (const renderio::MidiEvent& e : song.events()) {
    if (e.sample < last) std::abort(); // events come in time order
    last = e.sample;
  }
  if (song.lengthSamples() < last) std::abort();
  song.tempoMap().tempoAt(song.lengthSeconds());
  return 0;
}

void writeSeeds(const std::string& folder) {
  // The demo song, written by zarn-make-demo-midi; and its first track alone
  // (header and tempo track) as a small format 0 file.
  const std::string demo = fuzz::readFile(std::string(ZARN_SOURCE_DIR) + "/tools/demo/demo.mid");
  fuzz::writeFile(folder + "/demo.mid", demo);
  if (demo.size() > 22) {
    const size_t trackLength = (static_cast<unsigned char>(demo[18]) << 24) | (static_cast<unsigned char>(demo[19]) << 16) |
                               (static_cast<unsigned char>(demo[20]) << 8) | static_cast<unsigned char>(demo[21]);
    std::string single = demo.substr(0, std::min(demo.size(), 22 + trackLength));
    single[9] = 0;  // format 0
    single[11] = 1; // one track
    fuzz::writeFile(folder + "/tempo-track.mid", single);
  }
}
