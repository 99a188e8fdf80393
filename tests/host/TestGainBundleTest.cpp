// The test bundle loaded the way a host loads a plug-in: from its folder,
// through its exported entry points only.

#include "tests/host/ProbePlugIn.h"

#include "tools/host/HostInfo.h"
#include "tools/host/SimHost.h"
#include "tests/support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <vector>

namespace {

struct Stereo {
  explicit Stereo(int32_t frames, float level = 0.0f)
      : left(static_cast<size_t>(frames), level), right(static_cast<size_t>(frames), level) {}
  std::vector<float> left, right;
  float* out[2] = {left.data(), right.data()};
  const float* in[2] = {left.data(), right.data()};
};

constexpr int32_t kUnityGain = 0; // control value of gain 1.0 (the middle of 0..2)

} // namespace

TEST(TestGainBundleTest, TwoInstancesRenderMidiDrivenAudioAndKeepTheirChunks) {
  simhost::SimHost host;
  ASSERT_EQ(host.load(hosttest::TestGainBundlePath()), 0);
  PlugInRoutine r = nullptr;
  EXPECT_EQ(host.lookUp(171, &r), 0);
  EXPECT_EQ(host.lookUp(172, &r), -9007);

  simhost::Instance* a = host.createInstance();
  simhost::Instance* b = host.createInstance();
  ASSERT_EQ(a->numInputs(), 2);
  ASSERT_EQ(b->numOutputs(), 2);
  EXPECT_EQ(host.quantum(*a), 32);

  // Instance a: the gate opens at sample 40 and closes at sample 70; gain 0.5.
  const int32_t half = -1073741824; // control value of gain 0.5
  host.setControl(*a, 2, half);
  host.queueMidi(*a, 40, 0x90, 60, 100);
  host.queueMidi(*a, 70, 0x80, 60, 0);
  // Instance b: a note from the start at unity gain.
  host.queueMidi(*b, 0, 0x91, 64, 1);
  Stereo input(128, 1.0f), outA(128), outB(128);
  host.render(*a, input.in, outA.out, 128);
  host.render(*b, input.in, outB.out, 128);
  for (int i = 0; i < 128; ++i) {
    float expected = i >= 40 && i < 70 ? 0.5f : 0.0f;
    ASSERT_NEAR(outA.left[static_cast<size_t>(i)], expected, 1e-6) << i;
    ASSERT_NEAR(outA.right[static_cast<size_t>(i)], expected, 1e-6) << i;
    ASSERT_NEAR(outB.left[static_cast<size_t>(i)], 1.0f, 1e-6) << i;
  }
  EXPECT_EQ(a->position(), 128);

  // Bypass passes the input through, whatever the gate.
  host.setControl(*a, 1, 2147483647);
  host.render(*a, input.in, outA.out, 32);
  EXPECT_EQ(outA.left[0], 1.0f);
  host.setControl(*a, 1, -2147483647 - 1);

  // Chunks: a's chunks restored into b give b's chunks byte for byte.
  std::vector<unsigned char> controlsA, controlsB;
  ASSERT_EQ(host.getChunk(*a, kControlsChunkID, controlsA), 0);
  ASSERT_EQ(host.getChunk(*b, kControlsChunkID, controlsB), 0);
  EXPECT_NE(controlsA, controlsB);
  ASSERT_EQ(host.setChunk(*b, kControlsChunkID, controlsA), 0);
  ASSERT_EQ(host.getChunk(*b, kControlsChunkID, controlsB), 0);
  EXPECT_EQ(controlsB, controlsA);
  EXPECT_EQ(host.controlValue(*b, 2), half);
  host.queueMidi(*b, 0, 0x80, 64, 0);
  host.queueMidi(*b, 0, 0x90, 64, 1);
  host.render(*b, input.in, outB.out, 32);
  EXPECT_NEAR(outB.left[0], 0.5f, 1e-6); // the restored gain is in effect
  // The MIDI connection chunk restores the saved node identity.
  std::vector<unsigned char> midiA, again;
  ASSERT_EQ(host.getChunk(*a, kMIDIConnectionChunkID, midiA), 0);
  auto nodeA = host.midiNodes(*a);
  host.deleteInstance(a);
  ASSERT_EQ(host.setChunk(*b, kMIDIConnectionChunkID, midiA), 0);
  EXPECT_EQ(host.midiNodes(*b), nodeA);
  ASSERT_EQ(host.getChunk(*b, kMIDIConnectionChunkID, again), 0);
  EXPECT_EQ(again, midiA);
  // A malformed chunk changes nothing.
  std::vector<unsigned char> truncated(controlsA.begin(), controlsA.end() - 1);
  int32_t size = static_cast<int32_t>(truncated.size());
  std::memcpy(truncated.data(), &size, 4);
  host.setControl(*b, 2, kUnityGain);
  EXPECT_EQ(host.setChunk(*b, kControlsChunkID, truncated), -7157);
  EXPECT_EQ(host.controlValue(*b, 2), kUnityGain);

  const std::string before = host.engineLog();
  EXPECT_NE(before.find("FicCreateCriticalSection"), std::string::npos);
  EXPECT_EQ(before.find("FicDeleteCriticalSection"), std::string::npos);
  host.unload();
  EXPECT_FALSE(host.loaded());
  EXPECT_EQ(host.objects().registeredCount(), 0);
  EXPECT_EQ(host.midiSessions(), 0);
  // Closing gives the host its critical section and messaging objects back.
  const std::string after = host.engineLog();
  EXPECT_NE(after.find("FicDeleteCriticalSection"), std::string::npos);
  EXPECT_NE(after.find("FicDelete 0x"), std::string::npos);
}

TEST(TestGainBundleTest, AutomationEchoesAndVariableQuantum) {
  simhost::HostOptions options;
  options.variableQuantum = true;
  options.maxQuantum = 512;
  simhost::SimHost host(options);
  ASSERT_EQ(host.load(hosttest::TestGainBundlePath()), 0);
  simhost::Instance* in = host.createInstance();
  EXPECT_TRUE(in->variableQuantum());
  EXPECT_EQ(host.quantum(*in), 512);
  host.queueMidi(*in, 300, 0x90, 1, 1);
  Stereo input(700, 1.0f), out(700);
  host.render(*in, input.in, out.out, 700);
  EXPECT_EQ(out.left[299], 0.0f);
  EXPECT_EQ(out.left[300], 1.0f);
  EXPECT_EQ(out.left[699], 1.0f);
  EXPECT_EQ(in->position(), 700);
  // The plug-in's engine was bound: the audio engine saw the group's calls.
  EXPECT_NE(host.engineLog().find("FicGestalt vqta"), std::string::npos);
}

TEST(TestGainBundleTest, InfoPrintsTheBundlesIdentity) {
  simhost::SimHost host;
  ASSERT_EQ(host.load(hosttest::TestGainBundlePath()), 0);
  std::ostringstream out;
  simhost::printInfo(out, host, "TestGain.bundle");
  const std::string text = out.str();
  for (const char* expected :
       {"group: 31: \"Quorvane Test Gain\" | 12: \"Test Gain\" | 8: \"TGain\"", "manufacturer: \"Quorvane\" 'Qvrn'",
        "type 1: 'QTgn' 'QTgn' category 0x2000", "stems: input 1 (stereo), output 1 (stereo)", "gestalts: 8=1 48=1 55=1",
        "1 'bypa' discrete, 2 steps", "4: \"MBYP\"", "min   31: \"Off\"", "max   31: \"On\"", "31: \"Gain\"",
        "3: \"1.0\"", "'ctls' \"Complete Controls State\" 84 bytes", "'mcon' \"MIDI Connection Data\" 81 bytes"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  // The instance made for the listing is gone again.
  EXPECT_TRUE(host.instances().empty());
}

TEST(TestGainBundleTest, RenderingAllocatesNothing) {
  simhost::SimHost host;
  ASSERT_EQ(host.load(hosttest::TestGainBundlePath()), 0);
  simhost::Instance* in = host.createInstance();
  Stereo input(256, 1.0f), out(256);
  host.queueMidi(*in, 3, 0x90, 60, 100);
  host.queueMidi(*in, 200, 0x80, 60, 0);
  host.render(*in, input.in, out.out, 128); // the first call may set things up
  {
    zarn::test::AllocationCounter counter;
    host.render(*in, input.in, out.out, 256);
    EXPECT_EQ(counter.count(), 0);
  }
  EXPECT_EQ(out.left[71], 1.0f);
  EXPECT_EQ(out.left[72], 0.0f); // the note ended at 200 - 128
}

TEST(TestGainBundleTest, AFolderWithoutEntryPointsIsRefused) {
  simhost::SimHost host;
  EXPECT_THROW(host.load("/nonexistent/Nothing.bundle"), simhost::HostError);
  EXPECT_FALSE(host.loaded());
}
