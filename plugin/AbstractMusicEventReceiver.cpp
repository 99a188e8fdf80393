#include "plugin/AbstractMusicEventReceiver.h"

AbstractMusicEventReceiver::AbstractMusicEventReceiver(ControllerMapping* mapping) : mapping(mapping) {
  for (auto& slot : channelSlots) slot.store(nullptr, std::memory_order_relaxed);
}

AbstractMusicEventReceiver::~AbstractMusicEventReceiver() = default;

AbstractChannelEventReceiver* AbstractMusicEventReceiver::getChannelReceiver(int slot) const {
  if (slot < 0 || slot >= cSlotCount) return nullptr;
  return channelSlots[slot].load(std::memory_order_acquire);
}

void AbstractMusicEventReceiver::setChannelReceiver(int slot, AbstractChannelEventReceiver* receiver) {
  if (slot < 0 || slot >= cSlotCount) return;
  channelSlots[slot].store(receiver, std::memory_order_release);
}
