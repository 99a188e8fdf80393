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
  for (size_t i = 0; i < ownBlocks.size(); ++i) currentBlocks[i] = ownBlocks[i];
  produce(ownBlocks.data(), n, flags);
  int32_t stamp = env->stamp;
  for (size_t i = 0; i < outputs.size(); ++i) {
    outputs[i]->current = currentBlocks[i];
    outputs[i]->stamp = stamp;
  }
}

} // namespace wave
