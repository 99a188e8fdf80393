#include "tests/support/AllocationCounter.h"
#include "tests/wave/CountingProducers.h"
#include "wave/Environment.h"
#include "wave/VoiceManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <thread>
#include <vector>

using zarn::test::AllocationCounter;
using zarn::test::CountingSource;

namespace {

constexpr int cBlock = 64;
// 100 ms at the environment's default 44100 Hz.
constexpr int cChord = 4410;

struct VoiceCall {
  bool down;
  float note;
  int start;
  float velocity;
  bool operator==(const VoiceCall&) const = default;
};

void PrintTo(const VoiceCall& c, std::ostream* os) {
  if (c.down)
    *os << "keyDown(" << c.note << ", " << c.start << ", " << c.velocity << ")";
  else
    *os << "keyUp(" << c.velocity << ")";
}

VoiceCall down(float note, int start, float velocity) { return {true, note, start, velocity}; }
VoiceCall up(float velocity) { return {false, 0.0f, 0, velocity}; }

// A scripted voice: it records every call, holds its key between keyDown and
// keyUp, and stays audible after keyUp until the test silences it. Its
// envelope, gain and outputs are constants that count their renders.
class TestVoice : public NoteVoice {
public:
  TestVoice(wave::Environment* env, int channels, float level)
      : envelope(env, 1.0f), gain(env), level(level) {
    calls.reserve(4096);
    for (int ch = 0; ch < channels; ++ch)
      outputs.push_back(std::make_unique<CountingSource>(env, level + static_cast<float>(ch)));
    for (int i = 0; i < gain.size; ++i) gain.data[i] = 0.5f;
  }
  bool isMute() override {
    ++muteQueries;
    return mute;
  }
  wave::Producer* getEnvelope() override { return &envelope; }
  float* getGainSamples(int, int flags) override {
    ++gainCalls;
    lastGainFlags = flags;
    gainHeld = reportsHeldGain;
    heldGain = gain.data[0];
    return gain.data;
  }
  wave::Producer* getOutput(int channel) override { return outputs[static_cast<size_t>(channel)].get(); }
  bool isKeyDown() override { return keyIsDown; }
  void keyDown(float note, int startNote, float velocity) override {
    calls.push_back(down(note, startNote, velocity));
    keyIsDown = true;
    mute = false;
  }
  void keyUp(float velocity) override {
    calls.push_back(up(velocity));
    keyIsDown = false;
  }
  VoiceCall last() const { return calls.back(); }
  int renders() const {
    int r = envelope.calls;
    for (const auto& o : outputs) r += o->calls;
    return r;
  }

  CountingSource envelope;
  wave::Block gain;
  std::vector<std::unique_ptr<CountingSource>> outputs;
  std::vector<VoiceCall> calls;
  float level;
  bool mute = true;
  bool keyIsDown = false;
  // Tells the manager that the gain block holds one value.
  bool reportsHeldGain = false;
  int muteQueries = 0;
  int gainCalls = 0;
  int lastGainFlags = -1;
};

struct Rig {
  explicit Rig(int voices, int channels = 2) : env(cBlock), manager(&env, channels) {
    for (int i = 0; i < voices; ++i) {
      pool.push_back(std::make_unique<TestVoice>(&env, channels, static_cast<float>(10 * (i + 1))));
      manager.registerNoteVoice(pool.back().get());
    }
  }
  // Lets time pass on the sample clock, as rendering would.
  void advance(int samples) {
    while (samples > 0) {
      int n = samples < cBlock ? samples : cBlock;
      env.beginBlock();
      env.endBlock(n);
      samples -= n;
    }
  }
  // Renders one block and returns the outputs' first samples.
  std::vector<float> render(int n = cBlock) {
    env.beginBlock();
    std::vector<float> first;
    for (int ch = 0; ch < manager.count; ++ch) first.push_back(manager.getOutput(ch)->pull(n, 0)->data[0]);
    env.endBlock(n);
    return first;
  }
  // Renders one block without reading it (allocates nothing).
  void renderQuietly() {
    env.beginBlock();
    for (int ch = 0; ch < manager.count; ++ch) manager.getOutput(ch)->pull(cBlock, 0);
    env.endBlock(cBlock);
  }
  void forgetCalls() {
    for (auto& v : pool) v->calls.clear();
  }
  TestVoice& voice(int i) { return *pool[static_cast<size_t>(i)]; }
  // Index of the voice whose newest call is keyDown(note).
  int voiceFor(int note) {
    for (size_t i = 0; i < pool.size(); ++i)
      if (!pool[i]->calls.empty() && pool[i]->last().down && pool[i]->last().note == static_cast<float>(note))
        return static_cast<int>(i);
    return -1;
  }
  wave::Environment env;
  VoiceManager manager;
  std::vector<std::unique_ptr<TestVoice>> pool;
};

} // namespace

// ---- Poly: the chord rule and portamento start notes ----

TEST(VoiceManagerTest, KeysOfOneChordStartAtTheirOwnPitch) {
  Rig rig(8);
  rig.manager.keyDown(60, 0.8f);
  rig.advance(1000);
  rig.manager.keyDown(64, 0.7f);
  rig.advance(cChord - 1001); // the third key is one sample short of 100 ms after the first
  rig.manager.keyDown(67, 0.6f);
  EXPECT_EQ(rig.voice(0).last(), down(60, 60, 0.8f));
  EXPECT_EQ(rig.voice(1).last(), down(64, 64, 0.7f));
  EXPECT_EQ(rig.voice(2).last(), down(67, 67, 0.6f));
}

TEST(VoiceManagerTest, ALaterKeyGlidesFromTheNewestOldEnoughKeyAndConsumesIt) {
  Rig rig(8);
  rig.manager.keyDown(60, 1.0f);
  rig.manager.keyDown(64, 1.0f);
  rig.manager.keyDown(67, 1.0f);
  rig.advance(cChord); // exactly 100 ms later counts as a new phrase
  rig.manager.keyDown(72, 1.0f);
  EXPECT_EQ(rig.voice(3).last(), down(72, 67, 1.0f));
  // 67 was consumed; 72 is part of this chord, so 64 is next.
  rig.manager.keyDown(74, 1.0f);
  EXPECT_EQ(rig.voice(4).last(), down(74, 64, 1.0f));
  rig.manager.keyDown(76, 1.0f);
  EXPECT_EQ(rig.voice(5).last(), down(76, 60, 1.0f));
  // Only this chord's keys are left, all too young.
  rig.manager.keyDown(77, 1.0f);
  EXPECT_EQ(rig.voice(6).last(), down(77, 77, 1.0f));
}

TEST(VoiceManagerTest, TheChordTimeFollowsTheSampleRate) {
  Rig rig(4);
  rig.env.setSampleRate(1000.0f);
  rig.manager.keyDown(60, 1.0f);
  rig.advance(100);
  rig.manager.keyDown(62, 1.0f);
  EXPECT_EQ(rig.voice(1).last(), down(62, 60, 1.0f));
}

TEST(VoiceManagerTest, NoteTimesComeFromTheSampleClockNotTheWallClock) {
  // An offline render may take any real time between two events: only the
  // samples between them count.
  Rig rig(4);
  rig.manager.keyDown(60, 1.0f);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  rig.manager.keyDown(62, 1.0f);
  EXPECT_EQ(rig.voice(1).last(), down(62, 62, 1.0f));

  // An event decoded ahead of its slice counts at its own offset.
  rig.manager.keyDown(64, 1.0f, cChord);
  EXPECT_EQ(rig.voice(2).last(), down(64, 62, 1.0f));
}

TEST(VoiceManagerTest, RepressingAKeyReplacesItsHistoryEntry) {
  Rig rig(8);
  rig.manager.keyDown(60, 1.0f);
  rig.advance(cChord);
  rig.manager.keyDown(64, 1.0f); // consumes 60
  rig.manager.keyUp(64, 1.0f);
  rig.advance(cChord);
  rig.manager.keyDown(64, 1.0f); // glides from the old 64, re-stamped now
  EXPECT_EQ(rig.voice(2).last(), down(64, 64, 1.0f));
  rig.manager.keyDown(65, 1.0f); // the new 64 is too young; nothing left
  EXPECT_EQ(rig.voice(3).last(), down(65, 65, 1.0f));
}

TEST(VoiceManagerTest, LegatoGlidesOnlyFromAKeyStillHeld) {
  Rig rig(8);
  rig.manager.portamentoMode = VoiceManager::cLegato;
  rig.manager.keyDown(60, 1.0f);
  rig.advance(cChord);
  rig.manager.keyDown(64, 1.0f);
  EXPECT_EQ(rig.voice(1).last(), down(64, 60, 1.0f)); // 60 is held
  rig.manager.keyUp(64, 0.3f);
  EXPECT_EQ(rig.voice(1).last(), up(0.3f));
  rig.advance(cChord);
  rig.manager.keyDown(67, 1.0f); // 64 is newest but released
  EXPECT_EQ(rig.voice(2).last(), down(67, 67, 1.0f));

  // Normal mode glides from a released key all the same.
  rig.manager.portamentoMode = VoiceManager::cNormal;
  rig.manager.keyUp(67, 1.0f);
  rig.advance(cChord);
  rig.manager.keyDown(69, 1.0f);
  EXPECT_EQ(rig.voice(3).last(), down(69, 67, 1.0f));
}

// ---- Poly: voice choice and stealing ----

TEST(VoiceManagerTest, SilentVoicesAreTakenInOrderBeforeAnyIsStolen) {
  Rig rig(4);
  for (int k = 0; k < 4; ++k) rig.manager.keyDown(60 + k, 1.0f);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(rig.voice(k).calls.size(), 1u);
    EXPECT_EQ(rig.voice(k).last().note, static_cast<float>(60 + k));
  }
  // A voice that fell silent is reused at once, whatever its age.
  rig.voice(2).mute = true;
  rig.manager.keyDown(70, 1.0f);
  EXPECT_EQ(rig.voice(2).calls.size(), 2u); // no keyUp: it was silent
  EXPECT_EQ(rig.voice(2).last().note, 70.0f);
}

TEST(VoiceManagerTest, AFullPoolStealsTheOldestHeldVoice) {
  Rig rig(4);
  for (int k = 0; k < 4; ++k) rig.manager.keyDown(60 + k, 1.0f);
  rig.manager.keyDown(70, 0.9f);
  ASSERT_EQ(rig.voice(0).calls.size(), 3u);
  EXPECT_EQ(rig.voice(0).calls[1], up(1.0f));
  EXPECT_EQ(rig.voice(0).calls[2], down(70, 70, 0.9f));
  rig.manager.keyDown(71, 0.9f);
  EXPECT_EQ(rig.voice(1).last().note, 71.0f);
  EXPECT_EQ(rig.manager.voiceContexts[1].note, 71);
  EXPECT_EQ(rig.manager.voiceContexts[1].startStamp, 6);
}

TEST(VoiceManagerTest, AReleasedVoiceIsStolenBeforeOlderHeldOnes) {
  Rig rig(4);
  for (int k = 0; k < 4; ++k) rig.manager.keyDown(60 + k, 1.0f);
  rig.manager.keyUp(62, 0.5f); // voice 2, newer than voices 0 and 1
  rig.manager.keyDown(70, 1.0f);
  EXPECT_EQ(rig.voice(2).last(), down(70, 70, 1.0f));
  EXPECT_EQ(rig.voice(0).calls.size(), 1u);

  // Among released voices the older goes first.
  rig.manager.keyUp(63, 1.0f); // voice 3, stamp 4
  rig.manager.keyUp(61, 1.0f); // voice 1, stamp 2
  rig.manager.keyDown(71, 1.0f);
  EXPECT_EQ(rig.voice(1).last().note, 71.0f);
  rig.manager.keyDown(72, 1.0f);
  EXPECT_EQ(rig.voice(3).last().note, 72.0f);
  // Now all are held again: the oldest start is voice 0.
  rig.manager.keyDown(73, 1.0f);
  EXPECT_EQ(rig.voice(0).last().note, 73.0f);
}

TEST(VoiceManagerTest, KeyUpReleasesOnlyHeldVoicesOfThatNote) {
  Rig rig(4);
  rig.manager.keyDown(60, 1.0f);
  rig.manager.keyDown(60, 1.0f); // the same key twice takes two voices
  rig.manager.keyDown(62, 1.0f);
  rig.manager.keyUp(60, 0.25f);
  EXPECT_EQ(rig.voice(0).last(), up(0.25f));
  EXPECT_EQ(rig.voice(1).last(), up(0.25f));
  EXPECT_TRUE(rig.voice(2).last().down);
  // Already released: no second keyUp.
  rig.manager.keyUp(60, 0.25f);
  EXPECT_EQ(rig.voice(0).calls.size(), 2u);
  EXPECT_FALSE(rig.manager.isDown(60));
  EXPECT_TRUE(rig.manager.isDown(62));
}

TEST(VoiceManagerTest, NoVoiceInUseStillCountsTheKey) {
  Rig rig(0);
  EXPECT_EQ(rig.manager.getNextFreeNoteVoice(), nullptr);
  rig.manager.keyDown(60, 1.0f);
  EXPECT_EQ(rig.manager.startCounter, 1);
  ASSERT_EQ(rig.manager.noteHistory.size(), 1u);
  EXPECT_EQ(rig.manager.noteHistory[0].note, 60);
  // Mono needs a voice; without one the keys are only tracked.
  rig.manager.polyphony = VoiceManager::cMono;
  rig.manager.keyDown(62, 1.0f);
  rig.manager.keyUp(62, 1.0f);
  EXPECT_TRUE(rig.manager.heldKeys.empty());
}

TEST(VoiceManagerTest, NumVoicesLimitsThePoolInUse) {
  Rig rig(4);
  rig.manager.numVoices = 2;
  for (int k = 0; k < 3; ++k) rig.manager.keyDown(60 + k, 1.0f);
  EXPECT_EQ(rig.voice(0).last().note, 62.0f); // stolen; voices 2 and 3 unused
  EXPECT_TRUE(rig.voice(2).calls.empty());

  rig.manager.numVoices = 100; // more than registered: all four
  EXPECT_EQ(rig.manager.curVoicesEnd, 4u);
  rig.manager.keyDown(63, 1.0f);
  EXPECT_EQ(rig.voice(2).last().note, 63.0f);
  rig.manager.numVoices = -1;
  EXPECT_EQ(rig.manager.curVoicesEnd, 0u);
}

TEST(VoiceManagerTest, LoweringNumVoicesStopsSummingWithoutReleasing) {
  Rig rig(4, 1);
  for (int k = 0; k < 4; ++k) rig.manager.keyDown(60 + k, 1.0f);
  // Each voice: level x envelope 1 x gain 0.5.
  EXPECT_FLOAT_EQ(rig.render()[0], (10 + 20 + 30 + 40) * 0.5f);
  rig.manager.numVoices = 2;
  EXPECT_FLOAT_EQ(rig.render()[0], (10 + 20) * 0.5f);
  EXPECT_EQ(rig.voice(3).calls.size(), 1u); // not released
  int renders = rig.voice(3).renders();
  rig.render();
  EXPECT_EQ(rig.voice(3).renders(), renders); // and not pulled
  rig.manager.keyUp(63, 0.4f);
  EXPECT_EQ(rig.voice(3).last(), up(0.4f));
}

// ---- Mono ----

TEST(VoiceManagerTest, MonoReturnsToTheLastHeldKey) {
  Rig rig(2);
  rig.manager.polyphony = VoiceManager::cMono;
  rig.forgetCalls(); // the switch released every voice
  rig.manager.keyDown(60, 0.9f);
  rig.manager.keyDown(64, 0.8f);
  EXPECT_EQ(rig.voice(0).last(), down(64, 0, 0.8f));
  rig.manager.keyUp(64, 0.5f);
  EXPECT_EQ(rig.voice(0).last(), down(60, 0, 0.9f)); // back to A with its touch, no keyUp
  rig.manager.keyUp(60, 0.5f);
  EXPECT_EQ(rig.voice(0).last(), up(0.5f));
  EXPECT_EQ(rig.voice(0).calls.size(), 4u);
  EXPECT_TRUE(rig.voice(1).calls.empty()); // mono plays the first voice only
}

TEST(VoiceManagerTest, MonoLegatoStartsAPhraseAtItsOwnPitch) {
  Rig rig(1);
  rig.manager.polyphony = VoiceManager::cMono;
  rig.manager.portamentoMode = VoiceManager::cLegato;
  rig.manager.keyDown(60, 1.0f);
  EXPECT_EQ(rig.voice(0).last(), down(60, 60, 1.0f));
  rig.manager.keyDown(62, 1.0f);
  EXPECT_EQ(rig.voice(0).last(), down(62, 0, 1.0f));
  rig.manager.keyUp(0, 1.0f);
  rig.manager.keyDown(65, 1.0f);
  EXPECT_EQ(rig.voice(0).last(), down(65, 65, 1.0f));
  // Normal mode always glides on.
  rig.manager.portamentoMode = VoiceManager::cNormal;
  rig.manager.keyUp(65, 1.0f);
  rig.manager.keyDown(67, 1.0f);
  EXPECT_EQ(rig.voice(0).last(), down(67, 0, 1.0f));
}

TEST(VoiceManagerTest, MonoHeldKeysStayBoundedWithoutAllocating) {
  Rig rig(1);
  rig.manager.polyphony = VoiceManager::cMono;
  size_t room = rig.manager.heldKeys.capacity();
  EXPECT_GE(room, VoiceManager::cNoteRoom);
  {
    AllocationCounter counter;
    for (int i = 0; i < 2000; ++i) rig.manager.keyDown(60, 1.0f); // one key, pressed again and again
    EXPECT_EQ(rig.manager.heldKeys.size(), 1u);
    // Far more distinct keys than the room: the oldest give way.
    for (int i = 0; i < 1000; ++i) rig.manager.keyDown(1000 + i, 1.0f);
    EXPECT_EQ(counter.count(), 0);
  }
  EXPECT_EQ(rig.manager.heldKeys.size(), VoiceManager::cNoteRoom);
  EXPECT_EQ(rig.manager.heldKeys.capacity(), room);
  EXPECT_EQ(rig.manager.heldKeys.back(), 1999);
}

TEST(VoiceManagerTest, MonoRepressedKeyMovesToTheEnd) {
  Rig rig(1);
  rig.manager.polyphony = VoiceManager::cMono;
  rig.manager.keyDown(60, 1.0f);
  rig.manager.keyDown(62, 1.0f);
  rig.manager.keyDown(60, 1.0f);
  EXPECT_EQ(rig.manager.heldKeys, (std::vector<int32_t>{62, 60}));
  rig.manager.keyUp(60, 1.0f);
  EXPECT_EQ(rig.voice(0).last(), down(62, 0, 1.0f));
}

TEST(VoiceManagerTest, NoteZeroReleasesEverythingInBothModes) {
  Rig rig(4);
  for (int k = 0; k < 3; ++k) rig.manager.keyDown(60 + k, 1.0f);
  rig.manager.keyUp(0, 0.7f);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(rig.voice(k).last(), up(0.7f)) << k; // silent voice 3 too
  rig.manager.polyphony = VoiceManager::cMono;
  rig.manager.keyDown(60, 1.0f);
  rig.manager.keyDown(64, 1.0f);
  rig.manager.keyUp(0, 0.6f);
  EXPECT_EQ(rig.voice(0).last(), up(0.6f));
  EXPECT_TRUE(rig.manager.heldKeys.empty());
}

TEST(VoiceManagerTest, SwitchingPolyphonyReleasesEveryVoice) {
  Rig rig(3);
  rig.manager.keyDown(60, 1.0f);
  rig.manager.keyDown(61, 1.0f);
  rig.manager.polyphony = VoiceManager::cMono;
  for (int k = 0; k < 3; ++k) EXPECT_EQ(rig.voice(k).last(), up(1.0f)) << k;
  rig.manager.keyDown(65, 1.0f);
  rig.manager.polyphony = VoiceManager::cPoly;
  EXPECT_EQ(rig.voice(0).last(), up(1.0f));
  EXPECT_TRUE(rig.manager.heldKeys.empty());
  EXPECT_EQ(rig.manager.noteHistory.size(), 2u); // the history stays
  // Writing the same value again is no change.
  size_t before = rig.voice(0).calls.size();
  rig.manager.polyphony = VoiceManager::cPoly;
  EXPECT_EQ(rig.voice(0).calls.size(), before);
}

// ---- Rendering ----

TEST(VoiceManagerTest, SumsTheSoundingVoicesAndSkipsSilentOnes) {
  Rig rig(3);
  EXPECT_EQ(rig.render(), (std::vector<float>{0.0f, 0.0f})); // nobody sounds
  rig.manager.keyDown(60, 1.0f);
  rig.manager.keyDown(62, 1.0f);
  // Channel ch of voice i writes 10(i + 1) + ch; x envelope 1 x gain 0.5.
  EXPECT_EQ(rig.render(), (std::vector<float>{(10 + 20) * 0.5f, (11 + 21) * 0.5f}));
  EXPECT_EQ(rig.voice(2).renders(), 0);
  rig.voice(0).mute = true;
  int renders = rig.voice(0).renders();
  EXPECT_EQ(rig.render(), (std::vector<float>{20 * 0.5f, 21 * 0.5f}));
  EXPECT_EQ(rig.voice(0).renders(), renders);
  rig.voice(1).mute = true;
  EXPECT_EQ(rig.render(), (std::vector<float>{0.0f, 0.0f}));
}

// When the last voice goes quiet the whole block is silence, handed on as
// the environment's shared silent block (so the stereo stage behind can
// pass it on too) without anything written into it; the next key sounds
// again from the first sample of the next block.
TEST(VoiceManagerTest, TheLastVoiceGoingQuietGivesSilenceAndTheNextKeySoundAgain) {
  Rig rig(2);
  rig.manager.keyDown(60, 1.0f);
  rig.renderQuietly();
  rig.voice(0).mute = true;
  rig.env.beginBlock();
  for (int ch = 0; ch < 2; ++ch) {
    wave::Block* b = rig.manager.getOutput(ch)->pull(cBlock, 0);
    EXPECT_EQ(b, rig.env.silentBlock) << ch;
    for (int i = 0; i < cBlock; ++i) ASSERT_EQ(b->data[i], 0.0f) << ch << " " << i;
  }
  rig.env.endBlock(cBlock);
  rig.manager.keyDown(62, 1.0f);
  rig.env.beginBlock();
  for (int ch = 0; ch < 2; ++ch) {
    wave::Block* b = rig.manager.getOutput(ch)->pull(cBlock, 0);
    // Channel ch of the first voice writes 10 + ch, x envelope 1 x gain 0.5.
    for (int i = 0; i < cBlock; ++i) ASSERT_EQ(b->data[i], (10.0f + static_cast<float>(ch)) * 0.5f) << ch << " " << i;
  }
  rig.env.endBlock(cBlock);
  for (int i = 0; i < cBlock; ++i) ASSERT_EQ(rig.env.silentBlock->data[i], 0.0f) << i;
}

// Once every voice is silent, idle blocks ask no voice anything; whatever
// may let a voice sound again (a key, a mono line falling back to a held key
// whose voice went silent, a larger pool) sounds in the very next block.
TEST(VoiceManagerTest, AfterIdleBlocksAVoiceSoundsAgainInTheNextBlock) {
  Rig rig(2, 1);
  rig.render();
  const int queries = rig.voice(0).muteQueries + rig.voice(1).muteQueries;
  for (int k = 0; k < 50; ++k) rig.render();
  rig.env.beginBlock();
  rig.manager.produceAll(cBlock, wave::cMuteCall);
  rig.env.endBlock(cBlock);
  EXPECT_EQ(rig.voice(0).muteQueries + rig.voice(1).muteQueries, queries);
  rig.manager.keyDown(60, 1.0f);
  EXPECT_FLOAT_EQ(rig.render()[0], 10 * 0.5f);

  // Voice 1 sounds beyond a pool of one while voice 0 falls silent.
  rig.manager.keyDown(61, 1.0f);
  rig.manager.numVoices = 1;
  rig.voice(0).mute = true;
  for (int k = 0; k < 20; ++k) EXPECT_EQ(rig.render()[0], 0.0f);
  rig.manager.numVoices = 2;
  EXPECT_FLOAT_EQ(rig.render()[0], 20 * 0.5f);

  rig.manager.keyUp(0, 1.0f);
  rig.voice(1).mute = true;
  rig.manager.polyphony = VoiceManager::cMono;
  rig.manager.keyDown(60, 1.0f);
  rig.manager.keyDown(62, 1.0f);
  rig.voice(0).mute = true; // its envelope ended while the keys were held
  for (int k = 0; k < 20; ++k) EXPECT_EQ(rig.render()[0], 0.0f);
  rig.manager.keyUp(62, 1.0f);
  EXPECT_EQ(rig.voice(0).last(), down(60, 0, 1.0f));
  EXPECT_FLOAT_EQ(rig.render()[0], 10 * 0.5f);
}

TEST(VoiceManagerTest, EveryOutputSampleIsVoiceTimesEnvelopeTimesGain) {
  Rig rig(2, 1);
  rig.manager.keyDown(60, 1.0f);
  rig.manager.keyDown(61, 1.0f);
  TestVoice& v = rig.voice(0);
  v.envelope.values = {0.0f, 0.5f, 1.0f, 2.0f};
  for (int i = 0; i < cBlock; ++i) v.gain.data[i] = static_cast<float>(i % 3);
  rig.env.beginBlock();
  const float* out = rig.manager.getOutput(0)->pull(37, 0)->data;
  for (int i = 0; i < 37; ++i)
    EXPECT_FLOAT_EQ(out[i], 10.0f * v.envelope.values[static_cast<size_t>(i) % 4] * static_cast<float>(i % 3) +
                                20.0f * 0.5f)
        << i;
  rig.env.endBlock(37);
}

// A voice whose gain (or envelope) holds one value over the block is
// scaled by that value instead of its block: the sum must come out the same
// to the bit, (voice x envelope) x gain, for the first voice and for the
// ones added to it, whether the other voices hold theirs or not.
TEST(VoiceManagerTest, HeldGainsAndEnvelopesScaleAsTheirBlocksWould) {
  const std::vector<float> signal = {0.1f, -0.37f, 0.999f, 1.0f / 3.0f, -2.7f, 0.0123f, 5.5f};
  auto render = [&](bool held) {
    Rig rig(3, 2);
    for (int k = 0; k < 3; ++k) rig.manager.keyDown(60 + k, 1.0f);
    for (int k = 0; k < 3; ++k) {
      TestVoice& v = rig.voice(k);
      for (auto& o : v.outputs) o->values = signal;
      v.outputs[1]->value = 0.0f;
      v.outputs[1]->values = {0.3f, -0.7f, 1.1f};
      const bool constantEnvelope = k != 1;
      v.envelope.values = constantEnvelope ? std::vector<float>{0.7f} : std::vector<float>{0.7f, 0.35f, 0.9f};
      v.envelope.constantBlock = held && constantEnvelope;
      for (int i = 0; i < cBlock; ++i) v.gain.data[i] = 0.3f + 0.1f * static_cast<float>(k);
      v.reportsHeldGain = held && k != 2;
    }
    rig.env.beginBlock();
    std::vector<float> out;
    for (int ch = 0; ch < 2; ++ch) {
      const float* x = rig.manager.getOutput(ch)->pull(45, 0)->data;
      out.insert(out.end(), x, x + 45);
    }
    rig.env.endBlock(45);
    return out;
  };
  const std::vector<float> byBlocks = render(false);
  const std::vector<float> byValues = render(true);
  ASSERT_EQ(byBlocks.size(), byValues.size());
  for (size_t i = 0; i < byBlocks.size(); ++i) {
    uint32_t a, b;
    std::memcpy(&a, &byBlocks[i], sizeof a);
    std::memcpy(&b, &byValues[i], sizeof b);
    EXPECT_EQ(a, b) << i;
  }
  // The first left sample, worked out here: voices 10 (envelope 0.7, gain
  // 0.3), 20 (0.7, 0.4) and 30 (0.7, 0.5) all play signal[0].
  const float x = signal[0];
  EXPECT_EQ(byValues[0], ((x * 0.7f) * 0.3f + (x * 0.7f) * 0.4f) + (x * 0.7f) * 0.5f);
}

TEST(VoiceManagerTest, AMuteCallPullsNothingButLetsTheVoicesAdvance) {
  Rig rig(2);
  rig.manager.keyDown(60, 1.0f);
  rig.env.beginBlock();
  rig.manager.produceAll(cBlock, wave::cMuteCall);
  rig.env.endBlock(cBlock);
  EXPECT_EQ(rig.voice(0).renders(), 0);
  EXPECT_EQ(rig.voice(0).gainCalls, 1);
  EXPECT_EQ(rig.voice(0).lastGainFlags, wave::cMuteCall);
  EXPECT_EQ(rig.voice(1).gainCalls, 0); // silent
}

TEST(VoiceManagerTest, NoteHandlingAndRenderingNeverAllocate) {
  Rig rig(8);
  rig.renderQuietly();
  AllocationCounter counter;
  for (int round = 0; round < 50; ++round) {
    for (int k = 0; k < 12; ++k) rig.manager.keyDown(40 + (round * 7 + k) % 300, 1.0f);
    rig.renderQuietly();
    rig.advance(cChord / 3);
    for (int k = 0; k < 6; ++k) rig.manager.keyUp(40 + (round * 7 + k) % 300, 1.0f);
    rig.renderQuietly();
  }
  EXPECT_EQ(counter.count(), 0);
  EXPECT_LE(rig.manager.noteHistory.size(), VoiceManager::cNoteRoom);
}
