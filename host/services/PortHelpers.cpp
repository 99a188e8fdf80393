#include "host/services/PortHelpers.h"

#include "host/services/CDAEError.h"

namespace {

bool inRange(int32_t index, int32_t count) { return index >= 1 && index <= count; }

int32_t connect(int32_t index, uintptr_t connection, uintptr_t* slots, int32_t count, int32_t inUse) {
  if (!inRange(index, count)) return HostStatus::kBadPortIndex;
  if (slots[index - 1] != 0 && connection != 0) return inUse;
  slots[index - 1] = connection;
  return 0;
}

} // namespace

void ClearPortArray(uintptr_t* firstSlots, uintptr_t* secondSlots, int32_t firstCount, int32_t secondCount) {
  for (int32_t i = 0; i < firstCount; ++i) firstSlots[i] = 0;
  for (int32_t i = 0; i < secondCount; ++i) secondSlots[i] = 0;
}

int32_t IsPortFree(int32_t index, bool* free, const uintptr_t* slots, int32_t count) {
  *free = inRange(index, count) && slots[index - 1] == 0;
  return 0;
}

int32_t IsPortConnected(int32_t index, bool* connected, const uintptr_t* slots, int32_t count) {
  if (!inRange(index, count)) return HostStatus::kBadPortIndex;
  *connected = slots[index - 1] != 0;
  return 0;
}

int32_t DisconnectPort(int32_t index, uintptr_t* slots, int32_t count) {
  if (!inRange(index, count)) return HostStatus::kBadPortIndex;
  if (slots[index - 1] == 0) return HostStatus::kPortNotConnected;
  slots[index - 1] = 0;
  return 0;
}

int32_t ConnectInputPort(int32_t index, uintptr_t connection, uintptr_t* slots, int32_t count) {
  return connect(index, connection, slots, count, HostStatus::kPortInUse);
}

int32_t ConnectOutputPort(int32_t index, uintptr_t connection, uintptr_t* slots, int32_t count) {
  return connect(index, connection, slots, count, HostStatus::kOutputPortInUse);
}

int32_t CopyOutputBounds(const int32_t* source, SOutputBounds* const* records, int32_t count) {
  if (count < 1 || !source) return 0;
  for (int32_t i = 0; i < count; ++i)
    if (SOutputBounds* r = records[i]) {
      r->fFirstBound = source[6];
      r->fSecondBound = source[7];
    }
  return 0;
}

int32_t CEffectProcessAS::GetDefaultFormat(uintptr_t, uintptr_t, SPlugInAudioFormat* format) {
  format->fVersion = 1;
  format->fChannels = 2;
  format->fThird = 1;
  format->fSampleRate = 44100.0f;
  return 0;
}

int32_t CEffectProcessAS::CheckFormat(uintptr_t, uintptr_t, const SPlugInAudioFormat* format) {
  if (format->fVersion != 1 || format->fChannels != 2 || format->fThird != 1 || format->fSampleRate == 0.0f)
    return HostStatus::kBadFormat;
  return 0;
}
