#include "plugin/FloatPluginParameterTransform.h"

#include "base/TextUtils.h"
#include "plugin/FloatPluginParameter.h"

#include <utility>

FloatPluginParameterTransform::FloatPluginParameterTransform(FloatPluginParameter* parameter)
    : mDisplayFunction(identityFunction), mInverseDisplayFunction(identityFunction), mFunction(identityFunction),
      mInverseFunction(identityFunction), mParameter(parameter) {}

void FloatPluginParameterTransform::setFunction(Function f, Function inverse) {
  mFunction = f ? f : identityFunction;
  mInverseFunction = inverse ? inverse : identityFunction;
}

void FloatPluginParameterTransform::setDisplayFunction(Function d, Function inverse) {
  mDisplayFunction = d ? d : identityFunction;
  mInverseDisplayFunction = inverse ? inverse : identityFunction;
}

void FloatPluginParameterTransform::setFloatToStrFunction(FloatToStrFunction fn) {
  mFloatToStrFunction = std::move(fn);
}

void FloatPluginParameterTransform::setRange(float lo, float hi) {
  const float min = mParameter->getMin();
  const float span = mParameter->getMax() - min;
  // A one-point range would make the scale infinite; its one value goes
  // to lo.
  mScale = span == 0.0f ? 0.0f : (hi - lo) / span;
  mOffset = lo - mScale * min;
}

float FloatPluginParameterTransform::getValue() const { return getValueOf(mParameter->getValue()); }

float FloatPluginParameterTransform::invertValue(float y) const {
  // With a scale of 0 every natural value gives the same engine value; the
  // bottom of the range stands for all of them.
  if (mScale == 0.0f) return mParameter->getMin();
  return mInverseFunction((y - mOffset) / mScale);
}

std::string FloatPluginParameterTransform::convertValueToString(float natural) const {
  const float v = mDisplayFunction(getValueOf(natural));
  std::string text = mFloatToStrFunction ? mFloatToStrFunction(v) : floatToStr(v, mDisplayFormat);
  if (!mDisplayUnit.empty()) {
    text += ' ';
    text += mDisplayUnit;
  }
  return text;
}
