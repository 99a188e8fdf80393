#pragma once

// Turns key presses and releases into calls on a pool of voices and sums the
// sounding voices into one output per channel.
//
// Everything runs on the render thread: notes are decoded between the
// rendered slices, and property changes arrive through the parameter
// hand-off before a block is rendered. Note times are read from the
// environment's sample clock, never from the wall clock, so that an offline
// render gives the same notes on a fast or a slow machine.

#include "base/Property.h"
#include "wave/MultiProducer.h"
#include "wave/NoteVoice.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class VoiceManager : public wave::MultiProducer, public PropertyOwner {
public:
  // Value texts "Mono,Poly".
  enum Polyphony { cMono = 0, cPoly = 1 };
  // Value texts "Normal,Legato".
  enum PortamentoMode { cNormal = 0, cLegato = 1 };

  struct VoiceContext {
    // The MIDI note the voice was last given.
    int32_t note = 0;
    // The start counter's value when the voice was last started.
    int32_t startStamp = 0;
    NoteVoice* voice = nullptr;
    // The key went up while the sustain pedal was down: the voice still
    // holds its key (it sounds in its sustain stage) until the pedal goes
    // up, the key is struck again or the voice is taken for another key.
    bool sustained = false;
    // The velocity of that key-up, passed on when the pedal releases it.
    float releaseVelocity = 1.0f;
  };

  struct NoteEvent {
    int32_t note;
    // The environment's sample time when the key went down.
    uint32_t time;
    bool operator==(int n) const { return note == n; }
  };

  // Keys played closer together than this are one chord: none glides from
  // another.
  static constexpr float cChordSeconds = 0.1f;
  // Room reserved for the note history and the held keys; when full, the
  // oldest entry gives way, so that note handling never allocates.
  static constexpr size_t cNoteRoom = 128;

  VoiceManager(wave::Environment* env, int channels);
  ~VoiceManager() override;

  // Voices are registered once after construction and never removed; they
  // are not owned.
  void registerNoteVoice(NoteVoice* voice);

  // offset: samples from the start of the coming slice at which the key
  // went down, for callers that decode several events ahead of one slice
  // (the plug-in core ends a slice at each event, so it passes 0).
  void keyDown(int note, float velocity, int offset = 0);
  // Note 0 means all keys are up: every voice is released, those held by
  // the pedal too (the pedal itself stays as it is).
  void keyUp(int note, float velocity);

  // The sustain pedal. While it is down, a key that goes up leaves its
  // voice holding (mono mode: the last key, when no other is held); when
  // it goes up, every voice whose key is no longer down is released. A
  // voice held only by the pedal counts as released when one is stolen,
  // and a key struck again restarts its own held voice rather than
  // doubling it.
  void setSustain(bool down);
  bool isSustainDown() const { return sustainDown; }

  // The voice to start next (a silent one, else a stolen one, which gets
  // keyUp(1.0)); null when no voice is in use.
  VoiceContext* getNextFreeNoteVoice();
  // Whether a voice whose context note is note has its key down (a voice
  // held only by the pedal does not count).
  bool isDown(int note);
  // The note of the newest history entry at least one chord time older
  // than now (which is removed), else 0.
  int getPortamentoStartNote(uint32_t now);
  void addToNoteHistory(int note, uint32_t time);
  // Takes note (and its velocity) off the mono list of held keys.
  void releaseHeldKey(int note);
  void updateCurVoicesEnd();

  void produce(wave::Block* const* outputs, int count, int flags) override;
  void propertyChange(const AbstractProperty* property) override;

  // How many of the registered voices are in use.
  Property<int> numVoices{this, 10};
  Property<Polyphony> polyphony{this, cPoly};
  Property<PortamentoMode> portamentoMode{this, cNormal};

  // Oldest first.
  std::vector<NoteEvent> noteHistory;
  // Mono mode: notes in press order, each at most once, and the velocity
  // each was struck with (a line that falls back to a held key plays it
  // with its own touch).
  std::vector<int32_t> heldKeys;
  std::vector<float> heldVelocities;
  int32_t startCounter = 0;
  bool sustainDown = false;
  // Contexts [0, curVoicesEnd) are in use.
  size_t curVoicesEnd = 0;
  // False once a block found every voice in use silent, until a key or a
  // change of the pool may let one sound again: until then a block asks no
  // voice anything (an idle instance would otherwise touch each voice in
  // every quantum).
  bool maybeSounding = true;
  std::vector<VoiceContext> voiceContexts;
};
