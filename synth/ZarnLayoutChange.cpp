#include "synth/ZarnLayoutChange.h"

#include <algorithm>

ZarnLayoutChange::ZarnLayoutChange() : mEvents(new Event[cRoom]) {}

void ZarnLayoutChange::fading(int samples) {
  if (samples > 0) mFadeLeft = samples;
  mState = State::fading;
}

void ZarnLayoutChange::rendered(int samples) {
  if (mState == State::fading) mFadeLeft -= samples;
}

void ZarnLayoutChange::dealt(uint32_t now) {
  mFadeLeft = 0;
  if (mCount == 0) {
    mState = State::settled;
    mFirst = 0;
    return;
  }
  mState = State::replaying;
  mShift = now - mEvents[mFirst].time;
}

void ZarnLayoutChange::wait(const Event& e) {
  if (mFirst + mCount == cRoom && mFirst > 0) {
    std::copy(&mEvents[mFirst], &mEvents[mFirst + mCount], &mEvents[0]);
    mFirst = 0;
  }
  if (mCount == cRoom) merge();
  mEvents[mFirst + mCount++] = e;
}

bool ZarnLayoutChange::next(uint32_t now, bool all, Event& e) {
  if (mState != State::replaying) return false;
  if (mCount == 0) {
    mState = State::settled;
    mFirst = 0;
    return false;
  }
  const Event& first = mEvents[mFirst];
  // Differences of the wrapping clock, signed.
  if (!all && static_cast<int32_t>(first.time + mShift - now) > 0) return false;
  e = first;
  ++mFirst;
  if (--mCount == 0) {
    mState = State::settled;
    mFirst = 0;
  }
  return true;
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
  int kept = 0;
  for (int k = from; k < mCount; ++k) {
    const Event& e = events[k];
    const int n = e.note & 127;
    const bool keep = e.kind == EventKind::allNotesOff ? k == from
                      : e.kind == EventKind::sustain   ? k == pedal
                                                       : k == strike[n] || k == before[n] || k == after[n];
    if (keep) mEvents[kept++] = e;
  }
  mFirst = 0;
  mCount = kept;
}
