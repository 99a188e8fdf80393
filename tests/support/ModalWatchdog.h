#pragma once
// A test's hand thread ends a menu or dialog the test opened in-process.
// If the hand gives up (its wait for the menu timed out on a loaded
// machine), nothing else would end the nested loop and the test would hang
// until ctest's timeout. The watchdog, a one-shot timer on the loop that
// runs the modal, cancels it after a long wait instead, so the test fails on
// its own expectations. Thread: the loop's.

#include "platform/RunLoop.h"
#include "platform/WindowServer.h"

#include <cstdint>

namespace zarn::test {

class ModalWatchdog {
public:
  ModalWatchdog(platform::RunLoop& loop, platform::WindowServer& server, int64_t afterUs = 60'000'000)
      : mLoop(loop), mTimer(loop.addTimer(afterUs, 0, [&server] { server.cancelModal(); })) {}
  ~ModalWatchdog() { mLoop.removeTimer(mTimer); }
  ModalWatchdog(const ModalWatchdog&) = delete;
  ModalWatchdog& operator=(const ModalWatchdog&) = delete;

private:
  platform::RunLoop& mLoop;
  platform::RunLoop::TimerId mTimer;
};

} // namespace zarn::test
