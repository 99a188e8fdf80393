// Render threads of several plug-in instances ask one style for frequency
// tables at once, while the main thread announces rates.

#include "tests/wave/OscillatorTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <set>
#include <thread>
#include <vector>

using namespace osctest;

namespace {

// More distinct rates than can be found without the lock, so that both
// ways of finding a table are exercised.
std::vector<int> someRates() {
  std::vector<int> rates;
  for (int i = 0; i < 24; ++i) rates.push_back(22050 + 1000 * i);
  return rates;
}

TEST(OscillatorStyleThreadTest, EveryoneGetsTheOneTableOfARate) {
  auto style = makeStyle();
  const std::vector<int> rates = someRates();
  const int threads = 4;
  std::vector<std::vector<const Oscillator::FrequencyTable*>> seen(threads);
  std::atomic<bool> go{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      go.wait(false);
      for (int round = 0; round < 3; ++round)
        for (size_t i = 0; i < rates.size(); ++i) {
          // Each thread walks the rates in its own order.
          const int rate = rates[(i * (t + 1) + static_cast<size_t>(round)) % rates.size()];
          const Oscillator::FrequencyTable* table =
              t == 0 ? (style->prepareSampleRate(static_cast<float>(rate)), style->getFrequencyTable(rate))
                     : style->getFrequencyTable(rate);
          if (table->rate != rate || table->frequency[8000] <= 0.0f) return;
          seen[static_cast<size_t>(t)].push_back(table);
        }
    });
  }
  go = true;
  go.notify_all();
  for (std::thread& w : workers) w.join();

  ASSERT_EQ(style->frequencyTables.size(), rates.size());
  std::set<const Oscillator::FrequencyTable*> distinct(style->frequencyTables.begin(), style->frequencyTables.end());
  EXPECT_EQ(distinct.size(), rates.size());
  for (int t = 0; t < threads; ++t) {
    ASSERT_EQ(seen[static_cast<size_t>(t)].size(), 3 * rates.size()) << t;
    for (const Oscillator::FrequencyTable* table : seen[static_cast<size_t>(t)]) {
      EXPECT_TRUE(distinct.count(table));
      EXPECT_EQ(style->getFrequencyTable(table->rate), table);
    }
  }
}

// Oscillators of two instances, built on the main thread, render on their
// own threads on one style, each meeting new rates.
TEST(OscillatorStyleThreadTest, OscillatorsOnTwoRenderThreads) {
  BuiltStyle built;
  std::vector<std::unique_ptr<wave::Environment>> envs;
  std::vector<std::unique_ptr<Oscillator>> oscs;
  for (int t = 0; t < 2; ++t) {
    envs.push_back(std::make_unique<wave::Environment>(64));
    oscs.push_back(std::make_unique<Oscillator>(built.style.get(), envs.back().get()));
    setNow(oscs.back()->frequency, noteToPitch(50 + 7 * t));
  }
  std::atomic<bool> go{false};
  std::vector<float> peaks(2, 0.0f);
  std::vector<int> wrongTables(2, 0);
  std::vector<std::thread> workers;
  for (int t = 0; t < 2; ++t) {
    workers.emplace_back([&, t] {
      wave::Environment& env = *envs[static_cast<size_t>(t)];
      Oscillator& osc = *oscs[static_cast<size_t>(t)];
      float& peak = peaks[static_cast<size_t>(t)];
      go.wait(false);
      for (int rate : {44100, 48000, 88200, 96000, 32000}) {
        env.setSampleRate(static_cast<float>(rate + t));
        for (float v : render(env, osc, 512)) peak = std::max(peak, std::fabs(v));
        if (osc.frequencyTable->rate != rate + t) ++wrongTables[static_cast<size_t>(t)];
      }
    });
  }
  go = true;
  go.notify_all();
  for (std::thread& w : workers) w.join();
  // 44100 from the constructors, then four more rates from one thread and
  // five from the other.
  EXPECT_EQ(built.style->frequencyTables.size(), 10u);
  for (int t = 0; t < 2; ++t) {
    EXPECT_EQ(wrongTables[static_cast<size_t>(t)], 0);
    EXPECT_GT(peaks[static_cast<size_t>(t)], 0.3f);
  }
}

} // namespace
