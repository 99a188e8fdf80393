#include "wave/DesignFilter.h"

DesignFilter::DesignFilter(wave::Environment* env, Style* style)
    : StateVariableFilter(env, sDefaultClipTable), style(style) {
  resetState();
}

DesignFilter::~DesignFilter() = default;

void DesignFilter::customize(float frequency, float peak, float& dampInput, float& cubicDamping,
                             float& clipScale) {
  lastFrequency = frequency;
  lastPeak = peak;
  if (!useStyle) {
    clipScale = manualClipScale;
    cubicDamping = manualDampInput >= 0.1f ? manualCubicDamping.get() : 0.0f;
    dampInput = manualDampInput;
  } else if (Style* s = getStyle()) {
    s->getFilterParameters(frequency, peak, dampInput, cubicDamping, clipScale);
  } else {
    StateVariableFilter::customize(frequency, peak, dampInput, cubicDamping, clipScale);
  }
}

float DesignFilter::getInputScale() {
  Style* s = getStyle();
  return s ? s->getLevel() : StateVariableFilter::getInputScale();
}

const StateVariableFilter::ClipTable& DesignFilter::activeClipTable() const {
  const Style* s = getStyle();
  return s ? s->getClipTable() : StateVariableFilter::activeClipTable();
}

uint64_t DesignFilter::customizeStamp() const {
  if (!useStyle) return 0;
  // Characteristics count their stamps up from 1, one count for all of
  // them, so the largest value never names one of them.
  const Style* s = getStyle();
  return s ? s->getEditStamp() : UINT64_MAX;
}

void DesignFilter::propertyChange(const AbstractProperty*) { resetState(); }
