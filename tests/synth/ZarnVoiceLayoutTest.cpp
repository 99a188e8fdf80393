// Total and Unison Voices changed while notes sound: the voices whose unison
// copies stay keep sounding untouched, the others fade out, and keys struck
// meanwhile are played when the new layout is dealt.

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "base/PresetManager.h"
#include "base/VersionInfo.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/LargestStep.h"
#include "tests/synth/ZarnTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

using namespace zarntest;
using zarn::test::largestStep;

namespace {

double largestDifference(const std::vector<float>& a, size_t fromA, const std::vector<float>& b, size_t fromB,
                         size_t n) {
  double d = 0.0;
  for (size_t i = 0; i < n; ++i) d = std::max(d, static_cast<double>(std::fabs(a[fromA + i] - b[fromB + i])));
  return d;
}

// The samples of the fade at the test rate.
const size_t kFade = static_cast<size_t>(std::lround(ZarnPlugin::cVoiceFadeMs * kRate / 1000.0));

// The plain patch on s and on twoCopies, this one set to two unison copies;
// on s a key sounding 0.2 s, then Unison Voices 2 (every voice's copies
// change, so the key fades). The sample of the change.
size_t unisonChangeUnderAKey(Synth& s, Synth& twoCopies, Oscillator::WaveForm wave = Oscillator::Sawtooth) {
  plainPatch(s, wave);
  plainPatch(twoCopies, wave);
  Synth::set(twoCopies->unisonVoices, 2.0f);
  twoCopies.settle();
  s.noteOn(60, 100);
  s.render(0.2);
  Synth::set(s->unisonVoices, 2.0f);
  return s.size();
}

} // namespace

TEST(ZarnVoiceLayoutTest, FewerVoicesKeepTheFirstKeysAndFadeTheOthers) {
  // Four keys on voices 0..3, then Total Voices 2: voices 0 and 1 keep
  // their copies and go on as in an instance that only ever played their
  // two keys; voices 2 and 3 fade out along a half cosine over the fade's
  // length, as they sound in an instance where nothing changed.
  Synth s, two, four;
  for (Synth* x : {&s, &two, &four}) plainPatch(*x);
  for (int note : {48, 55, 60, 64}) {
    s.noteOn(note, 100);
    four.noteOn(note, 100);
  }
  for (int note : {48, 55}) two.noteOn(note, 100);
  for (Synth* x : {&s, &two, &four}) x->render(0.2);
  const size_t change = s.size();
  Synth::set(s->totalVoices, 2.0f);
  for (Synth* x : {&s, &two, &four}) x->render(0.1);

  EXPECT_FALSE(s->getVoice(0)->isMute());
  EXPECT_FALSE(s->getVoice(1)->isMute());
  EXPECT_TRUE(s->getVoice(2)->isMute());
  EXPECT_TRUE(s->getVoice(3)->isMute());
  const double pi = 3.14159265358979323846;
  for (std::vector<float> Synth::*ch : {&Synth::left, &Synth::right}) {
    const std::vector<float>& x = s.*ch;
    const std::vector<float>& kept = two.*ch;
    const std::vector<float>& all = four.*ch;
    // Through the fade: the kept voices plus the others, scaled.
    double worst = 0.0;
    for (size_t k = 0; k < kFade; ++k) {
      const double fade = 0.5 + 0.5 * std::cos(pi * static_cast<double>(k) / static_cast<double>(kFade));
      const double expected = kept[change + k] + fade * (all[change + k] - kept[change + k]);
      worst = std::max(worst, std::fabs(x[change + k] - expected));
    }
    EXPECT_LT(worst, 1e-5);
    // Then the kept voices alone, the same samples.
    const size_t after = change + kFade;
    EXPECT_EQ(largestDifference(x, after, kept, after, x.size() - after), 0.0);
  }
}

TEST(ZarnVoiceLayoutTest, AKeyStruckWhileVoicesFadeStartsWhenTheLayoutIsDealt) {
  // A sounding key, then Unison Voices 2 (every voice's copies change) and
  // a new key at the same moment: the old key fades out, and the new one
  // sounds, two copies strong, once the fade is done, exactly as the same
  // key on an instance set to two unison copies before it was struck.
  Synth s, fresh;
  const size_t change = unisonChangeUnderAKey(s, fresh);
  s.noteOn(67, 90);
  s.render(0.2);
  fresh.noteOn(67, 90);
  fresh.render(0.1);

  // Where the new key begins: the first sample after the fade where the
  // two renders agree from then on.
  const size_t n = fresh.size() / 2;
  size_t start = 0;
  double best = 1e9;
  for (size_t d = 0; d <= kFade + 2 * kQuantum; ++d) {
    const double diff = largestDifference(s.left, change + d, fresh.left, 0, n);
    if (diff < best) {
      best = diff;
      start = d;
    }
  }
  // The oscillators' faint noise floors read on where the last key left
  // them (about -70 dBFS); nothing else differs.
  EXPECT_LT(best, 2e-3);
  EXPECT_GE(start, kFade);
  EXPECT_LE(start, kFade + kQuantum);
  EXPECT_LT(largestDifference(s.right, change + start, fresh.right, 0, n), 2e-3);
  EXPECT_EQ(s->getVoice(0)->getCopyCount(), 2);
  // The fading key had the samples to itself until then, and no step.
  const double own = largestStep(s.left, change / 2, change);
  EXPECT_LE(largestStep(s.left, change, change + start), own);
}

TEST(ZarnVoiceLayoutTest, KeysAndPedalWaitingForTheLayoutKeepTheirOrder) {
  // During the fade: the pedal goes down, a key is struck and released
  // (the pedal holds it), and the sounding key is released. When the
  // layout is dealt they play in that order: the new key sounds on under
  // the pedal, and goes when the pedal goes up.
  Synth s;
  plainPatch(s);
  s.noteOn(60, 100);
  s.render(0.2);
  Synth::set(s->unisonVoices, 3.0f);
  s.controller(64, 127);
  s.noteOn(67, 100);
  s.noteOff(67);
  s.noteOff(60);
  s.render(0.2);
  const size_t held = s.size();
  EXPECT_GT(rms(s.left, held - 2205, held), 0.05);
  EXPECT_EQ(s->getVoice(0)->getCopyCount(), 3);
  s.controller(64, 0);
  s.render(0.3); // EG Main's release is 50 ms
  EXPECT_LT(rms(s.left, s.size() - 2205, s.size()), 1e-6);
}

TEST(ZarnVoiceLayoutTest, AVoiceThatStartsAgainFromSilenceSoundsAsANewOne) {
  // Both oscillators hard-synced, through a resonant filter: a voice that
  // played a note, went silent and is struck again sounds as the same
  // voice of a new instance does on its first note. Only the oscillators'
  // faint noise floors (read on from where the last note left them) and
  // their noise differ; nothing of the last note's wave, DC blocker, sync
  // filter or crossfade carries over.
  auto patch = [](Synth& s) {
    plainPatch(s);
    Synth::set(s->osc1.sync, 2.0f);
    Synth::set(s->osc2.level, 0.5f);
    Synth::set(s->osc2.sync, 2.5f);
    Synth::set(s->filter1.enabled, 1.0f);
    Synth::set(s->filter1.peak, 0.6f);
    s.settle();
  };
  Synth reused, fresh;
  patch(reused);
  patch(fresh);
  reused.noteOn(60, 100);
  reused.render(0.2);
  reused.noteOff(60);
  reused.render(0.5);
  ASSERT_TRUE(reused->getVoice(0)->isMute());
  reused.clear();
  reused.noteOn(67, 90);
  fresh.noteOn(67, 90);
  reused.render(0.1);
  fresh.render(0.1);
  ASSERT_EQ(reused->getVoice(0)->getNote(), 67);
  ASSERT_EQ(fresh->getVoice(0)->getNote(), 67);
  ASSERT_GT(peak(fresh.left), 0.1);
  // The floors lie near -70 dBFS; what the last note left was 0.013 and
  // more.
  EXPECT_LT(largestDifference(reused.left, 0, fresh.left, 0, fresh.size()), 2e-3);
  EXPECT_LT(largestDifference(reused.right, 0, fresh.right, 0, fresh.size()), 2e-3);
}

// A chord on preset A, then 2,000 program changes on one tick alternating
// between B and A (other voice layouts, every continuous value different),
// then C, which differs from both also where they agree (the wave form):
// played on a render thread while the chord fades, they allocate nothing
// and take no lock however many arrive, and lose no value: the chord after
// them is, to the sample, the chord after the first and the last change
// alone.
TEST(ZarnVoiceLayoutTest, ABurstOfProgramChangesInAFadeCostsNothingAndLosesNoValue) {
  Synth maker;
  PresetManager* library = maker->getPresetManager(-1);
  const std::string root = GenericPlugin::sVersionInfo->getDefaultPresetFolder() + "Burst/";
  std::filesystem::create_directories(root);
  // where: the fraction of its range each continuous value is set to; none
  // when negative.
  auto save = [&](const char* name, float where, float unison, float total) {
    for (int i = 0; i < maker->getNumParameters() && where >= 0.0f; ++i)
      if (auto* p = dynamic_cast<FloatParamPluginParameter*>(maker->getParameter(i)))
        Synth::set(*p, p->getMin() + where * (p->getMax() - p->getMin()));
    Synth::set(maker->unisonVoices, unison);
    Synth::set(maker->totalVoices, total);
    Preset preset(root + name);
    ASSERT_TRUE(maker->getParameters().savePreset(&preset, ZarnPlugin::cPresetFileVersion));
  };
  save("A.qvp", 0.3f, 2.0f, 32.0f);
  save("B.qvp", 0.6f, 1.0f, 16.0f);
  // C differs from both in values where they agree too (the wave form).
  Synth plain;
  plainPatch(plain, Oscillator::Square);
  for (int i = 0; i < maker->getNumParameters(); ++i)
    Synth::set(*maker->getParameter(i), plain->getParameter(i)->getValue());
  Synth::set(maker->filter1.enabled, 1.0f);
  Synth::set(maker->egMain.attack, 0.1f);
  save("C.qvp", -1.0f, 1.0f, 16.0f);
  library->initialize(root);

  constexpr int cChanges = 2000;
  Synth burst, two;
  for (Synth* s : {&burst, &two}) {
    chordOnProgram(*s, 0);
    s->left.reserve(static_cast<size_t>(kRate));
    s->right.reserve(static_cast<size_t>(kRate));
  }
  for (int k = 1; k <= cChanges; ++k) burst.midi(0xC0, static_cast<unsigned char>(k % 2), 0);
  two.midi(0xC0, 1, 0);
  for (Synth* s : {&burst, &two}) s->midi(0xC0, 2, 0);
  long allocations = -1, locks = -1;
  std::thread render([&] {
    zarn::test::AllocationCounter counter;
    burst.render(0.1);
    allocations = counter.count();
    locks = counter.locks();
  });
  render.join();
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(locks, 0);
  two.render(0.1);
  for (Synth* s : {&burst, &two}) {
    for (int note : {60, 64, 67}) s->noteOn(note, 100);
    s->render(0.3);
  }
  EXPECT_EQ(burst->getPresetContext()->presetName.get(), "C");
  ASSERT_GT(peak(two.left), 0.05);
  ASSERT_EQ(burst.size(), two.size());
  EXPECT_EQ(largestDifference(burst.left, 0, two.left, 0, two.size()), 0.0);
  EXPECT_EQ(largestDifference(burst.right, 0, two.right, 0, two.size()), 0.0);

  for (const char* name : {"A.qvp", "B.qvp", "C.qvp"}) std::filesystem::remove(root + name);
  library->initialize("");
}

// Far more key and pedal events than there is room for arrive within one
// fade (keys struck and released 700 times over, two held at the end): the
// fade runs to its end without a step, and what waited is dealt, not
// dropped: the released keys end, and the two held ones sound as on an
// instance that played only them.
TEST(ZarnVoiceLayoutTest, AFloodOfKeysWithinAFadeEndsTheFadeWithoutAStep) {
  // Triangles: a cut would step further than the wave ever does.
  Synth s, held;
  const size_t change = unisonChangeUnderAKey(s, held, Oscillator::Triangle);
  s.controller(64, 127);
  for (int k = 0; k < 700; ++k) {
    s.noteOn(36 + k % 48, 100);
    s.noteOff(36 + k % 48);
  }
  s.controller(64, 0);
  s.noteOn(72, 100);
  s.noteOn(76, 100);
  s.render(0.3);
  held.noteOn(72, 100);
  held.noteOn(76, 100);
  held.render(0.3);

  const double own = largestStep(s.left, change / 2, change);
  EXPECT_LE(largestStep(s.left, change, change + kFade), own);
  EXPECT_LE(largestStep(s.right, change, change + kFade), own);
  // The released keys' 50 ms release is long over.
  const double heard = rms(s.left, s.size() - 2205, s.size());
  const double expected = rms(held.left, held.size() - 2205, held.size());
  ASSERT_GT(expected, 0.05);
  EXPECT_NEAR(toDB(heard), toDB(expected), 0.5);
}

// Twenty keys held and ten of them let go (their voices fall silent), then
// Total Voices 16: voices 16..19 fade, the first sixteen keep their copies.
// Within the fade a flood of 1,400 key events (more than the room), and key
// 40, held on a voice that stays, released and struck again: once the
// others are let go, key 40 sounds alone with one voice, as on an instance
// where it was only ever held (its first voice released, the burst's keys
// silent), not doubled nor stuck. The render thread allocates nothing and
// takes no lock meanwhile.
TEST(ZarnVoiceLayoutTest, AKeyReleasedAndStruckAgainInAFloodEndsAsTheFloodLeftIt) {
  Synth s, alone;
  for (Synth* x : {&s, &alone}) plainPatch(*x, Oscillator::Triangle);
  for (int note = 40; note < 60; ++note) s.noteOn(note, 100);
  alone.noteOn(40, 100);
  s.render(0.1);
  for (int note = 41; note <= 50; ++note) s.noteOff(note);
  s.render(0.2);
  alone.render(0.3);
  ASSERT_EQ(s->getVoice(0)->getNote(), 40);
  ASSERT_TRUE(s->getVoice(1)->isMute());
  Synth::set(s->totalVoices, 16.0f);
  s.noteOff(40);
  for (int k = 0; k < 700; ++k) {
    s.noteOn(70 + k % 30, 100);
    s.noteOff(70 + k % 30);
  }
  s.noteOn(40, 100);
  s.left.reserve(s.size() + static_cast<size_t>(kRate));
  s.right.reserve(s.size() + static_cast<size_t>(kRate));
  long allocations = -1, locks = -1;
  std::thread render([&] {
    zarn::test::AllocationCounter counter;
    s.render(0.1);
    allocations = counter.count();
    locks = counter.locks();
  });
  render.join();
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(locks, 0);
  ASSERT_TRUE(s->getVoice(19)->isMute());
  for (int note = 51; note < 60; ++note) s.noteOff(note);
  s.render(0.3);
  alone.render(0.4);
  const double heard = rms(s.left, s.size() - 4410, s.size());
  const double expected = rms(alone.left, alone.size() - 4410, alone.size());
  ASSERT_GT(expected, 0.02);
  EXPECT_NEAR(toDB(heard), toDB(expected), 0.5);
}
