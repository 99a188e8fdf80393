#include "host/CEffectProcess.h"
#include "host/CMeterManager.h"
#include "host/CProcess.h"
#include "host/services/CDAEError.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A process whose meters read what the test puts in levels.
class MeterProcess : public CProcess {
public:
  void UpdateMeters(int32_t* values, bool* peaks) override {
    ++refreshes;
    for (size_t i = 0; i < levels.size(); ++i) {
      values[i] = levels[i];
      peaks[i] = levels[i] > 1000;
    }
  }
  std::vector<int32_t> levels;
  int refreshes = 0;
};

// The same for an effect, whose meters are a list the host asks about.
class MeterEffect : public CEffectProcess {
public:
  void UpdateMeters(int32_t* values, bool* peaks) override {
    for (size_t i = 0; i < levels.size(); ++i) {
      values[i] = levels[i];
      peaks[i] = levels[i] > 1000;
    }
  }
  std::vector<int32_t> levels;
};

class MeterManagerTest : public ::testing::Test {
protected:
  void SetUp() override {
    platform::useVirtualClock(true);
    platform::advanceVirtualClock(10'000'000); // well past tick 1
  }
  void TearDown() override { platform::useVirtualClock(false); }
  static void Tick(int ticks) { platform::advanceVirtualClock(ticks * 1'000'000 / 60 + 1); }
};

} // namespace

TEST_F(MeterManagerTest, RefreshesAtMostEveryTwoTicks) {
  MeterProcess process;
  process.levels = {100, 200};
  CMeterManager m(&process, 2);
  int32_t values[2], v = 0;
  bool peaks[2];
  EXPECT_EQ(m.AccessMeters('i', values, peaks, -1, nullptr, false), 2);
  EXPECT_EQ(process.refreshes, 1);
  EXPECT_EQ(values[1], 200);
  process.levels = {300, 400};
  // Within the same tick the stored levels answer.
  m.AccessMeters('e', values, peaks, 2, &v, false);
  EXPECT_EQ(process.refreshes, 1);
  EXPECT_EQ(v, 200);
  // One tick later still; the second one refreshes.
  Tick(1);
  m.AccessMeters('e', values, peaks, 2, &v, false);
  EXPECT_EQ(process.refreshes, 1);
  EXPECT_EQ(v, 200);
  Tick(1);
  m.AccessMeters('e', values, peaks, 2, &v, false);
  EXPECT_EQ(process.refreshes, 2);
  EXPECT_EQ(v, 400);
}

TEST_F(MeterManagerTest, APeakIsNotLostToAnotherReader) {
  MeterProcess process;
  process.levels = {900};
  CMeterManager m(&process, 1);
  int32_t values[1], v = 0;
  bool peaks[1];
  m.AccessMeters('e', values, peaks, 1, &v, false);
  EXPECT_EQ(v, 900);
  Tick(2);
  process.levels = {100};
  m.AccessMeters('i', values, peaks, -1, nullptr, false);
  EXPECT_EQ(values[0], 900); // 'i' had not seen the 900
  Tick(2);
  process.levels = {50};
  m.AccessMeters('e', values, peaks, 1, &v, false);
  EXPECT_EQ(v, 100); // the larger of the stored 100 and the fresh 50
  Tick(2);
  m.AccessMeters('e', values, peaks, 1, &v, false);
  EXPECT_EQ(v, 50); // the same reader gets the fresh level
  // Reading them all works alike: 'i' gets what 'e' saw, then its own fresh.
  Tick(2);
  process.levels = {20};
  m.AccessMeters('i', values, peaks, -1, nullptr, false);
  EXPECT_EQ(values[0], 50);
  Tick(2);
  process.levels = {10};
  m.AccessMeters('i', values, peaks, -1, nullptr, false);
  EXPECT_EQ(values[0], 10);
}

TEST_F(MeterManagerTest, AnEffectAnswersTheHostsMeterAndClipQueries) {
  MeterEffect effect;
  effect.Initialize();
  effect.GetMeterManager().AddMeter(new CPlugInMeter("Out", 'o', 0));
  effect.levels = {2000};
  int32_t v = 0, clipped = 0;
  EXPECT_EQ(effect.GetClipState(1, &clipped), 0);
  EXPECT_EQ(clipped, 1);
  // Clearing puts the clip light out until the level clips again.
  effect.ClearClipState();
  effect.GetClipState(1, &clipped);
  EXPECT_EQ(clipped, 0);
  Tick(2);
  effect.levels = {500};
  effect.GetClipState(1, &clipped);
  EXPECT_EQ(clipped, 0);
  // The host's value query and its all-meters query are two readers: a
  // level one of them saw is not lost to the other.
  Tick(2);
  effect.levels = {900};
  effect.GetMeterVal(1, &v);
  EXPECT_EQ(v, 900);
  Tick(2);
  effect.levels = {100};
  int32_t values[1] = {};
  bool clips[2] = {};
  EXPECT_EQ(effect.GetMetersAndClipIndicators(values, clips), 1);
  EXPECT_EQ(values[0], 900);
  EXPECT_FALSE(clips[0]);
}

TEST_F(MeterManagerTest, ResetInRecordModeZeroesTheCallersArraysOnly) {
  MeterProcess process;
  process.levels = {700, 800};
  CMeterManager m(&process, 2);
  int32_t values[2];
  bool peaks[2];
  m.AccessMeters('i', values, peaks, -1, nullptr, false);
  m.AccessMeters('e', values, peaks, -1, nullptr, true);
  EXPECT_EQ(values[0], 0);
  EXPECT_EQ(values[1], 0);
  EXPECT_FALSE(peaks[0]);
  // The records kept their levels: a read in the same tick answers them.
  m.AccessMeters('i', values, peaks, -1, nullptr, false);
  EXPECT_EQ(values[0], 700);
  EXPECT_EQ(values[1], 800);
}

TEST_F(MeterManagerTest, ListQueriesAndUntrustedIndices) {
  CMeterManager m;
  EXPECT_EQ(m.GetNumMeters(), 0);
  for (char t : {'x', 'y', 'x'}) m.AddMeter(new CPlugInMeter("m", t, 0));
  EXPECT_EQ(m.GetNumMetersOfType('x'), 2);
  EXPECT_EQ(m.GetMeterIndexByType('x', 2), 3);
  EXPECT_EQ(m.GetMeterIndexByType('x', 3), 0);
  EXPECT_EQ(m.GetMeterIndexByType('y', 1), 2);
  try {
    m.AddMeter(nullptr);
    FAIL();
  } catch (const CDAEError& e) {
    EXPECT_EQ(e.GetErrorCode(), -7053);
  }
  EXPECT_EQ(m.GetNumberOfMeters(), 3);
  EXPECT_EQ(m.GetMeter(4), nullptr);
  // A meter number the manager does not have reads nothing.
  int32_t values[3], v = 77;
  bool peaks[3];
  EXPECT_EQ(m.AccessMeters('e', values, peaks, 9, &v, false), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(m.AccessMeters('e', values, peaks, 0, &v, false), 0);
  // In list mode a reset clears the meters themselves.
  m.GetMeter(1)->fValue = 5;
  m.GetMeter(1)->fPeak = true;
  EXPECT_EQ(m.AccessMeters('e', values, peaks, -1, nullptr, true), 3);
  EXPECT_EQ(m.GetMeter(1)->fValue, 0);
  EXPECT_FALSE(m.GetMeter(1)->fPeak);
}
