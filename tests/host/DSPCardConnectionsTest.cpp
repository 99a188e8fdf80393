// The DSP-card connection functions: what a driver's handle holds, their
// error codes, the all-or-nothing switching of a DSP process's connections
// on the simulated DSP manager's connection object, and the chip family
// chosen by card.

#include "host/DSPCardConnections.h"

#include "host/CProcessDSP.h"
#include "host/services/CDAEError.h"
#include "host/services/DSIServices.h"
#include "tests/host/services/EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <typeinfo>
#include <vector>

using namespace zarn::test;

namespace {

// What the fake driver saw of its last call.
struct DriverCall {
  int16_t selector = 0;
  ComponentRecord* component = nullptr;
  std::vector<unsigned char> bytes;
};
DriverCall sLastCall;
int sDriverCalls = 0;
int16_t sDriverStatus = 0;

int16_t fakeDriver(int16_t selector, ComponentRecord* component, char** handle) {
  ++sDriverCalls;
  sLastCall.selector = selector;
  sLastCall.component = component;
  size_t size = selector == kDriverFindFromCardID         ? sizeof(SDriverFindArgs)
                : selector == kDriverHaveInitShellRecord ? sizeof(SDriverShellArgs)
                                                         : sizeof(SDriverTDMFlagsArgs);
  sLastCall.bytes.assign(*handle, *handle + size);
  if (selector == kDriverFindFromCardID) {
    SDriverFindArgs args;
    std::memcpy(&args, *handle, sizeof args);
    *args.driver = args.cardID + 1;
  }
  return sDriverStatus;
}

template <class Args> Args lastArgs() {
  Args args;
  std::memcpy(&args, sLastCall.bytes.data(), sizeof args);
  return args;
}

char** failingAllocator(size_t) { return nullptr; }

// The switches and flag changes of the connection's log, one per line.
std::vector<std::string> connectionCalls(const std::string& log) {
  std::vector<std::string> calls;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);)
    if (line.find("ctivate") != std::string::npos || line.rfind("SetChangingFlag", 0) == 0) calls.push_back(line);
  return calls;
}

// Listeners 1 to 3 (2 left alone), the extra listener 7, talkers 4 and 5.
struct Process : SConversantInfo {
  bool LeaveListenerAlone(int16_t listener) override { return listener == 2; }
};

} // namespace

TEST(DSPCardConnectionsTest, DriverCallsPackFullWidthWordsAndRefuseWithoutDriverOrHandle) {
  ComponentRecord driver{fakeDriver, 0};
  int16_t flags = 0;
  sDriverStatus = -33;
  EXPECT_EQ(ConnectToTDMFlags(&driver, -5, 7, &flags), -33);
  EXPECT_EQ(sLastCall.selector, 19);
  EXPECT_EQ(sLastCall.component, &driver);
  auto tdm = lastArgs<SDriverTDMFlagsArgs>();
  EXPECT_EQ(tdm.a, -5);
  EXPECT_EQ(tdm.b, 7);
  EXPECT_EQ(tdm.flags, &flags);
  EXPECT_EQ(tdm.reserved, 0);

  sDriverStatus = 0;
  EXPECT_EQ(DisconnectFromTDMFlags(&driver, 1, 2), 0);
  EXPECT_EQ(sLastCall.selector, 20);
  EXPECT_EQ(lastArgs<SDriverTDMFlagsArgs>().flags, nullptr);

  ShellRecord shell{};
  EXPECT_EQ(HaveDriverInitShellRecord(&driver, 3, 4, &shell), 0);
  EXPECT_EQ(sLastCall.selector, 13);
  EXPECT_EQ(lastArgs<SDriverShellArgs>().record, &shell);

  // The driver of a DSP: its card's driver type asked of the driver.
  SPlugInUtilsGlobals::gUseNewDSI = false;
  CardRecord card{};
  card.cardType = 21;
  DSPRecord dsp{};
  dsp.card = &card;
  EXPECT_EQ(FindDriverFromDSP(&driver, &dsp), 61072 + 1);
  EXPECT_EQ(sLastCall.selector, 15);
  sDriverStatus = -12;
  EXPECT_THROW(FindDriverFromDSP(&driver, &dsp), CDAEError);

  // No driver, or no handle: the codes, and the driver is never called.
  int calls = sDriverCalls;
  ComponentRecord noEntry{nullptr, 0};
  EXPECT_EQ(ConnectToTDMFlags(nullptr, 1, 2, &flags), kDSPErr_NoDriver);
  EXPECT_EQ(DisconnectFromTDMFlags(&noEntry, 1, 2), kDSPErr_NoDriver);
  SetDriverHandleAllocator(failingAllocator);
  EXPECT_EQ(FindDriverFromCardID(&driver, 1, nullptr), kDSPErr_NoHandleMemory);
  EXPECT_EQ(HaveDriverInitShellRecord(&driver, 1, 2, &shell), kDSPErr_NoHandleMemory);
  SetDriverHandleAllocator(nullptr);
  EXPECT_EQ(sDriverCalls, calls);
}

TEST(DSPCardConnectionsTest, AFailedChangeSwitchesBackEverythingItSwitchedLastFirst) {
  inIsolation([] {
    SimLibrary manager = SimLibrary::hostLoaded("DSPManager.framework");
    auto connection = static_cast<IDSPConnection*>(
        reinterpret_cast<SimDSPManagerConnectionProc>(manager.bundle()->function(sim::kConnection))());
    Process info;
    info.fNumListeners = 3;
    info.fFirstListener = 1;
    info.fHasExtraListener = 1;
    info.fExtraListener = 7;
    info.fNumTalkers = 2;
    info.fFirstTalker = 4;
    info.fConnection = connection;
    const std::vector<std::string> order = {"DeactivateListener 1", "DeactivateListener 3", "DeactivateListener 7",
                                            "DeactivateTalker 4", "DeactivateTalker 5"};
    auto undo = [](std::string step) { return "Re" + step.substr(2); };

    // Refusal at every step in turn: the steps before it, the refusal, then
    // those steps undone in reverse, and the flag cleared.
    for (size_t k = 0; k < order.size(); ++k) {
      SCOPED_TRACE(order[k]);
      manager.reset();
      std::string step = order[k];
      manager.configure("fail." + step.replace(step.find(' '), 1, ".") + "=-7200");
      manager.clearLog();
      try {
        ChangeConnState(false, info);
        ADD_FAILURE() << "no refusal";
      } catch (const CDAEError& e) {
        EXPECT_EQ(e.GetErrorCode(), -7200);
      }
      std::vector<std::string> expected = {"SetChangingFlag 1"};
      expected.insert(expected.end(), order.begin(), order.begin() + static_cast<long>(k) + 1);
      for (size_t i = k; i-- > 0;) expected.push_back(undo(order[i]));
      expected.push_back("SetChangingFlag 0");
      EXPECT_EQ(connectionCalls(manager.log()), expected);
    }

    // Connections already in the state count as switched by someone else:
    // kept as they are when a later one refuses. The free functions roll
    // back their own range.
    manager.reset();
    manager.configure("fail.ReactivateTalker.4=-7103; fail.ReactivateTalker.5=-9");
    manager.clearLog();
    EXPECT_EQ(ActivateTalkersFunc(info), -9);
    EXPECT_EQ(connectionCalls(manager.log()), (std::vector<std::string>{"ReactivateTalker 4", "ReactivateTalker 5"}));
    manager.reset();
    manager.configure("fail.ReactivateListener.7=-7103");
    EXPECT_EQ(ActivateListenersFunc(info), 0);

    // The connection must be able to change; a flag already set stays set.
    manager.reset();
    manager.configure("cmvc=0");
    manager.clearLog();
    EXPECT_THROW(ChangeConnState(true, info), CDAEError);
    EXPECT_TRUE(connectionCalls(manager.log()).empty());
    manager.configure("cmvc=1; changing=1");
    EXPECT_EQ(ChangeConnState(true, info), 0);
    std::vector<std::string> calls = connectionCalls(manager.log());
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls.front(), "ReactivateListener 1");

    // The extra listener may be listener 1; 0 stands for none.
    Process extra;
    extra.fNumListeners = 0;
    extra.fNumTalkers = 0;
    extra.fHasExtraListener = 1;
    extra.fConnection = connection;
    for (int16_t listener : {1, 0}) {
      extra.fExtraListener = listener;
      manager.reset();
      manager.clearLog();
      EXPECT_EQ(ActivateListenersFunc(extra), 0);
      EXPECT_EQ(connectionCalls(manager.log()),
                listener ? std::vector<std::string>{"ReactivateListener 1"} : std::vector<std::string>{});
    }
  });
}

TEST(DSPCardConnectionsTest, TheChipFamilyFollowsTheCard) {
  SPlugInUtilsGlobals::gUseNewDSI = false;
  struct Case {
    int16_t cardType, index;
    int32_t core;
    const std::type_info& family;
  } cases[] = {
      {18, 0, 0, typeid(CProcessDSP)},    {21, 0, 0, typeid(COnyxChipDSP)},    {26, 0, 0, typeid(CPrestoChipDSP)},
      {28, 2, 0, typeid(CPrestoChipDSP)}, {20, 0, kDSPCoreType321, typeid(C321ChipDSP)},
      {31, 4, kDSPCoreType321, typeid(C321ChipDSP)},
  };
  for (const Case& c : cases) {
    CardRecord card{};
    card.cardType = c.cardType;
    DSPRecord dsp{};
    dsp.card = &card;
    dsp.indexOnCard = c.index;
    dsp.coreType = c.core;
    std::unique_ptr<CDSP> chip(GetNewCProcessDSP(&dsp));
    EXPECT_EQ(typeid(*chip), c.family) << c.cardType;
  }
  CardRecord other{};
  other.cardType = 28;
  DSPRecord dsp{};
  dsp.card = &other;
  dsp.indexOnCard = 3;
  try {
    delete GetNewCProcessDSP(&dsp);
    ADD_FAILURE() << "a chip for a card without a family";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "unrecognized card type in GetNewCProcessDSP()");
  }
}
