// The entry points and the call table: the routine lookup, group start-up
// and failure, and the statuses every failure becomes at the boundary.

#include "tests/host/ProbePlugIn.h"

#include "host/PlugInEntryPoints.h"
#include "host/PlugInGlobals.h"
#include "host/services/CDAEError.h"
#include "platform/ResourceFile.h"

#include <gtest/gtest.h>

#include <stdexcept>

using hosttest::ProbeGroup;
using hosttest::ProbeHost;
using hosttest::SetGroupFactory;

namespace {

// A group whose start-up fails the way the test asks.
class FailingGroup : public ProbeGroup {
public:
  explicit FailingGroup(int how) : fHow(how) {}
  int32_t Initialize() override {
    int32_t status = ProbeGroup::Initialize();
    switch (fHow) {
    case 1: return -7075;
    case 2: throw CDAEError(-9065);
    case 3: throw static_cast<long>(-1234);
    case 4: throw std::runtime_error("start");
    default: return status;
    }
  }
  int fHow;
};

struct FactoryReset {
  ~FactoryReset() { SetGroupFactory(nullptr); }
};

} // namespace

TEST(CallTableTest, EverySelectorUpTo171HasARoutine) {
  PlugInRoutine r = nullptr;
  for (int32_t s = 0; s < 172; ++s) {
    r = nullptr;
    EXPECT_EQ(PI_GetRoutineDescriptor(s, &r), 0) << s;
    EXPECT_NE(r, nullptr) << s;
  }
  r = nullptr;
  EXPECT_EQ(_PI_GetRoutineDescriptor(172, &r), -9007);
  EXPECT_EQ(_PI_GetRoutineDescriptor(-1, &r), -9007);
  EXPECT_EQ(r, nullptr);
  // A reserved selector answers that it offers nothing; a group selector
  // without a group answers -7026.
  PI_GetRoutineDescriptor(170, &r);
  EXPECT_EQ(r(0, 0, 0, 0, 0), -9007);
  PI_GetRoutineDescriptor(kGroup_GetNumProcessTypes, &r);
  int32_t n = 0;
  EXPECT_EQ(r(0, reinterpret_cast<uintptr_t>(&n), 0, 0, 0), -7026);
}

TEST(CallTableTest, GroupStartUpFailuresAreReportedAndLeaveNoGroup) {
  FactoryReset reset;
  simhost::SimHost host;
  SetGroupFactory([]() -> CProcessGroupInterface* { return nullptr; });
  EXPECT_EQ(host.attach(hosttest::InProcessEntryPoints(), ""), -7003);
  const int32_t expected[] = {0, -7075, -9065, -1234, -7401};
  for (int how = 1; how <= 4; ++how) {
    SetGroupFactory([how] { return new FailingGroup(how); });
    EXPECT_EQ(host.attach(hosttest::InProcessEntryPoints(), ""), expected[how]) << how;
    EXPECT_EQ(gProcessGroup, nullptr);
    EXPECT_FALSE(host.loaded());
    // The failure's words, when it had any, are the host's to take once,
    // for that status only; a failure without words leaves none behind.
    if (how == 4) {
      EXPECT_EQ(host.failureWords(-7075), "");
      EXPECT_EQ(host.failureWords(-7401), "start");
    }
    EXPECT_EQ(host.failureWords(expected[how]), "") << how;
  }
  SetGroupFactory([] { return new FailingGroup(4); });
  host.attach(hosttest::InProcessEntryPoints(), "");
  SetGroupFactory([] { return new FailingGroup(2); });
  host.attach(hosttest::InProcessEntryPoints(), "");
  EXPECT_EQ(host.failureWords(-7401), "");
  char cut[4] = "xyz";
  SetGroupFactory([] { return new FailingGroup(4); });
  host.attach(hosttest::InProcessEntryPoints(), "");
  EXPECT_EQ(PlugInTakeFailureText(-7401, cut, sizeof cut), 5);
  EXPECT_STREQ(cut, "sta");
  SetGroupFactory([] { return new FailingGroup(0); });
  EXPECT_EQ(host.attach(hosttest::InProcessEntryPoints(), ""), 0);
  // A second start keeps the group.
  CProcessGroup* group = gProcessGroup;
  EXPECT_EQ(NewMachOPlugIn(""), 0);
  EXPECT_EQ(gProcessGroup, group);
  host.unload();
  EXPECT_EQ(gProcessGroup, nullptr);
}

TEST(CallTableTest, GroupAnswersItsIdentityAndTypes) {
  ProbeHost host;
  EXPECT_EQ(host->groupName(31), "Quorvane Probe");
  EXPECT_EQ(host->groupName(5), "Probe");
  EXPECT_EQ(host->groupName(3), "Pro");
  EXPECT_EQ(host->version(), 3u);
  EXPECT_EQ(host->manufacturerName(31), "Quorvane");
  EXPECT_EQ(host->manufacturerID(), 0x5176726Eu);
  EXPECT_EQ(host->groupGestalt(14), 1);
  EXPECT_EQ(host->groupGestalt(15), 0);
  ASSERT_EQ(host->numProcessTypes(), 1);
  uint32_t id, id2, category;
  host->processTypeIDs(1, id, id2, category);
  EXPECT_EQ(id, 0x50726F62u);
  EXPECT_EQ(id2, 0x50726F31u);
  EXPECT_EQ(category, 0x10u);
  EXPECT_EQ(host->processTypeGestalt(1, ePlugInGestalt_VariableQuantum), 1);
  EXPECT_EQ(host->processTypeGestalt(1, ePlugInGestalt_SideChainInput), 0);
  EXPECT_EQ(host->processTypeRates(1), 6);
  uint32_t x;
  EXPECT_EQ(host->callWith(kGroup_GetProcessTypeIDs, 0, 2, &x, &x, &x), -7401);
  // A null answer pointer is refused, not followed.
  EXPECT_EQ(host->call(kGroup_GetVersion, 0, 0), -7053);
}

TEST(CallTableTest, ProcessReferencesAreCheckedAndFailuresBecomeStatuses) {
  ProbeHost host;
  simhost::Instance* in = host->createInstance();
  int32_t id = 0;
  EXPECT_EQ(host->callWith(kProcess_GetInstanceID, in->process(), &id), 0);
  EXPECT_GT(id, 0);
  int32_t dummy = 0;
  // Not a process of this group: the reference is never followed.
  EXPECT_EQ(host->callWith(kProcess_GetInstanceID, uintptr_t(0x1234), &id), -7126);
  EXPECT_EQ(host->callWith(kProcess_GetNumControls, reinterpret_cast<uintptr_t>(&dummy), &id), -7126);
  EXPECT_EQ(host->callWith(kGroup_DeleteProcess, 0, reinterpret_cast<uintptr_t>(&dummy)), -7126);
  // A CDAEError thrown inside becomes its code, a long its value, anything
  // else -7401.
  EXPECT_EQ(host->callWith(kProcess_SetSampleRate, in->process(), 0), -7104);
  EXPECT_EQ(host->callWith(kProcess_SetSampleRate, in->process(), -1), -9006);
  EXPECT_EQ(host->callWith(kProcess_SetSampleRate, in->process(), -2), -7401);
  int32_t rate = 0;
  host->callWith(kProcess_GetSampleRate, in->process(), &rate);
  EXPECT_EQ(rate, 44100);
  // The auxiliary-stem queries know the type's instances.
  int32_t stems = -1;
  EXPECT_EQ(host->callWith(kGroup_GetNumAuxOutputStems, 0, 1, id, &stems), 0);
  EXPECT_EQ(stems, 0);
  EXPECT_EQ(host->callWith(kGroup_GetNumAuxOutputStems, 0, 1, id + 100, &stems), -7126);
  host->deleteInstance(in);
  EXPECT_EQ(hosttest::ProbeProcess::sLive.load(), 0);
}

TEST(CallTableTest, ResourceFileSwitchNeedsABundle) {
  hosttest::ProbeHost host;
  // Without a bundle folder the switch is refused and nothing changes.
  try {
    UseGroupResourceFile();
    FAIL();
  } catch (const CDAEError& e) {
    EXPECT_EQ(e.GetErrorCode(), -7400);
  }
  EXPECT_EQ(CProcessGroupUseResourceFile(), platform::currentResourceFile());
  EXPECT_STREQ(CProcessGroupGetBundleRef(), "");
}

TEST(CallTableTest, ResourceFileSwitchingNests) {
  hosttest::ProbeHost host(simhost::HostOptions(), hosttest::ProbeOptions(), hosttest::TestGainBundlePath());
  const platform::ResourceFileRef application = platform::currentResourceFile();
  int16_t outer = CProcessGroupUseResourceFile();
  EXPECT_EQ(outer, application);
  platform::ResourceFileRef map = platform::currentResourceFile();
  EXPECT_NE(map, application);
  EXPECT_NE(platform::resourceMapBundle(map), nullptr);
  // A nested switch returns the bundle's map and keeps it open.
  int16_t inner = CProcessGroupUseResourceFile();
  EXPECT_EQ(inner, map);
  CProcessGroupRestoreResourceFile(inner);
  EXPECT_EQ(platform::currentResourceFile(), map);
  EXPECT_NE(platform::resourceMapBundle(map), nullptr);
  // The outermost restore closes it.
  CProcessGroupRestoreResourceFile(outer);
  EXPECT_EQ(platform::currentResourceFile(), application);
  EXPECT_EQ(platform::resourceMapBundle(map), nullptr);
}
