#pragma once

// The receivers that bind MIDI to a plug-in: learned controllers move the
// plug-in's parameters and program changes load its presets. The
// synthesizer derives its note receivers from these.

#include "base/Property.h"
#include "plugin/AbstractChannelEventReceiver.h"
#include "plugin/AbstractMusicEventReceiver.h"

class GenericPlugin;

// Passes parameter messages and program changes to the plug-in unchanged.
class DefaultChannelEventReceiver : public AbstractChannelEventReceiver {
public:
  // Neither the mapping nor the plug-in is owned.
  DefaultChannelEventReceiver(ControllerMapping* mapping, GenericPlugin* plugin);

  // -> GenericPlugin::receiveMidiParameterMessage
  void receiveParameterMessage(int parameterIndex, float normalized) override;
  // -> GenericPlugin::receiveProgramChange
  void receiveProgramChange(int bank, int program) override;

protected:
  GenericPlugin* plugin;
};

// Owns one channel receiver and keeps it in the slot named by midiChannel:
// 0 hears every channel, 1-16 one MIDI channel. A channel change takes
// effect with the next message.
class DefaultEventReceiver : public AbstractMusicEventReceiver, public PropertyOwner {
public:
  // Installs a new DefaultChannelEventReceiver on the same mapping and
  // plug-in.
  DefaultEventReceiver(ControllerMapping* mapping, GenericPlugin* plugin);
  // Empties its slot and deletes the channel receiver.
  ~DefaultEventReceiver() override;

  // Deletes the channel receiver held so far and puts r (owned from now on,
  // may be null) into the slot of the current midiChannel.
  virtual void setChannelEventReceiver(AbstractChannelEventReceiver* r);
  AbstractChannelEventReceiver* getChannelEventReceiver() const { return channelReceiver; }

  // Moves the channel receiver to the slot of the new midiChannel.
  void propertyChange(const AbstractProperty* property) override;

  // Passes the index to the channel receiver's learn.
  void learn(int parameterIndex) override;

  // 0-16; a value outside that range leaves the receiver in no slot.
  Property<int> midiChannel{this, 0};

protected:
  // For receivers that bring their own channel receiver (owned from now on)
  // instead of the default one.
  DefaultEventReceiver(ControllerMapping* mapping, GenericPlugin* plugin, AbstractChannelEventReceiver* channelReceiver);

  GenericPlugin* plugin;

private:
  AbstractChannelEventReceiver* channelReceiver = nullptr;
  int currentSlot = 0;
};
