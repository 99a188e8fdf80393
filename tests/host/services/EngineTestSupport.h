#pragma once

// Helpers for tests that bind the simulated engine libraries the way the
// plug-in does. Loaded libraries stay in the process and the engine holders
// are process-wide, so each such test runs its body in a child process
// (inIsolation) and the test program itself never loads an engine.

#include "platform/Bundle.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"
#include "tools/engine/SimEngineControl.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zarn::test {

// The build tree's folder of simulated engine frameworks.
std::string engineFrameworksFolder();

// Runs body in a forked child; its failures are reported by the child and
// make the calling test fail.
void inIsolation(const std::function<void()>& body);

// One simulated engine library, reached through its control entry points.
class SimLibrary {
public:
  explicit SimLibrary(platform::Bundle* bundle);
  // The framework folder's bundle, opened and loaded as the host loads its
  // engine ("DAE.framework", "CardDriverInterface.framework",
  // "DSPManager.framework").
  static SimLibrary hostLoaded(const std::string& frameworkFolder);

  platform::Bundle* bundle() const { return mBundle; }
  void configure(const std::string& settings) const;
  void reset() const;
  std::string log() const;
  void clearLog() const;
  int64_t state(const std::string& name) const;
  void postToken(uintptr_t token, uintptr_t task, uintptr_t taskValue) const;

private:
  platform::Bundle* mBundle;
};

// A host installation in a temporary folder: the host application
// "Applications/Host.app" (the process's main bundle while the object lives)
// and the host root with "Library/Frameworks".
class HostInstallation {
public:
  HostInstallation();
  std::string applicationsFolder() const { return mDir.file("Applications"); }
  std::string frameworksFolder() const { return mDir.file("Library/Frameworks"); }
  // Copies a built framework folder into folder under the name asName.
  void install(const std::string& framework, const std::string& folder, const std::string& asName) const;
  const TempDir& dir() const { return mDir; }

private:
  TempDir mDir{"zarn-host"};
  std::unique_ptr<ScopedEnvironment> mMain, mRoot;
};

} // namespace zarn::test
