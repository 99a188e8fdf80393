#pragma once

// Channel and music receivers that write down every call they get, for the
// decoder and learn tests.

#include "plugin/AbstractChannelEventReceiver.h"
#include "plugin/AbstractMusicEventReceiver.h"
#include "plugin/MidiMessageReceiver.h"

#include <cstdio>
#include <string>
#include <vector>

namespace zarn::test {

// Each call as one line of text, with values printed to 7 digits, e.g.
// "noteOn 60 0.7874016".
class RecordingChannelReceiver : public AbstractChannelEventReceiver {
public:
  explicit RecordingChannelReceiver(ControllerMapping* mapping = nullptr, bool recordRaw = false)
      : AbstractChannelEventReceiver(mapping), recordRaw(recordRaw) {}

  std::vector<std::string> calls;
  std::vector<float> bends; // exact pitch-wheel values
  bool recordRaw;

  void receiveRawMessage(int status, int data1, int data2) override {
    if (recordRaw) add("raw %d %d %d", status, data1, data2);
  }
  void receiveChannelPressure(float pressure) override { add("channelPressure %.7g", pressure); }
  void receiveKeyPressure(int note, float pressure) override { add("keyPressure %d %.7g", note, pressure); }
  void receiveControllerMessage(int controller, int value, float normalized) override {
    add("controller %d %d %.7g", controller, value, normalized);
    AbstractChannelEventReceiver::receiveControllerMessage(controller, value, normalized);
  }
  void receiveNoteOff(int note, float velocity) override { add("noteOff %d %.7g", note, velocity); }
  void receiveNoteOn(int note, float velocity) override { add("noteOn %d %.7g", note, velocity); }
  void receiveParameterMessage(int index, float normalized) override { add("parameter %d %.7g", index, normalized); }
  void receivePitchWheelChange(float bend) override {
    bends.push_back(bend);
    calls.push_back("pitchWheel");
  }
  void receiveProgramChange(int bank, int program) override { add("programChange %d %d", bank, program); }
  void receiveAllNotesOff() override { calls.push_back("allNotesOff"); }

private:
  template <class... A>
  void add(const char* format, A... args) {
    char line[96];
    std::snprintf(line, sizeof line, format, args...);
    calls.push_back(line);
  }
};

// A music receiver that only holds slots; learn is recorded.
class SlotReceiver : public AbstractMusicEventReceiver {
public:
  explicit SlotReceiver(ControllerMapping* mapping = nullptr) : AbstractMusicEventReceiver(mapping) {}
  std::vector<int> learnt;
  void learn(int parameterIndex) override { learnt.push_back(parameterIndex); }
};

class RecordingSystemReceiver : public MidiMessageReceiver {
public:
  std::vector<MidiMessage> messages;
  void receiveMidiMessage(const MidiMessage& message) override { messages.push_back(message); }
};

inline MidiMessage midi(int status, int data1 = 0, int data2 = 0, int offset = 0) {
  MidiMessage m;
  m.status = static_cast<unsigned char>(status);
  m.data1 = static_cast<unsigned char>(data1);
  m.data2 = static_cast<unsigned char>(data2);
  m.sampleOffset = offset;
  return m;
}

} // namespace zarn::test
