#pragma once

// A change of the voice layout (Total and Unison Voices) that meets
// sounding voices, from the moment the voices it ends begin to fade out to
// the moment the last key and pedal event that waited for it has been
// played. ZarnPlugin drives it; this class keeps its state and the events
// that wait, and plays no note itself.
//
// States, in the order a change passes through them:
//   settled    the engine's layout is the parameters'; nothing waits.
//   fading     the voices the new layout ends fade out. Parameter changes
//              are held back, and key and pedal events wait here with the
//              sample time they came at.
//   dealing    the fades are done: the held changes reach the engine and
//              the layout is dealt (a layout change seen now is this one).
//   replaying  the layout is dealt, and the events that waited are played
//              on a clock of their own, as far apart as they came: a key
//              struck and released within the fade keeps its length, so
//              its envelope speaks. An event that comes meanwhile first
//              plays every one still waiting, so the order holds.
//
// The room for waiting events is fixed when the instance is made. Should a
// burst fill it within one fade, the events are merged, not dropped: per
// key, the last strike, the last release before it and the last release
// after it are kept (the key ends up as the burst left it, and its last
// strike keeps its length); per pedal the last move; everything before the
// last "all notes off", which ended it all, goes. The fade runs on to its
// end whatever arrives.
//
// Threads: the render thread only. Nothing allocates after construction.

#include <cstdint>
#include <memory>

class ZarnLayoutChange {
public:
  enum class State : uint8_t { settled, fading, dealing, replaying };
  enum class EventKind : uint8_t { noteOn, noteOff, sustain, allNotesOff };
  struct Event {
    EventKind kind;
    uint8_t note;
    float value;
    // The sample clock when it came.
    uint32_t time;
  };
  // Room for this many waiting events before they are merged.
  static constexpr int cRoom = 1024;

  ZarnLayoutChange();

  State state() const { return mState; }

  // Voices began to fade; samples: the length of the fades just started
  // (0 when only earlier fades run on).
  void fading(int samples);
  // Samples rendered while fading.
  void rendered(int samples);
  bool fadesDone() const { return mState == State::fading && mFadeLeft <= 0; }
  void dealing() { mState = State::dealing; }
  // The layout is dealt at sample time now: what waits plays from now on,
  // as far apart as it came.
  void dealt(uint32_t now);

  // While fading: keeps the event to be played when the layout is dealt.
  void wait(const Event& e);
  // While replaying: the next event due by now (every one still waiting
  // when all is set), or false; the change is settled when none is left.
  bool next(uint32_t now, bool all, Event& e);
  int waiting() const { return mCount; }

private:
  // Makes room by merging what waits (see above).
  void merge();

  State mState = State::settled;
  int mFadeLeft = 0;
  std::unique_ptr<Event[]> mEvents;
  int mFirst = 0;
  int mCount = 0;
  // Added to an event's time while replaying gives the time it plays at.
  uint32_t mShift = 0;
};
