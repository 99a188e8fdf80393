#pragma once

// The user interface's timer on the window server's run loop.

#include "gui/Timer.h"
#include "platform/RunLoop.h"

namespace gui {

class MacTimer : public Timer {
public:
  explicit MacTimer(UserInterface* userInterface);
  ~MacTimer() override;

protected:
  void updateTimer() override;

private:
  void clearTimer();
  static void timerHandlerProc(MacTimer* timer);

  platform::RunLoop::TimerId installed = 0;
};

} // namespace gui
