#include "wave/Filter.h"

namespace wave {

void Filter::produce(Block* out, int n, int flags) {
  if (!input) {
    filter(nullptr, out, n, flags);
    return;
  }
  const Block* in = input->pull(n, flags);
  filter(in, out, n, flags);
}

void Forwarder::filter(const Block* in, Block*, int, int) {
  // The input block is only read through current by this forwarder's own
  // consumers, which read and never write a producer's current block.
  current = const_cast<Block*>(in);
  stamp = env->stamp;
}

} // namespace wave
