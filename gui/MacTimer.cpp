#include "gui/MacTimer.h"

#include "platform/WindowServer.h"

namespace gui {

MacTimer::MacTimer(UserInterface* userInterface) : Timer(userInterface) {}

MacTimer::~MacTimer() { clearTimer(); }

void MacTimer::clearTimer() {
  if (installed) platform::WindowServer::current().runLoop().removeTimer(installed);
  installed = 0;
}

void MacTimer::updateTimer() {
  clearTimer();
  if (!enabled || interval <= 0) return;
  const int64_t us = static_cast<int64_t>(interval) * 1000;
  installed = platform::WindowServer::current().runLoop().addTimer(us, us, [this] { timerHandlerProc(this); });
}

void MacTimer::timerHandlerProc(MacTimer* timer) {
  // The handler may delete the timer: nothing is touched after it.
  if (timer->enabled) timer->onTimer(timer);
}

} // namespace gui
