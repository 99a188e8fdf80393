#include "tests/host/services/EngineTestSupport.h"

#include "tests/support/ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zarn::test {

std::string engineFrameworksFolder() {
  if (const char* env = std::getenv("ZARN_ENGINE_FRAMEWORKS"); env && *env) return env;
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  std::string exe(buffer, n > 0 ? static_cast<size_t>(n) : 0);
  // The test programs live in <build>/tests, the frameworks in
  // <build>/tools/engine/Frameworks.
  return exe.substr(0, exe.rfind('/')) + "/../tools/engine/Frameworks";
}

void inIsolation(const std::function<void()>& body) {
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t child = ::fork();
  ASSERT_GE(child, 0) << "fork failed";
  if (child == 0) {
    body();
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  ASSERT_TRUE(zarn::test::awaitChild(child, status)) << "the isolated part did not end and was killed";
  ASSERT_TRUE(WIFEXITED(status)) << "the isolated part ended abnormally";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the isolated part failed (see its output above)";
}

SimLibrary::SimLibrary(platform::Bundle* bundle) : mBundle(bundle) {}

SimLibrary SimLibrary::hostLoaded(const std::string& frameworkFolder) {
  platform::Bundle* b = platform::Bundle::open(engineFrameworksFolder() + "/" + frameworkFolder);
  EXPECT_NE(b, nullptr) << frameworkFolder;
  if (b) {
    EXPECT_TRUE(b->loadExecutable()) << frameworkFolder;
  }
  return SimLibrary(b);
}

namespace {
template <class Proc> Proc lookUp(platform::Bundle* b, const char* name) {
  void* f = b ? b->function(name) : nullptr;
  if (!f) ADD_FAILURE() << "the simulated library has no " << name;
  return reinterpret_cast<Proc>(f);
}
} // namespace

void SimLibrary::configure(const std::string& settings) const {
  if (auto f = lookUp<SimEngineConfigureProc>(mBundle, sim::kConfigure)) {
    EXPECT_EQ(f(settings.c_str()), 0) << settings;
  }
}
void SimLibrary::reset() const {
  if (auto f = lookUp<SimEngineResetProc>(mBundle, sim::kReset)) f();
}
std::string SimLibrary::log() const {
  auto f = lookUp<SimEngineLogProc>(mBundle, sim::kLog);
  return f ? f() : "";
}
void SimLibrary::clearLog() const {
  if (auto f = lookUp<SimEngineClearLogProc>(mBundle, sim::kClearLog)) f();
}
int64_t SimLibrary::state(const std::string& name) const {
  auto f = lookUp<SimEngineStateProc>(mBundle, sim::kState);
  return f ? f(name.c_str()) : -1;
}
void SimLibrary::postToken(uintptr_t token, uintptr_t task, uintptr_t taskValue) const {
  if (auto f = lookUp<SimEnginePostTokenProc>(mBundle, sim::kPostToken)) f(token, task, taskValue);
}

HostInstallation::HostInstallation() {
  mDir.write("Applications/Host.app/Info.txt", "CFBundleIdentifier=org.example.simhost.Application\n");
  mDir.write("Library/Frameworks/.keep", "");
  mMain = std::make_unique<ScopedEnvironment>("ZARN_MAIN_BUNDLE", mDir.file("Applications/Host.app"));
  mRoot = std::make_unique<ScopedEnvironment>("ZARN_HOST_ROOT", mDir.path());
}

void HostInstallation::install(const std::string& framework, const std::string& folder,
                               const std::string& asName) const {
  namespace fs = std::filesystem;
  fs::copy(engineFrameworksFolder() + "/" + framework, folder + "/" + asName, fs::copy_options::recursive);
}

} // namespace zarn::test
