// Patches drawn at random over every parameter's whole range, played hard.
// A musician turning knobs to their ends must never get a filter that runs
// away into infinities, a curve that divides by zero, or a voice that keeps
// sounding after its key is up. The draws are seeded, so a failure repeats.

#include "synth/ModulationMatrix.h"
#include "tests/synth/ZarnTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

using zarntest::kQuantum;
using zarntest::Synth;

AbstractPluginParameter* parameterNamed(ZarnPlugin& p, const std::string& name) {
  for (int i = 0; i < p.getNumParameters(); ++i)
    if (p.getParameter(i)->getName() == name) return p.getParameter(i);
  return nullptr;
}

// Every parameter at an end of its range or anywhere between; then the main
// envelope without hold or release, so that the voices must end soon after
// their keys.
void drawPatch(ZarnPlugin& p, std::mt19937& random) {
  std::uniform_real_distribution<float> anywhere(0.0f, 1.0f);
  std::uniform_int_distribution<int> kind(0, 3);
  for (int i = 0; i < p.getNumParameters(); ++i) {
    AbstractPluginParameter* parameter = p.getParameter(i);
    const int k = kind(random);
    const float normalized = k == 0 ? 0.0f : k == 1 ? 1.0f : anywhere(random);
    parameter->setValue(parameter->convertNormalizedToNatural(normalized), 0);
  }
  for (const char* name : {"EG Main Hold", "EG Main Release"}) {
    AbstractPluginParameter* parameter = parameterNamed(p, name);
    ASSERT_NE(parameter, nullptr) << name;
    parameter->setValue(parameter->getMin(), 0);
  }
  // Nor may the matrix lengthen them again.
  for (int slot = 1; slot <= ModulationMatrix::cNumSlots; ++slot) {
    AbstractPluginParameter* target = parameterNamed(p, "Slot " + std::to_string(slot) + " Target");
    ASSERT_NE(target, nullptr) << slot;
    if (target->convertValueToString(target->getValue()).rfind("EG Main", 0) == 0) target->setValue(0.0f, 0);
  }
}

// Keys from the bottom of the keyboard to the top at soft and hard
// velocities, a chord under moving wheels, bend and pressure, and fast
// repeats on neighbouring keys; then every key and wheel let go.
void playHard(Synth& s, double rate) {
  auto play = [&](double seconds) { s.renderSamples(static_cast<size_t>(seconds * rate)); };
  int velocity = 1;
  for (int key = 12; key <= 120; key += 18) {
    s.noteOn(key, velocity);
    play(0.05);
    s.noteOff(key);
    velocity = velocity == 1 ? 127 : 1;
  }
  const int chord[] = {36, 48, 55, 60, 64, 67, 72, 96};
  for (int key : chord) s.noteOn(key, 110);
  for (int step = 0; step < 24; ++step) {
    s.controller(1, (step * 11) % 128);
    s.midi(0xE0, 0, static_cast<unsigned char>((step * 37) % 128));
    s.midi(0xD0, static_cast<unsigned char>((step * 23) % 128), 0);
    play(0.03);
  }
  for (int key : chord) s.noteOff(key);
  for (int step = 0; step < 16; ++step) {
    s.noteOn(60 + step % 3, 90);
    s.renderSamples(2 * kQuantum);
    s.noteOff(60 + step % 3);
  }
  s.controller(1, 0);
  s.midi(0xE0, 0, 64);
  s.midi(0xD0, 0, 0);
}

} // namespace

TEST(ZarnRandomPatchTest, AnyPatchStaysFiniteAndFallsSilentWhenTheKeysAreUp) {
  // Some draws are silent (a level or the volume at 0); at least half must
  // sound, or the test would prove little.
  int sounded = 0;
  constexpr unsigned cPatches = 24;
  constexpr double cRates[4] = {44100.0, 48000.0, 96000.0, 22050.0};
  for (unsigned seed = 1; seed <= cPatches; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    // The rates a host may run at, the filters' and tables' limits with them.
    const double rate = cRates[seed % 4];
    Synth s;
    s->changeSampleRate(static_cast<float>(rate));
    drawPatch(*s, random);
    s.settle();
    playHard(s, rate);
    s.renderSamples(static_cast<size_t>(0.5 * rate));
    size_t nonFinite = 0;
    double peak = 0.0;
    for (const std::vector<float>* side : {&s.left, &s.right})
      for (float v : *side) {
        if (!std::isfinite(v)) ++nonFinite;
        else peak = std::max(peak, static_cast<double>(std::fabs(v)));
      }
    EXPECT_EQ(nonFinite, 0u);
    // Loud patches reach +30 dBFS on this chord; a filter that runs away
    // goes far past that.
    EXPECT_LT(peak, 1000.0);
    if (peak > 1e-3) ++sounded;

    // The last key went up half a second ago: a release of 0 and the
    // output's DC blocker are over.
    s.clear();
    s.renderSamples(static_cast<size_t>(0.25 * rate));
    EXPECT_LT(zarntest::peak(s.left), 1e-4);
    EXPECT_LT(zarntest::peak(s.right), 1e-4);
    int sounding = 0;
    for (int i = 0; i < ZarnPlugin::cMaxVoices; ++i)
      if (!s->getVoice(i)->isMute()) ++sounding;
    EXPECT_EQ(sounding, 0);
  }
  EXPECT_GE(sounded, static_cast<int>(cPatches) / 2);
}
