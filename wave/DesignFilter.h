#pragma once

// The state-variable filter whose per-run values come from a filter
// characteristic (its Style) instead of the plain peak mapping: the
// characteristic's grids give the damping input, cubic damping and clip
// scale for each (cut-off, peak), its level is the input scale, and its own
// clip table shapes the output. All three follow the characteristic in
// force: switching it switches the clip table too.

#include "base/Property.h"
#include "wave/FilterCharacteristic.h"
#include "wave/StateVariableFilter.h"

#include <atomic>

class DesignFilter : public StateVariableFilter, public PropertyOwner {
public:
  using Style = FilterCharacteristic;

  // Runs on style (not owned). A null style gives the plain filter
  // (default clip table, plain peak mapping, input scale 1).
  DesignFilter(wave::Environment* env, Style* style);
  ~DesignFilter() override;

  // Replaces the characteristic at once: the render thread takes its values
  // from the next coefficient update and its level and clip table from the
  // next block. The states are kept. Any thread; no lock. The
  // characteristic must be fully loaded (its clip table built) before it
  // is handed over, and must outlive its use here.
  void setStyle(Style* s) { style.store(s, std::memory_order_release); }
  Style* getStyle() const { return style.load(std::memory_order_acquire); }

  // With useStyle, the characteristic's values; otherwise the manual ones
  // (cubic damping only while the manual damping input is at least 0.1, so
  // a fully damped filter is not squashed further).
  void customize(float frequency, float peak, float& dampInput, float& cubicDamping, float& clipScale) override;
  // The characteristic's level.
  float getInputScale() override;

  // A change of the filter's own properties resets the states.
  void propertyChange(const AbstractProperty* property) override;

  // The arguments of the last customize call (runs whose values were kept
  // from the run before call nothing).
  float getLastFrequency() const { return lastFrequency; }
  float getLastPeak() const { return lastPeak; }

  // Values for trying out a characteristic by hand (useStyle false).
  LimitedProperty<float> manualClipScale{nullptr, 0.1f, 10.0f, 0.1f};
  LimitedProperty<float> manualCubicDamping{nullptr, 0.0f, 0.1f, 0.0f};
  LimitedProperty<float> manualDampInput{nullptr, 0.0f, 5.0f, 0.0f};
  Property<bool> useStyle{this, true};

protected:
  // The characteristic's own clip table; the default one without a
  // characteristic.
  const ClipTable& activeClipTable() const override;
  // The characteristic's edit stamp; a fixed one for the plain mapping;
  // 0 (nothing kept) with the manual values, whose changes nothing counts.
  uint64_t customizeStamp() const override;

private:
  float lastFrequency = 0.0f;
  float lastPeak = 0.0f;
  std::atomic<Style*> style;
};
