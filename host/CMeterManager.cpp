#include "host/CMeterManager.h"

#include "host/CProcess.h"
#include "host/PlugInGlobals.h"
#include "platform/Clock.h"

CMeterManager::CMeterManager() : fListMode(true) {}

CMeterManager::CMeterManager(CProcess* process, int16_t count)
    : fRecordCount(count < 0 ? int16_t(0) : count), fProcess(process), fRecords(static_cast<size_t>(fRecordCount)),
      fListMode(false) {}

CMeterManager::~CMeterManager() {
  for (CPlugInMeter* m : fMeters) delete m;
}

void CMeterManager::AddMeter(CPlugInMeter* meter) { fMeters.push_back(PlugInAssertPointer(meter)); }

CPlugInMeter* CMeterManager::GetMeter(int32_t index) const {
  if (index < 1 || index > GetNumberOfMeters()) return nullptr;
  return fMeters[static_cast<size_t>(index - 1)];
}

int32_t CMeterManager::GetNumMetersOfType(char type) const {
  int32_t n = 0;
  for (const CPlugInMeter* m : fMeters)
    if (m->GetType() == type) ++n;
  return n;
}

int32_t CMeterManager::GetMeterIndexByType(char type, int32_t n) const {
  int32_t seen = 0;
  for (size_t i = 0; i < fMeters.size(); ++i)
    if (fMeters[i]->GetType() == type && ++seen == n) return static_cast<int32_t>(i + 1);
  return 0;
}

int32_t CMeterManager::GetNumMeters() const { return fListMode ? GetNumberOfMeters() : fRecordCount; }

int32_t& CMeterManager::StoredValue(int32_t i) {
  return fListMode ? fMeters[static_cast<size_t>(i)]->fValue : fRecords[static_cast<size_t>(i)].fValue;
}
char& CMeterManager::LastReader(int32_t i) {
  return fListMode ? fMeters[static_cast<size_t>(i)]->fLastReader : fRecords[static_cast<size_t>(i)].fLastReader;
}
bool& CMeterManager::Peak(int32_t i) {
  return fListMode ? fMeters[static_cast<size_t>(i)]->fPeak : fRecords[static_cast<size_t>(i)].fPeak;
}

void CMeterManager::Refresh(int32_t* values, bool* peaks) {
  if (fProcess) fProcess->UpdateMeters(values, peaks);
}

int32_t CMeterManager::AccessMeters(char reader, int32_t* values, bool* peaks, int32_t index, int32_t* value,
                                    bool reset) {
  const int32_t n = GetNumMeters();
  const bool all = index == -1;
  if (reset) {
    Refresh(values, peaks);
    for (int32_t i = 0; i < n; ++i) {
      if (fListMode) {
        StoredValue(i) = 0;
        Peak(i) = false;
      } else {
        values[i] = 0;
        peaks[i] = false;
      }
    }
    return all ? n : 0;
  }
  if (!all && value) *value = 0;
  // The host's index is not trusted: outside the meters nothing is read.
  if (!all && (index < 1 || index > n || !value)) return 0;

  const int32_t now = static_cast<int32_t>(platform::ticks());
  if (int64_t(now) > int64_t(fLastRefresh) + 1) {
    fLastRefresh = now;
    Refresh(values, peaks);
    if (all) {
      for (int32_t i = 0; i < n; ++i) {
        const int32_t fresh = values[i];
        if (LastReader(i) != reader && StoredValue(i) > fresh) values[i] = StoredValue(i);
        StoredValue(i) = fresh;
        LastReader(i) = reader;
        Peak(i) = peaks[i];
      }
    } else {
      const int32_t k = index - 1;
      *value = values[k];
      if (LastReader(k) != reader && StoredValue(k) > values[k]) *value = StoredValue(k);
      for (int32_t i = 0; i < n; ++i) {
        StoredValue(i) = values[i];
        LastReader(i) = reader;
        Peak(i) = peaks[i];
      }
    }
  } else if (all) {
    for (int32_t i = 0; i < n; ++i) {
      values[i] = StoredValue(i);
      peaks[i] = Peak(i);
    }
  } else {
    *value = StoredValue(index - 1);
  }
  return all ? n : 0;
}
