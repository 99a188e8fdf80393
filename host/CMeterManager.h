#pragma once

// The level meters of one effect process and the answers to the host's
// meter queries. Several readers (the meter strip, single-meter queries, the
// clip lamp) read at their own pace; the manager refreshes the levels from
// the process at most once every two ticks and remembers, per meter, which
// reader saw the stored value last, so that a peak that arrived between two
// reads of one reader is not lost to it because another reader consumed it.

#include <cstdint>
#include <string>
#include <vector>

class CProcess;

class CPlugInMeter {
public:
  CPlugInMeter(const std::string& name, char type, char orientation)
      : fName(name), fType(type), fOrientation(orientation) {}

  const std::string& GetName() const { return fName; }
  char GetType() const { return fType; }
  char GetOrientation() const { return fOrientation; }

  int32_t fValue = 0;
  char fLastReader = 'a';
  bool fPeak = false;

private:
  std::string fName;
  char fType;
  char fOrientation;
};

class CMeterManager {
public:
  // List mode: the meters are the CPlugInMeter objects added with AddMeter.
  CMeterManager();
  // Record mode: count fixed records {0, 'a', false}.
  CMeterManager(CProcess* process, int16_t count);
  ~CMeterManager();
  CMeterManager(const CMeterManager&) = delete;
  CMeterManager& operator=(const CMeterManager&) = delete;

  void Init(CProcess* process) { fProcess = process; }

  // Takes ownership; null throws CDAEError -7053.
  void AddMeter(CPlugInMeter* meter);
  // 1-based; null outside the list.
  CPlugInMeter* GetMeter(int32_t index) const;
  int32_t GetNumberOfMeters() const { return static_cast<int32_t>(fMeters.size()); }
  int32_t GetNumMetersOfType(char type) const;
  // The 1-based position of the n-th meter of that type, 0 when fewer.
  int32_t GetMeterIndexByType(char type, int32_t n) const;
  // The number of meters the queries work on (records or list).
  int32_t GetNumMeters() const;

  // Reads (or, with reset, clears) the meters for reader. index is 1..n, or
  // -1 for all; values and peaks are the caller's arrays of n entries; value
  // receives a single meter's level. Returns n for a call on all meters, else
  // 0. An index outside 1..n reads nothing and leaves *value 0.
  int32_t AccessMeters(char reader, int32_t* values, bool* peaks, int32_t index, int32_t* value, bool reset);

private:
  struct SRecord {
    int32_t fValue = 0;
    char fLastReader = 'a';
    bool fPeak = false;
  };
  // Meter i's state, whichever mode: value, last reader, peak.
  int32_t& StoredValue(int32_t i);
  char& LastReader(int32_t i);
  bool& Peak(int32_t i);
  void Refresh(int32_t* values, bool* peaks);

  int32_t fLastRefresh = 0;
  int16_t fRecordCount = 0;
  CProcess* fProcess = nullptr;
  std::vector<SRecord> fRecords;
  bool fListMode;
  std::vector<CPlugInMeter*> fMeters;
};
