#include "plugin/DefaultEventReceiver.h"

#include "plugin/GenericPlugin.h"

DefaultEventReceiver::DefaultEventReceiver(ControllerMapping* mapping, GenericPlugin* plugin,
                                           AbstractChannelEventReceiver* channelReceiver)
    : AbstractMusicEventReceiver(mapping), plugin(plugin) {
  DefaultEventReceiver::setChannelEventReceiver(channelReceiver);
}

DefaultEventReceiver::~DefaultEventReceiver() {
  if (getChannelReceiver(currentSlot) == channelReceiver) setChannelReceiver(currentSlot, nullptr);
  delete channelReceiver;
}

void DefaultEventReceiver::setChannelEventReceiver(AbstractChannelEventReceiver* r) {
  // No slot may point at the receiver once it is deleted.
  if (channelReceiver && r != channelReceiver) {
    if (getChannelReceiver(currentSlot) == channelReceiver) setChannelReceiver(currentSlot, nullptr);
    delete channelReceiver;
  }
  channelReceiver = r;
  currentSlot = midiChannel;
  setChannelReceiver(currentSlot, r);
}

void DefaultEventReceiver::propertyChange(const AbstractProperty* property) {
  if (property != &midiChannel) return;
  setChannelReceiver(currentSlot, nullptr);
  setChannelReceiver(midiChannel, channelReceiver);
  currentSlot = midiChannel;
}

void DefaultEventReceiver::learn(int parameterIndex) {
  if (channelReceiver) channelReceiver->learn(parameterIndex);
}

DefaultChannelEventReceiver::DefaultChannelEventReceiver(ControllerMapping* mapping, GenericPlugin* plugin)
    : AbstractChannelEventReceiver(mapping), plugin(plugin) {}

void DefaultChannelEventReceiver::receiveParameterMessage(int parameterIndex, float normalized) {
  if (plugin) plugin->receiveMidiParameterMessage(parameterIndex, normalized);
}

void DefaultChannelEventReceiver::receiveProgramChange(int bank, int program) {
  if (plugin) plugin->receiveProgramChange(bank, program);
}

DefaultEventReceiver::DefaultEventReceiver(ControllerMapping* mapping, GenericPlugin* plugin)
    : DefaultEventReceiver(mapping, plugin, new DefaultChannelEventReceiver(mapping, plugin)) {}
