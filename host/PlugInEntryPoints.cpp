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
#include <string>

namespace {

// The words of the last failure of each thread that had any; a thread that
// never failed never makes one.
struct FailureWords {
  int32_t status = 0;
  std::string text;
};
thread_local FailureWords tFailure;

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
  try {
    tFailure.status = status;
    tFailure.text = words ? words : "";
  } catch (...) {
    tFailure.status = 0;
  }
}

void NoteHostCallFailure(int32_t status) noexcept {
  if (tFailure.status != status) {
    tFailure.status = 0;
    tFailure.text.clear();
  }
}

int32_t PlugInTakeFailureText(int32_t status, char* buffer, int32_t size) {
  if (buffer && size > 0) buffer[0] = '\0';
  if (status == 0 || tFailure.status != status || tFailure.text.empty()) return 0;
  const auto length = static_cast<int32_t>(tFailure.text.size());
  if (buffer && size > 0) {
    const size_t kept = std::min(tFailure.text.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, tFailure.text.data(), kept);
    buffer[kept] = '\0';
  }
  tFailure.status = 0;
  tFailure.text.clear();
  return length;
}
