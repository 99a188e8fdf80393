#include "wave/Environment.h"
#include "wave/Producer.h"
#include "wave/Trigger.h"

#include <gtest/gtest.h>

#include <vector>

using namespace wave;

namespace {

// Outputs a prepared sequence of samples, block after block, and counts
// the blocks it rendered.
class Sequence : public Source {
public:
  Sequence(Environment* env, std::vector<float> v) : Source(env), values(std::move(v)) {}
  void produce(Block* block, int n, int) override {
    ++renders;
    for (int i = 0; i < n; ++i) block->data[i] = next < values.size() ? values[next++] : 0.0f;
  }
  std::vector<float> values;
  size_t next = 0;
  int renders = 0;
};

struct Rig {
  Rig() : env(1024), trigger(&env) {}
  // Evaluates one block and returns its events.
  std::vector<Trigger::TriggerEvent> evaluate(int n, int flags = 0) {
    env.beginBlock();
    trigger.evaluate(n, flags);
    env.endBlock(n);
    return trigger.getEvents();
  }
  Environment env;
  Trigger trigger;
};

} // namespace

TEST(TriggerTest, StartsOffWithTheDefaults) {
  Rig r;
  EXPECT_EQ(r.trigger.getState(), Trigger::cOff);
  EXPECT_EQ(r.trigger.holdTime.get(), 15.0f);
  EXPECT_EQ(r.trigger.enabled.get(), 1);
  EXPECT_FLOAT_EQ(r.trigger.threshold.get(), 0.9f);
  EXPECT_EQ(r.trigger.getHoldSamples(), 661); // 15 ms at 44.1 kHz
  r.trigger.holdTime = 0.0f;
  EXPECT_EQ(r.trigger.getHoldSamples(), 1);
  r.trigger.threshold = 2.0f;
  EXPECT_EQ(r.trigger.threshold.get(), 1.0f);
}

TEST(TriggerTest, AnInputBetweenReleaseLevelAndThresholdStaysOn) {
  Rig r;
  std::vector<float> v(4096, 0.5f); // above 0.45, below 0.9
  v[10] = 0.95f;
  Sequence s(&r.env, v);
  r.trigger.setInput(&s);
  auto e = r.evaluate(1024);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].state, Trigger::cOn);
  EXPECT_EQ(e[0].offset, 10);
  for (int b = 0; b < 3; ++b) EXPECT_TRUE(r.evaluate(1024).empty());
  EXPECT_EQ(r.trigger.getState(), Trigger::cOn);
}

TEST(TriggerTest, AnInputBelowTheReleaseLevelSwitchesOffAfterHoldSamplesPlusOne) {
  Rig r;
  r.trigger.holdTime = 1.0f; // 44 samples
  ASSERT_EQ(r.trigger.getHoldSamples(), 44);
  std::vector<float> v(1024, 0.0f);
  for (int i = 0; i < 100; ++i) v[i] = 1.0f;
  v[120] = 0.5f; // above the release level: the count starts again
  Sequence s(&r.env, v);
  r.trigger.setInput(&s);
  auto e = r.evaluate(256);
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].state, Trigger::cOn);
  EXPECT_EQ(e[0].offset, 0);
  EXPECT_EQ(e[1].state, Trigger::cOff);
  EXPECT_EQ(e[1].offset, 120 + 45);
}

TEST(TriggerTest, OffAndOnAgainAcrossBlocks) {
  Rig r;
  r.trigger.holdTime = 1.0f;
  std::vector<float> v(512, 0.0f);
  for (int i = 60; i < 70; ++i) v[i] = 1.0f;
  v[300] = 1.0f;
  Sequence s(&r.env, v);
  r.trigger.setInput(&s);
  auto first = r.evaluate(100);
  ASSERT_EQ(first.size(), 1u);
  auto second = r.evaluate(100); // the hold ends in this block
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].state, Trigger::cOff);
  EXPECT_EQ(second[0].offset, 70 + 44 - 100);
  auto third = r.evaluate(200);
  ASSERT_EQ(third.size(), 2u);
  EXPECT_EQ(third[0].state, Trigger::cOn);
  EXPECT_EQ(third[0].offset, 100);
  EXPECT_EQ(third[1].offset, 100 + 45);
}

TEST(TriggerTest, DisabledMuteOrWithoutInputListsNothing) {
  Rig r;
  EXPECT_TRUE(r.evaluate(64).empty()); // no input
  Sequence s(&r.env, std::vector<float>(1024, 1.0f));
  r.trigger.setInput(&s);
  r.trigger.enabled = 0;
  EXPECT_TRUE(r.evaluate(64).empty());
  EXPECT_EQ(s.renders, 1); // pulled all the same
  r.trigger.enabled = 1;
  // A mute call renders nothing new: it reads the block rendered last.
  EXPECT_EQ(r.evaluate(64, cMuteCall).size(), 1u);
  EXPECT_EQ(s.renders, 1);
  EXPECT_TRUE(r.evaluate(64).empty()); // on, and the input stays high
  EXPECT_EQ(s.renders, 2);
}

TEST(TriggerTest, DoTriggerAddsAnEventOnlyForANewState) {
  Rig r;
  r.trigger.doTrigger(5, Trigger::cOff);
  EXPECT_TRUE(r.trigger.getEvents().empty());
  r.trigger.doTrigger(7, Trigger::cOn);
  ASSERT_EQ(r.trigger.getEvents().size(), 1u);
  EXPECT_EQ(r.trigger.getEvents()[0].offset, 7);
  r.trigger.doTrigger(9, Trigger::cOn);
  EXPECT_EQ(r.trigger.getEvents().size(), 1u);
  EXPECT_EQ(r.trigger.getState(), Trigger::cOn);
}

TEST(TriggerTest, HoldFollowsTheSampleRateSetAfterConstruction) {
  Rig r;
  r.env.setSampleRate(96000.0f);
  std::vector<float> v(4096, 0.0f);
  v[0] = 1.0f;
  Sequence s(&r.env, v);
  r.trigger.setInput(&s);
  ASSERT_EQ(r.evaluate(1024).size(), 1u);
  EXPECT_EQ(r.trigger.getHoldSamples(), 1440);
  auto e = r.evaluate(1024);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].offset, 1 + 1440 - 1024);
}
