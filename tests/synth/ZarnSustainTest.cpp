// The sustain pedal (controller 64) and the messages that clear it, through
// the whole instrument: MIDI in, voices and samples out.

#include "plugin/ControllerMapping.h"
#include "tests/support/AllocationCounter.h"
#include "tests/synth/ZarnTestSupport.h"

#include <gtest/gtest.h>

#include <set>

using namespace zarntest;

namespace {

constexpr int cPedal = 64;
// Level of the plain patch's held sawtooth is about 0.3 (RMS); a voice that
// still sounds is far above this, one that has released is far below.
constexpr double cSounding = 0.02;
constexpr double cSilent = 1e-4;

int soundingVoices(ZarnPlugin& p) {
  int n = 0;
  for (int i = 0; i < ZarnPlugin::cMaxVoices; ++i)
    if (!p.getVoice(i)->isMute()) ++n;
  return n;
}

// The notes of the voices that are not silent.
std::set<int> soundingNotes(ZarnPlugin& p) {
  std::set<int> notes;
  for (int i = 0; i < ZarnPlugin::cMaxVoices; ++i)
    if (!p.getVoice(i)->isMute()) notes.insert(p.getVoice(i)->getNote());
  return notes;
}

ZarnVoice* voiceOf(ZarnPlugin& p, int note) {
  for (int i = 0; i < ZarnPlugin::cMaxVoices; ++i)
    if (!p.getVoice(i)->isMute() && p.getVoice(i)->getNote() == note) return p.getVoice(i);
  return nullptr;
}

// Controllers are queued like every MIDI message: one quantum applies it.
void cc(Synth& s, int number, int value) {
  s.controller(number, value);
  s.renderSamples(kQuantum);
}

// RMS of the last `seconds` rendered on the left channel.
double tailRms(const Synth& s, double seconds) {
  const size_t n = static_cast<size_t>(seconds * kRate);
  return rms(s.left, s.left.size() > n ? s.left.size() - n : 0, s.left.size());
}

int parameterIndex(ZarnPlugin& p, const AbstractPluginParameter& parameter) {
  for (int i = 0; i < p.getNumParameters(); ++i)
    if (p.getParameter(i) == &parameter) return i;
  return -1;
}

} // namespace

TEST(ZarnSustainTest, AKeyReleasedUnderThePedalSoundsUntilThePedalGoesUp) {
  Synth s;
  plainPatch(s);
  cc(s, cPedal, 127);
  EXPECT_TRUE(s->isSustainDown());
  s.noteOn(60, 100);
  s.render(0.2);
  const double held = tailRms(s, 0.1);
  ASSERT_GT(held, cSounding);
  s.noteOff(60);
  s.render(1.0);
  // The sustain stage goes on at the level the key had.
  EXPECT_GT(tailRms(s, 0.2), 0.9 * held);
  EXPECT_EQ(soundingVoices(*s), 1);

  cc(s, cPedal, 0);
  EXPECT_FALSE(s->isSustainDown());
  s.render(0.5); // release 0.05 s
  EXPECT_LT(tailRms(s, 0.2), cSilent);
  EXPECT_EQ(soundingVoices(*s), 0);

  // Without the pedal the same key stops at its note-off.
  s.noteOn(60, 100);
  s.render(0.2);
  s.noteOff(60);
  s.render(0.5);
  EXPECT_LT(tailRms(s, 0.2), cSilent);
}

TEST(ZarnSustainTest, ThePedalIsDownFromValue64) {
  Synth s;
  plainPatch(s);
  cc(s, cPedal, 63);
  EXPECT_FALSE(s->isSustainDown());
  s.noteOn(60, 100);
  s.render(0.05);
  s.noteOff(60);
  s.render(0.3);
  EXPECT_EQ(soundingVoices(*s), 0);

  cc(s, cPedal, 64);
  EXPECT_TRUE(s->isSustainDown());
  s.noteOn(60, 100);
  s.render(0.05);
  s.noteOff(60);
  s.render(0.3);
  EXPECT_EQ(soundingVoices(*s), 1);
  // Half-pedal values below 64 lift it.
  cc(s, cPedal, 20);
  s.render(0.3);
  EXPECT_EQ(soundingVoices(*s), 0);
}

TEST(ZarnSustainTest, PedalUpKeepsKeysThatAreStillDown) {
  Synth s;
  plainPatch(s);
  cc(s, cPedal, 127);
  s.noteOn(60, 100);
  s.noteOn(64, 100);
  s.noteOn(67, 100);
  s.render(0.05);
  s.noteOff(64);
  s.noteOff(67);
  s.render(0.3);
  EXPECT_EQ(soundingNotes(*s), (std::set<int>{60, 64, 67}));

  cc(s, cPedal, 0);
  s.render(0.3);
  EXPECT_EQ(soundingNotes(*s), (std::set<int>{60}));
  ASSERT_NE(voiceOf(*s, 60), nullptr);
  EXPECT_TRUE(voiceOf(*s, 60)->isKeyDown());
  EXPECT_GT(tailRms(s, 0.1), cSounding);

  // The key that outlived the pedal ends at its own note-off.
  s.noteOff(60);
  s.render(0.3);
  EXPECT_EQ(soundingVoices(*s), 0);
  EXPECT_LT(tailRms(s, 0.1), cSilent);
}

TEST(ZarnSustainTest, ReStrikingASustainedKeyRestartsItsOwnVoice) {
  Synth s;
  plainPatch(s);
  cc(s, cPedal, 127);
  s.noteOn(60, 40);
  s.render(0.05);
  s.noteOff(60);
  s.render(0.05);
  const ZarnVoice* first = voiceOf(*s, 60);
  ASSERT_NE(first, nullptr);
  EXPECT_NEAR(first->getVelocity(), 40.0f / 127.0f, 1e-4f);

  // Struck again, many times, under the pedal: never a second voice, and
  // each strike takes its own velocity.
  for (int k = 0; k < 40; ++k) {
    s.noteOn(60, 100 + (k % 2) * 20);
    s.render(0.01);
    s.noteOff(60);
    s.render(0.01);
    ASSERT_EQ(soundingVoices(*s), 1) << "strike " << k;
  }
  EXPECT_EQ(voiceOf(*s, 60), first);
  EXPECT_NEAR(first->getVelocity(), 120.0f / 127.0f, 1e-4f);

  // Struck again and held: pedal up keeps it, its note-off ends it; no
  // voice is left behind.
  s.noteOn(60, 100);
  s.render(0.05);
  cc(s, cPedal, 0);
  s.render(0.2);
  EXPECT_EQ(soundingVoices(*s), 1);
  s.noteOff(60);
  s.render(0.3);
  EXPECT_EQ(soundingVoices(*s), 0);
}

TEST(ZarnSustainTest, AFullPoolStealsAPedalHeldVoiceBeforeAKeyThatIsDown) {
  Synth s;
  plainPatch(s);
  Synth::set(s->totalVoices, 3.0f);
  s.settle();
  cc(s, cPedal, 127);
  s.noteOn(48, 100); // oldest, and its key stays down
  s.render(0.02);
  s.noteOn(52, 100);
  s.render(0.02);
  s.noteOn(55, 100);
  s.render(0.02);
  s.noteOff(52);
  s.noteOff(55);
  s.render(0.02);
  s.noteOn(60, 100);
  s.render(0.2);
  EXPECT_EQ(soundingNotes(*s), (std::set<int>{48, 55, 60}));
  // The stolen voice forgot the pedal: lifting it releases only 55.
  cc(s, cPedal, 0);
  s.render(0.3);
  EXPECT_EQ(soundingNotes(*s), (std::set<int>{48, 60}));
}

TEST(ZarnSustainTest, AMonoNoteIsHeldUntilPedalUp) {
  for (int legato = 0; legato < 2; ++legato) {
    SCOPED_TRACE(legato ? "legato" : "normal");
    Synth s;
    plainPatch(s);
    Synth::set(s->polyphony, static_cast<float>(VoiceManager::cMono));
    Synth::set(s->portamentoMode, static_cast<float>(legato ? VoiceManager::cLegato : VoiceManager::cNormal));
    s.settle();
    cc(s, cPedal, 127);
    s.noteOn(60, 50);
    s.render(0.1);
    const double held = tailRms(s, 0.05);
    ASSERT_GT(held, cSilent * 100);
    s.noteOff(60);
    s.render(0.5);
    EXPECT_GT(tailRms(s, 0.2), 0.9 * held);
    EXPECT_EQ(soundingNotes(*s), (std::set<int>{60}));

    // A new key after the held one starts a phrase of its own: its own
    // velocity, even with legato.
    s.noteOn(64, 110);
    s.render(0.05);
    const ZarnVoice* v = voiceOf(*s, 64);
    ASSERT_NE(v, nullptr);
    EXPECT_NEAR(v->getVelocity(), 110.0f / 127.0f, 1e-4f);
    EXPECT_EQ(soundingVoices(*s), 1);
    s.noteOff(64);
    s.render(0.3);
    EXPECT_EQ(soundingNotes(*s), (std::set<int>{64}));

    cc(s, cPedal, 0);
    s.render(0.3);
    EXPECT_EQ(soundingVoices(*s), 0);
    EXPECT_LT(tailRms(s, 0.1), cSilent);
  }
}

TEST(ZarnSustainTest, MonoPedalUpWithAKeyStillDownKeepsIt) {
  Synth s;
  plainPatch(s);
  Synth::set(s->polyphony, static_cast<float>(VoiceManager::cMono));
  s.settle();
  cc(s, cPedal, 127);
  s.noteOn(60, 100);
  s.render(0.05);
  cc(s, cPedal, 0);
  s.render(0.3);
  EXPECT_EQ(soundingNotes(*s), (std::set<int>{60}));
  s.noteOff(60);
  s.render(0.3);
  EXPECT_EQ(soundingVoices(*s), 0);
}

TEST(ZarnSustainTest, AllNotesOffClearsTheSustain) {
  Synth s;
  plainPatch(s);
  cc(s, cPedal, 127);
  for (int n : {60, 64, 67}) s.noteOn(n, 100);
  s.render(0.05);
  for (int n : {60, 64, 67}) s.noteOff(n);
  s.render(0.1);
  ASSERT_EQ(soundingVoices(*s), 3);

  cc(s, 123, 0);
  EXPECT_FALSE(s->isSustainDown());
  s.render(0.3);
  EXPECT_EQ(soundingVoices(*s), 0);
  EXPECT_LT(tailRms(s, 0.1), cSilent);

  // The pedal counts as lifted until it moves again.
  s.noteOn(62, 100);
  s.render(0.05);
  s.noteOff(62);
  s.render(0.3);
  EXPECT_EQ(soundingVoices(*s), 0);
}

TEST(ZarnSustainTest, AllSoundOffSilencesAtOnceAndClearsTheSustain) {
  Synth s;
  plainPatch(s);
  Synth::set(s->egMain.release, 3.0f); // a long tail that must not play
  s.settle();
  cc(s, cPedal, 127);
  s.noteOn(60, 100); // held
  s.noteOn(64, 100); // held by the pedal
  s.render(0.05);
  s.noteOff(64);
  s.render(0.05);
  cc(s, 120, 0);
  EXPECT_FALSE(s->isSustainDown());
  EXPECT_EQ(soundingVoices(*s), 0);
  s.clear();
  s.render(0.05);
  EXPECT_LT(peak(s.left), cSilent);
  // The key that was down when the sound went off is forgotten: its
  // note-off finds nothing, a new note plays normally.
  s.noteOff(60);
  s.noteOn(67, 100);
  s.render(0.1);
  EXPECT_EQ(soundingNotes(*s), (std::set<int>{67}));
}

TEST(ZarnSustainTest, ResetAllControllersLiftsThePedal) {
  Synth s;
  plainPatch(s);
  cc(s, cPedal, 127);
  s.noteOn(60, 100);
  s.render(0.05);
  s.noteOff(60);
  cc(s, 121, 0);
  EXPECT_FALSE(s->isSustainDown());
  s.render(0.3);
  EXPECT_EQ(soundingVoices(*s), 0);
}

TEST(ZarnSustainTest, ThePedalBelongsToOneInstanceAndResetLiftsIt) {
  Synth a, b;
  plainPatch(a);
  plainPatch(b);
  cc(a, cPedal, 127);
  EXPECT_TRUE(a->isSustainDown());
  EXPECT_FALSE(b->isSustainDown());
  for (Synth* s : {&a, &b}) {
    s->noteOn(60, 100);
    s->render(0.05);
    s->noteOff(60);
    s->render(0.3);
  }
  EXPECT_EQ(soundingVoices(*a), 1);
  EXPECT_EQ(soundingVoices(*b), 0);

  // A reset must not leave notes behind that no pedal message releases.
  a->reset();
  EXPECT_FALSE(a->isSustainDown());
  a.render(0.3);
  EXPECT_EQ(soundingVoices(*a), 0);
  a.noteOn(60, 100);
  a.render(0.05);
  a.noteOff(60);
  a.render(0.3);
  EXPECT_EQ(soundingVoices(*a), 0);
}

TEST(ZarnSustainTest, ALearnedController64StillSustainsAndMovesItsParameter) {
  Synth s;
  plainPatch(s);
  ControllerMapping* mapping = GenericPlugin::sControllerMapping;
  ASSERT_NE(mapping, nullptr);
  const int index = parameterIndex(*s, s->osc2.level);
  ASSERT_GE(index, 0);
  ASSERT_TRUE(mapping->setConnection(cPedal, index));
  cc(s, cPedal, 127);
  s.noteOn(60, 100);
  s.render(0.05);
  s.noteOff(60);
  s.render(0.3);
  const float moved = s->osc2.level.getNormalizedValue();
  const bool sustained = s->isSustainDown();
  const int sounding = soundingVoices(*s);
  mapping->removeConnection(cPedal); // the map is shared by every instance
  EXPECT_NEAR(moved, 1.0f, 1e-6f);
  EXPECT_TRUE(sustained);
  EXPECT_EQ(sounding, 1);
}

TEST(ZarnSustainTest, PedalAndNotesAllocateNothingWhileRendering) {
  Synth s;
  plainPatch(s);
  Synth::set(s->totalVoices, 8.0f);
  s.settle();
  // Warm-up: every voice has sounded once.
  for (int i = 0; i < 8; ++i) s.noteOn(40 + i, 100);
  s.render(0.1);
  for (int i = 0; i < 8; ++i) s.noteOff(40 + i);
  s.render(0.3);
  float l[32], r[32];
  float* outs[2] = {l, r};
  auto send = [&](unsigned char status, int d1, int d2, int offset) {
    MidiMessage m;
    m.status = status;
    m.data1 = static_cast<unsigned char>(d1);
    m.data2 = static_cast<unsigned char>(d2);
    m.sampleOffset = offset;
    s->receiveMidiMessage(m);
  };
  zarn::test::AllocationCounter counter;
  for (int k = 0; k < 400; ++k) {
    switch (k % 40) {
    case 0:
      send(0xB0, cPedal, 127, 3);
      break;
    case 5:
    case 15:
      send(0x90, 50 + (k / 40) % 12, 100, 5);
      break;
    case 10:
    case 20:
      send(0x80, 50 + (k / 40) % 12, 64, 9);
      break;
    case 30:
      send(0xB0, cPedal, 0, 1);
      break;
    case 35:
      if (k == 195) send(0xB0, 123, 0, 0);
      if (k == 355) send(0xB0, 120, 0, 0);
      break;
    default:
      break;
    }
    s->process(nullptr, 0, outs, 2, 32);
  }
  EXPECT_EQ(counter.count(), 0);
}

TEST(ZarnSustainTest, AllNotesOffLetsPedalHeldNotesRingOutThroughTheirRelease) {
  // All Notes Off is a key-up for every note, not a cut: a note the pedal
  // holds falls along its release like any released key. Release 0.6 s:
  // e^(-5t/T) bent to reach zero at T, -10.9 dB a quarter of the way in,
  // nothing left past T.
  Synth s;
  plainPatch(s, Oscillator::Triangle);
  Synth::set(s->egMain.release, s->egMain.release.getTransform().invertValue(0.6f));
  s.settle();
  cc(s, cPedal, 127);
  s.noteOn(57, 127);
  s.render(0.2);
  s.noteOff(57);
  s.render(0.3);
  const double held = tailRms(s, 0.2);
  ASSERT_GT(held, cSounding);

  cc(s, 123, 0);
  const size_t off = s.size();
  s.render(0.8);
  const double quarterIn = 20.0 * std::log10((std::exp(-5.0 * 0.25) - std::exp(-5.0)) / (1.0 - std::exp(-5.0)));
  const size_t at = off + static_cast<size_t>(0.15 * kRate), half = static_cast<size_t>(0.005 * kRate);
  EXPECT_NEAR(toDB(rms(s.left, at - half, at + half) / held), quarterIn, 1.0);
  EXPECT_LT(rms(s.left, off + static_cast<size_t>(0.62 * kRate), off + static_cast<size_t>(0.72 * kRate)),
            held * 1e-4);
}
