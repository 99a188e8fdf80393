#pragma once

// A process of an effect type: its settings chunks, the master bypass
// control, the meters and the start-up that defines the controls.
//
// Every effect process stores all of its controls in the chunk "Complete
// Controls State": one named 32-bit value per control, named by the
// control's four-character identifier, in the encoding of ChunkDataParser.
// A chunk handed back by the host is checked whole before anything changes:
// a wrong size or a malformed value answers -7157.

#include "host/CMeterManager.h"
#include "host/CProcess.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kControlsChunkID = 0x63746C73; // 'ctls'
constexpr const char* kControlsChunkName = "Complete Controls State";

class CEffectProcess : public virtual CProcess {
public:
  CEffectProcess();
  ~CEffectProcess() override;

  // Sets the process up (meters) and calls EffectInit; 0 or a status.
  virtual int32_t Initialize();
  // Defines the controls; nothing here.
  virtual void EffectInit();

  // Registers a chunk of dataSize bytes of data (its total size is that plus
  // the 56-byte header). A second registration of an id replaces the first.
  void AddChunk(uint32_t id, const char* name, int32_t dataSize);
  int32_t GetNumChunks() const { return static_cast<int32_t>(fChunks.size()); }
  // The id of chunk index (1-based), 0 when there is none.
  uint32_t GetChunkID(int32_t index) const;
  // False for an id that is not registered.
  bool GetChunkName(uint32_t id, std::string& name) const;
  // The total size the host must provide for the chunk, header included.
  virtual int32_t GetChunkSize(uint32_t id, int32_t* size);
  // Writes the total size and the data; 0 or a status.
  virtual int32_t GetChunk(uint32_t id, SFicPlugInChunk* chunk);
  // Restores a chunk; 0, -7157 for a malformed one (nothing changes), -7401
  // for a chunk this process does not know.
  virtual int32_t SetChunk(uint32_t id, SFicPlugInChunk* chunk);

  void DefineMasterBypassControlIndex(uint32_t index) { fMasterBypassControl = index; }
  uint32_t GetMasterBypassControlIndex() const { return fMasterBypassControl; }

  // Meter queries of the host, answered by the meter manager.
  CMeterManager& GetMeterManager() { return fMeters; }
  int32_t GetNumMeters() const { return fMeters.GetNumMeters(); }
  // values and clips hold one entry per meter; returns the number of meters.
  int32_t GetMetersAndClipIndicators(int32_t* values, bool* clips);
  int32_t GetMeterVal(int32_t meter, int32_t* value);
  int32_t GetClipState(int32_t meter, int32_t* clipped);
  int32_t ClearClipState();
  int32_t GetMeterOrientation(int32_t meter) const;
  int32_t GetNumMetersOfType(char type) const { return fMeters.GetNumMetersOfType(type); }
  int32_t GetMeterIndexByType(char type, int32_t n) const { return fMeters.GetMeterIndexByType(type, n); }

protected:
  // The stored size of a registered chunk's data, -1 when not registered.
  int32_t GetRegisteredDataSize(uint32_t id) const;
  // Checks a chunk handed back by the host and parses its data; false for a
  // chunk too short or malformed, with the reason in words when why is
  // given.
  static bool ParseChunk(const SFicPlugInChunk* chunk, class ChunkDataParser& parser, std::string* why = nullptr);
  // The status of a refused chunk (-7157), its reason kept in words for the
  // host to take with the status (PlugInTakeFailureText): "refused" alone
  // leaves the user to guess which of his files is damaged and how.
  static int32_t RefuseChunk(const std::string& why);
  // Writes parser's data into chunk with its total size.
  static void WriteChunk(const class ChunkDataParser& parser, SFicPlugInChunk* chunk);
  // Every control's value under its name; a subclass may add entries of its
  // own (a reader passes over names it has no control for).
  virtual void FillControlsChunk(class ChunkDataParser& parser) const;

private:
  struct SChunkInfo {
    uint32_t fID;
    std::string fName;
    int32_t fDataSize;
  };

  std::vector<SChunkInfo> fChunks;
  uint32_t fMasterBypassControl = 0;
  CMeterManager fMeters;
};
