#pragma once

// What every node of one plug-in instance's signal graph shares: the block
// size limit, the sample rate, the block stamp that tells whether a node has
// already rendered in the current block, a block of silence, and the nodes
// that want a call at the end of every block or when the graph is reset.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wave {

class Block;
class Producer;

class Environment {
public:
  enum EndBlockPriority {
    cFrontGroup = 0,      // inserted at the very front
    cAfterFrontGroup = 1, // right after the front group, ahead of every earlier 1 or 2
    cAppend = 2           // at the end
  };

  explicit Environment(int maxBlockSize);
  ~Environment();

  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  // Called once before each rendered slice.
  void beginBlock();
  // Gives the end-of-block subscribers their calls, then advances the
  // sample clock by n.
  void endBlock(int n);
  // Remembers the moment of the reset and calls resetState on every reset
  // subscriber, in subscription order. The sample clock keeps running.
  void reset();
  void setSampleRate(float rate);

  // Every producer constructor calls this once; returns the producer's
  // number (its place in dormantFlags). The subscriber lists keep room for
  // one entry per producer, so subscribing never allocates while rendering.
  int32_t registerProducer();

  void subscribeResetNotifications(Producer* p);
  // Removes every occurrence.
  void unsubscribeResetNotifications(Producer* p);
  void subscribeEndBlockNotifications(Producer* p, EndBlockPriority priority);
  // Removes every occurrence.
  void unsubscribeEndBlockNotifications(Producer* p);
  // Sets producer id's dormant flag and its end-block entry's bit.
  void setDormant(int32_t id, bool dormant) {
    const size_t i = static_cast<size_t>(id);
    dormantFlags[i] = dormant ? 1 : 0;
    const int32_t at = endBlockPositions[i];
    if (at < 0) return;
    const uint64_t bit = uint64_t{1} << (at & 63);
    uint64_t& word = endBlockAwake[static_cast<size_t>(at >> 6)];
    word = dormant ? word & ~bit : word | bit;
  }

  // Units read these directly.
  int32_t maxBlockSize;
  int32_t producerCount = 0;
  int32_t frontCount = 0;
  std::vector<Producer*> endBlockSubscribers;
  // One bit per end-block entry, set while the entry wants its call: always
  // for a notification, for automatic mute calls while the producer is not
  // dormant. The end of a block finds the few awake entries of an idle
  // instance among a hundred resting envelopes by reading a few words.
  std::vector<uint64_t> endBlockAwake;
  // Per producer number: its end-block entry when it takes automatic mute
  // calls, else -1.
  std::vector<int32_t> endBlockPositions;
  // Per producer number: 1 while that producer is dormant.
  std::vector<uint8_t> dormantFlags;
  std::vector<Producer*> resetSubscribers;
  uint32_t resetTime = 0;
  uint32_t sampleTime = 0;
  float sampleRate = 44100.0f;
  int32_t stamp = 0;
  // Counts the changes of any FloatParameterBus's controller, so that a
  // unit that reads its buses only now and then can tell without looking
  // at each of them that none has a new one.
  uint32_t busChanges = 0;
  // Counts the calls that may change a settled FloatParameter's value (a
  // new target, new limits): a unit that found its parameters settled may
  // tell without reading them again that they still hold the values it
  // read.
  uint32_t parameterChanges = 0;
  // maxBlockSize zeros shared by every producer that outputs silence
  // without writing; nobody writes into it.
  Block* silentBlock;

private:
  // Renumbers the entries and sets their bits after the list changed.
  void indexEndBlockEntries();
};

} // namespace wave
