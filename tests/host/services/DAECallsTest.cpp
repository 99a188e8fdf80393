#include "host/services/DAECalls.h"

#include "host/services/CDAEError.h"
#include "host/services/EngineLibAccess.h"
#include "tests/host/services/EngineTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <vector>

using namespace zarn::test;

namespace {

// Words wider than 32 bits, so that a wrapper that cut one would be seen.
constexpr uintptr_t kA = 0x123456789AULL, kB = 0x2233445566ULL, kC = 0x3344556677ULL, kD = 0x4455667788ULL;

struct Wrapper {
  const char* entry;
  std::function<int32_t()> call; // the wrapper's result, read as 32 bits
  int32_t withoutLibrary;
  int32_t withoutEntry;
};

int32_t low32(uintptr_t w) { return static_cast<int32_t>(w); }

std::vector<Wrapper> everyWrapper() {
  constexpr int32_t L = HostStatus::kEngineLibraryMissing, E = HostStatus::kEngineEntryMissing;
  static uintptr_t answer, token, task, value;
  return {
      {"FicNewServer", [] { return low32(Call_FicNewServer()); }, L, E},
      {"FicNewObject", [] { return low32(Call_FicNewObject(kA, kB)); }, L, E},
      {"FicDelete", [] { return Call_FicDelete(kA); }, L, E},
      {"FicFindStandardType", [] { return low32(Call_FicFindStandardType(kA, -1)); }, L, E},
      {"FicCreatePlugInSpec", [] { return Call_FicCreatePlugInSpec(kA, kB, kC, kD); }, L, E},
      {"FicPrepareForConnections", [] { return Call_FicPrepareForConnections(kA, -2); }, L, E},
      {"FicGestalt", [] { return Call_FicGestalt(kGestaltVariableQuantum, &answer); }, L, E},
      {"FicSDSReserveName", [] { return Call_FicSDSReserveName(kA, kB, kC); }, L, E},
      {"FicSDSFreeName", [] { return Call_FicSDSFreeName(kA, kB); }, L, E},
      {"FicSDSSetListenerName", [] { return Call_FicSDSSetListenerName(kA, kB, kC); }, L, E},
      {"FicSDSSetListenerType", [] { return Call_FicSDSSetListenerType(kA, kB); }, L, E},
      {"FicSDSSetListenerSubType", [] { return Call_FicSDSSetListenerSubType(kA, kB); }, L, E},
      {"FicSDSSetListenerGoal", [] { return Call_FicSDSSetListenerGoal(kA, kB); }, L, E},
      {"FicSDSSetListenerCriticalFlag", [] { return Call_FicSDSSetListenerCriticalFlag(kA, -3); }, L, E},
      {"FicSDSSetListenerLatestFlag", [] { return Call_FicSDSSetListenerLatestFlag(kA, -4); }, L, E},
      {"FicSDSSetListenerTask", [] { return Call_FicSDSSetListenerTask(kA, kB); }, L, E},
      {"FicSDSSetListenerTaskVal", [] { return Call_FicSDSSetListenerTaskVal(kA, kB); }, L, E},
      {"FicSDSDispatchToken", [] { return Call_FicSDSDispatchToken(kA); }, L, E},
      {"FicSDSDoneWithToken", [] { return Call_FicSDSDoneWithToken(kA); }, L, E},
      {"FicPersonalityDoIdle", [] { return Call_FicPersonalityDoIdle(); }, 0, 0},
      {"FicSDSSetListenerProtocol", [] { return Call_FicSDSSetListenerProtocol(kA, kB); }, L, E},
      {"FicSDSSetListenerManufacturer", [] { return Call_FicSDSSetListenerManufacturer(kA, kB); }, L, E},
      {"FicSDSGetTokenAndTaskVal", [] { return Call_FicSDSGetTokenAndTaskVal(kA, &token, &task, &value); }, L, E},
      {"FicDeactivateTalker", [] { return Call_FicDeactivateTalker(kA, -5); }, L, E},
      {"FicReactivateTalker", [] { return Call_FicReactivateTalker(kA, -6); }, L, E},
      {"FicDeactivateListener", [] { return Call_FicDeactivateListener(kA, -7); }, L, E},
      {"FicReactivateListener", [] { return Call_FicReactivateListener(kA, -8); }, L, E},
      {"FicPrepareForConnectionsStatus", [] { return Call_FicPrepareForConnectionsStatus(kA); }, 4, 14},
      {"FicRegisterDirectMIDIClient", [] { return Call_FicRegisterDirectMIDIClient(kA, kB, kC, kD); }, L, E},
      {"FicUnRegisterDirectMIDIClient", [] { return Call_FicUnRegisterDirectMIDIClient(kA); }, L, E},
      {"FicIsAlive", [] { return Call_FicIsAlive(); }, 1, 1},
      {"FicCreateCriticalSection", [] { return low32(Call_FicCreateCriticalSection()); }, L, E},
      {"FicDeleteCriticalSection", [] { return Call_FicDeleteCriticalSection(kA); }, L, E},
      {"FicEnterCriticalSection", [] { return Call_FicEnterCriticalSection(kA); }, L, E},
      {"FicLeaveCriticalSection", [] { return Call_FicLeaveCriticalSection(kA); }, L, E},
      {"FicGetMaximumRTASQuantum", [] { return Call_FicGetMaximumRTASQuantum(); }, L, E},
      {"FicGetDAEIACFUnknown", [] { return low32(Call_FicGetDAEIACFUnknown(kA)); }, L, E},
  };
}

bool contains(const std::string& log, const std::string& line) { return log.find(line + "\n") != std::string::npos; }

} // namespace

TEST(DAECallsTest, WithoutTheEngineEveryWrapperAnswersItsFallBack) {
  inIsolation([] {
    for (const Wrapper& w : everyWrapper()) EXPECT_EQ(w.call(), w.withoutLibrary) << w.entry;
    // A code in place of a handle fills the whole word, sign-extended.
    EXPECT_EQ(static_cast<intptr_t>(Call_FicNewServer()), -2812);
    uintptr_t answer = 77;
    EXPECT_EQ(Call_FicGestalt(kGestaltPlugInServices, &answer), -2812);
    EXPECT_EQ(answer, 77u);
    // Nothing was loaded on the way.
    EXPECT_EQ(gDAELibAccess.load(), nullptr);
  });
}

TEST(DAECallsTest, WithoutTheEntriesEveryWrapperAnswersItsFallBack) {
  inIsolation([] {
    SimLibrary engine = SimLibrary::hostLoaded("DAE.framework");
    std::string missing = "missing=FicMain";
    for (const Wrapper& w : everyWrapper()) missing += std::string(",") + w.entry;
    engine.configure(missing);
    ASSERT_EQ(InitializeDAELibAccess(), 0);
    for (const Wrapper& w : everyWrapper()) EXPECT_EQ(w.call(), w.withoutEntry) << w.entry;
    EXPECT_EQ(Call_FicMain(), -2802);
    EXPECT_EQ(engine.log(), ""); // no entry was reached
  });
}

TEST(DAECallsTest, ArgumentsReachTheEngineAtFullWidthAndShortsSignExtended) {
  inIsolation([] {
    SimLibrary engine = SimLibrary::hostLoaded("DAE.framework");
    ASSERT_EQ(InitializeDAELibAccess(), 0);
    for (const Wrapper& w : everyWrapper()) w.call();
    std::string log = engine.log();
    const std::string a = "0x123456789a", b = "0x2233445566", c = "0x3344556677", d = "0x4455667788";
    for (const std::string& line : {
             "FicNewObject " + a + " " + b,
             "FicDelete " + a,
             "FicFindStandardType " + a + " -1",
             "FicCreatePlugInSpec " + a + " " + b + " " + c + " " + d,
             "FicPrepareForConnections " + a + " -2",
             std::string("FicGestalt vqta"),
             "FicSDSReserveName " + a + " " + b + " " + c,
             "FicSDSFreeName " + a + " " + b,
             "FicSDSSetListenerName " + a + " " + b + " " + c,
             "FicSDSSetListenerType " + a + " " + b,
             "FicSDSSetListenerSubType " + a + " " + b,
             "FicSDSSetListenerGoal " + a + " " + b,
             "FicSDSSetListenerCriticalFlag " + a + " -3",
             "FicSDSSetListenerLatestFlag " + a + " -4",
             "FicSDSSetListenerTask " + a + " " + b,
             "FicSDSSetListenerTaskVal " + a + " " + b,
             "FicSDSDispatchToken " + a,
             "FicSDSDoneWithToken " + a,
             "FicSDSSetListenerProtocol " + a + " " + b,
             "FicSDSSetListenerManufacturer " + a + " " + b,
             "FicSDSGetTokenAndTaskVal " + a,
             "FicDeactivateTalker " + a + " -5",
             "FicReactivateTalker " + a + " -6",
             "FicDeactivateListener " + a + " -7",
             "FicReactivateListener " + a + " -8",
             "FicPrepareForConnectionsStatus " + a,
             "FicRegisterDirectMIDIClient " + a + " " + b + " " + c + " " + d,
             "FicUnRegisterDirectMIDIClient " + a,
             std::string("FicIsAlive"),
             "FicDeleteCriticalSection " + a,
             std::string("FicGetMaximumRTASQuantum"),
             "FicGetDAEIACFUnknown " + a,
         })
      EXPECT_TRUE(contains(log, line)) << line << "\nin\n" << log;
    EXPECT_EQ(engine.state("idles"), 1);
  });
}

TEST(DAECallsTest, ResultsKeepTheirWidthAndSign) {
  inIsolation([] {
    SimLibrary engine = SimLibrary::hostLoaded("DAE.framework");
    ASSERT_EQ(InitializeDAELibAccess(), 0);
    // 16-bit statuses are sign-extended: 0xFFFF is -1, never 65535.
    engine.configure("result.FicDelete=0xFFFF; result.FicSDSDispatchToken=0x8000; result.FicMain=0xFFFE");
    EXPECT_EQ(Call_FicDelete(kA), -1);
    EXPECT_EQ(Call_FicSDSDispatchToken(kA), -32768);
    EXPECT_EQ(Call_FicMain(), -2);
    // Bytes are zero-extended.
    engine.configure("result.FicPrepareForConnectionsStatus=200; result.FicIsAlive=0");
    EXPECT_EQ(Call_FicPrepareForConnectionsStatus(kA), 200);
    EXPECT_EQ(Call_FicIsAlive(), 0);
    // 32-bit results pass through whole.
    engine.configure("quantum=1024; result.FicPersonalityDoIdle=-70000");
    EXPECT_EQ(Call_FicGetMaximumRTASQuantum(), 1024);
    EXPECT_EQ(Call_FicPersonalityDoIdle(), -70000);
    engine.configure("result.FicGetMaximumRTASQuantum=-5");
    EXPECT_EQ(Call_FicGetMaximumRTASQuantum(), -5);
    // Handles keep all their bits.
    engine.configure("result.FicGetDAEIACFUnknown=0x7EDCBA9876543210");
    EXPECT_EQ(Call_FicGetDAEIACFUnknown(0), 0x7EDCBA9876543210ULL);
  });
}

TEST(DAECallsTest, GestaltsAnswerOnlyWithStatusZero) {
  inIsolation([] {
    SimLibrary engine = SimLibrary::hostLoaded("DAE.framework");
    ASSERT_EQ(InitializeDAELibAccess(), 0);
    uintptr_t answer = 99;
    EXPECT_EQ(Call_FicGestalt(kGestaltVariableQuantum, &answer), 0);
    EXPECT_EQ(answer, 0u); // the default host has a fixed quantum
    EXPECT_EQ(Call_FicGestalt(kGestaltControlMessaging, &answer), 0);
    EXPECT_EQ(answer, 1u);
    answer = 99;
    EXPECT_EQ(Call_FicGestalt(kGestaltPlugInServices, &answer), -5551);
    EXPECT_EQ(answer, 99u);
    engine.configure("gestalt.pisi=0x5566778899; gestalt.sdsh=!-12");
    EXPECT_EQ(Call_FicGestalt(kGestaltPlugInServices, &answer), 0);
    EXPECT_EQ(answer, 0x5566778899ULL);
    answer = 5;
    EXPECT_EQ(Call_FicGestalt(kGestaltControlMessaging, &answer), -12);
    EXPECT_EQ(answer, 5u);
  });
}

TEST(DAECallsTest, ControlMessagingObjectsTokensAndMidiClients) {
  inIsolation([] {
    SimLibrary engine = SimLibrary::hostLoaded("DAE.framework");
    ASSERT_EQ(InitializeDAELibAccess(), 0);
    uintptr_t server = Call_FicNewServer();
    ASSERT_NE(server, 0u);
    uintptr_t messaging = Call_FicNewObject(server, Call_FicFindStandardType(server, kStandardTypeMessagingObject));
    uintptr_t listenerType = Call_FicFindStandardType(server, kStandardTypeControlListener);
    uintptr_t listener = Call_FicNewObject(server, listenerType);
    ASSERT_NE(messaging, 0u);
    ASSERT_NE(listener, 0u);
    EXPECT_NE(listenerType, Call_FicFindStandardType(server, kStandardTypeMessagingObject));
    EXPECT_EQ(Call_FicSDSSetListenerGoal(listener, 0), 0);
    EXPECT_EQ(Call_FicSDSSetListenerLatestFlag(listener, 1), 0);
    EXPECT_EQ(Call_FicSDSSetListenerGoal(0x10, 0), -50); // not an object of the engine

    uintptr_t token = 1, task = 2, value = 3;
    EXPECT_EQ(Call_FicSDSGetTokenAndTaskVal(server, &token, &task, &value), -1);
    EXPECT_EQ(token, 1u);
    engine.postToken(0xAAAA00000001ULL, 7, 0xBBBB00000002ULL);
    EXPECT_EQ(Call_FicSDSGetTokenAndTaskVal(server, &token, &task, &value), 0);
    EXPECT_EQ(token, 0xAAAA00000001ULL);
    EXPECT_EQ(task, 7u);
    EXPECT_EQ(value, 0xBBBB00000002ULL);
    EXPECT_EQ(engine.state("tokens"), 0);

    EXPECT_EQ(Call_FicRegisterDirectMIDIClient(kA, kB, kC, kD), 0);
    EXPECT_EQ(engine.state("midiClients"), 1);
    EXPECT_EQ(Call_FicUnRegisterDirectMIDIClient(kA), 0);
    EXPECT_EQ(Call_FicUnRegisterDirectMIDIClient(kA), -50);

    EXPECT_EQ(engine.state("objects"), 3);
    EXPECT_EQ(Call_FicDelete(listener), 0);
    EXPECT_EQ(Call_FicDelete(messaging), 0);
    EXPECT_EQ(Call_FicDelete(server), 0);
    EXPECT_EQ(Call_FicDelete(server), -50);
    EXPECT_EQ(engine.state("objects"), 0);
  });
}

TEST(DAECallsTest, HostCriticalSectionsNest) {
  inIsolation([] {
    SimLibrary engine = SimLibrary::hostLoaded("DAE.framework");
    ASSERT_EQ(InitializeDAELibAccess(), 0);
    uintptr_t section = Call_FicCreateCriticalSection();
    ASSERT_NE(section, 0u);
    EXPECT_EQ(Call_FicEnterCriticalSection(section), 0);
    EXPECT_EQ(Call_FicEnterCriticalSection(section), 0);
    EXPECT_EQ(Call_FicLeaveCriticalSection(section), 0);
    EXPECT_EQ(Call_FicLeaveCriticalSection(section), 0);
    EXPECT_EQ(engine.state("enters"), 2);
    EXPECT_EQ(engine.state("leaves"), 2);
    EXPECT_EQ(Call_FicDeleteCriticalSection(section), 0);
    EXPECT_EQ(Call_FicEnterCriticalSection(section), -50);
    EXPECT_EQ(engine.state("criticalSections"), 0);
    // A host that hands out no section answers 0, which the group reports.
    engine.configure("result.FicCreateCriticalSection=0");
    EXPECT_EQ(Call_FicCreateCriticalSection(), 0u);
  });
}

TEST(DAECallsTest, FicMainLoadsTheEngineItself) {
  inIsolation([] {
    HostInstallation host;
    EXPECT_EQ(Call_FicMain(), HostStatus::kFrameworkNotFound);
    host.install("DAE.framework", host.frameworksFolder(), "DAE.framework");
    EXPECT_EQ(Call_FicMain(), 0);
    ASSERT_NE(gDAELibAccess.load(), nullptr);
    SimLibrary engine(gDAELibAccess.load()->GetBundle());
    EXPECT_EQ(engine.log(), "FicMain\n");
    // The card driver was asked for first, and is still optional.
    EXPECT_EQ(gDSILibAccess.load(), nullptr);
  });
}
