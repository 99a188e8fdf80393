#pragma once

// The GUI thread's event loop: timers on the platform clock, file
// descriptors to wait on, and idle hooks that run after each pass (the
// window server draws what was invalidated there).
//
// Time comes from platform::microseconds(). On the virtual clock runFor()
// steps the clock from one timer's due time to the next, so a test that runs
// 1500 ms sees every 50 ms tick fire at its exact time, and nothing waits for
// real. On the real clock runFor() sleeps in poll() until the next timer or a
// watched descriptor wakes it.
//
// A timer may be removed at any time, also from inside its own callback: the
// callback being run stays alive until it returns, and a removed timer never
// fires again. Menus and dialogs of a real display run a nested loop with
// runUntil(). The loop belongs to one thread; nothing here locks.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include <poll.h>

namespace platform {

class RunLoop {
public:
  using Callback = std::function<void()>;
  using TimerId = uint64_t;

  RunLoop() = default;
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // The loop of the GUI thread.
  static RunLoop& main();

  // A timer that fires first `firstUs` from now and then every `intervalUs`
  // (0: once). Never returns 0. A timer with a leeway may fire up to that
  // much before it is due on a pass the loop makes anyway, and its next time
  // is then counted from that firing; the loop never wakes early for it. A
  // timer that need not be punctual so shares the wakes of the others, and
  // an idle thread sleeps until something else is due.
  TimerId addTimer(int64_t firstUs, int64_t intervalUs, Callback callback, int64_t leewayUs = 0);
  // Safe inside the timer's own callback and for an id already removed.
  void removeTimer(TimerId id);
  bool hasTimer(TimerId id) const { return timers.count(id) != 0; }
  size_t timerCount() const { return timers.size(); }

  // Calls onReadable whenever fd has data to read (real clock only; the
  // virtual clock never waits).
  void watch(int fd, Callback onReadable);
  void unwatch(int fd);

  // Runs after every pass of the loop; returns an id for removeIdle.
  uint64_t addIdle(Callback callback);
  void removeIdle(uint64_t id);

  // One pass: fires every timer that is due now (each at most once), then the
  // idle hooks. Returns the number of timers fired.
  int runDue();
  // Runs the loop for `us` microseconds of the platform clock.
  void runFor(int64_t us);
  // Runs until done() is true (checked after each pass) or `timeoutUs` has
  // passed; true when done() became true.
  bool runUntil(const std::function<bool()>& done, int64_t timeoutUs);

  // Due time of the earliest timer, or INT64_MAX.
  int64_t nextDue() const;

private:
  struct Timer {
    int64_t due;
    int64_t interval;
    int64_t leeway;
    Callback callback;
  };

  // What a pass lists while it calls out; one set per nesting depth (a
  // menu's loop runs inside a callback), kept so that a pass allocates
  // nothing once the loop has run.
  struct PassLists {
    std::vector<std::pair<int64_t, TimerId>> due;
    std::vector<std::shared_ptr<Callback>> hooks;
    std::vector<pollfd> polls;
    std::vector<int> ready;
  };
  PassLists& passLists();

  void waitUntil(int64_t deadline);

  std::vector<std::unique_ptr<PassLists>> lists;
  size_t depth = 0;
  std::map<TimerId, std::shared_ptr<Timer>> timers;
  std::map<int, std::shared_ptr<Callback>> watched;
  std::map<uint64_t, std::shared_ptr<Callback>> idles;
  TimerId nextId = 1;
  uint64_t nextIdleId = 1;
};

} // namespace platform
