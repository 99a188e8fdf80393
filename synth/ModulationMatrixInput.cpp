#include "synth/ModulationMatrixInput.h"

#include "wave/Environment.h"
#include "wave/VectorKernels.h"

#include <algorithm>
#include <cmath>

ModulationMatrixInput::ModulationMatrixInput(wave::Environment* env, ModulationMatrix::Scope* scope, int target,
                                             wave::Producer* base, float min, float max)
    : wave::Source(env), mScope(scope), mBase(base), mTarget(target),
      mSum(scope ? scope->getTargetSum(target) : nullptr), mScale(ModulationMatrix::getTargetScale(target)),
      mOffset(ModulationMatrix::getTargetOffset(target)), mMin(min), mMax(max) {}

void ModulationMatrixInput::produce(wave::Block* block, int n, int flags) {
  wave::Block* base = mBase ? mBase->pull(n, flags) : nullptr;
  const bool baseConstant = base ? mBase->constantBlock : true;
  if (flags & wave::cMuteCall) return;

  wave::Producer* sum = mSum;
  if (!sum || !mScope->isModulated(mTarget)) {
    if (base) {
      current = base;
      constantBlock = baseConstant;
    } else {
      current = env->silentBlock;
      constantBlock = true;
    }
    return;
  }

  const float* m = sum->pull(n, flags)->data;
  const bool modConstant = sum->constantBlock;
  const float* b = base ? base->data : env->silentBlock->data;
  float* out = block->data;
  constantBlock = baseConstant && modConstant;
  if (constantBlock) {
    float v;
    if (mScale == ModulationMatrix::cAdditive) {
      v = b[0] + m[0];
    } else {
      const float e = std::clamp(m[0], -ModulationMatrix::cMaxExponent, ModulationMatrix::cMaxExponent);
      v = (b[0] + mOffset) * std::exp2(e) - mOffset;
    }
    // As the limit kernel: a value that is not at least the minimum (a
    // NaN included) gives the minimum.
    fill.fill(out, n, v >= mMin ? std::min(v, mMax) : mMin);
    return;
  }
  fill.forget();

  if (mScale == ModulationMatrix::cAdditive) {
    if (baseConstant)
      vectorAddSFast(m, b[0], out, n);
    else if (modConstant)
      vectorAddSFast(b, m[0], out, n);
    else
      vectorAddFast(b, m, out, n);
  } else {
    const float limit = ModulationMatrix::cMaxExponent;
    for (int i = 0; i < n; ++i) {
      const float x = baseConstant ? b[0] : b[i];
      const float e = std::clamp(modConstant ? m[0] : m[i], -limit, limit);
      out[i] = (x + mOffset) * std::exp2(e) - mOffset;
    }
  }
  vectorLimitFast(out, mMin, mMax, out, n);
}
