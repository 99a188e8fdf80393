#pragma once

// Turns MIDI messages into calls on a receiver tree, one message at a time
// and at once (no buffering, no running status: a data byte in the status
// position is dropped).
//
// Each channel message reaches the all-channels slot (0) first, then its own
// channel's slot (1-16); a slot without receiver ignores it whole. Every
// message, system messages and stray data bytes included, is first shown
// raw to the receiver in slot 0. System Reset (0xFF) goes whole to the
// system receiver; other system messages are dropped. Bank select (0 / 32)
// is kept per slot and passed with the next program change of that slot;
// all notes off (123) becomes receiveAllNotesOff. Channel messages whose data
// bytes have the top bit set are not MIDI and are dropped, so no receiver
// ever sees a note or controller number above 127; controller 127 has no
// place in the learn table and is dropped too.
//
// Runs on the render thread: takes no lock and allocates nothing.

#include "plugin/MidiMessageReceiver.h"

#include <atomic>

class AbstractMusicEventReceiver;

// final: it is held by value, and its base has no virtual destructor.
class MidiDecoder final : public MidiMessageReceiver {
public:
  // The receiver is not owned and may be null (every message dropped).
  explicit MidiDecoder(AbstractMusicEventReceiver* receiver);
  MidiDecoder(const MidiDecoder&) = delete;
  MidiDecoder& operator=(const MidiDecoder&) = delete;

  void setMusicEventReceiver(AbstractMusicEventReceiver* receiver) { this->receiver = receiver; }
  AbstractMusicEventReceiver* getMusicEventReceiver() const { return receiver; }

  void receiveMidiMessage(const MidiMessage& message) override;

  // The slot's bank (bank select MSB in bits 7-13, LSB in bits 0-6); 0 for
  // a slot number outside 0-16.
  int getBank(int slot) const;

  // Process-wide switch: while false every decoder drops every message.
  static void setGlobalEnabled(bool enabled) { sGlobalEnabled.store(enabled, std::memory_order_relaxed); }
  static bool isGlobalEnabled() { return sGlobalEnabled.load(std::memory_order_relaxed); }

  static std::atomic<bool> sGlobalEnabled;

protected:
  void processChannelMessage(const MidiMessage& message, int slot);
  void processControlChange(const MidiMessage& message, int slot);
  void processSystemMessage(const MidiMessage& message);

private:
  static constexpr int cSlotCount = 17;

  struct ChannelState {
    int bank = 0;
  };

  ChannelState channels[cSlotCount];
  AbstractMusicEventReceiver* receiver;
};
