#include "wave/Environment.h"

#include "wave/Block.h"
#include "wave/Producer.h"

#include <algorithm>

namespace wave {

Environment::Environment(int maxBlockSize) : maxBlockSize(maxBlockSize), silentBlock(nullptr) {
  silentBlock = new Block(this);
}

Environment::~Environment() { delete silentBlock; }

void Environment::beginBlock() { stamp += 1; }

void Environment::endBlock(int n) {
  // Indexed walk: a subscriber's produce may pull other producers, but the
  // list itself only changes while the host does not render.
  for (size_t i = 0; i < endBlockSubscribers.size(); ++i) {
    Producer* s = endBlockSubscribers[i];
    const bool notification = s->endBlockMode == Producer::cEndBlockNotifications;
    // Automatic mute calls go only to producers nobody pulled in this block.
    if (!notification && s->stamp == stamp) continue;
    s->current = s->ownBlock;
    // A dormant one is passed by, but counts as called, as a call would
    // have changed nothing.
    if (notification || !s->dormant) s->produce(s->ownBlock, n, notification ? cEndBlockCall : cMuteCall);
    s->stamp = stamp;
  }
  sampleTime += static_cast<uint32_t>(n);
}

void Environment::reset() {
  resetTime = sampleTime;
  for (size_t i = 0; i < resetSubscribers.size(); ++i) resetSubscribers[i]->resetState();
}

void Environment::setSampleRate(float rate) { sampleRate = rate; }

void Environment::registerProducer() {
  producerCount += 1;
  size_t needed = static_cast<size_t>(producerCount);
  if (needed > endBlockSubscribers.capacity()) {
    // Grow geometrically so that building thousands of producers does not
    // copy the lists once per producer.
    size_t room = std::max(needed, endBlockSubscribers.capacity() * 2);
    endBlockSubscribers.reserve(room);
    resetSubscribers.reserve(room);
  }
}

void Environment::subscribeResetNotifications(Producer* p) { resetSubscribers.push_back(p); }

void Environment::unsubscribeResetNotifications(Producer* p) {
  resetSubscribers.erase(std::remove(resetSubscribers.begin(), resetSubscribers.end(), p), resetSubscribers.end());
}

void Environment::subscribeEndBlockNotifications(Producer* p, EndBlockPriority priority) {
  switch (priority) {
  case cFrontGroup:
    endBlockSubscribers.insert(endBlockSubscribers.begin(), p);
    frontCount += 1;
    break;
  case cAfterFrontGroup:
    endBlockSubscribers.insert(endBlockSubscribers.begin() + std::min<size_t>(frontCount, endBlockSubscribers.size()),
                               p);
    break;
  default:
    endBlockSubscribers.push_back(p);
    break;
  }
}

void Environment::unsubscribeEndBlockNotifications(Producer* p) {
  // An entry removed from the front group shrinks it, so that later
  // priority-1 subscribers still land right behind the group (and never
  // past the end of the list).
  size_t kept = 0;
  int32_t front = frontCount;
  for (size_t i = 0; i < endBlockSubscribers.size(); ++i) {
    if (endBlockSubscribers[i] == p) {
      if (static_cast<int32_t>(i) < frontCount) front -= 1;
      continue;
    }
    endBlockSubscribers[kept++] = endBlockSubscribers[i];
  }
  endBlockSubscribers.resize(kept);
  frontCount = front;
}

} // namespace wave
