#include "host/services/DSICalls.h"

#include "host/services/CDAEError.h"
#include "host/services/EngineLibAccess.h"
#include "tests/host/services/EngineTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace zarn::test;

namespace {

// A word wider than 32 bits that names no record of the driver: the driver
// logs the call and answers -50.
constexpr uintptr_t kW = 0x123456789AULL;
constexpr uintptr_t kV = 0x2233445566ULL;

struct Wrapper {
  const char* entry;
  std::function<int32_t()> call;
};

std::vector<Wrapper> everyWrapper() {
  static uintptr_t out[4];
  static int32_t words[2] = {0x123456, -1};
  static SDSIMessage message{0, kW, 1002, 4, 9};
  static const char text[] = "text";
  auto o = [] { return reinterpret_cast<uintptr_t>(out); };
  return {
      {"GetClientList", [=] { return Call_GetClientList(o()); }},
      {"GetShellList", [=] { return Call_GetShellList(o()); }},
      {"GetCardList", [=] { return Call_GetCardList(o()); }},
      {"GetDSPList", [=] { return Call_GetDSPList(o()); }},
      {"ResetDSP", [] { return Call_ResetDSP(kW); }},
      {"DsiLoadShell", [] { return Call_DsiLoadShell(kW, kV, kV); }},
      {"SGetXWord", [=] { return Call_SGetXWord(kW, kV, o()); }},
      {"SGetYWord", [=] { return Call_SGetYWord(kW, kV, o()); }},
      {"SGetPWord", [=] { return Call_SGetPWord(kW, kV, o()); }},
      {"SChangeXBits", [] { return Call_SChangeXBits(kW, kV, kV, kV); }},
      {"SChangeYBits", [] { return Call_SChangeYBits(kW, kV, kV, kV); }},
      {"SChangePBits", [] { return Call_SChangePBits(kW, kV, kV, kV); }},
      {"SExecute", [] { return Call_SExecute(kW, -1); }},
      {"SSetLeftRightBit", [] { return Call_SSetLeftRightBit(kW, kV); }},
      {"SGetControlLatch", [=] { return Call_SGetControlLatch(kW, o()); }},
      {"SSetControlLatch", [] { return Call_SSetControlLatch(kW, kV); }},
      {"SInitShell", [] { return Call_SInitShell(kW); }},
      {"SStartShell", [] { return Call_SStartShell(kW); }},
      {"SPauseShell", [] { return Call_SPauseShell(kW); }},
      {"SResumeShell", [] { return Call_SResumeShell(kW); }},
      {"SSetInputDelay", [] { return Call_SSetInputDelay(kW, kV); }},
      {"SSetOutputDelay", [] { return Call_SSetOutputDelay(kW, kV); }},
      {"SUpdateDSPPeripheral", [] { return Call_SUpdateDSPPeripheral(kW); }},
      {"SGetDSPCodeInfo", [=] { return Call_SGetDSPCodeInfo(kW, -2, o()); }},
      {"DsiSendMsg", [] { return Call_DsiSendMsg(reinterpret_cast<uintptr_t>(&message)); }},
      {"DsiPrintf", [] { return Call_DsiPrintf(reinterpret_cast<uintptr_t>(text)); }},
      {"DsiSendLo24of32", [] { return Call_DsiSendLo24of32(kW, 0x654321, 7); }},
      {"DsiSendLo24of32Check", [] { return Call_DsiSendLo24of32Check(kW, 2, reinterpret_cast<uintptr_t>(words), 8); }},
      {"DsiGetLo24ofS32", [=] { return Call_DsiGetLo24ofS32(kW, o(), 9); }},
      {"DsiGetLo24ofS32Check", [] { return Call_DsiGetLo24ofS32Check(kW, 2, reinterpret_cast<uintptr_t>(words), 10); }},
      {"DsiDoHostCommand", [] { return Call_DsiDoHostCommand(kW, -3, 11); }},
      {"DsiSetHostBit", [] { return Call_DsiSetHostBit(kW, 4, 200); }},
      {"DsiGetHostBit", [=] { return Call_DsiGetHostBit(kW, 5, o()); }},
      {"DsiWaitHostBit", [] { return Call_DsiWaitHostBit(kW, 6, 201, 12); }},
      {"DsiGetNextCard", [=] { return Call_DsiGetNextCard(kW, o()); }},
      {"DsiGetNextCardClient", [=] { return Call_DsiGetNextCardClient(kW, o()); }},
      {"DsiSetCardClient", [] { return Call_DsiSetCardClient(kW, kV); }},
      {"DsiGetCardClientVal", [=] { return Call_DsiGetCardClientVal(kW, o()); }},
      {"DsiSetCardClientVal", [] { return Call_DsiSetCardClientVal(kW, kV); }},
      {"DsiGetCardType", [=] { return Call_DsiGetCardType(kW, o()); }},
      {"DsiGetFirstDSPOnCard", [=] { return Call_DsiGetFirstDSPOnCard(kW, o()); }},
      {"DsiGetNumDSPsOnCard", [=] { return Call_DsiGetNumDSPsOnCard(kW, o()); }},
      {"DsiIsCardTDM2", [=] { return Call_DsiIsCardTDM2(kW, o()); }},
      {"DsiIsDSP321", [=] { return Call_DsiIsDSP321(kW, o()); }},
      {"DsiIsPresto", [=] { return Call_DsiIsPresto(kW, o()); }},
      {"DsiIsTDM2", [=] { return Call_DsiIsTDM2(kW, o()); }},
      {"DsiGetCardTypeFromDSP", [=] { return Call_DsiGetCardTypeFromDSP(kW, o()); }},
      {"DsiDSPToDriverType", [=] { return Call_DsiDSPToDriverType(kW, o()); }},
      {"DsiGetNextDSP", [=] { return Call_DsiGetNextDSP(kW, o()); }},
      {"DsiGetDSPClient", [=] { return Call_DsiGetDSPClient(kW, o()); }},
      {"DsiGetDSPClientVal", [=] { return Call_DsiGetDSPClientVal(kW, o()); }},
      {"DsiSetDSPClientVal", [] { return Call_DsiSetDSPClientVal(kW, kV); }},
      {"DsiGetDSPShell", [=] { return Call_DsiGetDSPShell(kW, o()); }},
      {"DsiGetDSPInfoRecord", [=] { return Call_DsiGetDSPInfoRecord(kW, o()); }},
      {"DsiGetDSPCoreType", [=] { return Call_DsiGetDSPCoreType(kW, o()); }},
      {"DsiCreateShell", [=] { return Call_DsiCreateShell(o()); }},
      {"DsiDestroyShell", [] { return Call_DsiDestroyShell(kW); }},
      {"DsiGetShellClient", [=] { return Call_DsiGetShellClient(kW, o()); }},
      {"DsiGetShellClientVal", [=] { return Call_DsiGetShellClientVal(kW, o()); }},
      {"DsiSetShellID", [] { return Call_DsiSetShellID(kW, kV); }},
      {"DsiGetShellID", [=] { return Call_DsiGetShellID(kW, o()); }},
      {"DsiSetShellIsStandard", [] { return Call_DsiSetShellIsStandard(kW, 202); }},
      {"DsiSetShellMaxLocation", [] { return Call_DsiSetShellMaxLocation(kW, kV); }},
      {"DsiSetShellDSPCode", [] { return Call_DsiSetShellDSPCode(kW, kV); }},
      {"DsiShellDSPCodeIsNULL", [=] { return Call_DsiShellDSPCodeIsNULL(kW, o()); }},
      {"DsiSetShellHostCodeHandler", [] { return Call_DsiSetShellHostCodeHandler(kW, kV); }},
      {"DsiGetDSPCardIndex", [=] { return Call_DsiGetDSPCardIndex(kW, o()); }},
      {"DsiDoHostCommandOnEmptyHostPort", [] { return Call_DsiDoHostCommandOnEmptyHostPort(kW, 13, 14); }},
      {"DsiDoHostCommandWithDataList", [] { return Call_DsiDoHostCommandWithDataList(kW, 15, 1, 0, nullptr, 0, nullptr); }},
  };
}

bool contains(const std::string& log, const std::string& line) { return log.find(line + "\n") != std::string::npos; }

} // namespace

TEST(DSICallsTest, WithoutTheDriverInterfaceEveryWrapperGivesMinus2812) {
  inIsolation([] {
    for (const Wrapper& w : everyWrapper()) EXPECT_EQ(w.call(), HostStatus::kEngineLibraryMissing) << w.entry;
    // The driver's initialisation is the one call that binds the library.
    EXPECT_EQ(Call_InitSADriver(), HostStatus::kBundleNotLoadable);
  });
}

TEST(DSICallsTest, EveryWrapperReachesItsOwnEntry) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded("CardDriverInterface.framework");
    ASSERT_EQ(Call_InitSADriver(), 0);
    for (const Wrapper& w : everyWrapper()) {
      driver.clearLog();
      w.call();
      std::string log = driver.log();
      std::string first = log.substr(0, log.find_first_of(" \n"));
      EXPECT_EQ(first, w.entry) << log;
    }
  });
}

TEST(DSICallsTest, WithoutTheEntriesEveryWrapperGivesMinus2802) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded("CardDriverInterface.framework");
    std::string missing = "missing=InitSADriver";
    for (const Wrapper& w : everyWrapper()) missing += std::string(",") + w.entry;
    driver.configure(missing);
    EXPECT_EQ(Call_InitSADriver(), HostStatus::kEngineEntryMissing);
    // The two with fall-backs find the entries of those missing as well.
    for (const Wrapper& w : everyWrapper()) EXPECT_EQ(w.call(), HostStatus::kEngineEntryMissing) << w.entry;
    EXPECT_EQ(driver.log(), "");
  });
}

TEST(DSICallsTest, ArgumentsKeepTheirWidthAndStatusesAreSignExtended) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded("CardDriverInterface.framework");
    ASSERT_EQ(Call_InitSADriver(), 0);
    for (const Wrapper& w : everyWrapper()) w.call();
    std::string log = driver.log();
    const std::string w = "0x123456789a", v = "0x2233445566";
    for (const std::string& line : {
             "DsiLoadShell " + w + " " + v + " " + v,
             "SGetXWord " + w + " " + v,
             "SChangePBits " + w + " " + v + " " + v + " " + v,
             "SExecute " + w + " -1",               // a short, sign-extended
             "SGetDSPCodeInfo " + w + " -2",
             "DsiDoHostCommand " + w + " -3 11",
             "DsiSetHostBit " + w + " 4 200",        // a byte, zero-extended
             "DsiWaitHostBit " + w + " 6 201 12",
             "DsiSetShellIsStandard " + w + " 0xca", // 202
             "DsiSendLo24of32 " + w + " 6636321 7",
             "DsiSendLo24of32Check " + w + " 2 1193046 16777215 8",
             "DsiSendMsg " + w + " 1002 4 9",
             std::string("DsiPrintf text"),
             "DsiSetShellMaxLocation " + w + " " + v,
         })
      EXPECT_TRUE(contains(log, line)) << line << "\nin\n" << log;

    // Unknown records are the driver's -50; a 0xFFFF status reads -1.
    EXPECT_EQ(Call_ResetDSP(kW), -50);
    driver.configure("result.ResetDSP=0xFFFF; result.DsiGetDSPShell=0x8001");
    EXPECT_EQ(Call_ResetDSP(kW), -1);
    EXPECT_EQ(Call_DsiGetDSPShell(kW, 0), -32767);
  });
}

namespace {

std::string hex(uintptr_t w) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(w));
  return buffer;
}

// The first DSP of a driver configured with settings, bound as the plug-in
// binds it.
uintptr_t firstDSP(const SimLibrary& driver, const std::string& settings) {
  driver.configure(settings);
  EXPECT_EQ(Call_InitSADriver(), 0);
  DSPRecord* dsp = nullptr;
  EXPECT_EQ(Call_GetDSPList(reinterpret_cast<uintptr_t>(&dsp)), 0);
  EXPECT_NE(dsp, nullptr);
  driver.clearLog();
  return reinterpret_cast<uintptr_t>(dsp);
}

} // namespace

TEST(DSICallsTest, HostCommandOnAnEmptyPortFallsBackToWaitingForTheBit) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded("CardDriverInterface.framework");
    uintptr_t d = firstDSP(driver, "cards=20:1; missing=DsiDoHostCommandOnEmptyHostPort");
    std::string ds = hex(d);

    // Only the command's low 16 bits go out, as a short.
    EXPECT_EQ(Call_DsiDoHostCommandOnEmptyHostPort(d, 0x18001, 500), 0);
    EXPECT_EQ(driver.log(), "DsiWaitHostBit " + ds + " 2 1 500\nDsiDoHostCommand " + ds + " -32767 500\n");

    // A bit that never comes ends it with the wait's status.
    driver.clearLog();
    driver.configure("hostbits=0");
    EXPECT_EQ(Call_DsiDoHostCommandOnEmptyHostPort(d, 5, 500), -1);
    EXPECT_EQ(driver.log(), "DsiWaitHostBit " + ds + " 2 1 500\n");
  });
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded("CardDriverInterface.framework");
    uintptr_t d = firstDSP(driver, "cards=20:1");
    EXPECT_EQ(Call_DsiDoHostCommandOnEmptyHostPort(d, 0x18001, 500), 0);
    EXPECT_EQ(driver.log(), "DsiDoHostCommandOnEmptyHostPort " + hex(d) + " 98305 500\n");
  });
}

TEST(DSICallsTest, HostCommandWithDataListFallsBackToSingleTransfers) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded("CardDriverInterface.framework");
    uintptr_t d = firstDSP(driver, "cards=21:1; missing=DsiDoHostCommandWithDataList,DsiDoHostCommandOnEmptyHostPort;"
                                   "receive=0x800001,5,7");
    std::string ds = hex(d);
    const int32_t send[2] = {0x111111, -2};
    int32_t received[2] = {0, 0};
    const std::string command = "DsiWaitHostBit " + ds + " 2 1 1000000000\nDsiDoHostCommand " + ds + " 42 1000000000\n";
    const std::string words = "DsiSendLo24of32 " + ds + " 1118481 1000000000\nDsiSendLo24of32 " + ds +
                              " 16777214 1000000000\n";
    const std::string two = "DsiGetLo24ofS32 " + ds + " 1000000000\nDsiGetLo24ofS32 " + ds + " 1000000000\n";

    // Send first: the words, then the command, then the answers.
    EXPECT_EQ(Call_DsiDoHostCommandWithDataList(d, 42, 1, 2, received, 2, send), 0);
    EXPECT_EQ(driver.log(), words + command + two);
    EXPECT_EQ(received[0], -8388607); // 24-bit words arrive sign-extended
    EXPECT_EQ(received[1], 5);

    // Otherwise the command first; a word that never comes ends it.
    driver.clearLog();
    EXPECT_EQ(Call_DsiDoHostCommandWithDataList(d, 42, 0, 2, received, 2, send), -1);
    EXPECT_EQ(driver.log(), command + words + two);
    EXPECT_EQ(received[0], 7);

    // A failing send stops before the command.
    driver.clearLog();
    driver.configure("result.DsiSendLo24of32=-9");
    EXPECT_EQ(Call_DsiDoHostCommandWithDataList(d, 42, 1, 0, nullptr, 2, send), -9);
    EXPECT_EQ(driver.log(), "DsiSendLo24of32 " + ds + " 1118481 1000000000\n");
  });
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded("CardDriverInterface.framework");
    uintptr_t d = firstDSP(driver, "cards=21:1; receive=3");
    int32_t received = 0;
    const int32_t send = 9;
    EXPECT_EQ(Call_DsiDoHostCommandWithDataList(d, 42, 1, 1, &received, 1, &send), 0);
    EXPECT_EQ(driver.log(), "DsiDoHostCommandWithDataList " + hex(d) + " 42 1 1 1 9\n");
    EXPECT_EQ(received, 3);
  });
}

TEST(DSICallsTest, WaitingForAHostStatusBitMapsTheMaskToThePortBit) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded("CardDriverInterface.framework");
    uintptr_t d = firstDSP(driver, "cards=20:1");
    std::string expected;
    for (auto [mask, bit] : {std::pair{1, 2}, {2, 1}, {4, 0}, {8, 7}, {16, 8}, {32, 9}}) {
      EXPECT_EQ(Call_WaitForHostStatusBitSet(d, mask), 0) << mask;
      expected += "DsiWaitHostBit " + hex(d) + " " + std::to_string(bit) + " 1 1000000000\n";
    }
    EXPECT_EQ(driver.log(), expected);
    driver.clearLog();
    for (int mask : {0, 3, 64, -1}) EXPECT_EQ(Call_WaitForHostStatusBitSet(d, mask), -1) << mask;
    EXPECT_EQ(driver.log(), "");
  });
}

TEST(DSICallsTest, RoutineNamesReachTheSameEntries) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded("CardDriverInterface.framework");
    uintptr_t d = firstDSP(driver, "cards=20:1:0x200");
    uint8_t is321 = 0;
    ShellRecord* shell = nullptr;
    EXPECT_EQ(Call_DSIIsDSP321Routine(d, reinterpret_cast<uintptr_t>(&is321)), 0);
    EXPECT_EQ(is321, 1);
    EXPECT_EQ(Call_DsiCreateShellRoutine(reinterpret_cast<uintptr_t>(&shell)), 0);
    ASSERT_NE(shell, nullptr);
    EXPECT_EQ(Call_DsiSetShellIDRoutine(reinterpret_cast<uintptr_t>(shell), 77), 0);
    int32_t id = 0;
    EXPECT_EQ(Call_DsiGetShellIDRoutine(reinterpret_cast<uintptr_t>(shell), reinterpret_cast<uintptr_t>(&id)), 0);
    EXPECT_EQ(id, 77);
    EXPECT_EQ(Call_DsiDestroyShellRoutine(reinterpret_cast<uintptr_t>(shell)), 0);
  });
}
