#pragma once

// An effect process that takes MIDI: its MIDI world (the session with the
// host MIDI service) and the chunk "MIDI Connection Data", which stores the
// identity of its first MIDI node ("Instance ID"), so that a restored
// document finds its MIDI connections again.

#include "host/CEffectMIDI.h"
#include "host/CEffectProcess.h"

constexpr uint32_t kMIDIConnectionChunkID = 0x6D636F6E; // 'mcon'
constexpr const char* kMIDIConnectionChunkName = "MIDI Connection Data";
constexpr const char* kMIDIInstanceIDName = "Instance ID";

class CEffectProcessMIDI : public virtual CEffectProcess {
public:
  CEffectProcessMIDI();
  // Logs out when still logged in.
  ~CEffectProcessMIDI() override;

  int32_t MIDILogIn() { return fWorld.LogIn(); }
  int32_t MIDILogOut() { return fWorld.LogOut(); }
  bool IsMIDILoggedIn() const { return fWorld.IsLoggedIn(); }
  CEffectMIDIWorld* GetMIDIWorld() { return &fWorld; }

  int32_t GetChunkSize(uint32_t id, int32_t* size) override;
  int32_t GetChunk(uint32_t id, SFicPlugInChunk* chunk) override;
  int32_t SetChunk(uint32_t id, SFicPlugInChunk* chunk) override;

private:
  void FillConnectionChunk(class ChunkDataParser& parser) const;
  CEffectMIDIWorld fWorld;
};
