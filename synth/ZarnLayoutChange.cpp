#include "synth/ZarnLayoutChange.h"

#include <algorithm>

namespace {

// Differences of the wrapping clock, signed.
int32_t ahead(uint32_t time, uint32_t now) { return static_cast<int32_t>(time - now); }

} // namespace

ZarnLayoutChange::ZarnLayoutChange(Player& player) : mPlayer(player), mEvents(new Event[cRoom]) {}

void ZarnLayoutChange::fading(int samples) {
  if (samples > 0) mFadeLeft = samples;
  if (mState == State::fading) return;
  mState = State::fading;
  mArrived = false;
}

void ZarnLayoutChange::rendered(int samples) {
  if (mState == State::fading) mFadeLeft -= samples;
}

int ZarnLayoutChange::beginSlice(uint32_t now, int samples) {
  if (mState == State::fading && mFadeLeft <= 0) deal(now);
  if (mState == State::late) {
    while (mCount > 0 && ahead(mEvents[mFirst].time + mShift, now) <= 0) playFirst();
    settleWhenDone();
  }
  if (mState != State::late || mCount == 0) return samples;
  const int32_t until = ahead(mEvents[mFirst].time + mShift, now);
  return until > 0 && until < samples ? static_cast<int>(until) : samples;
}

void ZarnLayoutChange::deal(uint32_t now) {
  mState = State::dealing;
  mPlayer.dealLayout();
  mFadeLeft = 0;
  // The first event that waited for this fade plays now. Events still late
  // from an earlier change keep at least their shift: their keys' strikes
  // have played with it.
  if (mArrived && ahead(now - mFirstArrival, mShift) > 0) mShift = now - mFirstArrival;
  mArrived = false;
  mState = State::late;
  settleWhenDone();
}

void ZarnLayoutChange::finish(uint32_t now) {
  if (mState == State::fading) deal(now);
  while (mCount > 0) playFirst();
  std::fill(std::begin(mLate), std::end(mLate), false);
  mLateKeys = 0;
  settleWhenDone();
}

void ZarnLayoutChange::receive(const Event& e) {
  const int n = e.note & 127;
  switch (mState) {
  case State::fading:
    if (!mArrived) {
      mArrived = true;
      mFirstArrival = e.time;
    }
    wait(e);
    return;
  case State::late:
    if (e.kind == EventKind::sustain || e.kind == EventKind::allNotesOff) {
      // It acts on every key, the late ones too: what they wait for
      // happened before it.
      while (mCount > 0) playFirst();
    } else if (mGlobalQueued > 0 || mQueued[n] > 0 || (mLate[n] && e.kind == EventKind::noteOff)) {
      wait(e);
      return;
    }
    break;
  default:
    break;
  }
  play(e, false);
  settleWhenDone();
}

void ZarnLayoutChange::play(const Event& e, bool late) {
  const int n = e.note & 127;
  switch (e.kind) {
  case EventKind::noteOn:
    if (mLate[n] != late) mLateKeys += late ? 1 : -1;
    mLate[n] = late;
    break;
  case EventKind::noteOff:
    if (mLate[n]) --mLateKeys;
    mLate[n] = false;
    break;
  case EventKind::allNotesOff:
    std::fill(std::begin(mLate), std::end(mLate), false);
    mLateKeys = 0;
    break;
  case EventKind::sustain:
    break;
  }
  mPlayer.play(e);
}

void ZarnLayoutChange::settleWhenDone() {
  if (mState != State::late || mCount > 0 || mLateKeys > 0) return;
  mState = State::settled;
  mShift = 0;
  mFirst = 0;
}

void ZarnLayoutChange::count(const Event& e, int step) {
  if (e.kind == EventKind::noteOn || e.kind == EventKind::noteOff)
    mQueued[e.note & 127] = static_cast<uint16_t>(mQueued[e.note & 127] + step);
  else
    mGlobalQueued += step;
}

void ZarnLayoutChange::wait(const Event& e) {
  if (mFirst + mCount == cRoom && mFirst > 0) {
    std::copy(&mEvents[mFirst], &mEvents[mFirst + mCount], &mEvents[0]);
    mFirst = 0;
  }
  if (mCount == cRoom) merge();
  mEvents[mFirst + mCount++] = e;
  count(e, 1);
}

void ZarnLayoutChange::playFirst() {
  const Event e = mEvents[mFirst];
  ++mFirst;
  if (--mCount == 0) mFirst = 0;
  count(e, -1);
  play(e, true);
}

void ZarnLayoutChange::merge() {
  const Event* events = &mEvents[mFirst];
  int from = 0;
  for (int k = 0; k < mCount; ++k)
    if (events[k].kind == EventKind::allNotesOff) from = k;
  // Per key: its last strike, the last release before and the last after
  // it; the pedal's last move. Positions from `from` on; -1 for none.
  int strike[128], before[128], after[128];
  std::fill(std::begin(strike), std::end(strike), -1);
  std::fill(std::begin(before), std::end(before), -1);
  std::fill(std::begin(after), std::end(after), -1);
  int pedal = -1;
  for (int k = from; k < mCount; ++k) {
    const Event& e = events[k];
    const int n = e.note & 127;
    switch (e.kind) {
    case EventKind::noteOn:
      if (after[n] >= 0) before[n] = after[n];
      after[n] = -1;
      strike[n] = k;
      break;
    case EventKind::noteOff:
      (strike[n] >= 0 ? after[n] : before[n]) = k;
      break;
    case EventKind::sustain:
      pedal = k;
      break;
    case EventKind::allNotesOff:
      break;
    }
  }
  std::fill(std::begin(mQueued), std::end(mQueued), uint16_t{0});
  mGlobalQueued = 0;
  int kept = 0;
  for (int k = from; k < mCount; ++k) {
    const Event& e = events[k];
    const int n = e.note & 127;
    const bool keep = e.kind == EventKind::allNotesOff ? k == from
                      : e.kind == EventKind::sustain   ? k == pedal
                                                       : k == strike[n] || k == before[n] || k == after[n];
    if (!keep) continue;
    mEvents[kept++] = e;
    count(e, 1);
  }
  mFirst = 0;
  mCount = kept;
}
