// The host-native process: MIDI records, the transport handed to the
// plug-in, bypass, effect inputs and side chains. (Notes at their sample
// offsets: BridgeBundleTest.)

#include "tests/host/bridge/BridgeTestSupport.h"
#include "tests/support/AllocationCounter.h"
#include "wave/Environment.h"

#include <gtest/gtest.h>

using namespace bridgetest;

namespace {

constexpr int32_t kOn = 2147483647;
constexpr int32_t kOff = -2147483647 - 1;

std::vector<float> Constant(float v, int32_t n) { return std::vector<float>(static_cast<size_t>(n), v); }

} // namespace

TEST(DigiRTASPluginAdapterTest, RecordsGiveOnlyTheirValidBytes) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  BridgeTestProduct* p = Product(*in);
  // Status only, then status and note: both say velocity 0, a note-off.
  h->queueMidi(*in, 0, 0x90, 60, 100, 1);
  h->queueMidi(*in, 1, 0x90, 60, 100, 2);
  auto out = Render(h.host(), *in, 32);
  EXPECT_EQ(p->noteOns.load(), 0);
  for (float v : out[0]) ASSERT_EQ(v, 0.0f);
  h->queueMidi(*in, 0, 0x90, 60, 100, 3);
  Render(h.host(), *in, 32);
  EXPECT_EQ(p->noteOns.load(), 1);
}

TEST(DigiRTASPluginAdapterTest, BypassedAnInstrumentIsSilentAndStillHearsMidi) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  h->queueMidi(*in, 0, 0x90, 64, 100);
  auto sounding = Render(h.host(), *in, 64);
  ASSERT_NE(sounding[0][10], 0.0f);

  ASSERT_EQ(h->setControl(*in, kBypass, kOn), 0);
  h->queueMidi(*in, 5, 0x90, 67, 100);
  auto bypassed = Render(h.host(), *in, 64);
  for (const auto& channel : bypassed)
    for (float v : channel) ASSERT_EQ(v, 0.0f);

  // The reset stopped the first note; the one sent while bypassed was
  // queued and sounds as soon as the plug-in renders again.
  ASSERT_EQ(h->setControl(*in, kBypass, kOff), 0);
  auto after = Render(h.host(), *in, 32);
  EXPECT_EQ(after[0][0], 0.0f);
  EXPECT_EQ(after[0][5], BridgeTestProduct::expectedSample(0.5f, 0.0f, 0, 0, 67, 0));
}

TEST(DigiRTASPluginAdapterTest, AnEffectScalesItsInputsAndPassesThemWhenBypassed) {
  ProductOptions o;
  o.type = 1;
  InProcessHost h(o);
  simhost::Instance* in = h->createInstance();
  ASSERT_EQ(in->numInputs(), 2);
  auto out = Render(h.host(), *in, 64, {Constant(0.5f, 64), Constant(-0.25f, 64)});
  EXPECT_EQ(out[0][7], 0.25f);
  EXPECT_EQ(out[1][7], -0.125f);
  EXPECT_EQ(Product(*in)->lastInputCount.load(), 2);

  ASSERT_EQ(h->setControl(*in, kBypass, kOn), 0);
  out = Render(h.host(), *in, 64, {Constant(0.5f, 64), Constant(-0.25f, 64)});
  for (size_t i = 0; i < 64; ++i) {
    ASSERT_EQ(out[0][i], 0.5f);
    ASSERT_EQ(out[1][i], -0.25f);
  }
}

TEST(DigiRTASPluginAdapterTest, MonoToStereoFeedsTheOneInputToBothChannels) {
  ProductOptions o;
  o.type = 1;
  InProcessHost h(o);
  simhost::Instance* in = h->createInstance(2);
  ASSERT_EQ(in->numInputs(), 1);
  ASSERT_EQ(in->numOutputs(), 2);
  auto out = Render(h.host(), *in, 32, {Constant(0.5f, 32)});
  EXPECT_EQ(out[0][3], 0.25f);
  EXPECT_EQ(out[1][3], 0.25f);
  ASSERT_EQ(h->setControl(*in, kBypass, kOn), 0);
  out = Render(h.host(), *in, 32, {Constant(0.5f, 32)});
  EXPECT_EQ(out[0][3], 0.5f);
  EXPECT_EQ(out[1][3], 0.5f);
}

TEST(DigiRTASPluginAdapterTest, TheSideChainFeedsEveryChannelsSideChainInput) {
  ProductOptions o;
  o.type = 1;
  o.sideChain = true;
  InProcessHost h(o);
  simhost::Instance* stereo = h->createInstance(1);
  ASSERT_EQ(stereo->numInputs(), 3);
  auto out = Render(h.host(), *stereo, 32, {Constant(0.5f, 32), Constant(0.25f, 32), Constant(1.0f, 32)});
  BridgeTestProduct* p = Product(*stereo);
  EXPECT_EQ(p->lastInputCount.load(), 4);
  EXPECT_EQ(p->lastInputs[0].load(), 0.5f);
  EXPECT_EQ(p->lastInputs[1].load(), 0.25f);
  EXPECT_EQ(p->lastInputs[2].load(), 1.0f);
  EXPECT_EQ(p->lastInputs[3].load(), 1.0f);
  EXPECT_EQ(out[0][0], 0.5f * 0.5f + 0.25f);
  EXPECT_EQ(out[1][0], 0.25f * 0.5f + 0.25f);

  simhost::Instance* mono = h->createInstance(2);
  ASSERT_EQ(mono->numInputs(), 2);
  out = Render(h.host(), *mono, 32, {Constant(0.5f, 32), Constant(1.0f, 32)});
  p = Product(*mono);
  EXPECT_EQ(p->lastInputCount.load(), 4);
  EXPECT_EQ(p->lastInputs[0].load(), 0.5f);
  EXPECT_EQ(p->lastInputs[1].load(), 0.5f);
  EXPECT_EQ(p->lastInputs[2].load(), 1.0f);
  EXPECT_EQ(p->lastInputs[3].load(), 1.0f);
}

TEST(DigiRTASPluginAdapterTest, AnInstrumentSeesOnlyItsSideChainInputs) {
  ProductOptions o;
  o.type = 0;
  o.sideChain = true;
  InProcessHost h(o);
  simhost::Instance* in = h->createInstance();
  Render(h.host(), *in, 32, {Constant(0.5f, 32), Constant(0.25f, 32), Constant(1.0f, 32)});
  BridgeTestProduct* p = Product(*in);
  EXPECT_EQ(p->lastInputCount.load(), 2);
  EXPECT_EQ(p->lastInputs[0].load(), 1.0f);
  EXPECT_EQ(p->lastInputs[1].load(), 1.0f);
  EXPECT_EQ(p->lastInputs[2].load(), -1000.0f);
}

TEST(DigiRTASPluginAdapterTest, TheTransportGivesTempoAndSongPosition) {
  {
    InProcessHost h;
    simhost::Instance* in = h->createInstance();
    Render(h.host(), *in, 32);
    // Bar 1, beat 1, tick 0 of 4/4 is position 4 (bars x numerator + beats - 1).
    EXPECT_EQ(Product(*in)->lastTempo.load(), 120.0f);
    EXPECT_EQ(Product(*in)->lastPosition.load(), 4.0f);
  }
  {
    InProcessHost h;
    h->transport().setTempo(90.0);
    h->transport().setMeter(3, 4);
    // 1.5 quarter notes in: bar 1, beat 2, half a beat of ticks.
    h->transport().setSongPosition(44100);
    simhost::Instance* in = h->createInstance();
    Render(h.host(), *in, 32);
    EXPECT_EQ(Product(*in)->lastTempo.load(), 90.0f);
    EXPECT_FLOAT_EQ(Product(*in)->lastPosition.load(), 1 * 3 + 2 - 1 + 0.5f);
    EXPECT_EQ(Product(*in)->syncs.load(), 1);
  }
  {
    InProcessHost h;
    h->transport().setMeter(6, 8);
    h->transport().setSongPosition(11025); // an eighth note past a quarter
    simhost::Instance* in = h->createInstance();
    Render(h.host(), *in, 32);
    // Beats are eighths: bar 1, beat 2, tick 0.
    EXPECT_FLOAT_EQ(Product(*in)->lastPosition.load(), 1 * 6 + 2 - 1);
  }
}

// A product that would not use the transport is not given fresh values
// (the host is not asked) until it follows the transport again.
TEST(DigiRTASPluginAdapterTest, TheTransportIsAskedOnlyWhileTheProductFollowsIt) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  BridgeTestProduct* p = Product(*in);
  Render(h.host(), *in, 32);
  ASSERT_EQ(p->lastTempo.load(), 120.0f);
  p->following = false;
  h->transport().setTempo(90.0);
  Render(h.host(), *in, 64);
  EXPECT_EQ(p->lastTempo.load(), 120.0f);
  EXPECT_EQ(p->lastPosition.load(), 4.0f);
  EXPECT_EQ(p->syncs.load(), 3); // sync still comes before each quantum
  p->following = true;
  Render(h.host(), *in, 32);
  EXPECT_EQ(p->lastTempo.load(), 90.0f);
}

TEST(DigiRTASPluginAdapterTest, AFailingTransportKeepsTheLastGoodValues) {
  InProcessHost h;
  h->transport().setTempo(90.0);
  simhost::Instance* in = h->createInstance();
  Render(h.host(), *in, 64);
  BridgeTestProduct* p = Product(*in);
  const float position = p->lastPosition.load();
  ASSERT_EQ(p->lastTempo.load(), 90.0f);

  // Logged out, every transport query fails and the node has no events.
  ASSERT_EQ(Adapter(*in)->MIDILogOut(), 0);
  h->transport().setTempo(150.0);
  h->queueMidi(*in, 0, 0x90, 60, 100);
  Render(h.host(), *in, 64);
  EXPECT_EQ(p->lastTempo.load(), 90.0f);
  EXPECT_EQ(p->lastPosition.load(), position);
  EXPECT_EQ(p->noteOns.load(), 0);
}

TEST(DigiRTASPluginAdapterTest, AnOldMidiInterfaceGivesTheDefaultTransport) {
  simhost::HostOptions options;
  options.midiVersion = 3; // no transport queries
  InProcessHost h(ProductOptions(), options);
  simhost::Instance* in = h->createInstance();
  h->queueMidi(*in, 4, 0x90, 60, 100);
  auto out = Render(h.host(), *in, 32);
  EXPECT_EQ(Product(*in)->lastTempo.load(), 120.0f);
  EXPECT_EQ(Product(*in)->lastPosition.load(), 0.0f);
  // MIDI itself still arrives.
  EXPECT_EQ(out[0][3], 0.0f);
  EXPECT_NE(out[0][4], 0.0f);
}

TEST(DigiRTASPluginAdapterTest, WithoutMidiServiceItRendersWithoutNodeOrTransport) {
  simhost::HostOptions options;
  options.midiService = false;
  InProcessHost h(ProductOptions(), options);
  simhost::Instance* in = h->createInstance();
  EXPECT_EQ(Adapter(*in)->GetMIDINode(), nullptr);
  EXPECT_EQ(Adapter(*in)->GetTransport(), nullptr);
  auto out = Render(h.host(), *in, 64);
  for (float v : out[0]) ASSERT_EQ(v, 0.0f);
  EXPECT_EQ(Product(*in)->syncs.load(), 2);
  EXPECT_EQ(Product(*in)->lastTempo.load(), 120.0f);
}

TEST(DigiRTASPluginAdapterTest, TheSampleRateReachesThePlugin) {
  simhost::HostOptions options;
  options.sampleRate = 48000;
  InProcessHost h(ProductOptions(), options);
  simhost::Instance* in = h->createInstance();
  // The environment takes a new rate at the start of the next render call.
  Render(h.host(), *in, 32);
  EXPECT_EQ(Product(*in)->getEnvironment()->sampleRate, 48000.0f);
  int32_t rate = 0;
  ASSERT_EQ(h->callWith(kProcess_SetSampleRate, in->process(), 96000), 0);
  ASSERT_EQ(h->callWith(kProcess_GetSampleRate, in->process(), &rate), 0);
  EXPECT_EQ(rate, 96000);
  Render(h.host(), *in, 32);
  EXPECT_EQ(Product(*in)->getEnvironment()->sampleRate, 96000.0f);
}

TEST(DigiRTASPluginAdapterTest, RenderingAllocatesNothing) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  DigiRTASPluginAdapter* a = Adapter(*in);
  h->queueMidi(*in, 3, 0x90, 60, 100);
  Render(h.host(), *in, 64);
  ASSERT_EQ(h->setControl(*in, kBypass, kOn), 0);
  ASSERT_EQ(h->setControl(*in, kBypass, kOff), 0); // a reset is pending
  Product(*in)->level.setValue(0.25f, 0);          // a parameter change is queued

  alignas(16) float left[64], right[64], silence[64] = {};
  float* inputs[2] = {silence, silence};
  float* outputs[2] = {left, right};
  long allocations;
  {
    zarn::test::AllocationCounter counter;
    for (int i = 0; i < 8; ++i) a->RenderAudio(inputs, outputs, 64);
    allocations = counter.count();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(Product(*in)->resets.load(), 1);
}
