#pragma once

// The root of the receiver tree that the MIDI decoder drives: one channel
// receiver per channel slot (slot 0 hears every channel, slot n MIDI
// channel n) and a receiver for System Reset messages. Nothing here is
// owned: the slots only point.
//
// The slots are written on the main thread (a MIDI channel change) while the
// decoder reads them on the render thread, so each is an atomic pointer.

#include <atomic>

class AbstractChannelEventReceiver;
class ControllerMapping;
class MidiMessageReceiver;

class AbstractMusicEventReceiver {
public:
  static constexpr int cSlotCount = 17;

  // The mapping is not owned; the channel receivers share it.
  explicit AbstractMusicEventReceiver(ControllerMapping* mapping);
  virtual ~AbstractMusicEventReceiver();
  AbstractMusicEventReceiver(const AbstractMusicEventReceiver&) = delete;
  AbstractMusicEventReceiver& operator=(const AbstractMusicEventReceiver&) = delete;

  // Arms MIDI learn for the parameter index (-1 disarms).
  virtual void learn(int parameterIndex) = 0;

  // The receiver in the slot; null for an empty slot or a slot number
  // outside 0-16.
  AbstractChannelEventReceiver* getChannelReceiver(int slot) const;
  // Puts the receiver (or null) into the slot; a slot number outside 0-16
  // is ignored.
  void setChannelReceiver(int slot, AbstractChannelEventReceiver* receiver);

  MidiMessageReceiver* getSystemReceiver() const { return systemReceiver.load(std::memory_order_acquire); }
  void setSystemReceiver(MidiMessageReceiver* receiver) { systemReceiver.store(receiver, std::memory_order_release); }

  ControllerMapping* getControllerMapping() const { return mapping; }

private:
  std::atomic<MidiMessageReceiver*> systemReceiver{nullptr};
  std::atomic<AbstractChannelEventReceiver*> channelSlots[cSlotCount];

protected:
  ControllerMapping* mapping;
};
