#include "wave/MultiProducer.h"

#include <new>

namespace wave {

void MultiProducer::Output::produce(Block*, int n, int flags) { owner->produceAll(n, flags); }

MultiProducer::MultiProducer(Environment* env, int count)
    : Component(env), count(count < 0 ? 0 : count), ownBlocks(static_cast<size_t>(this->count)),
      outputs(static_cast<size_t>(this->count)), currentBlocks(static_cast<size_t>(this->count)) {
  int made = 0;
  try {
    for (; made < this->count; ++made) {
      const bool inside = made < cInlineOutputs;
      ownBlocks[made] = inside ? new (blockSpace[made]) Block(env) : new Block(env);
      try {
        outputs[made] = inside ? new (outputSpace[made]) Output(env, this) : new Output(env, this);
      } catch (...) {
        outputs[made] = nullptr;
        ++made;
        throw;
      }
    }
  } catch (...) {
    for (int i = 0; i < made; ++i) release(i);
    throw;
  }
}

void MultiProducer::release(int i) {
  Output* o = outputs[static_cast<size_t>(i)];
  Block* b = ownBlocks[static_cast<size_t>(i)];
  if (i < cInlineOutputs) {
    if (o) o->~Output();
    if (b) b->~Block();
  } else {
    delete o;
    delete b;
  }
}

MultiProducer::~MultiProducer() {
  for (int i = 0; i < count; ++i) release(i);
}

void MultiProducer::reset() {
  for (Block* b : ownBlocks) b->reset();
}

void MultiProducer::produceAll(int n, int flags) {
  Block** own = ownBlocks.data();
  Block** chosen = currentBlocks.data();
  if (count == 2) {
    // Most nodes are a left and right pair: straight through, without the
    // loops' set-up in every voice's every block.
    chosen[0] = own[0];
    chosen[1] = own[1];
    produce(own, n, flags);
    const int32_t stamp = env->stamp;
    Output* left = outputs[0];
    Output* right = outputs[1];
    left->current = chosen[0];
    left->stamp = stamp;
    right->current = chosen[1];
    right->stamp = stamp;
    return;
  }
  for (size_t i = 0; i < ownBlocks.size(); ++i) chosen[i] = own[i];
  produce(own, n, flags);
  int32_t stamp = env->stamp;
  for (size_t i = 0; i < outputs.size(); ++i) {
    outputs[i]->current = chosen[i];
    outputs[i]->stamp = stamp;
  }
}

} // namespace wave
