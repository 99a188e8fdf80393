#pragma once

// Renders one instance on a thread of its own at the pace of the wall
// clock, quantum by quantum, as an audio device would ask for it, into a
// buffer nobody hears: what the plug-in shows (LFO lights, meters, values
// it sends back) then moves as it would in a real host. With a song it
// plays the song over and over, a second of silence between the rounds, so
// voices and the MIDI light move too.
//
// When the thread falls behind (a slow machine, a debugger) it does not
// race to catch up: it starts counting again from now.

#include "tools/host/SimHost.h"
#include "tools/render/MidiFile.h"

#include <atomic>
#include <thread>
#include <vector>

namespace simhost {

class PacedRender {
public:
  // `song` may be null; it must outlive the render.
  PacedRender(SimHost& host, Instance& instance, double sampleRate, const renderio::MidiFile* song);
  ~PacedRender(); // stops
  PacedRender(const PacedRender&) = delete;
  PacedRender& operator=(const PacedRender&) = delete;

  void start();
  void stop();
  int64_t quanta() const { return mQuanta.load(); }
  // How many times the song started over.
  int64_t rounds() const { return mRounds.load(); }

private:
  void run();

  SimHost& mHost;
  Instance& mInstance;
  double mRate;
  const renderio::MidiFile* mSong;
  std::vector<std::vector<float>> mOut;
  std::atomic<bool> mRunning{false};
  std::atomic<int64_t> mQuanta{0};
  std::atomic<int64_t> mRounds{0};
  std::thread mThread;
};

} // namespace simhost
