#include "host/services/DSIServices.h"

#include "host/services/CDAEError.h"
#include "host/services/DSICalls.h"
#include "host/services/EngineLibAccess.h"
#include "tests/host/services/EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace zarn::test;

namespace {

const char* kDSI = "CardDriverInterface.framework";

// Every card type the questions distinguish, with DSP 321 and SRAM cores on
// some of them.
const char* kAllCards = "cards=10:1,18:1,20:2:0x210,21:1,25:1,26:1,28:4:0x10,29:1,30:1,31:5:0x200";

std::vector<DSPRecord*> dspList() {
  std::vector<DSPRecord*> list;
  DSPRecord* dsp = nullptr;
  EXPECT_EQ(Call_GetDSPList(reinterpret_cast<uintptr_t>(&dsp)), 0);
  for (; dsp; dsp = dsp->next) list.push_back(dsp);
  return list;
}

int32_t initializeAndReportMode(bool& newAccess) {
  SPlugInUtilsGlobals::gUseNewDSI = false;
  int32_t result = InitializeDSICalls();
  newAccess = UseNewDSIAccess();
  return result;
}

} // namespace

TEST(DSIServicesTest, TheAccessModeFollowsTheInstalledCards) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded(kDSI);
    bool newAccess = true;
    // No DSP at all: the mode stays old.
    EXPECT_EQ(initializeAndReportMode(newAccess), 0);
    EXPECT_FALSE(newAccess);
    // DSPs whose shell the driver can tell: new access.
    driver.configure("cards=20:2");
    EXPECT_EQ(initializeAndReportMode(newAccess), 0);
    EXPECT_TRUE(newAccess);
    // A card of type 18 keeps the old access whatever else is there.
    driver.configure("cards=20:2,18:1");
    EXPECT_EQ(initializeAndReportMode(newAccess), 0);
    EXPECT_FALSE(newAccess);
    // A driver without the shell query, or failing it, keeps the old access.
    driver.configure("cards=20:2; missing=DsiGetDSPShell");
    gDSILibAccess.load()->Load(); // rebind with the entry gone
    EXPECT_EQ(initializeAndReportMode(newAccess), 0);
    EXPECT_FALSE(newAccess);
    driver.configure("missing=; result.DsiGetDSPShell=-1");
    gDSILibAccess.load()->Load();
    EXPECT_EQ(initializeAndReportMode(newAccess), 0);
    EXPECT_FALSE(newAccess);
  });
}

TEST(DSIServicesTest, AHostWithoutTheDriverInterfaceFailsTheStartWithTheLoadError) {
  inIsolation([] {
    try {
      InitializeDSICalls();
      ADD_FAILURE() << "no error";
    } catch (const CDAEError& e) {
      EXPECT_EQ(e.GetErrorCode(), HostStatus::kBundleNotLoadable);
    }
  });
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded(kDSI);
    driver.configure("result.InitSADriver=-33");
    try {
      IsCardPresent(20);
      ADD_FAILURE() << "no error";
    } catch (const CDAEError& e) {
      EXPECT_EQ(e.GetErrorCode(), -33);
    }
  });
}

TEST(DSIServicesTest, OldAndNewAccessGiveTheSameAnswers) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded(kDSI);
    driver.configure(kAllCards);
    ASSERT_EQ(Call_InitSADriver(), 0);
    std::vector<DSPRecord*> dsps = dspList();
    ASSERT_EQ(dsps.size(), 18u);

    struct Answers {
      ShellRecord* shell;
      int32_t core, driverType;
      int16_t card, index;
      bool b321, sram, tdm2, presto, gershwin, satchmoMaria, satchmo, merle, dsp563;
      DSPRecord* next;
      CardRecord* nextCard;
      DSPRecord* firstOnCard;
      DSPInfoRecord info;
      void* quick;
    };
    auto ask = [](DSPRecord* dsp) {
      Answers a{};
      EXPECT_EQ(GetDSPShell(dsp, &a.shell), 0);
      EXPECT_EQ(GetDSPCoreType(dsp, &a.core), 0);
      EXPECT_EQ(DSPToDriverType(dsp, &a.driverType), 0);
      EXPECT_EQ(GetCardTypeFromDSP(dsp, &a.card), 0);
      EXPECT_EQ(GetNextDSP(dsp, &a.next), 0);
      EXPECT_EQ(GetNextCard(dsp->card, &a.nextCard), 0);
      EXPECT_EQ(GetFirstDSPOnCard(dsp->card, &a.firstOnCard), 0);
      EXPECT_EQ(GetDSPInfoRecord(dsp, &a.info), 0);
      EXPECT_EQ(GetCardQuickReadAddrFromDSP(dsp, &a.quick), 0);
      a.index = GetDSPCardIndex(dsp);
      a.b321 = IsDSP321(dsp);
      a.sram = IsSRAMCore(dsp);
      a.tdm2 = IsTDM2(dsp);
      a.presto = IsPresto(dsp);
      a.gershwin = IsGershwin(dsp);
      a.satchmoMaria = IsSatchmoMaria(dsp);
      a.satchmo = IsSatchmo(dsp);
      a.merle = IsMerle(dsp);
      a.dsp563 = IsDSP563xx(dsp);
      return a;
    };
    for (DSPRecord* dsp : dsps) {
      SPlugInUtilsGlobals::gUseNewDSI = false;
      Answers old = ask(dsp);
      SPlugInUtilsGlobals::gUseNewDSI = true;
      driver.clearLog();
      Answers now = ask(dsp);
      EXPECT_NE(driver.log(), ""); // new access went through the driver
      std::string where = "card type " + std::to_string(dsp->card->cardType) + " index " +
                          std::to_string(dsp->indexOnCard);
      EXPECT_EQ(old.shell, now.shell) << where;
      EXPECT_EQ(old.core, now.core) << where;
      EXPECT_EQ(old.driverType, now.driverType) << where;
      EXPECT_EQ(old.card, now.card) << where;
      EXPECT_EQ(old.index, now.index) << where;
      EXPECT_EQ(old.next, now.next) << where;
      EXPECT_EQ(old.nextCard, now.nextCard) << where;
      EXPECT_EQ(old.firstOnCard, now.firstOnCard) << where;
      EXPECT_EQ(std::memcmp(&old.info, &now.info, sizeof old.info), 0) << where;
      EXPECT_EQ(now.quick, nullptr) << where; // new access has no quick-read address
      EXPECT_NE(old.quick, nullptr) << where;
      for (auto [o, n, what] : {std::tuple{old.b321, now.b321, "321"}, {old.sram, now.sram, "SRAM"},
                                {old.tdm2, now.tdm2, "TDM2"}, {old.presto, now.presto, "Presto"},
                                {old.gershwin, now.gershwin, "Gershwin"}, {old.satchmoMaria, now.satchmoMaria, "SM"},
                                {old.satchmo, now.satchmo, "Satchmo"}, {old.merle, now.merle, "Merle"},
                                {old.dsp563, now.dsp563, "563xx"}})
        EXPECT_EQ(o, n) << what << " " << where;
    }
  });
}

TEST(DSIServicesTest, CardQuestionsFollowTheCardTypes) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded(kDSI);
    driver.configure(kAllCards);
    ASSERT_EQ(Call_InitSADriver(), 0);
    SPlugInUtilsGlobals::gUseNewDSI = false;
    std::vector<DSPRecord*> d = dspList();
    // In list order: 10, 18, 20 x2, 21, 25, 26, 28 x4, 29, 30, 31 x5.
    auto driverType = [](DSPRecord* dsp) {
      int32_t t = 0;
      DSPToDriverType(dsp, &t);
      return t;
    };
    EXPECT_EQ(driverType(d[0]), 1072);
    EXPECT_EQ(driverType(d[1]), 60960);
    EXPECT_EQ(driverType(d[2]), 61056);
    EXPECT_EQ(driverType(d[4]), 61072);
    for (int i : {5, 6, 7, 11, 13}) EXPECT_EQ(driverType(d[i]), 61120) << i;
    EXPECT_EQ(driverType(d[12]), -1); // type 30

    EXPECT_TRUE(IsMerle(d[1]));
    EXPECT_TRUE(IsSatchmoMaria(d[2]) && !IsSatchmo(d[2]) && IsSatchmo(d[4]));
    EXPECT_TRUE(IsDSP563xx(d[2]) && IsDSP563xx(d[12]) && !IsDSP563xx(d[1]));
    EXPECT_TRUE(IsTDM2(d[12]) && !IsGershwin(d[12]) && !IsTDM2(d[11])); // 30 is TDM2, 29 is not
    // Presto: all of type 26, the first three of type 28, the first four of 31.
    EXPECT_TRUE(IsPresto(d[6]));
    EXPECT_TRUE(IsPresto(d[9]) && !IsPresto(d[10]));
    EXPECT_TRUE(IsPresto(d[16]) && !IsPresto(d[17]));
    EXPECT_TRUE(IsDSP321(d[13]) && IsDSP321(d[2]) && !IsDSP321(d[7]));
    EXPECT_TRUE(IsSRAMCore(d[2]) && IsSRAMCore(d[7]) && !IsSRAMCore(d[13]));
    EXPECT_EQ(GetDSPCardIndex(d[17]), 4);
  });
}

TEST(DSIServicesTest, CardPresenceInBothModes) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded(kDSI);
    for (bool newAccess : {false, true}) {
      SPlugInUtilsGlobals::gUseNewDSI = newAccess;
      driver.configure("cards=15:1,22:1");
      EXPECT_TRUE(AM3IsPresent());
      EXPECT_TRUE(Digi001IsPresent());
      EXPECT_FALSE(G3IsPresent());
      EXPECT_FALSE(TDMIsPresent());
      EXPECT_FALSE(TDM2IsPresent());
      EXPECT_FALSE(DSP321IsPresent());
      // Type 29 is asked as "some DSP is TDM2", which a type-29 card is not.
      driver.configure("cards=29:2");
      EXPECT_FALSE(IsCardPresent(29));
      EXPECT_FALSE(TDMIsPresent());
      driver.configure("cards=15:1,25:1:0x200");
      EXPECT_TRUE(IsCardPresent(29));
      EXPECT_TRUE(TDMIsPresent());
      EXPECT_TRUE(TDM2IsPresent());
      EXPECT_TRUE(DSP321IsPresent());
      driver.configure("cards=28:1,31:1");
      EXPECT_TRUE(G2IsPresent());
      EXPECT_TRUE(G3IsPresent());
      driver.configure("cards=");
      EXPECT_FALSE(IsCardPresent(15));
    }
  });
}

TEST(DSIServicesTest, RecordWritesAndShellsInBothModes) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded(kDSI);
    driver.configure("cards=20:1");
    ASSERT_EQ(Call_InitSADriver(), 0);
    DSPRecord* dsp = dspList().at(0);
    for (bool newAccess : {false, true}) {
      SPlugInUtilsGlobals::gUseNewDSI = newAccess;
      uintptr_t value = 0;
      EXPECT_EQ(SetDSPClientVal(dsp, 0xABCDEF012345ULL + newAccess), 0);
      EXPECT_EQ(dsp->clientValue, 0xABCDEF012345ULL + newAccess); // the driver's own record
      EXPECT_EQ(GetDSPClientVal(dsp, &value), 0);
      EXPECT_EQ(value, dsp->clientValue);
      EXPECT_EQ(GetDSPClient(dsp, &value), 0);
      EXPECT_EQ(value, 0u);

      ShellRecord* shell = nullptr;
      ASSERT_EQ(CreateShell(&shell), 0);
      ASSERT_NE(shell, nullptr);
      char code = 0;
      char* master = &code;
      auto handler = +[] {};
      EXPECT_EQ(SetShellID(shell, -7), 0);
      EXPECT_EQ(SetShellIsStandard(shell, 1), 0);
      EXPECT_EQ(SetShellMaxLocation(shell, 4095), 0);
      bool isNull = false;
      EXPECT_EQ(ShellDSPCodeIsNULL(shell, &isNull), 0);
      EXPECT_TRUE(isNull);
      EXPECT_EQ(SetShellDSPCode(shell, &master), 0);
      EXPECT_EQ(SetShellHostCodeHandler(shell, handler), 0);
      EXPECT_EQ(ShellDSPCodeIsNULL(shell, &isNull), 0);
      EXPECT_FALSE(isNull);
      int32_t id = 0;
      EXPECT_EQ(GetShellID(shell, &id), 0);
      EXPECT_EQ(id, -7);
      EXPECT_EQ(shell->shellID, -7);
      EXPECT_EQ(shell->isStandard, 1);
      EXPECT_EQ(shell->maxLocation, 4095);
      EXPECT_EQ(shell->dspCode, &master);
      EXPECT_EQ(shell->hostCodeHandler, handler);
      EXPECT_EQ(GetShellClient(shell, &value), 0);
      EXPECT_EQ(GetShellClientVal(shell, &value), 0);
      EXPECT_EQ(driver.state("shells"), newAccess ? 2 : 1); // old access keeps its own records
      EXPECT_EQ(DestroyShell(shell), 0);
      EXPECT_EQ(driver.state("shells"), 1);
    }
  });
}

TEST(DSIServicesTest, PlugInServicesAreAskedUntilTheEngineAnswers) {
  inIsolation([] {
    SimLibrary engine = SimLibrary::hostLoaded("DAE.framework");
    ASSERT_EQ(InitializeDAELibAccess(), 0);
    auto asked = [&] {
      std::string log = engine.log();
      size_t n = 0;
      for (size_t p = log.find("FicGestalt pisi"); p != std::string::npos; p = log.find("FicGestalt pisi", p + 1)) ++n;
      return n;
    };
    EXPECT_EQ(GetPlugInServices(), 0u);
    EXPECT_EQ(GetPlugInServices(), 0u);
    EXPECT_EQ(asked(), 2u);
    engine.configure("gestalt.pisi=0x7766554433");
    EXPECT_EQ(GetPlugInServices(), 0x7766554433ULL);
    engine.configure("gestalt.pisi=5");
    EXPECT_EQ(GetPlugInServices(), 0x7766554433ULL);
    EXPECT_EQ(asked(), 3u);
  });
  // A null answer with status 0 is kept as well.
  inIsolation([] {
    SimLibrary engine = SimLibrary::hostLoaded("DAE.framework");
    engine.configure("gestalt.pisi=0");
    ASSERT_EQ(InitializeDAELibAccess(), 0);
    EXPECT_EQ(GetPlugInServices(), 0u);
    engine.configure("gestalt.pisi=9");
    EXPECT_EQ(GetPlugInServices(), 0u);
  });
}
