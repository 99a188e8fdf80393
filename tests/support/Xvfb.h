#pragma once

#include <string>
#include <sys/types.h>

namespace zarn::test {

// A private X server for one test program: Xvfb on a display number it
// picks itself (-displayfd), so test programs running side by side never
// share one. Stopped by the destructor.
class Xvfb {
public:
  Xvfb();
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  bool running() const { return pid > 0 && !name.empty(); }
  // ":N", or empty when it did not start.
  const std::string& display() const { return name; }
  const std::string& error() const { return why; }

  // The one server of this test program, started on first use.
  static Xvfb& shared();

private:
  pid_t pid = -1;
  std::string name;
  std::string why;
};

} // namespace zarn::test

// Skips the test when no Xvfb could be started, except under CI=true where
// that fails it.
#define ZARN_REQUIRE_XVFB(server)                                                                                     \
  do {                                                                                                                \
    if (!(server).running()) {                                                                                        \
      const char* ci = std::getenv("CI");                                                                             \
      if (ci && std::string(ci) == "true") FAIL() << "Xvfb did not start: " << (server).error();                      \
      GTEST_SKIP() << "no X display for this test (Xvfb did not start: " << (server).error() << ")";                 \
    }                                                                                                                 \
  } while (0)
