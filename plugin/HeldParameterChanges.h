#pragma once

// Which parameters changed while the product holds their changes back from
// the engine (a synthesizer fading voices out before a new voice layout,
// say). A held change carries no value: when the changes are let through,
// each parameter's engine side takes the parameter's value as it is then
// (updateValue reads the parameter, whose value may be newer than any that
// was queued, and never older), so what reaches the engine is each
// parameter's latest value, once. Each parameter has one slot: a parameter
// already held keeps its place. However many changes arrive (a burst of
// program changes within one fade), the held set stays within one slot per
// parameter, and the parameter queue stays empty, so its pool never grows
// on the render thread.
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
    mHeld.push_back(0);
    mOrder.push_back(0);
  }
  // Render thread: parameter index changed. An index without room (none
  // registered there) is ignored, as the queue's reader ignores it.
  void hold(int index) {
    if (index < 0 || index >= static_cast<int>(mHeld.size())) return;
    const size_t i = static_cast<size_t>(index);
    if (mHeld[i]) return;
    mHeld[i] = 1;
    mOrder[static_cast<size_t>(mCount++)] = index;
  }
  // Render thread: apply(index) for each held parameter, in the order of
  // their first held change; the set is empty afterwards. apply must not
  // hold more.
  template <class Apply> void release(Apply&& apply) {
    for (int k = 0; k < mCount; ++k) {
      const size_t i = static_cast<size_t>(mOrder[static_cast<size_t>(k)]);
      mHeld[i] = 0;
      apply(static_cast<int>(i));
    }
    mCount = 0;
  }

private:
  std::vector<uint8_t> mHeld;
  std::vector<int32_t> mOrder;
  int mCount = 0;
};
