#include "host/CEffectProcess.h"

#include "host/ChunkDataParser.h"
#include "host/HostCallBoundary.h"
#include "host/CPluginControl.h"
#include "host/PlugInGlobals.h"

#include <memory>
#include <vector>

CEffectProcess::CEffectProcess() { AddChunk(kControlsChunkID, kControlsChunkName, 0); }

CEffectProcess::~CEffectProcess() = default;

int32_t CEffectProcess::Initialize() {
  fMeters.Init(this);
  // Asked here, on the main thread, before a render thread may need it.
  GetHostAutomationService();
  EffectInit();
  return 0;
}

void CEffectProcess::EffectInit() {}

void CEffectProcess::AddChunk(uint32_t id, const char* name, int32_t dataSize) {
  SChunkInfo info{id, name ? name : "", dataSize < 0 ? 0 : dataSize};
  for (SChunkInfo& c : fChunks)
    if (c.fID == id) {
      c = info;
      return;
    }
  fChunks.push_back(info);
}

uint32_t CEffectProcess::GetChunkID(int32_t index) const {
  if (index < 1 || index > GetNumChunks()) return 0;
  return fChunks[static_cast<size_t>(index - 1)].fID;
}

bool CEffectProcess::GetChunkName(uint32_t id, std::string& name) const {
  for (const SChunkInfo& c : fChunks)
    if (c.fID == id) {
      name = c.fName;
      return true;
    }
  return false;
}

int32_t CEffectProcess::GetRegisteredDataSize(uint32_t id) const {
  for (const SChunkInfo& c : fChunks)
    if (c.fID == id) return c.fDataSize;
  return -1;
}

void CEffectProcess::FillControlsChunk(ChunkDataParser& parser) const {
  for (int32_t k = 1; k <= GetNumControls(); ++k) {
    const CPluginControl* c = GetControl(k);
    parser.AddLong(ChunkDataParser::NameFromID(c->GetID()), c->GetValue());
  }
}

int32_t CEffectProcess::GetChunkSize(uint32_t id, int32_t* size) {
  if (id == kControlsChunkID) {
    ChunkDataParser parser;
    FillControlsChunk(parser);
    *size = kChunkHeaderSize + static_cast<int32_t>(parser.GetDataSize());
    return 0;
  }
  int32_t data = GetRegisteredDataSize(id);
  if (data < 0) return kPlugInErr_Unexpected;
  *size = kChunkHeaderSize + data;
  return 0;
}

int32_t CEffectProcess::GetChunk(uint32_t id, SFicPlugInChunk* chunk) {
  PlugInAssertPointer(chunk);
  if (id != kControlsChunkID) return kPlugInErr_Unexpected;
  ChunkDataParser parser;
  FillControlsChunk(parser);
  WriteChunk(parser, chunk);
  return 0;
}

int32_t CEffectProcess::SetChunk(uint32_t id, SFicPlugInChunk* chunk) {
  PlugInAssertPointer(chunk);
  if (id != kControlsChunkID) return kPlugInErr_Unexpected;
  ChunkDataParser parser;
  std::string why;
  if (!ParseChunk(chunk, parser, &why)) return RefuseChunk(why);
  // Every value of a known control must be a 32-bit value before any is set;
  // names of controls this process does not have are passed over.
  std::vector<std::pair<int32_t, int32_t>> values;
  for (int32_t k = 1; k <= GetNumControls(); ++k) {
    std::string name = ChunkDataParser::NameFromID(GetControl(k)->GetID());
    int32_t v;
    if (parser.FindLong(name, v)) {
      values.emplace_back(k, v);
    } else if (parser.HasName(name)) {
      char controlName[256] = {};
      GetControl(k)->GetNameOfLength(controlName, 255, 0);
      return RefuseChunk(std::string("the value of control \"") + controlName + "\" is not a 32-bit integer");
    }
  }
  for (auto [k, v] : values) {
    GetControl(k)->SetValue(v);
    UpdateControlValueInAlgorithm(k);
  }
  return 0;
}

bool CEffectProcess::ParseChunk(const SFicPlugInChunk* chunk, ChunkDataParser& parser, std::string* why) {
  if (chunk->fSize < kChunkHeaderSize) {
    if (why)
      *why = "it holds " + std::to_string(chunk->fSize) + " bytes, fewer than its " +
             std::to_string(kChunkHeaderSize) + "-byte header";
    return false;
  }
  return parser.ParseData(ChunkData(chunk), static_cast<size_t>(chunk->fSize - kChunkHeaderSize), why);
}

int32_t CEffectProcess::RefuseChunk(const std::string& why) {
  RememberHostCallFailure(kPlugInErr_BadChunk, why.c_str());
  return kPlugInErr_BadChunk;
}

void CEffectProcess::WriteChunk(const ChunkDataParser& parser, SFicPlugInChunk* chunk) {
  chunk->fSize = kChunkHeaderSize + static_cast<int32_t>(parser.GetDataSize());
  parser.WriteData(ChunkData(chunk));
}

int32_t CEffectProcess::GetMetersAndClipIndicators(int32_t* values, bool* clips) {
  return fMeters.AccessMeters('i', values, clips, -1, nullptr, false);
}

int32_t CEffectProcess::GetMeterVal(int32_t meter, int32_t* value) {
  int32_t n = fMeters.GetNumMeters();
  std::vector<int32_t> values(static_cast<size_t>(n));
  std::unique_ptr<bool[]> peaks(new bool[static_cast<size_t>(n) + 1]());
  fMeters.AccessMeters('e', values.data(), peaks.get(), meter, value, false);
  return 0;
}

int32_t CEffectProcess::GetClipState(int32_t meter, int32_t* clipped) {
  int32_t value = 0;
  GetMeterVal(meter, &value);
  CPlugInMeter* m = fMeters.GetMeter(meter);
  *clipped = m && m->fPeak ? 1 : 0;
  return 0;
}

int32_t CEffectProcess::ClearClipState() {
  int32_t n = fMeters.GetNumMeters();
  std::vector<int32_t> values(static_cast<size_t>(n));
  std::unique_ptr<bool[]> peaks(new bool[static_cast<size_t>(n) + 1]());
  fMeters.AccessMeters('e', values.data(), peaks.get(), 0, nullptr, true);
  return 0;
}

int32_t CEffectProcess::GetMeterOrientation(int32_t meter) const {
  const CPlugInMeter* m = fMeters.GetMeter(meter);
  return m ? m->GetOrientation() : 0;
}
