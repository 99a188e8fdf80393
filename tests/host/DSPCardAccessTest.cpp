// The DSP-card road on the simulated card driver and DSP manager: the host
// port in both access modes, program loading, the DSP manager's routine
// table and the plug-in's Dispatcher, and the DSP manager's interface.

#include "host/CDSP.h"
#include "host/CDSPProcessType.h"
#include "host/CProcessDSP.h"
#include "host/DSPManagerRoutines.h"
#include "host/PlugInEntryPoints.h"
#include "host/services/CDAEError.h"
#include "host/services/DSICalls.h"
#include "host/services/DSIServices.h"
#include "host/services/DSPManagerInterface.h"
#include "host/services/EngineLibAccess.h"
#include "platform/DebugOutput.h"
#include "platform/ResourceFile.h"
#include "tests/host/ProbePlugIn.h"
#include "tests/host/services/EngineTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <vector>

using namespace zarn::test;

namespace {

const char* kDSI = "CardDriverInterface.framework";

DSPRecord* firstDSP() {
  EXPECT_EQ(Call_InitSADriver(), 0);
  DSPRecord* dsp = nullptr;
  EXPECT_EQ(Call_GetDSPList(reinterpret_cast<uintptr_t>(&dsp)), 0);
  return dsp;
}

std::string hex(const void* p) {
  std::ostringstream s;
  s << std::hex << "0x" << reinterpret_cast<uintptr_t>(p);
  return s.str();
}

// The register writes of the log, "register value" each.
std::vector<std::string> portWrites(const std::string& log) {
  std::vector<std::string> writes;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("HostPortWrite 0 ", 0) == 0) writes.push_back(line.substr(16));
  return writes;
}

// The probe group with a DSP process type beside its host-native one.
class DSPProbeGroup : public hosttest::ProbeGroup {
public:
  void CreateEffectTypes() override {
    ProbeGroup::CreateEffectTypes();
    auto* type = new CDSPProcessType(0x44535031, 0x44535032, 0x10);
    type->DefineTypeNames("DSP Probe\nDSP");
    type->AttachEffectProcessCreator([]() -> CEffectProcess* { return new hosttest::ProbeProcess; }, nullptr);
    AddEffectType(type);
  }
};

} // namespace

TEST(DSPCardAccessTest, OldAccessSpeaksTheHostPortProtocolAndGivesUpWithoutWriting) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded(kDSI);
    driver.configure("cards=18:1; receive=0x800001,0x123456; port.3=0xFF");
    SPlugInUtilsGlobals::gUseNewDSI = false;
    CDSP chip;
    ASSERT_EQ(chip.Initialize(firstDSP()), 0);
    ASSERT_NE(chip.GetHostPort(), nullptr);
    EXPECT_EQ(portWrites(driver.log()), std::vector<std::string>{"3 254"}); // bit 0 of the control cleared

    driver.clearLog();
    EXPECT_EQ(chip.SendHostCommand(5), 0);
    EXPECT_EQ(chip.SendWord(0x7123456), 0);
    const int32_t two[] = {1, 0xFFFFFF};
    EXPECT_EQ(chip.DataThenCommand(2, 0, nullptr, 2, two), 0);
    int32_t received[2] = {};
    EXPECT_EQ(chip.ReceiveWords(2, received), 0);
    EXPECT_EQ(received[0], -8388607); // bit 23 sign-extended
    EXPECT_EQ(received[1], 0x123456);
    EXPECT_EQ(portWrites(driver.log()),
              (std::vector<std::string>{"7 151",                                   // 5 + 18, pending
                                        "23 18", "27 52", "31 86",                 // high, middle, low
                                        "23 0", "27 0", "31 1", "23 255", "27 255", "31 255", "7 148"}));

    // A port that never becomes ready: each wait polls a million times and
    // more, then answers -7218 and writes nothing.
    struct Case {
      const char* script;
      std::function<int32_t()> call;
    };
    int32_t untouched = 77;
    std::vector<Case> cases = {
        {"port.11=0", [&] { return chip.SendWord(1); }},
        {"port.11=0", [&] { return chip.ReceiveWord(&untouched); }},
        {"port.11=0", [&] { return chip.SendHostCommandOnEmptyPort(1); }},
        {"port.11=0", [&] { return chip.CommandThenData(1, 0, nullptr, 1, two); }},
        {"port.11=7; port.7=0x80", [&] { return chip.SendHostCommand(1); }},
    };
    for (const Case& c : cases) {
      driver.reset();
      driver.configure(std::string("cards=18:1; receive=1; ") + c.script);
      chip.Initialize(firstDSP());
      driver.clearLog();
      int64_t before = driver.state("portReads");
      EXPECT_EQ(c.call(), kDSPErr_HostPortTimeOut) << c.script;
      EXPECT_EQ(driver.state("portReads") - before, kHostPortPolls + 1) << c.script;
      EXPECT_TRUE(portWrites(driver.log()).empty()) << c.script << "\n" << driver.log();
    }
    EXPECT_EQ(untouched, 77);

    CDSP noChip;
    ASSERT_EQ(noChip.Initialize(nullptr), 0);
    EXPECT_EQ(noChip.ReceiveWord(&untouched), kDSPErr_NoChip);
    EXPECT_EQ(noChip.SendHostCommand(1), kDSPErr_NoChip);
  });
}

TEST(DSPCardAccessTest, NewAccessNumbersEachFamilysCommandsThroughTheDriver) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded(kDSI);
    driver.configure("cards=21:1");
    SPlugInUtilsGlobals::gUseNewDSI = true;
    DSPRecord* dsp = firstDSP();
    const std::string d = hex(dsp);

    CProcessDSP base;
    C321ChipDSP chip321;
    COnyxChipDSP onyx;
    CPrestoChipDSP presto;
    struct Family {
      CDSP* chip;
      int32_t command3;
    } families[] = {{&base, 21}, {&chip321, 61}, {&onyx, 122}, {&presto, 154}};
    for (const Family& f : families) {
      ASSERT_EQ(f.chip->Initialize(dsp), 0);
      EXPECT_EQ(f.chip->GetHostPort(), nullptr);
      driver.clearLog();
      EXPECT_EQ(f.chip->SendHostCommand(3), 0);
      EXPECT_NE(driver.log().find("DsiDoHostCommand " + d + " " + std::to_string(f.command3) + " 1000000000"),
                std::string::npos)
          << driver.log();
    }

    // Requests go out on the memory command after the words; the range and
    // single addresses carry the family's offset.
    driver.clearLog();
    EXPECT_EQ(presto.SetAddressRange(1, 2), 0);
    EXPECT_EQ(chip321.SetSingleAddress(3), 0);
    const int32_t words[] = {4, 5};
    EXPECT_EQ(base.SendWords(2, words), 0);
    std::string log = driver.log();
    for (const std::string& line :
         {"DsiDoHostCommandWithDataList " + d + " 174 0 0 5 8 16777215 16777215 8394753 8394754",
          "DsiDoHostCommandWithDataList " + d + " 71 0 0 4 7 16777215 16777215 8394755",
          "DsiSendLo24of32Check " + d + " 2 4 5 2000000000"})
      EXPECT_NE(log.find(line), std::string::npos) << line << "\nin\n" << log;
    EXPECT_EQ(presto.GetRangeLast(), 2);

    // The time of day: 8 bits of the first word over 24 of the second; the
    // first word's sign reaches the debugger.
    std::vector<std::string> messages;
    platform::setDebugOutputHandler([&](const std::string& m) { messages.push_back(m); });
    driver.configure("receive=0x800080,0xABCDEF");
    EXPECT_EQ(base.GetCurrentTimeOfDay(), 0x80ABCDEFu);
    EXPECT_EQ(messages, std::vector<std::string>{"5CProcessDSP::GetCurrentTimeOfDay TODHi is negative!;g"});
    platform::setDebugOutputHandler(nullptr);

    int32_t one = 1;
    const int32_t* block = &one;
    const int32_t head[3] = {}, tail[2] = {};
    EXPECT_EQ(base.SetStateData(head, 2, 0, &block, 1, tail, &block, 1), kDSPErr_StateMemory);
    EXPECT_EQ(base.SetStateData(head, 1, 0, nullptr, 1, tail, &block, 1), kDSPErr_StateMemory);
    EXPECT_EQ(base.GetNesting(), 0);
  });
}

TEST(DSPCardAccessTest, AProgramLoadsFromTheBundleAndTheChipAnswersTheManagersRoutines) {
  inIsolation([] {
    SimLibrary driver = SimLibrary::hostLoaded(kDSI);
    driver.configure("cards=18:1,20:1");
    SPlugInUtilsGlobals::gUseNewDSI = true;
    TempDir dir("zarn-dsp");
    dir.write("Plug.bundle/Info.txt", "CFBundleIdentifier=org.example.plug\n");
    dir.write("Plug.bundle/Resources/SACD/1000", "echo-program");
    BundleRef bundle = platform::Bundle::open(dir.file("Plug.bundle"));
    DSPRecord* dsp = firstDSP();
    ShellRecord* firstShell = nullptr;
    ASSERT_EQ(Call_GetShellList(reinterpret_cast<uintptr_t>(&firstShell)), 0);

    CProcessDSP chip;
    ASSERT_EQ(chip.Initialize(dsp), 0);
    platform::ResourceFileRef before = platform::currentResourceFile();
    try {
      chip.LoadProgram(bundle, 1001);
      ADD_FAILURE() << "a missing program loaded";
    } catch (const CDAEError& e) {
      EXPECT_EQ(e.GetErrorCode(), kDSPErr_ProgramMissing);
    }
    driver.clearLog();
    chip.LoadProgram(bundle, 1000);
    EXPECT_EQ(platform::currentResourceFile(), before);
    const std::string d = hex(dsp);
    std::string log = driver.log();
    size_t reset = log.find("ResetDSP " + d);
    size_t first = log.find("DsiLoadShell " + d + " " + hex(firstShell) + " 0x0");
    size_t own = log.find("DsiLoadShell " + d + " " + hex(chip.GetShell()) + " " + hex(&chip) +
                          " program=echo-program");
    ASSERT_NE(own, std::string::npos) << log;
    EXPECT_LT(reset, first);
    EXPECT_LT(first, own);
    uintptr_t client = 0;
    ASSERT_EQ(GetDSPClientVal(dsp, &client), 0);
    EXPECT_EQ(client, reinterpret_cast<uintptr_t>(&chip));

    // Every selector of the table reaches the chip's operation; others are null.
    EXPECT_EQ(DSPManagerRoutineTable(255), 0u);
    EXPECT_EQ(DSPManagerRoutineTable(274), 0u);
    auto routine = [](int16_t s) { return reinterpret_cast<DSPManagerRoutine>(DSPManagerRoutineTable(s)); };
    int32_t value = 0;
    driver.clearLog();
    EXPECT_EQ(routine(256)(dsp, 0x10, reinterpret_cast<uintptr_t>(&value), 0), 0);
    EXPECT_EQ(value, 0x100010);
    EXPECT_EQ(routine(266)(dsp, 0, 0, 0), 0); // shell initialise: the program's host command 0
    EXPECT_EQ(routine(267)(dsp, 0, 0, 0), 0);
    EXPECT_EQ(routine(268)(dsp, 0, 0, 0), 0);
    EXPECT_EQ(routine(273)(dsp, 5, reinterpret_cast<uintptr_t>(&value), 0), 0); // no group: the driver's
    EXPECT_EQ(value, 5);
    log = driver.log();
    for (const std::string& line : {"SGetXWord " + d + " 0x10", "DsiDoHostCommand " + d + " 18 ",
                                    "DsiDoHostCommand " + d + " 19 ", "SPauseShell " + d, "SGetDSPCodeInfo " + d + " 5"})
      EXPECT_NE(log.find(line), std::string::npos) << line << "\nin\n" << log;

    // The exported helpers find the chip as the manager does.
    driver.configure("receive=0x654321");
    EXPECT_EQ(CDSPGetLoLong(dsp), 0x654321);
    EXPECT_EQ(CDSPGetLoLong(nullptr), 0);

    chip.ReleaseChip();
    ASSERT_EQ(GetDSPClientVal(dsp, &client), 0);
    EXPECT_EQ(client, 0u);
    driver.clearLog();
    EXPECT_EQ(routine(256)(dsp, 0x10, reinterpret_cast<uintptr_t>(&value), 0), 0); // no chip: the lookup's 0
    EXPECT_EQ(driver.log().find("SGetXWord"), std::string::npos);
  });
}

TEST(DSPCardAccessTest, TheRoutineTableRoundTripsThroughTheBundlesDispatcherAtFullWidth) {
  inIsolation([] {
    for (const char* framework : {"DAE.framework", kDSI, "DSPManager.framework"}) SimLibrary::hostLoaded(framework);
    uintptr_t direct = DSPManagerRoutineTable(262);
    ASSERT_EQ(NewMachOPlugIn(hosttest::TestGainBundlePath().c_str()), 0);
    auto dispatcher = reinterpret_cast<uintptr_t (*)(const SDispatchHeader*)>(
        platform::Bundle::open(CProcessGroupGetBundleRef())->function("Dispatcher"));
    ASSERT_NE(dispatcher, nullptr);
    ASSERT_NE(reinterpret_cast<void*>(dispatcher), reinterpret_cast<void*>(&Dispatcher)); // the bundle's own

    const uintptr_t wide = static_cast<uintptr_t>(0x89ABCDEF12345678ull);
    SDispatchRoutineLookup lookup{{1, kDispatchRoutineLookup}, 300, wide};
    EXPECT_EQ(dispatcher(&lookup.fHeader), wide);
    SDispatchShellEvent event{{1, kDispatchShellInit}, nullptr, wide};
    EXPECT_EQ(dispatcher(&event.fHeader), 0u);
    EXPECT_EQ(dispatcher(nullptr), 0u);
    for (int16_t s = kFirstDSPManagerSelector; s <= kLastDSPManagerSelector; ++s) {
      SCOPED_TRACE(s);
      uintptr_t answer = DSPManagerRoutineTable(s);
      EXPECT_NE(answer, 0u);
      EXPECT_GT(answer, uintptr_t{0xFFFFFFFF}); // no routine of this process fits in 32 bits
    }
    EXPECT_EQ(DSPManagerRoutineTable(262), direct);
    CloseMachOPlugIn();
  });
}

TEST(DSPCardAccessTest, TheManagersInterfaceIsKeptWithOneReferenceAndItsAbsenceRefusesDSPProcesses) {
  int creations = 0;
  static int* sCreations = nullptr;
  sCreations = &creations;
  auto instantiate = [] {
    CDSPProcessType type(0x64737074, 0x64737032, 0);
    type.AttachEffectProcessCreator([]() -> CEffectProcess* { ++*sCreations; return nullptr; }, nullptr);
    try {
      type.InstantiateProcess(1);
    } catch (const CDAEError& e) {
      return e.GetErrorCode();
    }
    return 0;
  };
  inIsolation([&] {
    SimLibrary manager = SimLibrary::hostLoaded("DSPManager.framework");
    manager.reset();
    IDSPManagerUnknown* found = GetDSPManagerInterface();
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(GetDSPManagerInterface(), found);
    EXPECT_EQ(manager.state("managerRefs"), 0);
    EXPECT_EQ(manager.state("interfaceRefs"), 1);
    EXPECT_EQ(instantiate(), kPlugInErr_NoMemory); // past the manager: the creator's null
    EXPECT_EQ(creations, 1);
    FreeDSPMgrLibAccess();
    EXPECT_EQ(manager.state("interfaceRefs"), 0);

    manager.configure("refuse=1");
    EXPECT_EQ(GetDSPManagerInterface(), nullptr);
    EXPECT_EQ(manager.state("managerRefs"), 0);
    EXPECT_EQ(instantiate(), kDSPErr_NoDSPManager);
    manager.configure("refuse=0; result.GetDSPManager=0");
    EXPECT_EQ(instantiate(), kDSPErr_NoDSPManager);
    EXPECT_EQ(creations, 1);
  });
}

TEST(DSPCardAccessTest, TheHostIsRefusedADSPProcessWithMinus7080WhileItHasNoDSPManager) {
  inIsolation([] {
    simhost::SimHost host;
    hosttest::SetGroupFactory([] { return new DSPProbeGroup; });
    ASSERT_EQ(host.attach(hosttest::InProcessEntryPoints(), ""), 0);
    platform::Bundle* library = platform::Bundle::findByIdentifier("org.example.simhost.DSPManager");
    ASSERT_NE(library, nullptr);
    auto configure = reinterpret_cast<SimEngineConfigureProc>(library->function(sim::kConfigure));
    ASSERT_EQ(configure("refuse=1"), 0);
    try {
      host.createInstance(2);
      ADD_FAILURE() << "a DSP process without a DSP manager";
    } catch (const simhost::HostError& e) {
      EXPECT_EQ(e.status(), kDSPErr_NoDSPManager);
    }
    EXPECT_NE(host.createInstance(1), nullptr); // the host-native type is untouched
    ASSERT_EQ(configure("refuse=0"), 0);
    EXPECT_NE(host.createInstance(2), nullptr);
    host.unload();
    hosttest::SetGroupFactory(nullptr);
  });
}
