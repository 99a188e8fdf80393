#include "host/HostCallBoundary.h"
#include "host/PlugInEntryPoints.h"

#include "host/services/CCustomView.h"

#include "host/CProcessGroup.h"
#include "host/PlugInGlobals.h"
#include "host/services/CDAEError.h"
#include "platform/Bundle.h"
#include "platform/ResourceFile.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace {

// The words of the last failure that had any, with the thread it returned
// on. Not thread-local: the bundle keeps none (a library loaded late gets
// them in blocks the sanitizers' leak check misreads). Touched only when a
// call fails and when the host then asks.
struct FailureWords {
  std::thread::id thread;
  int32_t status = 0;
  std::string text;
};
std::mutex gFailureLock;
FailureWords gFailure;

std::string gBundlePath;
int32_t gResourceNesting = 0;
platform::ResourceFileRef gResourceMap = 0;


void CloseResourceMap() {
  if (gResourceNesting > 0) platform::closeResourceMap(gResourceMap);
  gResourceNesting = 0;
  gResourceMap = 0;
}

} // namespace

int32_t NewMachOPlugIn(const char* bundlePath) {
  if (gProcessGroup) return 0;
  gBundlePath = bundlePath ? bundlePath : "";
  // Opened here, the bundle can be found by its identifier from now on.
  if (!gBundlePath.empty()) platform::Bundle::open(gBundlePath);
  CProcessGroup* group = nullptr;
  int32_t status = CallAtHostBoundary([&]() -> int32_t {
    CProcessGroupInterface* created = CProcessGroup::CreateProcessGroup();
    group = dynamic_cast<CProcessGroup*>(created);
    if (!group) {
      delete created;
      return kPlugInErr_NoGroup;
    }
    gProcessGroup = group;
    return group->Initialize();
  });
  if (status != 0 && group) {
    gProcessGroup = group; // so that the group's destructor finds itself
    delete group;
    gProcessGroup = nullptr;
  }
  return status;
}

void CloseMachOPlugIn() {
  delete gProcessGroup;
  gProcessGroup = nullptr;
  // The next load registers its view keywords afresh.
  CCustomView::StaticFree();
  CloseResourceMap();
  HandOverHostCallback(nullptr);
}

const char* CProcessGroupGetBundleRef() { return gBundlePath.c_str(); }

int16_t UseGroupResourceFile() {
  platform::ResourceFileRef previous = platform::currentResourceFile();
  if (gResourceNesting == 0) {
    platform::Bundle* bundle = gBundlePath.empty() ? nullptr : platform::Bundle::open(gBundlePath);
    PlugInAssert(bundle != nullptr);
    platform::ResourceFileRef map = platform::openResourceMap(bundle);
    PlugInAssert(map > 0);
    gResourceMap = map;
  }
  ++gResourceNesting;
  platform::useResourceFile(gResourceMap);
  return previous;
}

void RestoreGroupResourceFile(int16_t previous) {
  if (gResourceNesting > 0 && --gResourceNesting == 0) {
    platform::closeResourceMap(gResourceMap);
    gResourceMap = 0;
  }
  platform::useResourceFile(previous);
}

int16_t CProcessGroupUseResourceFile() {
  try {
    return UseGroupResourceFile();
  } catch (...) {
    return platform::currentResourceFile();
  }
}

void CProcessGroupRestoreResourceFile(int16_t previous) { RestoreGroupResourceFile(previous); }

void RememberHostCallFailure(int32_t status, const char* words) noexcept {
  std::lock_guard<std::mutex> lock(gFailureLock);
  gFailure.thread = std::this_thread::get_id();
  gFailure.status = status;
  try {
    gFailure.text = words ? words : "";
  } catch (...) {
    gFailure.status = 0;
  }
}

void NoteHostCallFailure(int32_t status) noexcept {
  std::lock_guard<std::mutex> lock(gFailureLock);
  if (gFailure.thread == std::this_thread::get_id() && gFailure.status != status) {
    gFailure.status = 0;
    gFailure.text.clear();
  }
}

int32_t PlugInTakeFailureText(int32_t status, char* buffer, int32_t size) {
  if (buffer && size > 0) buffer[0] = '\0';
  std::lock_guard<std::mutex> lock(gFailureLock);
  if (status == 0 || gFailure.status != status || gFailure.thread != std::this_thread::get_id() ||
      gFailure.text.empty())
    return 0;
  const auto length = static_cast<int32_t>(gFailure.text.size());
  if (buffer && size > 0) {
    const size_t kept = std::min(gFailure.text.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, gFailure.text.data(), kept);
    buffer[kept] = '\0';
  }
  gFailure.status = 0;
  gFailure.text.clear();
  return length;
}
