#include "wave/MultiProducer.h"

namespace wave {

void MultiProducer::Output::produce(Block*, int n, int flags) { owner->produceAll(n, flags); }

MultiProducer::MultiProducer(Environment* env, int count)
    : Component(env), count(count < 0 ? 0 : count), ownBlocks(static_cast<size_t>(this->count)),
      outputs(static_cast<size_t>(this->count)), currentBlocks(static_cast<size_t>(this->count)) {
  try {
    for (size_t i = 0; i < outputs.size(); ++i) {
      ownBlocks[i] = new Block(env);
      outputs[i] = new Output(env, this);
    }
  } catch (...) {
    for (size_t i = 0; i < outputs.size(); ++i) {
      delete outputs[i];
      delete ownBlocks[i];
    }
    throw;
  }
}

MultiProducer::~MultiProducer() {
  for (size_t i = 0; i < outputs.size(); ++i) {
    delete outputs[i];
    delete ownBlocks[i];
  }
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
