#include "plugin/MidiDecoder.h"

#include "plugin/AbstractChannelEventReceiver.h"
#include "plugin/AbstractMusicEventReceiver.h"
#include "plugin/ControllerMapping.h"

std::atomic<bool> MidiDecoder::sGlobalEnabled{true};

namespace {

constexpr float cOneBy127 = 0.007874016f;
constexpr float cOneBy16383 = 6.1038882e-05f;

// The data bytes that a channel message of this kind carries.
int dataByteCount(int type) {
  return (type == cMidiProgramChange || type == cMidiChannelPressure) ? 1 : 2;
}

} // namespace

MidiDecoder::MidiDecoder(AbstractMusicEventReceiver* receiver) : receiver(receiver) {}

int MidiDecoder::getBank(int slot) const {
  if (slot < 0 || slot >= cSlotCount) return 0;
  return channels[slot].bank;
}

void MidiDecoder::receiveMidiMessage(const MidiMessage& message) {
  if (!receiver || !isGlobalEnabled()) return;

  if (AbstractChannelEventReceiver* all = receiver->getChannelReceiver(0))
    all->receiveRawMessage(message.status, message.data1, message.data2);

  if (isSystemMessage(message)) {
    processSystemMessage(message);
    return;
  }
  if (!isChannelMessage(message)) return;

  const int type = getChannelMessageType(message);
  if (message.data1 > 127 || (dataByteCount(type) == 2 && message.data2 > 127)) return;

  processChannelMessage(message, 0);
  processChannelMessage(message, getChannel(message));
}

void MidiDecoder::processSystemMessage(const MidiMessage& message) {
  if (message.status != 0xFF) return;
  if (MidiMessageReceiver* system = receiver->getSystemReceiver()) system->receiveMidiMessage(message);
}

void MidiDecoder::processChannelMessage(const MidiMessage& message, int slot) {
  AbstractChannelEventReceiver* r = receiver->getChannelReceiver(slot);
  if (!r) return;

  switch (getChannelMessageType(message)) {
  case cMidiNoteOff:
    r->receiveNoteOff(message.data1, message.data2 * cOneBy127);
    break;
  case cMidiNoteOn:
    if (message.data2 > 0)
      r->receiveNoteOn(message.data1, message.data2 * cOneBy127);
    else
      r->receiveNoteOff(message.data1, 0.0f);
    break;
  case cMidiKeyPressure:
    r->receiveKeyPressure(message.data1, message.data2 * cOneBy127);
    break;
  case cMidiControlChange:
    processControlChange(message, slot);
    break;
  case cMidiProgramChange:
    r->receiveProgramChange(channels[slot].bank, message.data1);
    break;
  case cMidiChannelPressure:
    r->receiveChannelPressure(message.data1 * cOneBy127);
    break;
  case cMidiPitchWheel:
    r->receivePitchWheelChange(((message.data2 << 7) + message.data1) * cOneBy16383 - 0.5f);
    break;
  default:
    break;
  }
}

void MidiDecoder::processControlChange(const MidiMessage& message, int slot) {
  AbstractChannelEventReceiver* r = receiver->getChannelReceiver(slot);
  if (!r) return;

  int& bank = channels[slot].bank;
  switch (message.data1) {
  case cMidiBankSelectMsb:
    bank = (bank & 0x7F) + (message.data2 << 7);
    break;
  case cMidiBankSelectLsb:
    bank = (bank & 0x3F80) + message.data2;
    break;
  case cMidiAllNotesOff:
    r->receiveAllNotesOff();
    break;
  default:
    if (ControllerMapping::isValidController(message.data1))
      r->receiveControllerMessage(message.data1, message.data2, message.data2 * cOneBy127);
    break;
  }
}
