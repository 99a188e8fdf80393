#pragma once

// Parameter changes taken off the parameter queue while the product holds
// them back from the engine (a synthesizer fading voices out before a new
// voice layout, say). Only the latest value of each parameter matters when
// they are let through, so each parameter has one slot: a change to a
// parameter already held overwrites its value and keeps its place. However
// many changes arrive (a burst of program changes within one fade), the
// held set stays within one slot per parameter, and the parameter queue
// stays empty, so its pool never grows on the render thread.
//
// The room is made on the main thread while parameters are registered;
// hold and release run on the render thread, allocate nothing and
// take no lock.

#include <cstdint>
#include <vector>

class HeldParameterChanges {
public:
  // Main thread, as a parameter is registered: room for one more index.
  void addParameter() {
    mValues.push_back(0.0f);
    mHeld.push_back(0);
    mOrder.push_back(0);
  }
  // Render thread. An index without room (none registered there) is
  // ignored, as the queue's reader ignores it.
  void hold(int index, float value) {
    if (index < 0 || index >= static_cast<int>(mValues.size())) return;
    const size_t i = static_cast<size_t>(index);
    mValues[i] = value;
    if (mHeld[i]) return;
    mHeld[i] = 1;
    mOrder[static_cast<size_t>(mCount++)] = index;
  }
  // Render thread: apply(index, value) for each held parameter, in the
  // order of their first held change; the set is empty afterwards. apply
  // must not hold more.
  template <class Apply> void release(Apply&& apply) {
    for (int k = 0; k < mCount; ++k) {
      const size_t i = static_cast<size_t>(mOrder[static_cast<size_t>(k)]);
      mHeld[i] = 0;
      apply(static_cast<int>(i), mValues[i]);
    }
    mCount = 0;
  }

private:
  std::vector<float> mValues;
  std::vector<uint8_t> mHeld;
  std::vector<int32_t> mOrder;
  int mCount = 0;
};
