#include "wave/Environment.h"

#include "wave/Block.h"
#include "wave/Producer.h"

#include <algorithm>
#include <bit>

namespace wave {

Environment::Environment(int maxBlockSize) : maxBlockSize(maxBlockSize), silentBlock(nullptr) {
  silentBlock = new Block(this);
}

Environment::~Environment() { delete silentBlock; }

void Environment::beginBlock() { stamp += 1; }

void Environment::endBlock(int n) {
  // Indexed walk: a subscriber's produce may pull other producers, but the
  // list itself only changes while the host does not render.
  // A dormant one is passed by without touching it (an idle instance has
  // a hundred resting envelopes, which would each cost a cache miss), as
  // a mute call would have changed nothing. The word is read afresh for
  // each entry: a call may wake or settle a producer further on.
  const size_t count = endBlockSubscribers.size();
  for (size_t i = 0; i < count; ++i) {
    const uint64_t awake = endBlockAwake[i >> 6] >> (i & 63);
    if (awake == 0) {
      i |= 63;
      continue;
    }
    i += static_cast<size_t>(std::countr_zero(awake));
    Producer* s = endBlockSubscribers[i];
    const bool notification = s->endBlockMode == Producer::cEndBlockNotifications;
    // Automatic mute calls go only to producers nobody pulled in this block.
    if (!notification && s->stamp == stamp) continue;
    s->current = s->ownBlock;
    s->produce(s->ownBlock, n, notification ? cEndBlockCall : cMuteCall);
    s->stamp = stamp;
  }
  sampleTime += static_cast<uint32_t>(n);
}

void Environment::reset() {
  resetTime = sampleTime;
  for (size_t i = 0; i < resetSubscribers.size(); ++i) resetSubscribers[i]->resetState();
}

void Environment::setSampleRate(float rate) { sampleRate = rate; }

int32_t Environment::registerProducer() {
  producerCount += 1;
  size_t needed = static_cast<size_t>(producerCount);
  if (needed > endBlockSubscribers.capacity()) {
    // Grow geometrically so that building thousands of producers does not
    // copy the lists once per producer.
    size_t room = std::max(needed, endBlockSubscribers.capacity() * 2);
    endBlockSubscribers.reserve(room);
    endBlockAwake.reserve((room + 63) / 64);
    resetSubscribers.reserve(room);
  }
  dormantFlags.push_back(0);
  endBlockPositions.push_back(-1);
  return producerCount - 1;
}

void Environment::subscribeResetNotifications(Producer* p) { resetSubscribers.push_back(p); }

void Environment::unsubscribeResetNotifications(Producer* p) {
  resetSubscribers.erase(std::remove(resetSubscribers.begin(), resetSubscribers.end(), p), resetSubscribers.end());
}

void Environment::indexEndBlockEntries() {
  endBlockAwake.assign((endBlockSubscribers.size() + 63) / 64, 0);
  for (size_t i = 0; i < endBlockSubscribers.size(); ++i) {
    const Producer* p = endBlockSubscribers[i];
    const bool automatic = p->endBlockMode != Producer::cEndBlockNotifications;
    if (automatic) endBlockPositions[static_cast<size_t>(p->dormant.id)] = static_cast<int32_t>(i);
    if (!automatic || !dormantFlags[static_cast<size_t>(p->dormant.id)]) endBlockAwake[i >> 6] |= uint64_t{1} << (i & 63);
  }
}

void Environment::subscribeEndBlockNotifications(Producer* p, EndBlockPriority priority) {
  size_t at = endBlockSubscribers.size();
  if (priority == cFrontGroup) {
    at = 0;
    frontCount += 1;
  } else if (priority == cAfterFrontGroup) {
    at = std::min<size_t>(static_cast<size_t>(frontCount), at);
  }
  endBlockSubscribers.insert(endBlockSubscribers.begin() + static_cast<std::ptrdiff_t>(at), p);
  indexEndBlockEntries();
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
  if (p->dormant.id >= 0 && static_cast<size_t>(p->dormant.id) < endBlockPositions.size())
    endBlockPositions[static_cast<size_t>(p->dormant.id)] = -1;
  indexEndBlockEntries();
}

} // namespace wave
