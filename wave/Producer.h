#pragma once

// A node of the signal graph that outputs one block of samples per block
// when somebody asks for it (pull model), at most once per block, and may
// hand out another block instead of copying (zero copy through current).

#include "wave/Block.h"
#include "wave/Component.h"
#include "wave/Environment.h"

#include <cstdint>

namespace wave {

// Bits of the flags argument of produce.
constexpr int cMuteCall = 1;     // not pulled: advance the state by n, pull nothing, no need to write
constexpr int cEndBlockCall = 2; // the end-of-block notification call

// Producer constructor flag: the producer has no block of its own.
constexpr int cNoOwnBlock = 1;

// How a producer with automatic mute calls is ordered at the end of a block.
enum MuteBehavior {
  cMuteCallsLast = 0, // appended behind everything subscribed so far
  cMuteCallsFirst = 1 // ahead of every earlier automatic subscriber
};

// A producer's dormant flag, kept in the environment's compact array so
// that the end of a block can pass dormant producers by without touching
// them. Reads and writes like a bool.
class DormantFlag {
public:
  DormantFlag() = default;
  DormantFlag(const DormantFlag&) = delete;
  void bind(Environment* e, int32_t producerId) {
    env = e;
    id = producerId;
  }
  DormantFlag& operator=(bool v) {
    env->setDormant(id, v);
    return *this;
  }
  DormantFlag& operator=(const DormantFlag& other) { return *this = static_cast<bool>(other); }
  operator bool() const { return env->dormantFlags[static_cast<size_t>(id)] != 0; }

  Environment* env = nullptr;
  int32_t id = -1;
};

class Producer : public Component {
public:
  enum EndBlockMode { cNotSubscribed = 0, cAutomaticMuteCalls = 1, cEndBlockNotifications = 2 };

  explicit Producer(Environment* env, int flags = 0);
  // Same environment, an own block when the source has one, not subscribed,
  // never produced.
  Producer(const Producer& other);
  // Changes nothing: a producer's block and subscriptions are its own.
  Producer& operator=(const Producer&) { return *this; }
  virtual ~Producer();

  // produce, wrapped in the profiler hooks where a subclass adds them.
  virtual void doProduce(Block* block, int n, int flags);
  // Renders n samples (1 <= n <= maxBlockSize) into block (the own block,
  // which is current on entry) or points current elsewhere. flags: see
  // cMuteCall and cEndBlockCall.
  virtual void produce(Block* block, int n, int flags) = 0;
  // Called on reset subscribers when the environment is reset.
  virtual void resetState() {}
  // True when the block just produced is constant and the following blocks
  // would hold the same value until the environment's parameterChanges or
  // busChanges moves on: a reader may then keep the value it read instead
  // of pulling again.
  virtual bool holdsOutput() const { return false; }

  // Each call subscribes once more.
  void enableResetNotifications();
  // The first of these two chooses the end-of-block mode for good.
  void enableEndBlockNotifications();
  void enableAutomaticMuteCalls(MuteBehavior b);

  // True when current holds this block's output.
  bool isProduced() const { return stamp == env->stamp; }

  // The pull rule: renders this block's output unless that was done already
  // in this block (or flags carries cMuteCall), and returns where it lies
  // (null when the producer never produced anything).
  Block* pull(int n, int flags = 0) {
    if (stamp != env->stamp && !(flags & cMuteCall)) {
      current = ownBlock;
      produce(ownBlock, n, flags);
      stamp = env->stamp;
    }
    return current;
  }

  // What every pull reads (with the environment's address before it)
  // comes first, where one line holds it: a reader of a block made already
  // touches no other part of the producer.
  //
  // The environment stamp of the block for which current is valid.
  int32_t stamp = 0;
  // Set by a producer whose current block holds one value throughout;
  // readers may then use the first sample alone.
  bool constantBlock = false;
  // Where this block's output lies: ownBlock, another producer's block, a
  // block of the unit's own, or the environment's silentBlock.
  Block* current = nullptr;
  Block* ownBlock;
  int32_t endBlockMode = cNotSubscribed;
  bool resetSubscribed = false;
  // Set by a producer with automatic mute calls while one more mute call
  // would change nothing (an envelope at rest): the end of a block counts
  // it as called without calling it. Whatever can make a mute call matter
  // again clears it.
  DormantFlag dormant;
};

// Base of every unit without a signal input.
class Source : public Producer {
public:
  explicit Source(Environment* env, int flags = 0) : Producer(env, flags) {}
  void doProduce(Block* block, int n, int flags) override;
};

} // namespace wave
