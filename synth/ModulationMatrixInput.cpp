#include "synth/ModulationMatrixInput.h"

#include "wave/Environment.h"
#include "wave/VectorKernels.h"

#include <algorithm>
#include <cmath>

ModulationMatrixInput::ModulationMatrixInput(wave::Environment* env, ModulationMatrix::Scope* scope, int target,
                                             wave::Producer* base, float min, float max)
    : wave::Source(env), mScope(scope), mBase(base), mTarget(target),
      mScale(ModulationMatrix::getTargetScale(target)), mOffset(ModulationMatrix::getTargetOffset(target)),
      mMin(min), mMax(max) {}

void ModulationMatrixInput::produce(wave::Block* block, int n, int flags) {
  wave::Block* base = mBase ? mBase->pull(n, flags) : nullptr;
  const bool baseConstant = base ? mBase->constantBlock : true;
  if (flags & wave::cMuteCall) return;

  wave::Producer* sum = mScope ? mScope->getTargetSum(mTarget) : nullptr;
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
  const int count = constantBlock ? 1 : n;

  if (mScale == ModulationMatrix::cAdditive) {
    if (constantBlock)
      out[0] = b[0] + m[0];
    else if (baseConstant)
      vectorAddSFast(m, b[0], out, n);
    else if (modConstant)
      vectorAddSFast(b, m[0], out, n);
    else
      vectorAddFast(b, m, out, n);
  } else {
    const float limit = ModulationMatrix::cMaxExponent;
    for (int i = 0; i < count; ++i) {
      const float x = baseConstant ? b[0] : b[i];
      const float e = std::clamp(modConstant ? m[0] : m[i], -limit, limit);
      out[i] = (x + mOffset) * std::exp2(e) - mOffset;
    }
  }
  if (constantBlock) {
    // As the limit kernel: a value that is not at least the minimum (a
    // NaN included) gives the minimum.
    const float v = out[0] >= mMin ? std::min(out[0], mMax) : mMin;
    for (int i = 0; i < n; ++i) out[i] = v;
  } else {
    vectorLimitFast(out, mMin, mMax, out, n);
  }
}
