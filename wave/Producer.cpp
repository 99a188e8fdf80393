#include "wave/Producer.h"

#include "wave/Profiler.h"

namespace wave {

Producer::Producer(Environment* env, int flags)
    : Component(env), ownBlock((flags & cNoOwnBlock) ? nullptr : new Block(env)) {
  dormant.bind(env, env->registerProducer());
}

Producer::Producer(const Producer& other)
    : Component(other.env), ownBlock(other.ownBlock ? new Block(other.env) : nullptr) {
  dormant.bind(env, env->registerProducer());
}

Producer::~Producer() {
  if (endBlockMode != cNotSubscribed) env->unsubscribeEndBlockNotifications(this);
  if (resetSubscribed) env->unsubscribeResetNotifications(this);
  delete ownBlock;
}

void Producer::doProduce(Block* block, int n, int flags) { produce(block, n, flags); }

void Producer::enableResetNotifications() {
  env->subscribeResetNotifications(this);
  resetSubscribed = true;
}

void Producer::enableEndBlockNotifications() {
  if (endBlockMode != cNotSubscribed) return;
  endBlockMode = cEndBlockNotifications;
  env->subscribeEndBlockNotifications(this, Environment::cFrontGroup);
}

void Producer::enableAutomaticMuteCalls(MuteBehavior b) {
  if (endBlockMode != cNotSubscribed) return;
  endBlockMode = cAutomaticMuteCalls;
  env->subscribeEndBlockNotifications(this, b == cMuteCallsFirst ? Environment::cAfterFrontGroup
                                                                 : Environment::cAppend);
}

void Source::doProduce(Block* block, int n, int flags) {
  Profiler* profiler = getWaveProfiler();
  if (!profiler) {
    produce(block, n, flags);
    return;
  }
  profiler->beginProduce();
  produce(block, n, flags);
  profiler->endProduce(this);
}

} // namespace wave
