// The synthesizer rendering on a render thread while its main thread does
// what a host and its user do: program changes, automation, a knob that
// changes the voice layout, preset loads and rescans of the library. Under
// ThreadSanitizer this shows the synthesizer's own hand-offs; in every
// build, what a program change that had to wait for a rescan sounds like.

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "base/PresetManager.h"
#include "tests/support/TempDir.h"
#include "tests/support/Waiting.h"
#include "tests/synth/ZarnTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <thread>

using namespace zarntest;

namespace {

// An instance whose reading of a preset file (what a rescan does for every
// instance of the process) the test can hold up, as a slow disk would. The
// hold is the process's, so a test starts it afresh: hold() clears what an
// earlier test (or an earlier run of the same test) left.
class HeldReader : public ZarnPlugin {
public:
  bool readPreset(const std::string& path, PresetData& data, PresetLoadFailure& failure) override {
    if (sHold.load()) {
      sInside.pass(1);
      sReleased.awaitValue(1);
    }
    return ZarnPlugin::readPreset(path, data, failure);
  }
  static void hold() {
    sInside.pass(0);
    sReleased.pass(0);
    sHold.store(true);
  }
  static void release() {
    sHold.store(false);
    sReleased.pass(1);
  }
  static inline std::atomic<bool> sHold{false};
  static inline zarn::test::Baton sInside, sReleased;
};

void onRenderThread(const std::function<void()>& f) {
  std::thread t(f);
  t.join();
}

// Programs 0..2 of a library in dir: "A Narrow" (saw, one copy a key, 16
// voices), "B Wide" (square, two copies a key, 32 voices), "C Slow" (three
// copies, 24 voices, a 50 ms attack): each change between them deals
// another voice layout.
void writeLibrary(const std::string& root) {
  Synth maker(new HeldReader);
  auto save = [&](const char* name, Oscillator::WaveForm wave, float unison, float total, float attack) {
    plainPatch(maker, wave);
    Synth::set(maker->unisonVoices, unison);
    Synth::set(maker->totalVoices, total);
    Synth::set(maker->egMain.attack, maker->egMain.attack.getTransform().invertValue(attack));
    Preset preset(root + name);
    ASSERT_TRUE(maker->getParameters().savePreset(&preset, ZarnPlugin::cPresetFileVersion));
  };
  save("A Narrow.qvp", Oscillator::Sawtooth, 1.0f, 16.0f, 0.0f);
  save("B Wide.qvp", Oscillator::Square, 2.0f, 32.0f, 0.0f);
  save("C Slow.qvp", Oscillator::Triangle, 3.0f, 24.0f, 0.05f);
}

double largestDifference(const std::vector<float>& a, const std::vector<float>& b) {
  double d = 0.0;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    d = std::max(d, static_cast<double>(std::fabs(a[i] - b[i])));
  return d;
}

} // namespace

// A chord on program 0, then a program change to program 1 (another voice
// layout) that meets a rescan of the library on another thread and waits
// for the next buffer, and a key struck there: it sounds, to the sample, as
// the same key after the same change taken at once where that buffer
// begins (the key used to be faded out 3 ms after it began).
TEST(ZarnPluginThreadTest, AProgramChangeThatWaitedForARescanSoundsAsOneTakenAtOnce) {
  zarn::test::TempDir dir("zarn-deferred");
  const std::string root = dir.path() + "/";
  writeLibrary(root);
  Synth deferred(new HeldReader), atOnce(new HeldReader);
  PresetManager* library = deferred->getPresetManager(-1);
  library->initialize(root);
  onRenderThread([&] {
    for (Synth* s : {&deferred, &atOnce}) chordOnProgram(*s, 0);
  });
  ASSERT_EQ(deferred->getPresetContext()->presetName.get(), "A Narrow");

  // The rescan is held inside its reading of the files: the library has
  // changed and its new snapshot is not there yet.
  HeldReader::hold();
  std::thread rescan([&] { library->initialize(root); });
  const bool held = HeldReader::sInside.awaitValue(1);
  EXPECT_TRUE(held) << "the rescan never read a file";
  onRenderThread([&] {
    deferred.midi(0xC0, 1, 0);
    for (Synth* s : {&deferred, &atOnce}) s->renderSamples(kQuantum);
  });
  EXPECT_EQ(deferred->unisonVoices.getTypedValue(), 1) << "the change did not wait";
  HeldReader::release();
  rescan.join();

  onRenderThread([&] {
    atOnce.midi(0xC0, 1, 0);
    for (Synth* s : {&deferred, &atOnce}) {
      s->noteOn(67, 100);
      s->render(0.5);
    }
  });
  EXPECT_EQ(deferred->unisonVoices.getTypedValue(), 2);
  EXPECT_EQ(deferred->getVoiceManager()->numVoices.get(), 16);
  const size_t from = static_cast<size_t>(0.2 * kRate), to = static_cast<size_t>(0.5 * kRate);
  ASSERT_GT(rms(atOnce.left, from, to), 0.05);
  EXPECT_NEAR(toDB(rms(deferred.left, from, to)), toDB(rms(atOnce.left, from, to)), 0.01);
  EXPECT_EQ(largestDifference(deferred.left, atOnce.left), 0.0);
  EXPECT_EQ(largestDifference(deferred.right, atOnce.right), 0.0);
  library->initialize("");
}

// A render thread plays keys (and the pedal) for a while; meanwhile the
// main thread sends program changes, automates Volume and a cutoff, moves
// Total Voices, loads presets, rescans the library and takes its idle
// time. Everything the render thread puts out is a number, and it sounds;
// afterwards the instance holds exactly the preset its context names, and
// a key sounds as on an instance that only ever loaded that preset.
TEST(ZarnPluginThreadTest, TheSynthRendersWhileItsMainThreadChangesProgramsParametersAndPresets) {
  zarn::test::TempDir dir("zarn-churn");
  const std::string root = dir.path() + "/";
  writeLibrary(root);
  Synth s;
  PresetManager* library = s->getPresetManager(-1);
  library->initialize(root);

  std::atomic<bool> done{false};
  std::atomic<int> keys{0};
  bool finite = true;
  double energy = 0.0;
  std::thread render([&] {
    alignas(16) float left[512], right[512];
    float* outs[2] = {left, right};
    // Keys held 256 samples, 480 apart, the pedal down every other 60.
    for (int k = 0; k < 200 || !done.load(); ++k) {
      const int note = 48 + (k * 7) % 24;
      s.noteOn(note, 90);
      if (k % 60 == 0) s.controller(64, (k / 60) % 2 ? 0 : 127);
      s->process(nullptr, 0, outs, 2, 256);
      for (int i = 0; i < 256; ++i) {
        finite = finite && std::isfinite(left[i]) && std::isfinite(right[i]);
        energy += static_cast<double>(left[i]) * left[i];
      }
      s.noteOff(note);
      s->process(nullptr, 0, outs, 2, 480);
      keys.fetch_add(1);
    }
  });
  const char* names[3] = {"A Narrow", "B Wide", "C Slow"};
  for (int round = 0; round < 120; ++round) {
    switch (round % 6) {
    case 0:
      s.midi(0xC0, static_cast<unsigned char>(round % 3), 0);
      break;
    case 1:
      s->volume.setValue(0.5f + 0.1f * static_cast<float>(round % 4), 0);
      s->filter1.freq.setValue(0.3f + 0.05f * static_cast<float>(round % 7), 0);
      break;
    case 2:
      s->totalVoices.setValue(static_cast<float>(8 + 4 * (round % 5)), 0);
      break;
    case 3:
      EXPECT_TRUE(s->loadPresetWithName(names[(round / 6) % 3]));
      break;
    case 4:
      library->initialize(root);
      break;
    default:
      s->applyPendingPresetContext();
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  done.store(true);
  render.join();
  EXPECT_TRUE(finite);
  EXPECT_GT(energy, 0.0);
  EXPECT_GE(keys.load(), 200);

  // With the render thread gone, the main thread renders: a program change
  // still waiting is taken, and the context follows.
  s.renderSamples(kQuantum);
  s->applyPendingPresetContext();
  const std::string name = s->getPresetContext()->presetName.get();
  Synth fresh;
  ASSERT_TRUE(fresh->loadPresetWithName(name)) << name;
  int differ = 0;
  for (int i = 0; i < s->getNumParameters(); ++i)
    if (s->getParameter(i)->getValue() != fresh->getParameter(i)->getValue()) ++differ;
  EXPECT_EQ(differ, 0) << name;
  for (Synth* x : {&s, &fresh}) {
    x->controller(64, 0);
    x->controller(123, 0);
    x->render(0.3);
    x->clear();
    x->noteOn(60, 100);
    x->render(0.2);
  }
  ASSERT_GT(rms(fresh.left, 4410, 8820), 0.02);
  EXPECT_NEAR(toDB(rms(s.left, 4410, 8820)), toDB(rms(fresh.left, 4410, 8820)), 0.5);
  library->initialize("");
}
