#pragma once

// A modulated control input: the unit's own value plus the modulation
// matrix's sum for one target in one scope, applied the target's way (added,
// or as a power of two; see ModulationMatrix.h) and kept within limits. Set
// it as the controller of the unit's FloatParameterBus.
//
// While no valid slot of the scope drives the target, the output is the
// base producer's own block (no copy, no work).
//
// To modulate a unit's bus and keep its own value as the base:
//   ModulationMatrixInput input(env, &voiceScope, target, &unit.attackTime.source, min, max);
//   unit.attackTime.setController(&input);
// The plug-in parameter (or the unit itself, as an LFO's tempo sync does)
// still writes the bus's own value, which the input reads.

#include "synth/ModulationMatrix.h"
#include "wave/Producer.h"

class ModulationMatrixInput : public wave::Source {
public:
  // base: the unit's value in the target's units (a FloatParameterSource
  // that the plug-in parameter drives, typically shared by every voice);
  // not owned. Without a base the value is 0. scope: a voice for per-voice
  // targets, the matrix's global scope for global ones.
  ModulationMatrixInput(wave::Environment* env, ModulationMatrix::Scope* scope, int target, wave::Producer* base,
                        float min, float max);

  void produce(wave::Block* block, int n, int flags) override;
  bool holdsOutput() const override { return mHolds; }

  void setBase(wave::Producer* base);
  void setLimits(float min, float max) {
    mMin = min;
    mMax = max;
    mHeld = false;
    mHolds = false;
    // Whoever keeps a value read from this input reads it again.
    ++env->parameterChanges;
  }
  int getTarget() const { return mTarget; }

private:
  // Everything but a held value: kept out of produce, whose held case then
  // saves and restores no more registers than it uses.
  void produceAnew(wave::Block* block, int n, int flags);
  // Whether every envelope the held value rests on still renders the
  // level it had (pulling them, as the sum would).
  bool envelopesStand(int n, int flags);

  ModulationMatrix::Scope* mScope;
  // The scope's matrix, kept here: the held case asks it for its count of
  // changes in every block without a visit to the scope.
  ModulationMatrix* mMatrix;
  // What a held value reads comes next, on the lines of the matrix's
  // address: a held note's input fetches no more of itself.
  wave::ConstantFill fill;
  // The last block was the constant mHeldValue, made of settled parameters
  // (the base and every slot's source and level) and of the envelopes in
  // mEnvelopes at their levels, while the environment's and the matrix's
  // counts of changes stood at these: until either moves on, or one of the
  // envelopes leaves its level, the input gives that value without reading
  // the rest.
  bool mHeld = false;
  // The last block came from settled parameters alone (held without
  // envelopes, or the settled base while nothing modulates the target).
  bool mHolds = false;
  float mHeldValue = 0.0f;
  uint32_t mHeldParameterChanges = 0;
  uint32_t mHeldMatrixChanges = 0;
  ModulationMatrix::Scope::HeldEnvelopes mEnvelopes;
  wave::Producer* mBase;
  // mBase when it is a plain parameter source, whose settled value is read
  // from the parameter (which the pull brings in) rather than its block.
  const wave::FloatParameterSource* mBaseParameter = nullptr;
  int mTarget;
  // The scope's sum of the target (its sums live as long as the scope);
  // the input evaluates the sum itself, into its own block.
  wave::Producer* mSum;
  float mFullScale;
  ModulationMatrix::TargetScale mScale;
  float mOffset;
  float mMin;
  float mMax;
};
