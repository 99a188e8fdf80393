#include "wave/MultiDesignFilter.h"

#include "wave/Environment.h"
#include "wave/FilterCharacteristicPresets.h"
#include "tests/wave/FilterFft.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

// The synthesizer switches a unit's characteristic on the host thread while
// the render thread filters with it: the switch is a pointer exchange, with
// no lock, and the render thread sees one characteristic or the other.
TEST(DesignFilterThreadTest, CharacteristicSwitchesWhileRendering) {
  constexpr int cBlock = 32;
  wave::Environment env(cBlock);
  env.setSampleRate(44100.0f);
  MultiDesignFilter::Style list;
  for (int i = 0; i < FilterCharacteristicPresets::cCount; ++i) {
    auto* style = new DesignFilter::Style("", FilterCharacteristicPresets::get(i).level);
    FilterCharacteristicPresets::apply(i, *style);
    list.add(style);
  }
  MultiDesignFilter::ParallelUnit unit(&env, &list);
  zarn::test::SignalSource source(&env);
  source.signal.resize(44100);
  for (size_t i = 0; i < source.signal.size(); ++i)
    source.signal[i] = static_cast<float>(0.8 * (2.0 * std::fmod(i * 110.0 / 44100.0, 1.0) - 1.0));
  MultiDesignFilter render(&unit), host(&unit);
  render.setInput(&source);
  host.setInput(&source);
  render.frequency.getParameter() = 10.0f;
  render.peak.getParameter() = 0.9f;

  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  std::thread renderer([&] {
    for (int block = 0; block < 1300; ++block) {
      env.beginBlock();
      const wave::Block* out = render.pull(cBlock, 0);
      for (int i = 0; i < cBlock; ++i)
        if (!std::isfinite(out->data[i]) || std::fabs(out->data[i]) > 10.0f) bad.fetch_add(1);
      env.endBlock(cBlock);
    }
    done = true;
  });
  int switches = 0;
  // At least one switch, even when the render thread finishes first.
  do {
    host.characteristic = switches % FilterCharacteristicPresets::cCount;
    ++switches;
    std::this_thread::yield();
  } while (!done);
  renderer.join();
  EXPECT_EQ(0, bad.load());
  EXPECT_GT(switches, 0);
  EXPECT_EQ(list.get((switches - 1) % FilterCharacteristicPresets::cCount), unit.getDesignFilter()->getStyle());
}
