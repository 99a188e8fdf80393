#include "host/services/DAECalls.h"

#include "host/services/EngineLibAccess.h"
#include "tests/host/services/EngineTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

using namespace zarn::test;

// Once the engine is bound, the main and the render thread call wrappers at
// the same time; the host's critical section, entered through them, keeps a
// plain counter consistent.
TEST(DAECallsThreadTest, TwoThreadsShareAHostCriticalSectionThroughTheWrappers) {
  inIsolation([] {
    SimLibrary engine = SimLibrary::hostLoaded("DAE.framework");
    ASSERT_EQ(InitializeDAELibAccess(), 0);
    uintptr_t section = Call_FicCreateCriticalSection();
    ASSERT_NE(section, 0u);
    long counter = 0;
    constexpr int kRounds = 20000;
    auto work = [&] {
      for (int i = 0; i < kRounds; ++i) {
        ASSERT_EQ(Call_FicEnterCriticalSection(section), 0);
        ++counter;
        ASSERT_EQ(Call_FicLeaveCriticalSection(section), 0);
        ASSERT_EQ(Call_FicIsAlive(), 1);
      }
    };
    std::thread render(work);
    work();
    render.join();
    EXPECT_EQ(counter, 2L * kRounds);
    EXPECT_EQ(engine.state("enters"), 2 * kRounds);
    EXPECT_EQ(Call_FicDeleteCriticalSection(section), 0);
  });
}
