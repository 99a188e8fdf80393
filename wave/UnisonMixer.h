#pragma once

// Sums the unison copies of one voice into a stereo pair, each copy with
// its own left and right gain and a fixed pan position. Copies whose gains
// are constant and silent in a block are skipped without pulling their
// signal, so silent oscillators cost nothing.

#include "wave/MultiProducer.h"

#include <vector>

class UnisonMixer : public wave::MultiProducer {
public:
  struct Source {
    wave::Producer* leftGain;
    wave::Producer* rightGain;
    wave::Producer* signal;
    // -1 left .. +1 right.
    float pan;
  };

  // Room for capacity sources is reserved, so adding that many never
  // reallocates.
  UnisonMixer(wave::Environment* env, int capacity);
  ~UnisonMixer() override;

  // The producers are not owned.
  void addSource(wave::Producer* signal, wave::Producer* leftGain, wave::Producer* rightGain, float pan);
  void clearAll();

  // Output 0 is left, 1 right. When every sounding copy has the same
  // constant gain on both sides and sits in the middle, the two sides are
  // the same samples: the left block is handed out for both.
  void produce(wave::Block* const* outputs, int n, int flags) override;

  // One sounding source's part of a block: its signal, its gains and its
  // pan factors, with constantGains set where both gains hold one value.
  struct Share {
    const float* x;
    const float* leftGain;
    const float* rightGain;
    float leftFactor;
    float rightFactor;
    bool constantGains;
  };

private:
  // Up to this many sources, a call keeps its shares on the stack.
  static constexpr size_t cLocalShares = 8;
  std::vector<Source> sources;
  // Room for a share per source beyond that, kept as long as the sources.
  std::vector<Share> shares;
};
