#include "tests/support/AllocationCounter.h"
#include "wave/Block.h"
#include "wave/Environment.h"
#include "wave/Filter.h"
#include "wave/Input.h"
#include "wave/MultiProducer.h"
#include "wave/Producer.h"
#include "wave/Profiler.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

using namespace wave;

namespace {

struct Call {
  const Producer* who;
  int n;
  int flags;
};

// Every produce and resetState call of the test producers, in order. Room is
// reserved up front so that recording allocates nothing.
struct CallLog {
  CallLog() {
    calls.reserve(1024);
    resets.reserve(1024);
  }
  std::vector<Call> calls;
  std::vector<const Producer*> resets;
  int countFor(const Producer* p) const {
    int c = 0;
    for (const Call& call : calls)
      if (call.who == p) ++c;
    return c;
  }
};

// Writes value + block number into its own block.
class TestSource : public Source {
public:
  TestSource(Environment* env, CallLog& log, float value = 1.0f, int flags = 0)
      : Source(env, flags), log(log), value(value) {}
  void produce(Block* block, int n, int flags) override {
    log.calls.push_back({this, n, flags});
    if (block && !(flags & cMuteCall))
      for (int i = 0; i < n; ++i) block->data[i] = value + static_cast<float>(env->stamp);
  }
  void resetState() override { log.resets.push_back(this); }
  CallLog& log;
  float value;
};

// Renders one empty block of 16 samples; returns who had a call, in order.
std::vector<const Producer*> endOneBlock(Environment& env, CallLog& log) {
  log.calls.clear();
  env.beginBlock();
  env.endBlock(16);
  std::vector<const Producer*> who;
  for (const auto& c : log.calls) who.push_back(c.who);
  return who;
}

// Adds 1 to its input, remembering what it was handed.
class AddOne : public Filter {
public:
  AddOne(Environment* env, CallLog& log) : Filter(env), log(log) {}
  void filter(const Block* in, Block* out, int n, int flags) override {
    log.calls.push_back({this, n, flags});
    lastIn = in;
    if (in && !(flags & cMuteCall))
      for (int i = 0; i < n; ++i) out->data[i] = in->data[i] + 1.0f;
  }
  CallLog& log;
  const Block* lastIn = reinterpret_cast<const Block*>(1); // "never called"
};

// Two outputs: 0 holds the block number, 1 is silent (redirected).
class TwoOutputs : public MultiProducer {
public:
  TwoOutputs(Environment* env) : MultiProducer(env, 2) {}
  void produce(Block* const* blocks, int n, int flags) override {
    ++calls;
    lastFlags = flags;
    for (int i = 0; i < n; ++i) blocks[0]->data[i] = static_cast<float>(env->stamp);
    currentBlocks[1] = env->silentBlock;
  }
  int calls = 0;
  int lastFlags = -1;
};

} // namespace

TEST(SignalGraphTest, BlocksAreAlignedZeroedAndSizedToTheMaximumBlock) {
  Environment env(100);
  Block one(&env);
  Block three(&env, 3);
  EXPECT_EQ(one.size, 100);
  EXPECT_EQ(three.size, 300);
  for (const Block* b : {&one, &three, env.silentBlock}) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b->data) % 16, 0u);
    for (int i = 0; i < b->size; ++i) ASSERT_EQ(b->data[i], 0.0f);
  }
  for (int i = 0; i < one.size; ++i) one.data[i] = 3.0f;
  one.reset();
  for (int i = 0; i < one.size; ++i) ASSERT_EQ(one.data[i], 0.0f);
  one.initialize(7);
  EXPECT_EQ(one.size, 7);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(one.data) % 16, 0u);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(one.data[i], 0.0f);
}

// Blocks come and go while graphs are built and torn down: a block built
// where written ones were freed starts silent, aligned, and shares no sample
// with any other live block, of its size or another (a large one too).
TEST(SignalGraphTest, BlocksBuiltAfterOthersWereFreedAreSilentAndApart) {
  Environment env(100);
  std::vector<std::unique_ptr<Block>> live;
  auto fillAll = [](Block& b, float v) {
    for (int i = 0; i < b.size; ++i) b.data[i] = v;
  };
  for (int round = 0; round < 3; ++round) {
    const size_t kept = live.size();
    for (int k = 0; k < 150; ++k)
      live.push_back(k % 50 == 49 ? std::make_unique<Block>(&env, 200) : std::make_unique<Block>(&env));
    for (size_t k = kept; k < live.size(); ++k) {
      const Block& b = *live[k];
      ASSERT_EQ(reinterpret_cast<uintptr_t>(b.data) % 16, 0u);
      for (int i = 0; i < b.size; ++i) ASSERT_EQ(b.data[i], 0.0f);
    }
    // Each block marked with its own number: an overlap shows as a mark
    // overwritten by another block's.
    for (size_t k = 0; k < live.size(); ++k) fillAll(*live[k], static_cast<float>(k + 1));
    for (size_t k = 0; k < live.size(); ++k)
      for (int i = 0; i < live[k]->size; ++i) ASSERT_EQ(live[k]->data[i], static_cast<float>(k + 1));
    // Every other block goes; the next round builds into the gaps.
    std::vector<std::unique_ptr<Block>> rest;
    for (size_t k = 0; k < live.size(); ++k)
      if (k % 2) rest.push_back(std::move(live[k]));
    live = std::move(rest);
  }
}

// A block filled with one value holds it in every sample asked for after
// each fill, whatever was asked before: a new value (also one that only
// differs in sign, as -0 from 0), a longer block, another buffer, or a
// write the fill was told about.
TEST(SignalGraphTest, AConstantFillLeavesTheBlockHoldingTheValueAskedFor) {
  Environment env(64);
  Block a(&env), b(&env);
  ConstantFill fill;
  auto holds = [](const Block& x, int n, float v) {
    for (int i = 0; i < n; ++i)
      if (std::memcmp(&x.data[i], &v, sizeof v) != 0) return false;
    return true;
  };
  fill.fill(a.data, 16, 0.0f);
  EXPECT_TRUE(holds(a, 16, 0.0f));
  fill.fill(a.data, 16, -0.0f);
  EXPECT_TRUE(holds(a, 16, -0.0f));
  fill.fill(a.data, 32, -0.0f);
  EXPECT_TRUE(holds(a, 32, -0.0f));
  fill.fill(a.data, 8, 2.5f);
  EXPECT_TRUE(holds(a, 8, 2.5f));
  fill.fill(a.data, 32, 2.5f);
  EXPECT_TRUE(holds(a, 32, 2.5f));
  fill.fill(b.data, 32, 2.5f);
  EXPECT_TRUE(holds(b, 32, 2.5f));
  for (int i = 0; i < 32; ++i) b.data[i] = static_cast<float>(i);
  fill.forget();
  fill.fill(b.data, 32, 2.5f);
  EXPECT_TRUE(holds(b, 32, 2.5f));
}

TEST(SignalGraphTest, EnvironmentStartsAsDescribedAndCountsTime) {
  Environment env(64);
  EXPECT_EQ(env.maxBlockSize, 64);
  EXPECT_EQ(env.sampleRate, 44100.0f);
  EXPECT_EQ(env.stamp, 0);
  EXPECT_EQ(env.sampleTime, 0u);
  EXPECT_EQ(env.resetTime, 0u);
  EXPECT_EQ(env.producerCount, 0);
  env.setSampleRate(48000.0f);
  EXPECT_EQ(env.sampleRate, 48000.0f);
  env.beginBlock();
  env.endBlock(64);
  env.beginBlock();
  env.endBlock(10);
  EXPECT_EQ(env.stamp, 2);
  EXPECT_EQ(env.sampleTime, 74u);
  env.reset();
  EXPECT_EQ(env.resetTime, 74u);
  EXPECT_EQ(env.sampleTime, 74u); // the sample clock keeps running
}

TEST(SignalGraphTest, ProducersRegisterAndTheListsKeepRoomForAll) {
  Environment env(16);
  CallLog log;
  {
    std::vector<std::unique_ptr<TestSource>> sources;
    for (int i = 0; i < 37; ++i) sources.push_back(std::make_unique<TestSource>(&env, log));
    EXPECT_EQ(env.producerCount, 37);
    EXPECT_GE(env.endBlockSubscribers.capacity(), 37u);
    EXPECT_GE(env.resetSubscribers.capacity(), 37u);
    TestSource copy(*sources[0]);
    EXPECT_EQ(env.producerCount, 38);
  }
  EXPECT_EQ(env.producerCount, 38); // never decreased
}

TEST(SignalGraphTest, AProducerRendersOncePerBlockWhateverTheNumberOfConsumers) {
  Environment env(32);
  CallLog log;
  TestSource src(&env, log, 10.0f);
  AddOne a(&env, log), b(&env, log);
  a.setInput(&src);
  b.setInput(&src);

  env.beginBlock();
  Block* outA = a.pull(32);
  Block* outB = b.pull(32);
  EXPECT_EQ(log.countFor(&src), 1);
  EXPECT_EQ(a.lastIn, src.ownBlock);
  EXPECT_EQ(b.lastIn, a.lastIn); // both consumers see the same block
  EXPECT_EQ(outA, a.ownBlock);
  EXPECT_EQ(outA->data[0], 12.0f); // 10 + block 1, plus one
  EXPECT_EQ(outB->data[31], 12.0f);
  // Pulling again in the same block costs nothing.
  a.pull(32);
  EXPECT_EQ(log.countFor(&a), 1);
  env.endBlock(32);

  env.beginBlock();
  b.pull(16);
  EXPECT_EQ(log.countFor(&src), 2);
  EXPECT_EQ(log.calls.back().n, 16);
  EXPECT_EQ(b.current->data[0], 13.0f);
  env.endBlock(16);
}

TEST(SignalGraphTest, PullingBeforeTheFirstBlockOrAsAMuteCallRendersNothing) {
  Environment env(8);
  CallLog log;
  TestSource src(&env, log);
  EXPECT_EQ(src.pull(8), nullptr); // both stamps are 0: never produced
  EXPECT_TRUE(log.calls.empty());
  env.beginBlock();
  EXPECT_FALSE(src.isProduced());
  EXPECT_EQ(src.pull(8, cMuteCall), nullptr);
  EXPECT_TRUE(log.calls.empty());
  EXPECT_EQ(src.pull(8), src.ownBlock);
  EXPECT_TRUE(src.isProduced());
  EXPECT_EQ(log.calls.size(), 1u);
}

TEST(SignalGraphTest, AutomaticMuteCallsGoOnlyToProducersNobodyPulled) {
  Environment env(16);
  CallLog log;
  TestSource src(&env, log);
  src.enableAutomaticMuteCalls(cMuteCallsFirst);
  EXPECT_EQ(src.endBlockMode, Producer::cAutomaticMuteCalls);

  env.beginBlock();
  src.pull(16);
  env.endBlock(16);
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(log.calls[0].flags, 0);

  env.beginBlock();
  env.endBlock(12);
  ASSERT_EQ(log.calls.size(), 2u);
  EXPECT_EQ(log.calls[1].n, 12);
  EXPECT_EQ(log.calls[1].flags, cMuteCall);
  EXPECT_EQ(src.stamp, env.stamp);
  EXPECT_EQ(src.current, src.ownBlock);
}

TEST(SignalGraphTest, ADormantProducerGetsNoMuteCallsButIsStillPulledAndNotified) {
  Environment env(16);
  CallLog log;
  TestSource muted(&env, log), notified(&env, log);
  muted.enableAutomaticMuteCalls(cMuteCallsLast);
  notified.enableEndBlockNotifications();
  muted.dormant = notified.dormant = true;

  env.beginBlock();
  env.endBlock(16);
  ASSERT_EQ(log.calls.size(), 1u); // the notification only
  EXPECT_EQ(log.calls[0].flags, cEndBlockCall);
  // The flag lives in the environment's compact array, where the walk
  // reads it without touching the producer.
  EXPECT_EQ(env.dormantFlags[static_cast<size_t>(muted.dormant.id)], 1);

  env.beginBlock();
  muted.pull(16);
  env.endBlock(16);
  ASSERT_EQ(log.calls.size(), 3u);
  EXPECT_EQ(log.calls[1].who, &muted);
  EXPECT_EQ(log.calls[1].flags, 0);

  muted.dormant = false;
  env.beginBlock();
  env.endBlock(8);
  ASSERT_EQ(log.calls.size(), 5u);
  EXPECT_EQ(log.calls[4].who, &muted);
  EXPECT_EQ(log.calls[4].flags, cMuteCall);
  EXPECT_EQ(log.countFor(&notified), 3);
}

// Whatever the order of subscribing and unsubscribing, the dormant flag
// passed by at the end of a block is the one of the producer standing there.
TEST(SignalGraphTest, DormantProducersStayPassedByAcrossSubscriptionChanges) {
  Environment env(16);
  CallLog log;
  TestSource last(&env, log), first(&env, log), sleeper(&env, log);
  auto notified = std::make_unique<TestSource>(&env, log);
  last.enableAutomaticMuteCalls(cMuteCallsLast);
  sleeper.enableAutomaticMuteCalls(cMuteCallsFirst);
  notified->enableEndBlockNotifications();
  first.enableAutomaticMuteCalls(cMuteCallsFirst);
  sleeper.dormant = true;
  auto block = [&] { return endOneBlock(env, log); };
  EXPECT_EQ(block(), (std::vector<const Producer*>{notified.get(), &first, &last}));
  notified.reset();
  EXPECT_EQ(block(), (std::vector<const Producer*>{&first, &last}));
  sleeper.dormant = false;
  first.dormant = true;
  EXPECT_EQ(block(), (std::vector<const Producer*>{&sleeper, &last}));
}

// Among many resting producers the end of a block calls exactly the awake
// ones, in order, also one that an earlier call wakes further on or puts to
// rest, and also after an entry in front of
// them went away.
TEST(SignalGraphTest, AMuteCallThatWakesOrSettlesALaterProducerIsHonouredInTheSameBlock) {
  Environment env(16);
  CallLog log;
  struct Waker : TestSource {
    using TestSource::TestSource;
    void produce(Block* block, int n, int flags) override {
      TestSource::produce(block, n, flags);
      if (wake) wake->dormant = false;
      if (settle) settle->dormant = true;
    }
    Producer* wake = nullptr;
    Producer* settle = nullptr;
  };
  std::vector<std::unique_ptr<Waker>> all;
  for (int i = 0; i < 150; ++i) {
    all.push_back(std::make_unique<Waker>(&env, log));
    all.back()->enableAutomaticMuteCalls(cMuteCallsLast);
    all.back()->dormant = i != 3 && i != 50;
  }
  all[3]->wake = all[40].get();
  all[3]->settle = all[50].get();
  auto block = [&] { return endOneBlock(env, log); };
  EXPECT_EQ(block(), (std::vector<const Producer*>{all[3].get(), all[40].get()}));
  all[3]->wake = nullptr;
  all[40]->dormant = true;
  all[64]->dormant = false;
  all[149]->dormant = false;
  all.erase(all.begin()); // every entry moves one place forward
  EXPECT_EQ(block(), (std::vector<const Producer*>{all[2].get(), all[63].get(), all[148].get()}));
}

TEST(SignalGraphTest, EndBlockNotificationsComeInEveryBlockAlsoAfterAPull) {
  Environment env(16);
  CallLog log;
  TestSource src(&env, log);
  src.enableEndBlockNotifications();
  src.enableAutomaticMuteCalls(cMuteCallsFirst); // the first choice stays
  EXPECT_EQ(src.endBlockMode, Producer::cEndBlockNotifications);
  EXPECT_EQ(env.endBlockSubscribers.size(), 1u);

  env.beginBlock();
  src.pull(16);
  env.endBlock(16);
  env.beginBlock();
  env.endBlock(16);
  ASSERT_EQ(log.calls.size(), 3u);
  EXPECT_EQ(log.calls[0].flags, 0);
  EXPECT_EQ(log.calls[1].flags, cEndBlockCall);
  EXPECT_EQ(log.calls[2].flags, cEndBlockCall);
}

TEST(SignalGraphTest, EndOfBlockCallsFollowThePriorities) {
  Environment env(16);
  CallLog log;
  TestSource p1(&env, log), p2(&env, log), p3(&env, log), q1(&env, log), q2(&env, log);
  p1.enableAutomaticMuteCalls(cMuteCallsFirst);
  p2.enableAutomaticMuteCalls(cMuteCallsFirst);
  q1.enableAutomaticMuteCalls(cMuteCallsLast);
  p3.enableAutomaticMuteCalls(cMuteCallsFirst);
  q2.enableAutomaticMuteCalls(MuteBehavior(0));

  env.beginBlock();
  env.endBlock(16);
  std::vector<const Producer*> order;
  for (const Call& c : log.calls) order.push_back(c.who);
  EXPECT_EQ(order, (std::vector<const Producer*>{&p3, &p2, &p1, &q1, &q2}));

  // A notification subscriber goes in front of everything.
  TestSource front(&env, log);
  front.enableEndBlockNotifications();
  TestSource p4(&env, log);
  p4.enableAutomaticMuteCalls(cMuteCallsFirst);
  EXPECT_EQ(env.endBlockSubscribers,
            (std::vector<Producer*>{&front, &p4, &p3, &p2, &p1, &q1, &q2}));
}

TEST(SignalGraphTest, RemovingAFrontSubscriberKeepsLaterInsertionsBehindTheFrontGroup) {
  Environment env(16);
  CallLog log;
  TestSource a(&env, log), b(&env, log);
  a.enableAutomaticMuteCalls(cMuteCallsLast);
  {
    TestSource front(&env, log);
    front.enableEndBlockNotifications();
    EXPECT_EQ(env.frontCount, 1);
  }
  EXPECT_EQ(env.endBlockSubscribers, (std::vector<Producer*>{&a}));
  // Priority 1 must land at the very front again, not behind a.
  b.enableAutomaticMuteCalls(cMuteCallsFirst);
  EXPECT_EQ(env.endBlockSubscribers, (std::vector<Producer*>{&b, &a}));
}

TEST(SignalGraphTest, ResetCallsEachSubscriptionInOrderAndDestructionUnsubscribes) {
  Environment env(16);
  CallLog log;
  TestSource a(&env, log), b(&env, log);
  auto twice = std::make_unique<TestSource>(&env, log);
  b.enableResetNotifications();
  twice->enableResetNotifications();
  a.enableResetNotifications();
  twice->enableResetNotifications();
  twice->enableAutomaticMuteCalls(cMuteCallsLast);
  EXPECT_TRUE(a.resetSubscribed);

  env.beginBlock();
  env.endBlock(16);
  env.reset();
  EXPECT_EQ(log.resets, (std::vector<const Producer*>{&b, twice.get(), &a, twice.get()}));
  EXPECT_EQ(env.resetTime, 16u);

  twice.reset();
  EXPECT_EQ(env.resetSubscribers, (std::vector<Producer*>{&b, &a}));
  EXPECT_TRUE(env.endBlockSubscribers.empty());
  log.resets.clear();
  env.reset();
  EXPECT_EQ(log.resets, (std::vector<const Producer*>{&b, &a}));
}

TEST(SignalGraphTest, ACopiedProducerStartsUnsubscribedWithItsOwnBlock) {
  Environment env(16);
  CallLog log;
  TestSource src(&env, log, 1.0f);
  TestSource blockless(&env, log, 1.0f, cNoOwnBlock);
  src.enableResetNotifications();
  src.enableAutomaticMuteCalls(cMuteCallsLast);
  env.beginBlock();
  src.pull(16);

  TestSource copy(src);
  EXPECT_NE(copy.ownBlock, nullptr);
  EXPECT_NE(copy.ownBlock, src.ownBlock);
  EXPECT_EQ(copy.stamp, 0);
  EXPECT_EQ(copy.current, nullptr);
  EXPECT_EQ(copy.endBlockMode, Producer::cNotSubscribed);
  EXPECT_FALSE(copy.resetSubscribed);
  EXPECT_EQ(env.resetSubscribers.size(), 1u);
  TestSource blocklessCopy(blockless);
  EXPECT_EQ(blocklessCopy.ownBlock, nullptr);

  Block* before = copy.ownBlock;
  static_cast<Producer&>(copy) = src; // assignment changes nothing
  EXPECT_EQ(copy.ownBlock, before);
  EXPECT_EQ(copy.stamp, 0);
}

TEST(SignalGraphTest, FilterWithoutInputOrOnAMuteCallPullsNothing) {
  Environment env(8);
  CallLog log;
  AddOne lone(&env, log);
  env.beginBlock();
  lone.pull(8);
  EXPECT_EQ(lone.lastIn, nullptr);

  TestSource src(&env, log);
  AddOne f(&env, log);
  f.setInput(&src);
  f.produce(f.ownBlock, 8, cMuteCall);
  EXPECT_EQ(f.lastIn, nullptr); // the input never produced
  EXPECT_EQ(log.countFor(&src), 0);
  EXPECT_EQ(log.calls.back().flags, cMuteCall);

  src.pull(8);
  env.endBlock(8);
  env.beginBlock();
  f.produce(f.ownBlock, 8, cMuteCall);
  EXPECT_EQ(f.lastIn, src.ownBlock); // what it produced last, not pulled again
  EXPECT_EQ(log.countFor(&src), 1);
}

TEST(SignalGraphTest, AForwarderHandsOutItsInputsBlock) {
  Environment env(8);
  CallLog log;
  TestSource src(&env, log, 5.0f);
  Forwarder fwd(&env);
  EXPECT_EQ(fwd.ownBlock, nullptr);
  env.beginBlock();
  EXPECT_EQ(fwd.pull(8), nullptr); // no input: no block
  env.endBlock(8);
  fwd.setInput(&src);
  env.beginBlock();
  EXPECT_EQ(fwd.pull(8), src.ownBlock);
  EXPECT_EQ(fwd.stamp, env.stamp);
  EXPECT_EQ(fwd.current->data[0], 7.0f);
}

TEST(SignalGraphTest, InputCopiesTheHostBufferAndMovesOn) {
  Environment env(4);
  Input in(&env);
  float host[6] = {1, 2, 3, 4, 5, 6};
  in.setInputBuffer(host, 6);
  env.beginBlock();
  Block* b = in.pull(4);
  EXPECT_EQ(b, in.ownBlock);
  EXPECT_EQ(b->data[0], 1.0f);
  EXPECT_EQ(b->data[3], 4.0f);
  EXPECT_EQ(in.remaining, 2);
  env.endBlock(4);
  // Asking for more than is left gives silence past the end instead of
  // reading beyond the host's buffer.
  env.beginBlock();
  in.pull(4);
  EXPECT_EQ(b->data[0], 5.0f);
  EXPECT_EQ(b->data[1], 6.0f);
  EXPECT_EQ(b->data[2], 0.0f);
  EXPECT_EQ(b->data[3], 0.0f);
  env.endBlock(4);
  Input none(&env);
  env.beginBlock();
  EXPECT_EQ(none.pull(3)->data[0], 0.0f);

  Output out(&env);
  EXPECT_EQ(out.input, nullptr);
  out.setInput(&in);
  EXPECT_EQ(out.input, &in);
  EXPECT_EQ(out.env, &env);
}

TEST(SignalGraphTest, PullingOneOutputRendersAndStampsAllOutputs) {
  Environment env(8);
  TwoOutputs multi(&env);
  ASSERT_EQ(multi.outputs.size(), 2u);
  env.beginBlock();
  Block* b1 = multi.getOutput(1)->pull(8);
  Block* b0 = multi.getOutput(0)->pull(8);
  EXPECT_EQ(multi.calls, 1);
  EXPECT_EQ(b0, multi.ownBlocks[0]);
  EXPECT_EQ(b0->data[7], 1.0f);
  EXPECT_EQ(b1, env.silentBlock);
  EXPECT_TRUE(multi.getOutput(0)->isProduced());
  env.endBlock(8);

  multi.getOutput(0)->enableAutomaticMuteCalls(cMuteCallsLast);
  multi.getOutput(1)->enableAutomaticMuteCalls(cMuteCallsLast);
  env.beginBlock();
  env.endBlock(8);
  EXPECT_EQ(multi.calls, 2); // the sibling was stamped by the first call
  EXPECT_EQ(multi.lastFlags, cMuteCall);

  multi.reset();
  EXPECT_EQ(multi.ownBlocks[0]->data[0], 0.0f);
}

TEST(SignalGraphTest, OnlySourcesReportToTheProfiler) {
  struct Recorder : Profiler {
    int begins = 0;
    std::vector<Producer*> ends;
    void beginProduce() override { ++begins; }
    void endProduce(Producer* p) override { ends.push_back(p); }
  } recorder;
  Environment env(8);
  CallLog log;
  TestSource src(&env, log);
  AddOne filter(&env, log);
  EXPECT_EQ(getWaveProfiler(), nullptr);
  registerWaveProfiler(&recorder);
  env.beginBlock();
  src.doProduce(src.ownBlock, 8, 0);
  filter.doProduce(filter.ownBlock, 8, 0);
  src.pull(8); // the pull rule calls produce directly
  registerWaveProfiler(nullptr);
  src.doProduce(src.ownBlock, 8, 0);
  EXPECT_EQ(recorder.begins, 1);
  EXPECT_EQ(recorder.ends, std::vector<Producer*>{&src});
  EXPECT_EQ(log.countFor(&src), 3);
}

TEST(SignalGraphTest, RenderingAllocatesNothing) {
  Environment env(64);
  CallLog log;
  TestSource src(&env, log), muted(&env, log), notified(&env, log);
  AddOne f(&env, log);
  Forwarder fwd(&env);
  TwoOutputs multi(&env);
  Input in(&env);
  float host[256] = {};
  f.setInput(&src);
  fwd.setInput(&f);
  muted.enableAutomaticMuteCalls(cMuteCallsFirst);
  notified.enableEndBlockNotifications();
  src.enableResetNotifications();
  multi.getOutput(1)->enableAutomaticMuteCalls(cMuteCallsLast);

  zarn::test::AllocationCounter counter;
  in.setInputBuffer(host, 256);
  for (int block = 0; block < 4; ++block) {
    env.beginBlock();
    fwd.pull(64);
    in.pull(64);
    if (block % 2) multi.getOutput(0)->pull(64);
    env.endBlock(64);
  }
  env.reset();
  EXPECT_EQ(counter.count(), 0);
  EXPECT_GT(log.countFor(&muted), 0);
}

// A node of five outputs (the first two kept inside the node, the others
// apart): each output hands out a block of its own, one pull renders them
// all once, and every output holds what was written for it.
TEST(SignalGraphTest, EveryOutputOfANodeHasItsOwnBlock) {
  Environment env(16);
  struct Five : MultiProducer {
    explicit Five(Environment* e) : MultiProducer(e, 5) {}
    void produce(Block* const* blocks, int n, int) override {
      ++calls;
      for (int k = 0; k < 5; ++k)
        for (int i = 0; i < n; ++i) blocks[k]->data[i] = static_cast<float>(100 * k + i);
    }
    int calls = 0;
  };
  auto node = std::make_unique<Five>(&env);
  env.beginBlock();
  Block* seen[5];
  for (int k = 0; k < 5; ++k) seen[k] = node->getOutput(4 - k)->pull(16, 0);
  env.endBlock(16);
  EXPECT_EQ(node->calls, 1);
  for (int k = 0; k < 5; ++k) {
    const int output = 4 - k;
    for (int j = 0; j < k; ++j) EXPECT_NE(seen[k], seen[j]);
    for (int i = 0; i < 16; ++i) ASSERT_EQ(seen[k]->data[i], static_cast<float>(100 * output + i)) << output;
  }
  node.reset();
}
