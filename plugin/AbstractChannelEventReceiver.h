#pragma once

// What one MIDI channel slot hears, decoded into plain values. The decoder
// calls these on the render thread; every operation but
// receiveControllerMessage does nothing unless a subclass gives it a
// meaning. Velocities, pressures and controller values arrive normalized to
// 0..1 (the data byte / 127).
//
// The base turns controller messages into parameter messages through the
// shared ControllerMapping and completes MIDI learn: learn(index) arms it,
// and the next controller message that reaches this receiver maps its
// controller to that index (and already moves the parameter).

#include <atomic>
#include <cstdint>

class ControllerMapping;

class AbstractChannelEventReceiver {
public:
  // The mapping is not owned and may be null (no learning, no mapping).
  explicit AbstractChannelEventReceiver(ControllerMapping* mapping);
  virtual ~AbstractChannelEventReceiver();
  AbstractChannelEventReceiver(const AbstractChannelEventReceiver&) = delete;
  AbstractChannelEventReceiver& operator=(const AbstractChannelEventReceiver&) = delete;

  // Every message as received, before decoding; only on the receiver in
  // the all-channels slot.
  virtual void receiveRawMessage(int status, int data1, int data2);
  virtual void receiveChannelPressure(float pressure);
  virtual void receiveKeyPressure(int note, float pressure);
  // Every controller 0-126 except bank select (0, 32) and all notes off
  // (123). value is the raw data byte, normalized = value / 127.
  virtual void receiveControllerMessage(int controller, int value, float normalized);
  // One key released; note 0 is a key like any other. A note-on with
  // velocity 0 arrives here with velocity 0.
  virtual void receiveNoteOff(int note, float velocity);
  virtual void receiveNoteOn(int note, float velocity);
  // A controller mapped to the parameter moved.
  virtual void receiveParameterMessage(int parameterIndex, float normalized);
  // -0.5 to +0.5 (the centre position reads +0.0000305).
  virtual void receivePitchWheelChange(float bend);
  // bank: the channel's 14-bit bank select (MSB in bits 7-13).
  virtual void receiveProgramChange(int bank, int program);
  // Controller 123. The default releases every key 0-127 one by one;
  // receivers that can release everything at once override it.
  virtual void receiveAllNotesOff();

  // Arms learning for the parameter index; -1 (or any negative index)
  // disarms. May be called from any thread.
  void learn(int parameterIndex);
  // The armed index, -1 when not learning.
  int getLearnTarget() const { return learnTarget.load(std::memory_order_relaxed); }

  ControllerMapping* getControllerMapping() const { return mapping; }

protected:
  ControllerMapping* mapping;

private:
  std::atomic<int32_t> learnTarget{-1};
};
