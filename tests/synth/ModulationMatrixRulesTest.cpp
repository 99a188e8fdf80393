// The rules that decide which slots of the modulation matrix produce sound.

#include "synth/ModulationMatrix.h"

#include <gtest/gtest.h>

namespace {

using M = ModulationMatrix;

class ModulationMatrixRulesTest : public ::testing::Test {
protected:
  void set(int slot, int source, int target, bool bypassed = false) {
    slots[slot].source = source;
    slots[slot].target = target;
    slots[slot].bypassed = bypassed;
  }
  const M::Analysis& run() {
    M::analyze(slots, result);
    return result;
  }
  static int level(int slot) { return M::cTargetSlotLevel + slot; }

  M::SlotConfig slots[M::cNumSlots];
  M::Analysis result;
};

TEST_F(ModulationMatrixRulesTest, EmptyBypassedAndHalfSetSlotsAreInvalid) {
  set(1, M::cSourceLFO1, -1);
  set(2, -1, M::cTargetVolume);
  set(3, M::cSourceLFO1, M::cTargetVolume, true);
  set(4, 11, M::cTargetVolume); // out of range reads as unset
  set(5, M::cSourceLFO1, 62);
  set(6, M::cSourceLFO1, M::cTargetVolume);
  run();
  for (int s = 0; s < 6; ++s) EXPECT_FALSE(result.valid[s]) << s;
  EXPECT_TRUE(result.valid[6]);
}

TEST_F(ModulationMatrixRulesTest, AGeneratorCannotModulateItsOwnParameters) {
  set(0, M::cSourceLFO1, M::cTargetLFO1Frequency);
  set(1, M::cSourceLFO2, M::cTargetLFO1Frequency);
  set(2, M::cSourceEG1, M::cTargetEG1Attack);
  set(3, M::cSourceEG1, M::cTargetEG2Attack);
  set(4, M::cSourceEG2, M::cTargetEG2Sustain);
  set(5, M::cSourceEGMain, M::cTargetEGMainHold);
  set(6, M::cSourceEGMain, M::cTargetEGMainRelease);
  set(7, M::cSourceEGMain, M::cTargetEG1Release);
  set(8, M::cSourceLFO3, M::cTargetLFO3Frequency);
  // Not its own parameter, but with slot 3 (EG 1 -> EG 2) a loop.
  set(9, M::cSourceEG2, M::cTargetEG1Delay);
  run();
  const bool expected[] = {false, true, false, true, false, false, false, true, false, false};
  for (int s = 0; s < 10; ++s) EXPECT_EQ(result.valid[s], expected[s]) << s;
}

TEST_F(ModulationMatrixRulesTest, OwnParameterSlotsAreRefusedWhateverComesBefore) {
  // Nothing earlier makes LFO 2 -> LFO 2 Frequency acceptable.
  set(0, M::cSourceModWheel, level(5));
  set(5, M::cSourceLFO2, M::cTargetLFO2Frequency);
  run();
  EXPECT_TRUE(result.valid[0]);
  EXPECT_FALSE(result.valid[5]);
}

TEST_F(ModulationMatrixRulesTest, PerVoiceSourcesCannotDriveGlobalTargets) {
  const int voiceSources[] = {M::cSourceEG1, M::cSourceEG2, M::cSourceEGMain, M::cSourceVelocity, M::cSourceKBTrack};
  const int globalSources[] = {M::cSourceLFO1, M::cSourceModWheel, M::cSourcePitchBend, M::cSourceAftertouch};
  for (int source : voiceSources) {
    for (int target : {int(M::cTargetStereo), int(M::cTargetLFO2Frequency)}) {
      slots[0] = M::SlotConfig();
      set(0, source, target);
      EXPECT_FALSE(run().valid[0]) << source << " -> " << target;
      EXPECT_FALSE(result.voice[0]);
    }
    set(0, source, M::cTargetVolume); // per voice, so velocity can drive it
    EXPECT_TRUE(run().valid[0]) << source;
    EXPECT_TRUE(result.voice[0]);
  }
  for (int source : globalSources) {
    set(0, source, M::cTargetStereo);
    EXPECT_TRUE(run().valid[0]) << source;
    set(0, source, M::cTargetFilter1Freq); // evaluated in every voice
    EXPECT_TRUE(run().valid[0]) << source;
    EXPECT_TRUE(result.voice[0]);
  }
}

TEST_F(ModulationMatrixRulesTest, ASlotLevelIsATargetOfItsSlotsKind) {
  // Slot 1 runs globally (LFO 1 -> Stereo): velocity cannot scale it.
  set(1, M::cSourceLFO1, M::cTargetStereo);
  set(0, M::cSourceVelocity, level(1));
  // Slot 3 runs per voice (LFO 1 -> Filter 1 Freq): velocity can.
  set(3, M::cSourceLFO1, M::cTargetFilter1Freq);
  set(2, M::cSourceVelocity, level(3));
  // Through a chain: EG 1 -> level 4 -> level 5, slot 5 global.
  set(4, M::cSourceModWheel, level(5));
  set(5, M::cSourceLFO2, M::cTargetLFO3Frequency);
  set(6, M::cSourceEG1, level(4));
  // A level whose slot has no target yet constrains nothing.
  set(7, M::cSourceEG2, level(8));
  run();
  EXPECT_FALSE(result.valid[0]);
  EXPECT_FALSE(result.voice[1]);
  EXPECT_TRUE(result.valid[1]);
  EXPECT_TRUE(result.valid[2]);
  EXPECT_TRUE(result.voice[2]);
  EXPECT_TRUE(result.valid[3]);
  EXPECT_TRUE(result.valid[4]);
  EXPECT_FALSE(result.voice[4]);
  EXPECT_TRUE(result.valid[5]);
  EXPECT_FALSE(result.valid[6]);
  EXPECT_TRUE(result.valid[7]);
  EXPECT_TRUE(result.voice[7]);
}

TEST_F(ModulationMatrixRulesTest, ChainsOfSlotLevelsMayNotFormALoop) {
  set(0, M::cSourceModWheel, level(0)); // its own level
  set(1, M::cSourceModWheel, level(2));
  set(2, M::cSourceModWheel, level(1)); // closes 1 <-> 2
  set(3, M::cSourceLFO1, level(4));
  set(4, M::cSourceLFO1, level(5));
  set(5, M::cSourceLFO1, level(3)); // closes 3 -> 4 -> 5 -> 3
  set(6, M::cSourceLFO1, level(1)); // into a valid chain: fine
  run();
  const bool expected[] = {false, true, false, true, true, false, true};
  for (int s = 0; s < 7; ++s) EXPECT_EQ(result.valid[s], expected[s]) << s;
}

TEST_F(ModulationMatrixRulesTest, GeneratorsFeedingEachOtherFormALoop) {
  set(0, M::cSourceLFO1, M::cTargetLFO2Frequency);
  set(1, M::cSourceLFO2, M::cTargetLFO3Frequency);
  set(2, M::cSourceLFO3, M::cTargetLFO1Frequency); // closes the ring
  set(3, M::cSourceEG1, M::cTargetEG2Decay);
  set(4, M::cSourceEG2, M::cTargetEG1Decay); // closes EG 1 <-> EG 2
  set(5, M::cSourceEGMain, M::cTargetEG1Decay); // no loop
  run();
  const bool expected[] = {true, true, false, true, false, true};
  for (int s = 0; s < 6; ++s) EXPECT_EQ(result.valid[s], expected[s]) << s;
}

TEST_F(ModulationMatrixRulesTest, AGeneratorScalingAModulationOfItselfIsALoop) {
  // LFO 2 -> LFO 1 Frequency is fine; LFO 1 scaling that slot's level would
  // make LFO 1 depend on itself.
  set(0, M::cSourceLFO2, M::cTargetLFO1Frequency);
  set(1, M::cSourceLFO1, level(0));
  set(2, M::cSourceEG2, M::cTargetEG1Attack);
  set(3, M::cSourceEG1, level(2));
  run();
  EXPECT_TRUE(result.valid[0]);
  EXPECT_FALSE(result.valid[1]);
  EXPECT_TRUE(result.valid[2]);
  EXPECT_FALSE(result.valid[3]);
}

TEST_F(ModulationMatrixRulesTest, SlotsOutsideTheLoopDoNotTakePart) {
  // A bypassed or invalid slot adds no edge, so the other half of a would-be
  // loop stays valid.
  set(0, M::cSourceLFO1, M::cTargetLFO2Frequency, true);
  set(1, M::cSourceLFO2, M::cTargetLFO1Frequency);
  set(2, M::cSourceEG1, M::cTargetStereo); // refused for its scope
  set(3, M::cSourceLFO1, level(2));
  run();
  EXPECT_FALSE(result.valid[0]);
  EXPECT_TRUE(result.valid[1]);
  EXPECT_FALSE(result.valid[2]);
  EXPECT_TRUE(result.valid[3]);

  slots[0].bypassed = false;
  run();
  EXPECT_TRUE(result.valid[0]);
  EXPECT_FALSE(result.valid[1]);
}

TEST(ModulationMatrixTargetsTest, TheTablesDescribeEveryTarget) {
  EXPECT_EQ(M::getTargetName(0), "Noise Level");
  EXPECT_EQ(M::getTargetName(M::cTargetMasterTune), "Master Tune");
  EXPECT_EQ(M::getTargetName(M::cTargetFilter2Peak), "Filter 2 Peak");
  EXPECT_EQ(M::getTargetName(M::cTargetEGMainRelease), "EG Main Release");
  EXPECT_EQ(M::getTargetName(38), "Slot 1 Level");
  EXPECT_EQ(M::getTargetName(61), "Slot 24 Level");
  EXPECT_EQ(M::getTargetName(62), "");
  EXPECT_STREQ(M::getSourceName(M::cSourceKBTrack), "KB Track");
  EXPECT_STREQ(M::getSourceName(11), "");

  // The generators own exactly their own parameters.
  for (int t = 0; t < M::cNumTargets; ++t) {
    int owner = -1;
    if (t >= 20 && t <= 22) owner = t - 20;
    if (t >= 23 && t <= 27) owner = M::cSourceEG1;
    if (t >= 28 && t <= 32) owner = M::cSourceEG2;
    if (t >= 33 && t <= 37) owner = M::cSourceEGMain;
    EXPECT_EQ(M::getTargetGenerator(t), owner) << t;
    EXPECT_GT(M::getTargetFullScale(t), 0.0f) << t;
  }
  EXPECT_FALSE(M::isVoiceParameterTarget(M::cTargetStereo));
  EXPECT_TRUE(M::isVoiceParameterTarget(M::cTargetVolume));
  EXPECT_EQ(M::getTargetScale(M::cTargetEG1Sustain), M::cAdditive);
  EXPECT_EQ(M::getTargetScale(M::cTargetEG1Attack), M::cExponential);
  EXPECT_FLOAT_EQ(M::keyboardTrackValue(120.0f), 1.0f);
}

} // namespace
