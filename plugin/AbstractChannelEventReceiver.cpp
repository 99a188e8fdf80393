#include "plugin/AbstractChannelEventReceiver.h"

#include "plugin/ControllerMapping.h"

AbstractChannelEventReceiver::AbstractChannelEventReceiver(ControllerMapping* mapping) : mapping(mapping) {}

AbstractChannelEventReceiver::~AbstractChannelEventReceiver() = default;

void AbstractChannelEventReceiver::receiveRawMessage(int, int, int) {}
void AbstractChannelEventReceiver::receiveChannelPressure(float) {}
void AbstractChannelEventReceiver::receiveKeyPressure(int, float) {}
void AbstractChannelEventReceiver::receiveNoteOff(int, float) {}
void AbstractChannelEventReceiver::receiveNoteOn(int, float) {}
void AbstractChannelEventReceiver::receiveParameterMessage(int, float) {}
void AbstractChannelEventReceiver::receivePitchWheelChange(float) {}
void AbstractChannelEventReceiver::receiveProgramChange(int, int) {}

void AbstractChannelEventReceiver::receiveAllNotesOff() {
  for (int note = 0; note < 128; ++note) receiveNoteOff(note, 0.0f);
}

void AbstractChannelEventReceiver::receiveControllerMessage(int controller, int, float normalized) {
  // Controllers without a table entry (127 and up) neither complete a
  // learn nor move anything; learning stays armed for the next one.
  if (!mapping || !ControllerMapping::isValidController(controller)) return;

  // The editor may arm another parameter meanwhile: only the target seen
  // here is disarmed, and only if it is still armed. A target the mapping
  // refuses (an index no live instance has yet) stays armed for the next
  // controller, unless the editor armed or disarmed meanwhile.
  int32_t target = learnTarget.load(std::memory_order_relaxed);
  if (target >= 0 && learnTarget.compare_exchange_strong(target, -1, std::memory_order_relaxed) &&
      !mapping->setConnection(controller, target)) {
    int32_t disarmed = -1;
    learnTarget.compare_exchange_strong(disarmed, target, std::memory_order_relaxed);
  }

  const int index = mapping->getMappedParameter(controller);
  if (index >= 0) receiveParameterMessage(index, normalized);
}

void AbstractChannelEventReceiver::learn(int parameterIndex) {
  learnTarget.store(parameterIndex < 0 ? -1 : parameterIndex, std::memory_order_relaxed);
}
