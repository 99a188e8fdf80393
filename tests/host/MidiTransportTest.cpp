// MIDI and the transport as a real-time instance receives them: records with
// sample offsets in the right quantum, the transport's tempo and position,
// the interface version, and rendering in fixed or variable quanta.

#include "tests/host/ProbePlugIn.h"

#include "tools/host/Transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using hosttest::Probe;
using hosttest::ProbeHost;

namespace {

std::vector<float> Render(simhost::SimHost& host, simhost::Instance& in, int32_t frames) {
  std::vector<float> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
  float* outs[] = {left.data(), right.data()};
  host.render(in, nullptr, outs, frames);
  return left;
}

} // namespace

TEST(MidiTransportTest, EventsReachTheirQuantumWithTheirOffset) {
  ProbeHost host;
  simhost::Instance* in = host->createInstance();
  host->queueMidi(*in, 5, 0x90, 60, 100);
  host->queueMidi(*in, 32, 0xA0, 60, 10); // on the boundary: the second quantum's first sample
  host->queueMidi(*in, 40, 0x80, 60, 0, 1);
  host->queueMidi(*in, 100, 0xB0, 7, 64);
  Render(host.host(), *in, 64);
  const hosttest::ProbeRecord& r = Probe(*in)->fRecord;
  EXPECT_EQ(r.quanta, (std::vector<int32_t>{32, 32}));
  ASSERT_EQ(r.midi.size(), 3u);
  EXPECT_EQ(r.midi[0].fSampleOffset, 5u);
  EXPECT_EQ(r.midi[0].fByteCount, 3u);
  EXPECT_EQ(r.midi[0].fData[0], 0x90);
  EXPECT_EQ(r.midi[0].fData[2], 100);
  EXPECT_EQ(r.midi[1].fData[0], 0xA0);
  EXPECT_EQ(r.midi[1].fSampleOffset, 0u);
  EXPECT_EQ(r.midi[2].fSampleOffset, 8u); // 40 is sample 8 of the second quantum
  EXPECT_EQ(r.midi[2].fByteCount, 1u);
  // The event after the call waits for the next one, its offset counted on.
  Render(host.host(), *in, 64);
  ASSERT_EQ(r.midi.size(), 4u);
  EXPECT_EQ(r.midi[3].fSampleOffset, 4u); // 100 - 64 = 36, sample 4 of the second quantum
  EXPECT_EQ(r.midi[3].fData[1], 7);
}

// A quantum takes at most 256 records: the rest wait, late, in their order,
// and go first in the next quanta, ahead of what is queued after them.
TEST(MidiTransportTest, EventsBeyondAQuantumsRecordsWaitInTheirOrder) {
  ProbeHost host;
  simhost::Instance* in = host->createInstance();
  // Offsets 0, 1 and 2: the first quantum can take only the first 256.
  for (int i = 0; i < 600; ++i)
    host->queueMidi(*in, std::min(i / 128, 2), 0xB0, static_cast<uint8_t>(i / 128), static_cast<uint8_t>(i % 128));
  host->queueMidi(*in, 40, 0x90, 1, 1); // due in the second quantum of the call
  Render(host.host(), *in, 64);
  const hosttest::ProbeRecord& r = Probe(*in)->fRecord;
  ASSERT_EQ(r.midi.size(), 512u);
  host->queueMidi(*in, 0, 0x90, 2, 2);  // queued after the waiting ones, due at once
  host->queueMidi(*in, 33, 0x90, 3, 3); // sample 1 of the next call's second quantum
  Render(host.host(), *in, 64);
  ASSERT_EQ(r.midi.size(), 603u);
  for (size_t i = 0; i < 600; ++i) {
    EXPECT_EQ(r.midi[i].fData[1] * 128 + r.midi[i].fData[2], static_cast<int>(i)) << i;
    // Only the first quantum's own events keep their offset; late ones come at 0.
    EXPECT_EQ(r.midi[i].fSampleOffset, i < 256 ? i / 128 : 0u) << i;
  }
  EXPECT_EQ(r.midi[600].fData[1], 1); // late as well by now
  EXPECT_EQ(r.midi[600].fSampleOffset, 0u);
  EXPECT_EQ(r.midi[601].fData[1], 2);
  EXPECT_EQ(r.midi[601].fSampleOffset, 0u);
  EXPECT_EQ(r.midi[602].fData[1], 3);
  EXPECT_EQ(r.midi[602].fSampleOffset, 1u);
}

// What the fuzz targets use to play a faulty host: the record arrives with
// the next render call exactly as given, its offset and count included.
TEST(MidiTransportTest, ARawRecordArrivesAsGiven) {
  ProbeHost host;
  simhost::Instance* in = host->createInstance();
  SMIDIRecord raw{};
  raw.fSampleOffset = 4000000000u;
  raw.fByteCount = 77;
  raw.fData[0] = 0xF8;
  raw.fReserved[4] = 0xAB;
  host->queueMidi(*in, 3, 0x90, 60, 100);
  host->queueMidiRecord(*in, raw);
  Render(host.host(), *in, 32);
  const hosttest::ProbeRecord& r = Probe(*in)->fRecord;
  ASSERT_EQ(r.midi.size(), 2u);
  EXPECT_EQ(r.midi[0].fSampleOffset, 4000000000u);
  EXPECT_EQ(r.midi[0].fByteCount, 77u);
  EXPECT_EQ(r.midi[0].fReserved[4], 0xAB);
  EXPECT_EQ(r.midi[1].fSampleOffset, 3u);

  // Alone, after quanta that had nothing to deliver, it arrives just the
  // same, once.
  Render(host.host(), *in, 64);
  host->queueMidiRecord(*in, raw);
  Render(host.host(), *in, 64);
  ASSERT_EQ(r.midi.size(), 3u);
  EXPECT_EQ(r.midi[2].fByteCount, 77u);
}

TEST(MidiTransportTest, TransportGivesTempoAndSongPosition) {
  ProbeHost host;
  host->transport().setTempo(120.0);
  host->transport().setMeter(4, 4);
  simhost::Instance* in = host->createInstance();
  Render(host.host(), *in, 32);
  const hosttest::ProbeRecord& r = Probe(*in)->fRecord;
  EXPECT_EQ(r.transportStatus, 0);
  EXPECT_EQ(r.tempo, 120.0);
  EXPECT_EQ(r.location, 0);
  EXPECT_DOUBLE_EQ(r.position, 4.0); // bar 1, beat 1, tick 0 in 4/4
  // Half a second is one beat at 120 beats per minute.
  Render(host.host(), *in, 22016);
  Render(host.host(), *in, 32);
  EXPECT_EQ(r.location, 22048);
  EXPECT_NEAR(r.position, 4.0 + 22048.0 / 22050.0, 1e-6);
  // In 6/8 a beat is an eighth note: bar 1 counts 6, and two eighths a quarter.
  host->transport().setMeter(6, 8);
  Render(host.host(), *in, 32);
  EXPECT_EQ(r.location, 22080);
  EXPECT_NEAR(r.position, 6.0 + 2.0 * 22080.0 / 22050.0, 1e-5);
}

TEST(MidiTransportTest, BarsAndBeatsFollowTheMeter) {
  simhost::Transport t;
  t.setSampleRate(48000);
  t.setTempo(60);
  t.setMeter(3, 4);
  int32_t bars, beats;
  int64_t ticks;
  t.barBeat(0, bars, beats, ticks);
  EXPECT_EQ(bars, 1);
  EXPECT_EQ(beats, 1);
  EXPECT_EQ(ticks, 0);
  t.barBeat(48000 * 4 + 24000, bars, beats, ticks); // 4.5 quarters
  EXPECT_EQ(bars, 2);
  EXPECT_EQ(beats, 2);
  EXPECT_EQ(ticks, 480000);
  // One sample at 44100 Hz is 960000 / 44100 = 21.8 ticks at 60: the
  // nearest is 22.
  t.setSampleRate(44100);
  t.barBeat(1, bars, beats, ticks);
  EXPECT_EQ(bars, 1);
  EXPECT_EQ(beats, 1);
  EXPECT_EQ(ticks, 22);
  t.setMeter(7, 3); // not a note value: the meter stays
  int32_t n, d;
  t.meter(n, d);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(d, 4);
  t.setMeter(5, 64); // the shortest note value a meter may count
  t.meter(n, d);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(d, 64);
}

TEST(MidiTransportTest, AnOldMidiInterfaceAnswersTransportQueriesWithAnError) {
  // The version before the transport's, and the first with it.
  for (int32_t version : {kMIDIInterfaceVersionTransport - 1, kMIDIInterfaceVersionTransport}) {
    SCOPED_TRACE(version);
    const bool old = version < kMIDIInterfaceVersionTransport;
    simhost::HostOptions options;
    options.midiVersion = version;
    ProbeHost host(options);
    simhost::Instance* in = host->createInstance();
    host->queueMidi(*in, 0, 0x90, 1, 1);
    Render(host.host(), *in, 32);
    const hosttest::ProbeRecord& r = Probe(*in)->fRecord;
    EXPECT_EQ(r.transportStatus, old ? -9145 : 0);
    if (old)
      EXPECT_EQ(r.tempo, 0.0); // left unwritten
    else
      EXPECT_GT(r.tempo, 0.0);
    EXPECT_EQ(r.midi.size(), 1u); // MIDI itself arrives either way
  }
}

TEST(MidiTransportTest, WithoutMidiServiceTheInstanceRendersWithoutMidi) {
  simhost::HostOptions options;
  options.midiService = false;
  ProbeHost host(options);
  simhost::Instance* in = host->createInstance();
  EXPECT_EQ(Probe(*in)->fNode, nullptr);
  EXPECT_FALSE(Probe(*in)->IsMIDILoggedIn());
  EXPECT_EQ(host->midiSessions(), 0);
  std::vector<float> out = Render(host.host(), *in, 32);
  EXPECT_EQ(out[0], 0.5f);
}

TEST(MidiTransportTest, VariableQuantumOnlyWhenBothSidesOfferIt) {
  simhost::HostOptions options;
  options.variableQuantum = true;
  options.maxQuantum = 256;
  {
    ProbeHost host(options);
    simhost::Instance* in = host->createInstance();
    EXPECT_TRUE(in->variableQuantum());
    Render(host.host(), *in, 600);
    EXPECT_EQ(Probe(*in)->fRecord.quanta, (std::vector<int32_t>{256, 256, 88}));
  }
  hosttest::ProbeOptions fixed;
  fixed.variableQuantum = false;
  ProbeHost host(options, fixed);
  simhost::Instance* in = host->createInstance();
  EXPECT_FALSE(in->variableQuantum());
  Render(host.host(), *in, 70);
  EXPECT_EQ(Probe(*in)->fRecord.quanta, (std::vector<int32_t>{32, 32, 32}));
}

TEST(MidiTransportTest, ARenderFailureGivesSilenceAndUnconnectedOutputsToo) {
  ProbeHost host;
  simhost::Instance* in = host->createInstance();
  std::vector<float> out = Render(host.host(), *in, 32);
  EXPECT_EQ(out[31], 0.5f);
  for (int how : {1, 2, 3}) {
    hosttest::ProbeProcess::sThrowOnRender = how;
    out = Render(host.host(), *in, 32);
    EXPECT_EQ(out[0], 0.0f) << how;
    EXPECT_EQ(out[31], 0.0f) << how;
  }
  hosttest::ProbeProcess::sThrowOnRender = 0;
  EXPECT_EQ(host->callWith(kProcess_DisconnectOutput, in->process(), 2), 0);
  EXPECT_EQ(host->callWith(kProcess_DisconnectOutput, in->process(), 2), -7107);
  EXPECT_EQ(host->callWith(kProcess_ConnectOutput, in->process(), 3, 1), -7106);
  size_t before = Probe(*in)->fRecord.quanta.size();
  out = Render(host.host(), *in, 32);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(Probe(*in)->fRecord.quanta.size(), before); // the plug-in was not called
}
