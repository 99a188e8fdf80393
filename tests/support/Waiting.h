#pragma once
// How a test waits for what another thread, another process or another
// client of the display does.
//
// A test that looks at once sees the other side's state before it has
// caught up whenever the machine is busy; one that sleeps a fixed while
// is slow when the machine is quiet and still wrong when it is not. So a
// test waits for the state itself, up to a deadline that is no measure of
// speed (generous: a loaded CI machine may take seconds for what takes a
// millisecond here), and fails in its own words when the deadline passes.
//
// - eventually(): polls a condition that nobody can announce (a window
//   gone from the display, a file a child writes, a process ended). The
//   polls start short and grow to 10 ms.
// - Baton: a number one thread passes and another waits for, blocking on
//   a condition variable: no core spins, so a hand-off takes as long on a
//   machine whose cores are all busy as the scheduler needs to wake the
//   waiter, and two threads can hand thousands of rounds back and forth.
//   Passing the baton orders everything the passing thread did before it
//   ahead of everything the waiter does after it (as a release and an
//   acquire would).

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace zarn::test {

// Long enough for any state a test waits for on a busy machine.
inline constexpr std::chrono::seconds cPatience{20};

// True once done() holds; false if it still does not after `limit`.
template <class F> bool eventually(F done, std::chrono::milliseconds limit = cPatience) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  auto pause = std::chrono::microseconds(200);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return done();
    std::this_thread::sleep_for(pause);
    pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(10));
  }
}

class Baton {
public:
  Baton() = default;
  explicit Baton(int initial) : mValue(initial) {}
  void pass(int value) {
    {
      std::lock_guard<std::mutex> lock(mMutex);
      mValue = value;
    }
    mChanged.notify_all();
  }
  // True once the baton holds `wanted`; false if it does not after `limit`.
  bool awaitValue(int wanted, std::chrono::milliseconds limit = cPatience) {
    std::unique_lock<std::mutex> lock(mMutex);
    return mChanged.wait_for(lock, limit, [&] { return mValue == wanted; });
  }
  // The baton's value once it holds either `wanted` or `other` (a word
  // that the passer has given up, say); `other` too if neither comes
  // within `limit`.
  int awaitEither(int wanted, int other, std::chrono::milliseconds limit = cPatience) {
    std::unique_lock<std::mutex> lock(mMutex);
    return mChanged.wait_for(lock, limit, [&] { return mValue == wanted || mValue == other; }) ? mValue : other;
  }
  int value() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mValue;
  }

private:
  std::mutex mMutex;
  std::condition_variable mChanged;
  int mValue = 0;
};

} // namespace zarn::test
