#pragma once

// Small control-signal units of the synthesizer's voices: pitch and
// control offsets, the left and right gains of a level and a pan, and the
// left and right cut-off of a filter with a pan. Each reads its inputs as
// per-sample blocks, so any input may be a plain parameter or a modulated
// signal; when every input holds one value throughout a block, so does the
// output (constantBlock), and readers may skip work.

#include "wave/MultiProducer.h"
#include "wave/Producer.h"

// out = input + offset + addendScale x addend. Without an addend and with
// an offset of 0 the input's block is handed on without a copy. A missing
// input reads as 0.
class ControlOffset : public wave::Source {
public:
  explicit ControlOffset(wave::Environment* env) : wave::Source(env) {}

  void produce(wave::Block* block, int n, int flags) override;

  void setInput(wave::Producer* p) { input.setInput(p); }
  void setAddend(wave::Producer* p, float scale = 1.0f) {
    addend.setInput(p);
    addendScale = scale;
  }

  wave::Consumer input;
  wave::Consumer addend;
  float addendScale = 1.0f;
  // A plain store, read at the next block.
  float offset = 0.0f;

private:
  wave::ConstantFill fill;
};

// Output 0 = level x scale x (1 - pan) for pan > 0, else level x scale;
// output 1 = level x scale x (1 + pan) for pan < 0, else level x scale.
// Pan runs from -1 (left) to +1 (right); the centre leaves both channels at
// full level, so a centred source is as loud as it was without a pan.
class BalanceGains : public wave::MultiProducer {
public:
  explicit BalanceGains(wave::Environment* env) : wave::MultiProducer(env, 2) {}

  void produce(wave::Block* const* blocks, int n, int flags) override;

  void setInputs(wave::Producer* levelInput, wave::Producer* panInput) {
    level.setInput(levelInput);
    pan.setInput(panInput);
  }

  wave::Consumer level;
  wave::Consumer pan;
  // A plain store, read at the next block.
  float scale = 1.0f;

private:
  wave::ConstantFill fills[2];
};

// Output 0 (left) = base + pan x span, output 1 (right) = base - pan x span:
// a pan to the left lowers the left channel's cut-off and raises the
// right's.
class StereoCutoff : public wave::MultiProducer {
public:
  explicit StereoCutoff(wave::Environment* env) : wave::MultiProducer(env, 2) {}

  void produce(wave::Block* const* blocks, int n, int flags) override;

  void setInputs(wave::Producer* baseInput, wave::Producer* panInput) {
    base.setInput(baseInput);
    pan.setInput(panInput);
  }

  wave::Consumer base;
  wave::Consumer pan;
  // Octaves of cut-off difference per unit of pan.
  float span = 1.0f;

private:
  wave::ConstantFill fills[2];
};
