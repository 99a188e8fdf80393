#include "synth/ModulationMatrixInput.h"

#include "wave/EnvelopeGenerator.h"
#include "wave/Environment.h"
#include "wave/VectorKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <typeinfo>

ModulationMatrixInput::ModulationMatrixInput(wave::Environment* env, ModulationMatrix::Scope* scope, int target,
                                             wave::Producer* base, float min, float max)
    : wave::Source(env), mScope(scope), mMatrix(scope ? scope->getMatrix() : nullptr), mBase(base), mTarget(target),
      mSum(scope ? scope->getTargetSum(target) : nullptr), mFullScale(ModulationMatrix::getTargetFullScale(target)),
      mScale(ModulationMatrix::getTargetScale(target)),
      mOffset(ModulationMatrix::getTargetOffset(target)), mMin(min), mMax(max) {
  setBase(base);
}

void ModulationMatrixInput::setBase(wave::Producer* base) {
  mBase = base;
  mHeld = false;
  mHolds = false;
  // Only the class itself: a subclass may render something else.
  mBaseParameter = base && typeid(*base) == typeid(wave::FloatParameterSource)
                       ? static_cast<const wave::FloatParameterSource*>(base)
                       : nullptr;
}

void ModulationMatrixInput::produce(wave::Block* block, int n, int flags) {
  if (mHeld && !(flags & wave::cMuteCall) && block && env->parameterChanges == mHeldParameterChanges &&
      mMatrix->getChanges() == mHeldMatrixChanges &&
      (mEnvelopes.count == 0 || envelopesStand(n, flags))) {
    // A held note's settled touch, key and sustain: the same value as
    // before.
    constantBlock = true;
    fill.fill(block->data, n, mHeldValue);
    return;
  }
  produceAnew(block, n, flags);
}

bool ModulationMatrixInput::envelopesStand(int n, int flags) {
  for (int k = 0; k < mEnvelopes.count; ++k) {
    wave::Producer* p = mEnvelopes.producers[k];
    p->pull(n, flags);
    // The level the sum read, to the bit: a sign of zero may carry on.
    const float level = static_cast<const EnvelopeGenerator*>(p)->getLevel();
    if (!p->constantBlock || std::memcmp(&level, &mEnvelopes.levels[k], sizeof level) != 0) return false;
  }
  return true;
}

__attribute__((noinline)) void ModulationMatrixInput::produceAnew(wave::Block* block, int n, int flags) {
  mHeld = false;
  mHolds = false;
  wave::Block* base = mBase ? mBase->pull(n, flags) : nullptr;
  const bool baseConstant = base ? mBase->constantBlock : true;
  if (flags & wave::cMuteCall) return;

  if (!mSum || !mScope->isModulated(mTarget)) {
    if (base) {
      current = base;
      constantBlock = baseConstant;
      // A settled parameter stays so until it is given a new value.
      mHolds = baseConstant && mBaseParameter;
    } else {
      current = env->silentBlock;
      constantBlock = true;
    }
    return;
  }

  // The sum goes straight into this block; when it moves, it is added to
  // the base there.
  float* out = block->data;
  float value;
  bool settled = false;
  const bool modConstant =
      mScope->evaluate(mTarget, mFullScale, out, n, flags, value, &settled, &mEnvelopes) !=
      ModulationMatrix::Scope::cVarying;
  const float* b = base ? base->data : env->silentBlock->data;
  constantBlock = baseConstant && modConstant;
  if (constantBlock) {
    // A settled parameter's block holds its target (every voice reads the
    // same base: its block would be one more visit per voice).
    const float b0 = mBaseParameter && base ? mBaseParameter->parameter.getTarget() : b[0];
    float v;
    if (mScale == ModulationMatrix::cAdditive) {
      v = b0 + value;
    } else {
      const float e = std::clamp(value, -ModulationMatrix::cMaxExponent, ModulationMatrix::cMaxExponent);
      v = (b0 + mOffset) * std::exp2(e) - mOffset;
    }
    // As the limit kernel: a value that is not at least the minimum (a
    // NaN included) gives the minimum.
    const float limited = v >= mMin ? std::min(v, mMax) : mMin;
    fill.fill(out, n, limited);
    mHeld = settled && mBaseParameter && base;
    // An envelope's level may move on without a parameter change: only a
    // value of parameters alone stands for those who keep it.
    mHolds = mHeld && mEnvelopes.count == 0;
    if (mHeld) {
      mHeldValue = limited;
      mHeldParameterChanges = env->parameterChanges;
      mHeldMatrixChanges = mMatrix->getChanges();
    }
    return;
  }
  fill.forget();

  if (mScale == ModulationMatrix::cAdditive) {
    if (baseConstant)
      vectorAddSFast(out, b[0], out, n);
    else if (modConstant)
      vectorAddSFast(b, value, out, n);
    else
      vectorAddFast(b, out, out, n);
  } else {
    const float limit = ModulationMatrix::cMaxExponent;
    for (int i = 0; i < n; ++i) {
      const float x = baseConstant ? b[0] : b[i];
      const float e = std::clamp(modConstant ? value : out[i], -limit, limit);
      out[i] = (x + mOffset) * std::exp2(e) - mOffset;
    }
  }
  vectorLimitFast(out, mMin, mMax, out, n);
}
