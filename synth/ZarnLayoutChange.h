#pragma once

// A change of the voice layout (Total and Unison Voices) that meets
// sounding voices, from the moment the voices it ends begin to fade out to
// the moment the last key that waited for it has been released. This class
// owns that sequence: it holds the parameter changes back while the voices
// fade, has the layout dealt when they are silent, and plays the key and
// pedal events that waited, later than they came but as far apart; it
// plays them, and deals the layout, through a Player (the synthesizer).
//
// States, in the order a change passes through them:
//   settled    the engine's layout is the parameters'; every event plays
//              as it comes.
//   fading     the voices the new layout ends fade out. Parameter changes
//              are held back, and every key, pedal and all-notes-off event
//              waits with the sample time it came at.
//   dealing    the fades are done: the player brings the held changes to
//              the engine and deals the layout (a layout change seen now
//              is this one).
//   late       the layout is dealt. What waited plays later than it came
//              by one shift: the time from the first event that waited to
//              the deal, so the first plays at once and the others as far
//              apart as they came. A key whose strike waited stays late
//              until its release has played: a release that comes after
//              the fade waits the same shift, so the key keeps the length
//              it was played with wherever its release falls. Every other
//              key plays as it comes, so a stream of keys that did not
//              wait has no latency, and the change settles once the last
//              late key has been released.
//
// While late, the order of one key's events holds: an event of a key with
// an event waiting waits behind it (a key struck again while its release
// waits is struck again the shift later, and keeps its length too). A
// pedal move or an all-notes-off acts on every key at once: it first plays
// everything that waits (early, by less than the shift: a late key whose
// release was just before a pedal move loses that little), then itself;
// and while one of them waits, every key waits behind it. A key struck
// again live while nothing of it waits, though still sounding from a late
// strike, plays at once and is no longer late: a key that is struck over
// and over and never released (a drum part without releases) does not
// keep the shift for ever.
//
// A change that comes while keys are late (a second change right after the
// first) lets what waits wait on; the shift then grows to what the new
// fade needs, never shrinks, so no late key is cut shorter.
//
// The room for waiting events is fixed when the instance is made. Should a
// burst fill it, the events are merged, not dropped: per key, the last
// strike, the last release before it and the last release after it are
// kept (the key ends up as the burst left it, and its last strike keeps
// its length); per pedal the last move; everything before the last "all
// notes off", which ended it all, goes. The fade runs on to its end
// whatever arrives.
//
// The layout is dealt before the first slice after the fade's last sample
// (at most one slice later; a slice is not cut there, so the voices that
// play on render in the slices they would have). beginSlice ends a slice
// where the next waiting event is due, so each plays at its own sample, as
// a MIDI event does.
//
// Threads: the render thread only. Nothing allocates after construction.

#include <cstdint>
#include <memory>

class ZarnLayoutChange {
public:
  enum class State : uint8_t { settled, fading, dealing, late };
  enum class EventKind : uint8_t { noteOn, noteOff, sustain, allNotesOff };
  struct Event {
    EventKind kind;
    // MIDI note 0..127 (key events).
    uint8_t note;
    // The velocity; for the pedal, 1 down and 0 up.
    float value;
    // The sample clock when it came.
    uint32_t time;
  };

  // What deals the layout and plays the events: the synthesizer, or a
  // test's recorder.
  class Player {
  public:
    // The held parameter changes reach the engine and the parameters'
    // layout is dealt.
    virtual void dealLayout() = 0;
    virtual void play(const Event& e) = 0;

  protected:
    ~Player() = default;
  };

  // Room for this many waiting events before they are merged.
  static constexpr int cRoom = 1024;

  explicit ZarnLayoutChange(Player& player);

  State state() const { return mState; }
  // While voices fade: the parameter changes are held back.
  bool holding() const { return mState == State::fading; }

  // Voices began to fade; samples: the length of the fades just started
  // (0 when only earlier fades run on).
  void fading(int samples);
  // Before each slice of at most samples, at sample time now: deals the
  // layout once every sample of the fades has been rendered, and plays
  // what is due. Returns the slice's length: shorter when the next waiting
  // event is due within it.
  int beginSlice(uint32_t now, int samples);
  // Samples rendered.
  void rendered(int samples);
  // A key, pedal or all-notes-off event that came at e.time: played at
  // once, or kept to be played later (see above).
  void receive(const Event& e);
  // Everything happens now (a reset, all sound off): the layout is dealt
  // if voices still fade, and everything that waits is played at once.
  void finish(uint32_t now);

  int waiting() const { return mCount; }
  // The shift of the late events, in samples.
  uint32_t shift() const { return mShift; }
  // Whether key note's events wait the shift.
  bool isLate(int note) const { return mLate[note & 127] || mQueued[note & 127] > 0; }

private:
  void deal(uint32_t now);
  void wait(const Event& e);
  // Plays the first waiting event.
  void playFirst();
  void play(const Event& e, bool late);
  void settleWhenDone();
  // Makes room by merging what waits (see above).
  void merge();
  void count(const Event& e, int step);

  Player& mPlayer;
  State mState = State::settled;
  int mFadeLeft = 0;
  // The time the first event came within the current fade.
  bool mArrived = false;
  uint32_t mFirstArrival = 0;
  std::unique_ptr<Event[]> mEvents;
  int mFirst = 0;
  int mCount = 0;
  // Added to an event's time gives the time it plays at.
  uint32_t mShift = 0;
  // Per key: the events that wait; whether a strike played late and its
  // release has not yet played.
  uint16_t mQueued[128] = {};
  bool mLate[128] = {};
  int mLateKeys = 0;
  // Pedal moves and all-notes-offs that wait.
  int mGlobalQueued = 0;
};
