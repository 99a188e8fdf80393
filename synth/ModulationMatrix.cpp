// The render side of the modulation matrix: the slot settings, the lists of
// valid slots per target, and the sums evaluated in the voices and
// globally.

#include "synth/ModulationMatrix.h"

#include "wave/EnvelopeGenerator.h"
#include "wave/Environment.h"
#include "wave/VectorKernels.h"

#include <algorithm>
#include <typeinfo>

namespace {

void fill(float* out, int n, float value) {
  for (int i = 0; i < n; ++i) out[i] = value;
}

} // namespace

// ---- ValueSource

void ModulationMatrix::ValueSource::produce(wave::Block* block, int n, int flags) {
  constantBlock = true;
  if (flags & wave::cMuteCall) return;
  // The block keeps its samples between blocks; only a new value, or a
  // longer block than any before, is written.
  if (mValue != mWritten) {
    mWritten = mValue;
    mFilled = 0;
  }
  if (n > mFilled) {
    fill(block->data, n, mValue);
    mFilled = n;
  }
}

// ---- the sums

// One target's modulation sum in one scope.
// Its block is one of the scope's sum blocks (see produceSum).
class ModulationMatrix::Scope::TargetSum : public wave::Source {
public:
  TargetSum(wave::Environment* env, Scope* scope, int target, bool drivable)
      : wave::Source(env, wave::cNoOwnBlock), scope(scope), target(target), fullScale(getTargetFullScale(target)),
        drivable(drivable) {}

  void produce(wave::Block*, int n, int flags) override { scope->produceSum(this, n, flags); }

  Scope* scope;
  int target;
  float fullScale;
  // Whether a slot of this scope can drive the target at all.
  bool drivable;
  wave::ConstantFill fill;
};

ModulationMatrix::Scope::Scope(ModulationMatrix* matrix, bool voice)
    : mMatrix(matrix), mVoice(voice), mScratch(matrix->getEnvironment()) {
  wave::Environment* env = matrix->getEnvironment();
  mSums.reserve(cNumTargets);
  for (int t = 0; t < cNumTargets; ++t) {
    const bool drivable = t >= cTargetSlotLevel || isVoiceParameterTarget(t) == voice;
    mSums.push_back(std::make_unique<TargetSum>(env, this, t, drivable));
  }
  for (auto& b : mSumBlocks) b = std::make_unique<wave::Block>(env);
  std::fill(std::begin(mSumBlockTargets), std::end(mSumBlockTargets), -1);
}

ModulationMatrix::Scope::~Scope() = default;

wave::Producer* ModulationMatrix::Scope::getTargetSum(int target) {
  return isTargetIndex(target) ? mSums[static_cast<size_t>(target)].get() : nullptr;
}

void ModulationMatrix::Scope::produceSum(TargetSum* sum, int n, int flags) {
  sum->constantBlock = true;
  const int8_t* slots;
  if (!sum->drivable || mMatrix->getSlotList(mVoice, sum->target, slots) == 0 || mBusy[sum->target]) {
    sum->current = mMatrix->getEnvironment()->silentBlock;
    return;
  }
  // A mute call only advances state, and a sum has none.
  if (flags & wave::cMuteCall) return;
  // The block of the first slot that drives the target: a slot drives one
  // target, so no two sums share one at a time. What the block held for
  // another target is not this sum's constant.
  const int first = slots[0];
  wave::Block* block = mSumBlocks[first].get();
  if (mSumBlockTargets[first] != sum->target) {
    mSumBlockTargets[first] = sum->target;
    sum->fill.forget();
  }
  sum->current = block;
  float value;
  const Result r = evaluate(sum->target, sum->fullScale, block->data, n, flags, value);
  if (r == cSilent) {
    sum->current = mMatrix->getEnvironment()->silentBlock;
  } else if (r == cConstant) {
    sum->fill.fill(block->data, n, value);
  } else {
    sum->fill.forget();
    sum->constantBlock = false;
  }
}

ModulationMatrix::Scope::Result ModulationMatrix::Scope::evaluate(int target, float fullScale, float* out, int n,
                                                                  int flags, float& value, bool* settled,
                                                                  HeldEnvelopes* envelopes) {
  value = 0.0f;
  if (settled) *settled = false;
  if (envelopes) envelopes->count = 0;
  const int8_t* slots;
  const int count = mMatrix->getSlotList(mVoice, target, slots);
  if (count == 0 || mBusy[target]) return cSilent;

  mBusy[target] = true;
  float constantPart = 0.0f;
  bool varying = false;
  bool allSettled = true;
  // A voice reads the global sources from the global scope.
  const bool* parameterSources = mVoice ? mMatrix->mGlobal->mParameterSources : mParameterSources;
  for (int k = 0; k < count; ++k) {
    const int s = slots[k];
    const SlotConfig& slot = mMatrix->mSlots[s];
    wave::Producer* source = getSource(slot.source);
    wave::Block* in = source ? source->pull(n, flags) : nullptr;
    if (!in) continue;
    const bool inConstant = source->constantBlock;

    // The slot's level: its own smoothed value, plus what modulates it in
    // this scope, kept within 0..1.
    wave::FloatParameterSource* base = mMatrix->mLevels[static_cast<size_t>(s)].get();
    const float* level = base->pull(n, flags)->data;
    bool levelConstant = base->constantBlock;
    // A settled level's block holds its target: read from the parameter,
    // which the pull has just brought in, the level spares a visit to its
    // block (a slot's level is read in every voice).
    float levelValue = levelConstant && !(flags & wave::cMuteCall) ? base->parameter.getTarget() : level[0];
    if (mMatrix->mCounts[mVoice ? 1 : 0][cTargetSlotLevel + s] > 0) {
      wave::Producer* mod = mSums[static_cast<size_t>(cTargetSlotLevel + s)].get();
      const float* m = mod->pull(n, flags)->data;
      const bool modConstant = mod->constantBlock;
      if (levelConstant && modConstant) {
        levelValue = std::clamp(levelValue + m[0], 0.0f, 1.0f);
      } else {
        float* scratch = mScratch.data;
        if (levelConstant)
          vectorAddSFast(m, levelValue, scratch, n);
        else if (modConstant)
          vectorAddSFast(level, m[0], scratch, n);
        else
          vectorAddFast(level, m, scratch, n);
        vectorLimitFast(scratch, 0.0f, 1.0f, scratch, n);
        level = scratch;
        levelConstant = false;
      }
    }

    const bool voiceSource = mVoice && isVoiceSource(slot.source);
    bool parameterSource = voiceSource ? mParameterSources[slot.source] : parameterSources[slot.source];
    // An envelope holding one level: settled while it keeps that level,
    // which the caller looks at again in every block.
    if (!parameterSource && envelopes && voiceSource && inConstant && allSettled &&
        mValueKinds[slot.source] == cValueOfEnvelope && envelopes->count < HeldEnvelopes::cCapacity &&
        !(flags & wave::cMuteCall)) {
      envelopes->producers[envelopes->count] = source;
      envelopes->levels[envelopes->count] = static_cast<const EnvelopeGenerator*>(source)->getLevel();
      ++envelopes->count;
      parameterSource = true;
    }
    allSettled = allSettled && parameterSource && inConstant && levelConstant &&
                 mMatrix->mCounts[mVoice ? 1 : 0][cTargetSlotLevel + s] == 0;
    const float amount = slot.inverted ? -fullScale : fullScale;
    const float* x = in->data;
    // A slot turned down to 0 adds nothing; taking it as a moving block
    // (its source moves) would send the whole target's chain down the
    // per-sample path for zeros.
    if (levelConstant && levelValue * amount == 0.0f) continue;
    if (inConstant && levelConstant) {
      constantPart += constantValue(slot.source, source, in) * levelValue * amount;
    } else if (inConstant) {
      const float x0 = constantValue(slot.source, source, in);
      if (varying)
        vectorMulSAddFast(level, x0 * amount, out, out, n);
      else
        vectorMultiplySFast(level, x0 * amount, out, n);
      varying = true;
    } else if (levelConstant) {
      if (varying)
        vectorMulSAddFast(x, levelValue * amount, out, out, n);
      else
        vectorMultiplySFast(x, levelValue * amount, out, n);
      varying = true;
    } else {
      if (varying)
        vectorMul2MulSAddFast(x, level, amount, out, out, n);
      else
        vectorMul2MulSFast(x, level, amount, out, n);
      varying = true;
    }
  }
  mBusy[target] = false;
  if (!varying) {
    value = constantPart;
    if (settled) *settled = allSettled && !(flags & wave::cMuteCall);
    return cConstant;
  }
  if (constantPart != 0.0f) vectorAddSFast(out, constantPart, out, n);
  return cVarying;
}

float ModulationMatrix::Scope::constantValue(int source, const wave::Producer* producer,
                                             const wave::Block* in) const {
  switch (mValueKinds[source]) {
  case cValueOfParameter:
    // A settled parameter's block holds its target.
    return static_cast<const wave::FloatParameterSource*>(producer)->parameter.getTarget();
  case cValueOfEnvelope:
    // The envelope's level is the last sample it wrote.
    return static_cast<const EnvelopeGenerator*>(producer)->getLevel();
  default:
    return in->data[0];
  }
}

// ---- Voice

bool ModulationMatrix::Voice::setSource(int source, wave::Producer* producer) {
  if (!isSourceIndex(source) || !isVoiceSource(source)) return false;
  mSources[source] = producer;
  mMatrix->setDirty();
  mParameterSources[source] = producer && typeid(*producer) == typeid(wave::FloatParameterSource);
  // Only the classes themselves: a subclass may render something else.
  ValueKind kind = cValueInBlock;
  if (producer && typeid(*producer) == typeid(wave::FloatParameterSource))
    kind = cValueOfParameter;
  else if (producer && typeid(*producer) == typeid(EnvelopeGenerator))
    kind = cValueOfEnvelope;
  mValueKinds[source] = kind;
  return true;
}

// ---- the matrix

ModulationMatrix::ModulationMatrix(wave::Environment* env) : mEnv(env) {
  mLevels.reserve(cNumSlots);
  for (int s = 0; s < cNumSlots; ++s) {
    auto level = std::make_unique<wave::FloatParameterSource>(env, 0.5f);
    level->parameter.setLimits(0.0f, 1.0f);
    mLevels.push_back(std::move(level));
  }
  for (auto& list : mCounts)
    for (uint8_t& c : list) c = 0;
  mGlobal.reset(new Scope(this, false));
  rebuild();
}

ModulationMatrix::~ModulationMatrix() = default;

bool ModulationMatrix::setGlobalSource(int source, wave::Producer* producer) {
  if (!isSourceIndex(source) || isVoiceSource(source)) return false;
  mGlobal->mSources[source] = producer;
  mGlobal->mParameterSources[source] = producer && typeid(*producer) == typeid(wave::FloatParameterSource);
  setDirty();
  return true;
}

void ModulationMatrix::setSlotSource(int slot, int source) {
  if (slot < 0 || slot >= cNumSlots) return;
  const int32_t value = isSourceIndex(source) ? source : -1;
  if (mSlots[slot].source == value) return;
  mSlots[slot].source = value;
  setDirty();
}

void ModulationMatrix::setSlotTarget(int slot, int target) {
  if (slot < 0 || slot >= cNumSlots) return;
  const int32_t value = isTargetIndex(target) ? target : -1;
  if (mSlots[slot].target == value) return;
  mSlots[slot].target = value;
  setDirty();
}

void ModulationMatrix::setSlotInverted(int slot, bool inverted) {
  // The sign is read while summing; the lists stay as they are.
  if (slot < 0 || slot >= cNumSlots || mSlots[slot].inverted == inverted) return;
  mSlots[slot].inverted = inverted;
  countChange();
}

void ModulationMatrix::setSlotBypassed(int slot, bool bypassed) {
  if (slot < 0 || slot >= cNumSlots || mSlots[slot].bypassed == bypassed) return;
  mSlots[slot].bypassed = bypassed;
  setDirty();
}

void ModulationMatrix::setSlotLevel(int slot, float level, bool glide) {
  if (slot < 0 || slot >= cNumSlots) return;
  wave::FloatParameter& parameter = mLevels[static_cast<size_t>(slot)]->parameter;
  parameter.setInterpolated(level, glide ? -1.0f : 0.0f);
}

bool ModulationMatrix::isSlotValid(int slot) {
  update();
  return slot >= 0 && slot < cNumSlots && mAnalysis.valid[slot];
}

bool ModulationMatrix::isSlotPerVoice(int slot) {
  update();
  return slot >= 0 && slot < cNumSlots && mAnalysis.voice[slot];
}

void ModulationMatrix::rebuild() {
  analyze(mSlots, mAnalysis);
  for (auto& list : mCounts)
    for (uint8_t& c : list) c = 0;
  for (int s = 0; s < cNumSlots; ++s) {
    if (!mAnalysis.valid[s]) continue;
    const int scope = mAnalysis.voice[s] ? 1 : 0;
    const int target = mSlots[s].target;
    mLists[scope][target][mCounts[scope][target]++] = static_cast<int8_t>(s);
  }
  for (int t = 0; t < cNumTargets; ++t) mVoiceDependent[t] = readsVoiceSource(t, 0);
  mDirty = false;
  ++mGeneration;
}

bool ModulationMatrix::readsVoiceSource(int target, int depth) const {
  // The rules leave no loops, so a chain of slot levels is at most one slot
  // per step deep; the limit only guards against endless recursion.
  if (depth > cNumSlots) return true;
  for (int k = 0; k < mCounts[1][target]; ++k) {
    const int s = mLists[1][target][k];
    if (isVoiceSource(mSlots[s].source) || readsVoiceSource(cTargetSlotLevel + s, depth + 1)) return true;
  }
  return false;
}
