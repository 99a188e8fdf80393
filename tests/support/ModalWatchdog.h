#pragma once
// A test's hand thread ends a menu or dialog the test opened in-process.
// If the hand gives up (its wait for the menu timed out on a loaded
// machine), or the menu ignores what the hand did, nothing else would end
// the nested loop and the test would hang until ctest's timeout. The
// watchdog, a one-shot timer on the loop that runs the modal, cancels it
// after a long wait instead, and fails the test: its cancel returns just
// what Escape or a click outside would, so a case that expects a cancel
// could not tell the watchdog's from the user's. Thread: the loop's.

#include <gtest/gtest.h>

#include "platform/RunLoop.h"
#include "platform/WindowServer.h"

#include <cstdint>

namespace zarn::test {

class ModalWatchdog {
public:
  ModalWatchdog(platform::RunLoop& loop, platform::WindowServer& server, int64_t afterUs = 60'000'000)
      : mLoop(loop), mTimer(loop.addTimer(afterUs, 0, [&server, afterUs] {
          ADD_FAILURE() << "the watchdog cancelled what was still open after " << afterUs / 1'000'000
                        << " s: nothing the test did ended it";
          server.cancelModal();
        })) {}
  ~ModalWatchdog() { mLoop.removeTimer(mTimer); }
  ModalWatchdog(const ModalWatchdog&) = delete;
  ModalWatchdog& operator=(const ModalWatchdog&) = delete;

private:
  platform::RunLoop& mLoop;
  platform::RunLoop::TimerId mTimer;
};

} // namespace zarn::test
