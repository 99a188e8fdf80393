#pragma once

// Port slots of the process objects and the audio-format helpers. A port
// slot array holds one connection word per port (indexed from 1 by the host);
// 0 means that the port is not connected. Results are host statuses; a
// helper that reports an error leaves every slot as it was.

#include <cstdint>

void ClearPortArray(uintptr_t* firstSlots, uintptr_t* secondSlots, int32_t firstCount, int32_t secondCount);
// free = the index is a port and nothing is connected to it; always 0.
int32_t IsPortFree(int32_t index, bool* free, const uintptr_t* slots, int32_t count);
int32_t IsPortConnected(int32_t index, bool* connected, const uintptr_t* slots, int32_t count);
int32_t DisconnectPort(int32_t index, uintptr_t* slots, int32_t count);
// A connection of 0 clears the slot; a non-zero one needs a free slot.
int32_t ConnectInputPort(int32_t index, uintptr_t connection, uintptr_t* slots, int32_t count);
int32_t ConnectOutputPort(int32_t index, uintptr_t connection, uintptr_t* slots, int32_t count);

// The two bound fields an output takes over from its source.
struct SOutputBounds {
  int32_t fFirstBound;
  int32_t fSecondBound;
};

// Copies the source's seventh and eighth words into every non-null record
// when count >= 1 and there is a source; always 0.
int32_t CopyOutputBounds(const int32_t* source, SOutputBounds* const* records, int32_t count);

// The host's audio format record.
struct SPlugInAudioFormat {
  int16_t fFirst; // not touched here
  int16_t fVersion;
  int16_t fChannels;
  int16_t fThird;
  float fSampleRate;
};

// The file-based process's format operations: the plug-in offers and accepts
// version 1, two channels, third field 1, at any rate but 0.
class CEffectProcessAS {
public:
  static int32_t GetDefaultFormat(uintptr_t unused1, uintptr_t unused2, SPlugInAudioFormat* format);
  static int32_t CheckFormat(uintptr_t unused1, uintptr_t unused2, const SPlugInAudioFormat* format);
};
