#include "platform/RunLoop.h"

#include "platform/Clock.h"

#include <algorithm>
#include <climits>
#include <poll.h>

namespace platform {

RunLoop& RunLoop::main() {
  static RunLoop loop;
  return loop;
}

RunLoop::TimerId RunLoop::addTimer(int64_t firstUs, int64_t intervalUs, Callback callback, int64_t leewayUs) {
  auto t = std::make_shared<Timer>();
  t->due = microseconds() + std::max<int64_t>(firstUs, 0);
  t->interval = std::max<int64_t>(intervalUs, 0);
  t->leeway = std::max<int64_t>(leewayUs, 0);
  t->callback = std::move(callback);
  const TimerId id = nextId++;
  timers[id] = std::move(t);
  return id;
}

void RunLoop::removeTimer(TimerId id) { timers.erase(id); }

void RunLoop::watch(int fd, Callback onReadable) { watched[fd] = std::make_shared<Callback>(std::move(onReadable)); }

void RunLoop::unwatch(int fd) { watched.erase(fd); }

uint64_t RunLoop::addIdle(Callback callback) {
  const uint64_t id = nextIdleId++;
  idles[id] = std::make_shared<Callback>(std::move(callback));
  return id;
}

void RunLoop::removeIdle(uint64_t id) { idles.erase(id); }

int64_t RunLoop::nextDue() const {
  int64_t due = INT64_MAX;
  for (const auto& [id, t] : timers) due = std::min(due, t->due);
  return due;
}

RunLoop::PassLists& RunLoop::passLists() {
  if (lists.size() <= depth) lists.push_back(std::make_unique<PassLists>());
  return *lists[depth];
}

namespace {
// Counts a pass in for as long as it lasts.
struct Nesting {
  explicit Nesting(size_t& depth) : depth(depth) { ++depth; }
  ~Nesting() { --depth; }
  size_t& depth;
};
} // namespace

int RunLoop::runDue() {
  const int64_t now = microseconds();
  PassLists& pass = passLists();
  const Nesting nesting(depth);
  // Fire in due order; a timer added or removed by a callback is seen at once
  // because each one is looked up again before it fires.
  std::vector<std::pair<int64_t, TimerId>>& due = pass.due;
  due.clear();
  for (const auto& [id, t] : timers)
    if (t->due - t->leeway <= now) due.emplace_back(t->due, id);
  std::sort(due.begin(), due.end());
  int fired = 0;
  for (const auto& [when, id] : due) {
    auto it = timers.find(id);
    // Gone, or fired meanwhile by a pass nested in an earlier callback (a
    // menu's loop).
    if (it == timers.end() || it->second->due - it->second->leeway > now) continue;
    std::shared_ptr<Timer> t = it->second; // keeps the callback alive if it removes its timer
    if (t->interval > 0 && t->leeway > 0) {
      t->due = now + t->interval;
    } else if (t->interval > 0) {
      t->due += t->interval;
      if (t->due <= now) t->due = now + t->interval - (now - t->due) % t->interval;
    } else {
      timers.erase(it);
    }
    ++fired;
    t->callback();
  }
  std::vector<std::shared_ptr<Callback>>& hooks = pass.hooks;
  hooks.clear();
  for (const auto& [id, h] : idles) hooks.push_back(h);
  for (const auto& h : hooks) (*h)();
  // The hooks' callbacks are not kept alive past the pass.
  hooks.clear();
  return fired;
}

void RunLoop::waitUntil(int64_t deadline) {
  const int64_t now = microseconds();
  if (deadline <= now) return;
  PassLists& pass = passLists();
  const Nesting nesting(depth);
  std::vector<pollfd>& fds = pass.polls;
  fds.clear();
  for (const auto& [fd, cb] : watched) fds.push_back({fd, POLLIN, 0});
  const int64_t ms = std::min<int64_t>((deadline - now + 999) / 1000, INT_MAX);
  if (poll(fds.data(), fds.size(), static_cast<int>(ms)) <= 0) return;
  // The ready ones are listed before any callback runs: one may change what
  // is watched or open a nested loop.
  std::vector<int>& ready = pass.ready;
  ready.clear();
  for (const pollfd& p : fds)
    if (p.revents & (POLLIN | POLLHUP)) ready.push_back(p.fd);
  for (const int fd : ready) {
    auto it = watched.find(fd);
    if (it == watched.end()) continue;
    std::shared_ptr<Callback> cb = it->second;
    (*cb)();
  }
}

void RunLoop::runFor(int64_t us) {
  runUntil([] { return false; }, us);
}

bool RunLoop::runUntil(const std::function<bool()>& done, int64_t timeoutUs) {
  const int64_t end = microseconds() + std::max<int64_t>(timeoutUs, 0);
  runDue();
  if (done()) return true;
  for (;;) {
    const int64_t now = microseconds();
    if (now >= end) return false;
    const int64_t next = std::min(nextDue(), end);
    if (isVirtualClock()) {
      // A callback may have moved the clock past what is due (a delay): the
      // clock never goes back, and the overdue timers fire late.
      if (next > now) advanceVirtualClock(next - now);
    } else {
      waitUntil(next);
    }
    runDue();
    if (done()) return true;
  }
}

} // namespace platform
