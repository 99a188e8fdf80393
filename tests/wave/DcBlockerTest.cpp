// The voice's DC blocker as a meter sees it: an offset gone within a tenth
// of a second, a 16 Hz fundamental down by less than half a decibel, the
// corner at 4 Hz, whatever the block size.

#include "wave/DcBlocker.h"

#include "tests/wave/OscillatorTestSupport.h"
#include "wave/Environment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

using namespace osctest;

namespace {

constexpr double kPi = 3.14159265358979323846;

// offset + a sine of hz at 44.1 kHz, through a blocker in blocks of block.
std::vector<float> block(double hz, float offset, int seconds, int blockSize) {
  wave::Environment env(256);
  env.setSampleRate(44100.0f);
  std::vector<float> x(static_cast<size_t>(seconds) * 44100);
  for (size_t i = 0; i < x.size(); ++i) x[i] = offset + static_cast<float>(std::sin(2.0 * kPi * hz * i / 44100.0));
  ControlSignal in(&env, x);
  DcBlocker dc(&env);
  dc.setInput(&in);
  return render(env, dc, static_cast<int>(x.size()), blockSize);
}

double level(const std::vector<float>& y, size_t from) {
  double s = 0.0;
  for (size_t i = from; i < y.size(); ++i) s += static_cast<double>(y[i]) * y[i];
  return 20.0 * std::log10(std::sqrt(s / static_cast<double>(y.size() - from)) * std::sqrt(2.0));
}

} // namespace

TEST(DcBlockerTest, TakesTheOffsetAndKeepsTheLowestNotes) {
  // Blocks under four samples and ones that end off a group of four run
  // the recursion sample by sample: it must decay there too.
  for (int size : {3, 32, 101, 256}) {
    // An offset of 0.5 under silence: below 1 % of it after 0.2 s.
    const std::vector<float> offset = block(0.0, 0.5f, 1, size);
    EXPECT_LT(std::fabs(offset[static_cast<size_t>(0.2 * 44100)]), 0.005f) << size;
    // A first-order high pass at 4 Hz: 16.35 Hz (C0) loses 0.26 dB, 4 Hz 3 dB.
    EXPECT_NEAR(level(block(16.35, 0.3f, 3, size), 44100), -10.0 * std::log10(1.0 + (4.0 / 16.35) * (4.0 / 16.35)), 0.1)
        << size;
    EXPECT_NEAR(level(block(4.0, 0.0f, 4, size), 2 * 44100), -3.0, 0.4) << size;
  }
}

// A voice's two channels as a pair: each gives, to the bit, what a blocker
// of its own gives, whichever of the two is pulled first, in blocks of
// every size (also under four samples), and while one channel's input is
// missing (silence, its state reset) and after it comes back.
TEST(DcBlockerTest, APairFiltersEachChannelAsItsOwnBlockerWould) {
  wave::Environment env(256);
  env.setSampleRate(44100.0f);
  const size_t total = 6000;
  std::vector<float> left(total), right(total);
  for (size_t i = 0; i < total; ++i) {
    left[i] = 0.4f + static_cast<float>(std::sin(2.0 * kPi * 110.0 * i / 44100.0));
    right[i] = -0.3f + 0.7f * static_cast<float>(std::sin(2.0 * kPi * 37.0 * i / 44100.0 + 1.0));
  }
  ControlSignal inLeft(&env, left), inRight(&env, right);
  DcBlocker pairLeft(&env), pairRight(&env), ownLeft(&env), ownRight(&env);
  pairLeft.pairWith(&pairRight);
  EXPECT_EQ(pairRight.getPartner(), &pairLeft);
  pairLeft.setInput(&inLeft);
  ownLeft.setInput(&inLeft);
  pairRight.setInput(&inRight);
  ownRight.setInput(&inRight);

  const int sizes[] = {32, 37, 3, 64, 1, 30};
  int blocks = 0;
  double energy = 0.0;
  for (size_t done = 0; done < total; ++blocks) {
    const int n = static_cast<int>(std::min<size_t>(sizes[blocks % 6], total - done));
    // Blocks 40 to 59: the right channel has no input.
    const bool gap = blocks >= 40 && blocks < 60;
    pairRight.setInput(gap ? nullptr : &inRight);
    ownRight.setInput(gap ? nullptr : &inRight);
    env.beginBlock();
    const bool rightFirst = blocks % 2 == 1;
    const wave::Block* r = rightFirst ? pairRight.pull(n) : nullptr;
    const wave::Block* l = pairLeft.pull(n);
    if (!rightFirst) r = pairRight.pull(n);
    const wave::Block* expectLeft = ownLeft.pull(n);
    const wave::Block* expectRight = ownRight.pull(n);
    for (int i = 0; i < n; ++i) {
      ASSERT_EQ(l->data[i], expectLeft->data[i]) << "block " << blocks << " sample " << i;
      ASSERT_EQ(r->data[i], expectRight->data[i]) << "block " << blocks << " sample " << i;
      energy += std::fabs(r->data[i]);
    }
    env.endBlock(n);
    done += static_cast<size_t>(n);
  }
  EXPECT_GT(energy, 100.0);
  // Unpairing reaches both.
  pairRight.pairWith(nullptr);
  EXPECT_EQ(pairLeft.getPartner(), nullptr);
}

namespace {

class TestVoice : public wave::MuteController {
public:
  bool isMute() override { return mute; }
  bool mayMuteWhenPulled() override { return mayMute; }
  bool mute = false;
  bool mayMute = false;
};

} // namespace

// Four voices' pairs as neighbours (where every voice sounds, one pass
// takes the eight channels as two sets of four), pulled voice by voice in
// changing order as the voice manager pulls them: every channel gives, to
// the bit, what a blocker of its own gives, while voices go silent (not
// pulled), may go silent on their pull (not taken along) or sound.
TEST(DcBlockerTest, NeighboursFilterEachChannelAsItsOwnBlockerWould) {
  wave::Environment env(256);
  env.setSampleRate(44100.0f);
  const int voices = 4;
  const size_t total = 4000;
  std::vector<std::vector<float>> signal(2 * voices, std::vector<float>(total));
  for (int c = 0; c < 2 * voices; ++c)
    for (size_t i = 0; i < total; ++i)
      signal[c][i] = 0.1f * static_cast<float>(c) - 0.2f +
                     static_cast<float>(std::sin(2.0 * kPi * (50.0 + 30.0 * c) * i / 44100.0));
  std::vector<std::unique_ptr<ControlSignal>> in;
  std::vector<std::unique_ptr<DcBlocker>> grouped, own;
  TestVoice voice[voices];
  for (int c = 0; c < 2 * voices; ++c) {
    in.push_back(std::make_unique<ControlSignal>(&env, signal[c]));
    grouped.push_back(std::make_unique<DcBlocker>(&env));
    own.push_back(std::make_unique<DcBlocker>(&env));
    grouped[c]->setInput(in[c].get());
    own[c]->setInput(in[c].get());
  }
  DcBlocker* firsts[voices];
  for (int v = 0; v < voices; ++v) {
    grouped[2 * v]->pairWith(grouped[2 * v + 1].get());
    grouped[2 * v]->setMuteController(&voice[v]);
    firsts[v] = grouped[2 * v].get();
  }
  for (int v = 0; v < voices; ++v) firsts[v]->setNeighbours(firsts, voices);

  const int sizes[] = {32, 37, 3, 64};
  double energy = 0.0;
  size_t done = 0;
  for (int block = 0; done < total; ++block) {
    const int n = static_cast<int>(std::min<size_t>(sizes[block % 4], total - done));
    voice[1].mute = block >= 10 && block < 20;   // not pulled
    voice[2].mayMute = block >= 25 && block < 35; // pulled, but not taken along
    env.beginBlock();
    for (int k = 0; k < voices; ++k) {
      const int v = (k + block) % voices;
      if (voice[v].mute) continue;
      // Either channel of a voice may come first.
      const int first = block % 2;
      const wave::Block* a = grouped[2 * v + first]->pull(n);
      const wave::Block* b = grouped[2 * v + 1 - first]->pull(n);
      const wave::Block* ea = own[2 * v + first]->pull(n);
      const wave::Block* eb = own[2 * v + 1 - first]->pull(n);
      // The first voice pulled takes the next one along where it sounds
      // and stays so.
      const int next = (v + 1) % voices;
      if (k == 0 && !voice[next].mute) {
        EXPECT_EQ(grouped[2 * next + 1]->isProduced(), !voice[next].mayMute) << "block " << block;
      }
      for (int i = 0; i < n; ++i) {
        ASSERT_EQ(a->data[i], ea->data[i]) << "block " << block << " voice " << v << " sample " << i;
        ASSERT_EQ(b->data[i], eb->data[i]) << "block " << block << " voice " << v << " sample " << i;
        energy += std::fabs(a->data[i]);
      }
    }
    env.endBlock(n);
    done += static_cast<size_t>(n);
  }
  EXPECT_GT(energy, 100.0);
}
