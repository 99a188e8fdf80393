// The modulation matrix's slot parameters and the controller the editor
// edits them through.

#include "synth/ModMatrixParamController.h"
#include "synth/ModulationMatrixParameterSet.h"
#include "hints/ZarnHints.h"
#include "tests/synth/ModulationMatrixTestSupport.h"

#include <gtest/gtest.h>

namespace {

using M = ModulationMatrix;
using modmatrixtest::MatrixProduct;
using modmatrixtest::RecordingAdapter;
using modmatrixtest::RecordingListener;

class ModMatrixParamControllerTest : public ::testing::Test {
protected:
  ModMatrixParamControllerTest() : controller(product.getModMatrixController()) {
    product.registerPluginAdapter(&adapter);
    product.setListener(&listener);
  }
  ~ModMatrixParamControllerTest() override {
    product.setListener(nullptr);
    product.registerPluginAdapter(nullptr);
  }

  ModulationMatrixParameterSet::SlotParameters& slot(int s) { return product.slots->at(s); }
  void clearRecords() {
    adapter.indexes.clear();
    listener.events.clear();
  }

  MatrixProduct product;
  RecordingAdapter adapter;
  RecordingListener listener;
  M::Controller* controller;
};

TEST_F(ModMatrixParamControllerTest, TheSlotParametersAreContiguousInSlotOrder) {
  ModulationMatrixParameterSet& set = *product.slots;
  EXPECT_EQ(set.getFirstIndex(), 1); // after the product's "Gain"
  EXPECT_EQ(set.getLastIndex(), 120);
  EXPECT_EQ(product.getNumParameters(), 121);
  for (int s = 0; s < M::cNumSlots; ++s) {
    const int first = 1 + 5 * s;
    const std::string n = "Slot " + std::to_string(s + 1) + " ";
    EXPECT_EQ(set.at(s).source.getIndex(), first);
    EXPECT_EQ(set.at(s).inverted.getIndex(), first + 1);
    EXPECT_EQ(set.at(s).bypassed.getIndex(), first + 2);
    EXPECT_EQ(set.at(s).level.getIndex(), first + 3);
    EXPECT_EQ(set.at(s).target.getIndex(), first + 4);
    EXPECT_EQ(set.at(s).source.getName(), n + "Source");
    EXPECT_EQ(set.at(s).target.getName(), n + "Target");
    EXPECT_EQ(set.at(s).level.getName(), n + "Level");
  }
  const auto& source = set.at(3).source;
  EXPECT_EQ(source.getType(), AbstractPluginParameter::cIndexed);
  EXPECT_FLOAT_EQ(source.getMax(), 11.0f);
  EXPECT_EQ(source.convertValueToString(0.0f), "< Source >");
  EXPECT_EQ(source.convertValueToString(1.0f), "LFO 1");
  EXPECT_EQ(source.convertValueToString(11.0f), "Aftertouch");
  const auto& target = set.at(3).target;
  EXPECT_FLOAT_EQ(target.getMax(), 62.0f);
  EXPECT_EQ(target.convertValueToString(0.0f), "< Target >");
  EXPECT_EQ(target.convertValueToString(20.0f), "Stereo");
  EXPECT_EQ(target.convertValueToString(62.0f), "Slot 24 Level");
  EXPECT_EQ(set.at(0).inverted.convertValueToString(1.0f), "On");
  EXPECT_FLOAT_EQ(set.at(0).level.getDefault(), 0.5f);
  EXPECT_EQ(set.at(0).level.getHintText(), cHintSlotLevel);
  EXPECT_EQ(set.at(0).bypassed.getHintText(), cHintSlotByPass);
}

TEST_F(ModMatrixParamControllerTest, TheControllerIsMadeOnceAndReadsTheParameters) {
  EXPECT_EQ(product.getModMatrixController(), controller);
  EXPECT_EQ(controller->getNumSlots(), 24);
  EXPECT_EQ(controller->getSlotSource(0), -1);
  EXPECT_EQ(controller->getSlotTarget(0), -1);
  slot(2).source.setValue(5.0f, 0); // EG 2
  slot(2).target.setValue(13.0f, 0); // Filter 1 Freq
  slot(2).bypassed.setValue(1.0f, 0);
  EXPECT_EQ(controller->getSlotSource(2), M::cSourceEG2);
  EXPECT_EQ(controller->getSlotTarget(2), M::cTargetFilter1Freq);
  EXPECT_TRUE(controller->getSlotBypassed(2));
  EXPECT_FALSE(controller->isSlotValid(2));
  slot(2).bypassed.setValue(0.0f, 0);
  EXPECT_TRUE(controller->isSlotValid(2));
  // Out of range asks read as empty.
  EXPECT_EQ(controller->getSlotSource(24), -1);
  EXPECT_EQ(controller->getSlotTarget(-1), -1);
  EXPECT_FALSE(controller->getSlotBypassed(99));
  EXPECT_FALSE(controller->isSlotValid(-1));
}

TEST_F(ModMatrixParamControllerTest, SourceAndTargetSlotsAreListedInSlotOrder) {
  controller->makeConnection(7, M::cSourceLFO2, M::cTargetVolume);
  controller->makeConnection(2, M::cSourceLFO2, M::cTargetOsc1Pan);
  controller->makeConnection(4, M::cSourceVelocity, M::cTargetVolume);
  std::vector<int> slots = {99, 98};
  controller->getSourceSlots(M::cSourceLFO2, slots);
  EXPECT_EQ(slots, (std::vector<int>{2, 7}));
  controller->getTargetSlots(M::cTargetVolume, slots);
  EXPECT_EQ(slots, (std::vector<int>{4, 7}));
  controller->getSourceSlots(M::cSourceEG1, slots);
  EXPECT_TRUE(slots.empty());
  EXPECT_TRUE(controller->hasSourceSlots(M::cSourceVelocity));
  EXPECT_FALSE(controller->hasSourceSlots(M::cSourceLFO1));
}

TEST_F(ModMatrixParamControllerTest, MakeConnectionIsOneBatchForHostAndEditor) {
  slot(5).level.setValue(0.9f, 0);
  slot(5).inverted.setValue(1.0f, 0);
  slot(5).bypassed.setValue(1.0f, 0);
  clearRecords();
  controller->makeConnection(5, M::cSourceModWheel, M::cTargetSlotLevel + 9);
  EXPECT_EQ(adapter.indexes, (std::vector<int>{-1}));
  ASSERT_EQ(listener.events.size(), 1u);
  EXPECT_EQ(listener.events[0].code, cParameterChangeEvent);
  EXPECT_EQ(listener.events[0].value, -1);
  EXPECT_FLOAT_EQ(slot(5).source.getValue(), 9.0f);
  EXPECT_FLOAT_EQ(slot(5).target.getValue(), 48.0f);
  EXPECT_FLOAT_EQ(slot(5).level.getValue(), 0.5f);
  EXPECT_FALSE(slot(5).inverted.isOn());
  EXPECT_FALSE(slot(5).bypassed.isOn());
  EXPECT_EQ(product.getUpdateDepth(), 0);

  // Nothing is written for slots, sources or targets that do not exist.
  clearRecords();
  controller->makeConnection(24, M::cSourceLFO1, M::cTargetVolume);
  controller->makeConnection(0, 11, M::cTargetVolume);
  controller->makeConnection(0, M::cSourceLFO1, 62);
  EXPECT_TRUE(adapter.indexes.empty());
  EXPECT_EQ(controller->getSlotSource(0), -1);
}

TEST_F(ModMatrixParamControllerTest, ClearSlotResetsEverythingInOneBatch) {
  controller->makeConnection(3, M::cSourceLFO1, M::cTargetNoisePan);
  slot(3).level.setValue(0.2f, 0);
  slot(3).inverted.setValue(1.0f, 0);
  clearRecords();
  controller->clearSlot(3);
  EXPECT_EQ(adapter.indexes, (std::vector<int>{-1}));
  EXPECT_EQ(controller->getSlotSource(3), -1);
  EXPECT_EQ(controller->getSlotTarget(3), -1);
  EXPECT_FALSE(slot(3).inverted.isOn());
  EXPECT_FLOAT_EQ(slot(3).level.getValue(), 0.5f);
}

TEST_F(ModMatrixParamControllerTest, SelectFreeSlotPrefersEmptyThenInvalidSlots) {
  EXPECT_EQ(controller->selectFreeSlot(5, 4), -1);
  EXPECT_EQ(controller->selectFreeSlot(8, 15), 8);
  for (int s = 8; s <= 15; ++s) controller->makeConnection(s, M::cSourceLFO1, M::cTargetVolume);
  // Full and valid: nothing.
  EXPECT_EQ(controller->selectFreeSlot(8, 15), -1);
  // A refused connection (LFO 2 on its own frequency) is reusable...
  controller->makeConnection(13, M::cSourceLFO2, M::cTargetLFO2Frequency);
  // ...and so is a bypassed one, and one with only a source.
  slot(11).bypassed.setValue(1.0f, 0);
  EXPECT_EQ(controller->selectFreeSlot(8, 15), 11);
  EXPECT_EQ(controller->selectFreeSlot(12, 15), 13);
  slot(14).target.setValue(0.0f, 0);
  EXPECT_EQ(controller->selectFreeSlot(12, 15), 13); // has a source: not empty
  slot(15).source.setValue(0.0f, 0);
  slot(15).target.setValue(0.0f, 0);
  EXPECT_EQ(controller->selectFreeSlot(12, 15), 15); // empty wins over invalid
  // The range is kept within the slots.
  EXPECT_EQ(controller->selectFreeSlot(-5, 3), 0);
  EXPECT_EQ(controller->selectFreeSlot(20, 40), 20);
}

TEST_F(ModMatrixParamControllerTest, MoveSlotTakesOutAndInsertsWithLevelTargetsFollowing) {
  for (int s = 0; s < 6; ++s) controller->makeConnection(s, s % M::cNumSources, M::cTargetNoiseLevel + s);
  // Slot 5 drives slot 1's level; slot 4 drives slot 5's.
  controller->makeConnection(5, M::cSourceModWheel, M::cTargetSlotLevel + 1);
  controller->makeConnection(4, M::cSourceAftertouch, M::cTargetSlotLevel + 5);
  slot(1).level.setValue(0.75f, 0);
  slot(1).inverted.setValue(1.0f, 0);
  clearRecords();

  controller->moveSlot(1, 4); // 0 2 3 4 1 5
  EXPECT_EQ(adapter.indexes, (std::vector<int>{-1}));
  ASSERT_EQ(listener.events.size(), 1u);
  EXPECT_EQ(controller->getSlotTarget(0), M::cTargetNoiseLevel);
  EXPECT_EQ(controller->getSlotTarget(1), M::cTargetNoiseLevel + 2);
  EXPECT_EQ(controller->getSlotTarget(2), M::cTargetNoiseLevel + 3);
  EXPECT_EQ(controller->getSlotSource(3), M::cSourceAftertouch);
  EXPECT_EQ(controller->getSlotTarget(3), M::cTargetSlotLevel + 5); // slot 5 stayed at 5
  EXPECT_EQ(controller->getSlotSource(4), 1);
  EXPECT_EQ(controller->getSlotTarget(4), M::cTargetNoiseLevel + 1);
  EXPECT_FLOAT_EQ(slot(4).level.getValue(), 0.75f);
  EXPECT_TRUE(slot(4).inverted.isOn());
  EXPECT_FALSE(slot(1).inverted.isOn());
  EXPECT_EQ(controller->getSlotTarget(5), M::cTargetSlotLevel + 4); // follows old slot 1

  controller->moveSlot(5, 0); // 5 0 2 3 4 1: everything shifts up by one
  EXPECT_EQ(controller->getSlotSource(0), M::cSourceModWheel);
  EXPECT_EQ(controller->getSlotTarget(0), M::cTargetSlotLevel + 5);
  EXPECT_EQ(controller->getSlotTarget(4), M::cTargetSlotLevel + 0);
  EXPECT_EQ(controller->getSlotTarget(1), M::cTargetNoiseLevel);

  // Moving onto itself or out of range changes nothing.
  clearRecords();
  controller->moveSlot(2, 2);
  controller->moveSlot(-1, 3);
  controller->moveSlot(3, 24);
  EXPECT_TRUE(adapter.indexes.empty());
  EXPECT_TRUE(listener.events.empty());
}

TEST_F(ModMatrixParamControllerTest, MoveSlotAcrossTheWholeListKeepsEveryConnection) {
  for (int s = 0; s < M::cNumSlots; ++s)
    controller->makeConnection(s, s % M::cNumSources, s < 12 ? M::cTargetSlotLevel + 23 - s : s % 19);
  M::SlotConfig before[M::cNumSlots];
  product.slots->getSlotConfigs(before);
  controller->moveSlot(0, 23);
  // Old slot 0 drove slot 23's level, which now sits at 22.
  EXPECT_EQ(controller->getSlotSource(23), 0);
  EXPECT_EQ(controller->getSlotTarget(23), M::cTargetSlotLevel + 22);
  EXPECT_EQ(controller->getSlotSource(0), 1);
  EXPECT_EQ(controller->getSlotTarget(0), M::cTargetSlotLevel + 21);
  controller->moveSlot(23, 0);
  M::SlotConfig after[M::cNumSlots];
  product.slots->getSlotConfigs(after);
  for (int s = 0; s < M::cNumSlots; ++s) {
    EXPECT_EQ(after[s].source, before[s].source) << s;
    EXPECT_EQ(after[s].target, before[s].target) << s;
  }
}

} // namespace
