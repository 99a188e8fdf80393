#include "host/services/EngineLibAccess.h"

#include "host/services/CDAEError.h"
#include "host/services/DSICalls.h"
#include "host/services/EngineEntryIDs.h"
#include "platform/LoadedBundles.h"
#include "platform/ResourceFile.h"
#include "tests/host/services/EngineTestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

using namespace zarn::test;

namespace {

const char* kDAE = "DAE.framework";
const char* kDSI = "CardDriverInterface.framework";
const char* kDSPMgr = "DSPManager.framework";

std::string identifier(const unsigned char* p) { return PStringToString(p); }

} // namespace

TEST(EngineLibAccessTest, BuiltFrameworksCarryTheIdentifiersThePlugInLooksFor) {
  inIsolation([] {
    for (auto [folder, id] : {std::pair{kDAE, kDAELibraryIdentifier.text}, std::pair{kDSI, kDSILibraryIdentifier.text},
                              std::pair{kDSPMgr, kDSPMgrLibraryIdentifier.text}}) {
      platform::Bundle* b = platform::Bundle::open(engineFrameworksFolder() + "/" + folder);
      ASSERT_NE(b, nullptr) << folder;
      EXPECT_EQ(b->identifier(), identifier(id));
    }
  });
}

TEST(EngineLibAccessTest, FindsTheHostsLoadedAudioEngineByIdentifierOnce) {
  inIsolation([] {
    HostInstallation host; // nothing installed: the identifier is the only road
    SimLibrary engine = SimLibrary::hostLoaded(kDAE);
    ASSERT_EQ(InitializeDAELibAccess(), 0);
    CDAELibAccess* access = gDAELibAccess.load();
    ASSERT_NE(access, nullptr);
    EXPECT_EQ(access->GetBundle(), engine.bundle());
    EXPECT_EQ(access->GetEntryCount(), 531);
    // Every entry the wrappers call is resolved; ids without a name are not.
    for (int32_t id : {0, 1, 2, 5, 6, 162, 197, 234, 302, 327, 328, 341, 343, 345, 347, 349, 351, 353, 355, 357, 359,
                       366, 403, 405, 410, 434, 435, 436, 437, 479, 487, 488, 489, 495, 496, 497, 498, 529, 530})
      EXPECT_NE(access->GetFunction(id), nullptr) << id;
    EXPECT_EQ(access->GetFunction(3), nullptr);
    EXPECT_EQ(access->BindFunction(3), HostStatus::kEntryNameUnknown);
    EXPECT_EQ(access->BindFunction(kDAE_FicGestalt), 0); // already bound

    // A second initialisation keeps the object; freeing twice is harmless.
    EXPECT_EQ(InitializeDAELibAccess(), 0);
    EXPECT_EQ(gDAELibAccess.load(), access);
    EXPECT_EQ(FreeDAELibAccess(), 0);
    EXPECT_EQ(gDAELibAccess.load(), nullptr);
    EXPECT_EQ(FreeDAELibAccess(), 0);
  });
}

TEST(EngineLibAccessTest, FindsTheAudioEngineBesideTheApplicationThenInTheFrameworksFolder) {
  inIsolation([] {
    HostInstallation host;
    host.install(kDAE, host.applicationsFolder(), "DAE.framework");
    host.install(kDAE, host.frameworksFolder(), "DAE.framework");
    ASSERT_EQ(InitializeDAELibAccess(), 0);
    EXPECT_EQ(gDAELibAccess.load()->GetBundle()->path(),
              platform::Bundle::open(host.applicationsFolder() + "/DAE.framework")->path());
    FreeDAELibAccess();
  });
  inIsolation([] {
    HostInstallation host;
    host.install(kDAE, host.frameworksFolder(), "DAE.framework");
    ASSERT_EQ(InitializeDAELibAccess(), 0);
    EXPECT_EQ(gDAELibAccess.load()->GetBundle()->path(),
              platform::Bundle::open(host.frameworksFolder() + "/DAE.framework")->path());
    EXPECT_NE(gDAELibAccess.load()->GetFunction(kDAE_FicMain), nullptr);
  });
}

TEST(EngineLibAccessTest, AMissingAudioEngineIsReportedAndTheNextUseTriesAgain) {
  inIsolation([] {
    HostInstallation host;
    EXPECT_EQ(InitializeDAELibAccess(), HostStatus::kFrameworkNotFound);
    EXPECT_EQ(gDAELibAccess.load(), nullptr);
    host.install(kDAE, host.frameworksFolder(), "DAE.framework");
    EXPECT_EQ(InitializeDAELibAccess(), 0);
    EXPECT_NE(gDAELibAccess.load(), nullptr);
  });
  // Without the host root the folder is the file system's, which has none.
  inIsolation([] {
    HostInstallation host;
    ScopedEnvironment noRoot("ZARN_HOST_ROOT", std::nullopt);
    EXPECT_EQ(InitializeDAELibAccess(), HostStatus::kFrameworkNotFound);
  });
}

TEST(EngineLibAccessTest, AFrameworkThatCannotBeLoadedGivesMinus9065) {
  inIsolation([] {
    HostInstallation host;
    // Beside the application a framework without an executable; the
    // frameworks folder has nothing, so that folder's answer counts.
    host.dir().write("Applications/DAE.framework/Info.txt", "CFBundleExecutable=Missing.so\n");
    EXPECT_EQ(InitializeDAELibAccess(), HostStatus::kFrameworkNotFound);
    // A broken executable in the last folder tried.
    host.dir().write("Library/Frameworks/DAE.framework/Info.txt", "CFBundleExecutable=Broken.so\n");
    host.dir().write("Library/Frameworks/DAE.framework/Broken.so", "not a shared object");
    EXPECT_EQ(InitializeDAELibAccess(), HostStatus::kBundleNotLoadable);
    EXPECT_EQ(gDAELibAccess.load(), nullptr);
  });
  inIsolation([] {
    HostInstallation host;
    host.dir().write("Library/Frameworks/DAE.framework", "a file, not a bundle");
    EXPECT_EQ(InitializeDAELibAccess(), HostStatus::kBundleNotLoadable);
  });
  inIsolation([] {
    HostInstallation host;
    ScopedEnvironment relative("ZARN_HOST_ROOT", "relative/root");
    EXPECT_EQ(InitializeDAELibAccess(), HostStatus::kBundleNotLoadable);
  });
}

TEST(EngineLibAccessTest, TheDriverInterfaceAndTheDSPManagerAreFoundByIdentifierOnly) {
  inIsolation([] {
    HostInstallation host;
    host.install(kDSI, host.frameworksFolder(), "CardDriverInterface.framework");
    host.install(kDSPMgr, host.frameworksFolder(), "DSPManager.framework");
    EXPECT_EQ(Call_InitSADriver(), HostStatus::kBundleNotLoadable);
    EXPECT_EQ(gDSILibAccess.load(), nullptr);
    EXPECT_EQ(GetDSPManager(), nullptr);
    EXPECT_EQ(gDSPMgrLibAccess.load(), nullptr);

    SimLibrary::hostLoaded(kDSI);
    SimLibrary manager = SimLibrary::hostLoaded(kDSPMgr);
    EXPECT_EQ(Call_InitSADriver(), 0);
    EXPECT_EQ(gDSILibAccess.load()->GetEntryCount(), 225);
    // Ids 0 and 1 both name the driver's initialisation.
    EXPECT_EQ(gDSILibAccess.load()->GetFunction(kDSI_InitSADriverFirst),
              gDSILibAccess.load()->GetFunction(kDSI_InitSADriver));
    void* object = GetDSPManager();
    EXPECT_NE(object, nullptr);
    EXPECT_EQ(GetDSPManager(), object);
    EXPECT_EQ(manager.log(), "GetDSPManager\nGetDSPManager\n");
    FreeDSILibAccess();
    FreeDSPMgrLibAccess();
    EXPECT_EQ(gDSILibAccess.load(), nullptr);
    EXPECT_EQ(gDSPMgrLibAccess.load(), nullptr);
  });
}

TEST(EngineLibAccessTest, ADSPManagerWithoutItsEntryGivesNoManager) {
  inIsolation([] {
    SimLibrary manager = SimLibrary::hostLoaded(kDSPMgr);
    manager.configure("missing=GetDSPManager");
    EXPECT_EQ(GetDSPManager(), nullptr);
    EXPECT_NE(gDSPMgrLibAccess.load(), nullptr); // the library itself was bound
    EXPECT_EQ(manager.log(), "");
  });
}

TEST(EngineLibAccessTest, AnEntryTheLibraryLacksLeavesOnlyItsSlotEmpty) {
  inIsolation([] {
    SimLibrary engine = SimLibrary::hostLoaded(kDAE);
    engine.configure("missing=FicIsAlive, FicGestalt");
    ASSERT_EQ(InitializeDAELibAccess(), 0);
    CDAELibAccess* access = gDAELibAccess.load();
    EXPECT_EQ(access->GetFunction(kDAE_FicIsAlive), nullptr);
    EXPECT_EQ(access->GetFunction(kDAE_FicGestalt), nullptr);
    EXPECT_NE(access->GetFunction(kDAE_FicDelete), nullptr);
    EXPECT_EQ(access->BindFunction(kDAE_FicIsAlive), HostStatus::kEntryNameUnknown);
    // Once the library offers it, binding it later works.
    engine.configure("missing=");
    EXPECT_EQ(access->BindFunction(kDAE_FicIsAlive), 0);
    EXPECT_NE(access->GetFunction(kDAE_FicIsAlive), nullptr);
  });
}

namespace {

// An access object whose name lookup switches the resource file, as code
// run while a library loads may do.
class SwitchingAccess : public UDigiLibAccess {
public:
  SwitchingAccess(const unsigned char* id, platform::Bundle* other) : UDigiLibAccess(1, id), mOther(other) {}
  int32_t GetFunctionName(int32_t id, unsigned char* name) override {
    platform::openResourceMap(mOther);
    static const SDigiLibEntryName kNames[] = {{0, "GetDSPManager"}};
    return FindFunctionName(kNames, 1, id, name);
  }

private:
  platform::Bundle* mOther;
};

} // namespace

TEST(EngineLibAccessTest, LoadingLeavesTheCurrentResourceFileAsItWas) {
  inIsolation([] {
    HostInstallation host;
    TempDir dir;
    dir.write("Other.bundle/Resources/.keep", "");
    dir.write("Mine.bundle/Resources/.keep", "");
    platform::Bundle* other = platform::Bundle::open(dir.file("Other.bundle"));
    platform::ResourceFileRef mine = platform::openResourceMap(platform::Bundle::open(dir.file("Mine.bundle")));
    ASSERT_GT(mine, 0);

    SimLibrary::hostLoaded(kDSPMgr);
    SwitchingAccess loads(kDSPMgrLibraryIdentifier.text, other);
    EXPECT_EQ(loads.Load(), 0);
    EXPECT_NE(loads.GetFunction(0), nullptr);
    EXPECT_EQ(platform::currentResourceFile(), mine);

    SwitchingAccess fails(kDSILibraryIdentifier.text, other); // not loaded by the host
    EXPECT_EQ(fails.Load(), HostStatus::kBundleNotLoadable);
    EXPECT_EQ(platform::currentResourceFile(), mine);
  });
}

TEST(EngineLibAccessTest, TheStreamManagerIsLookedForByFileName) {
  inIsolation([] {
    HostInstallation host;
    SwitchingAccess none(kStreamManagerLibraryIdentifier.text, nullptr);
    EXPECT_EQ(none.Load(), HostStatus::kFrameworkNotFound);
    EXPECT_EQ(none.GetBundle(), nullptr);

    // Any framework folder of that name will do for the search.
    host.install(kDSPMgr, host.frameworksFolder(), "DigiStreamManager.framework");
    SwitchingAccess found(kStreamManagerLibraryIdentifier.text, nullptr);
    EXPECT_EQ(found.Load(), 0);
    EXPECT_NE(found.GetFunction(0), nullptr);
  });
}

// A host built as its own program loads its engine libraries itself, outside
// the plug-in's bundle registry; the plug-in still finds them by identifier.
TEST(EngineLibAccessTest, FindsLibrariesTheHostLoadedWithoutTheBundleLayer) {
  inIsolation([] {
    HostInstallation host;
    host.install(kDSPMgr, host.dir().path(), "Elsewhere.framework");
    void* handle = dlopen(host.dir().file("Elsewhere.framework/SimDSPManager.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    EXPECT_EQ(platform::Bundle::findByIdentifier(identifier(kDSPMgrLibraryIdentifier.text)), nullptr);
    EXPECT_NE(GetDSPManager(), nullptr);
    EXPECT_EQ(gDSPMgrLibAccess.load()->GetBundle(), platform::Bundle::open(host.dir().file("Elsewhere.framework")));
    // Only folders laid out as bundles count; other libraries are skipped.
    EXPECT_EQ(platform::findLoadedBundle("org.example.none"), nullptr);
  });
}
