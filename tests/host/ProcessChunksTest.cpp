// Settings chunks of a process: the controls chunk, the MIDI connection
// chunk, and what a malformed chunk must not change.

#include "tests/host/ProbePlugIn.h"

#include "host/ChunkDataParser.h"
#include "tools/host/HostState.h"

#include <gtest/gtest.h>

#include <cstring>

using hosttest::Probe;
using hosttest::ProbeControl;
using hosttest::ProbeHost;

namespace {

std::vector<unsigned char> Data(const std::vector<unsigned char>& chunk) {
  return std::vector<unsigned char>(chunk.begin() + kChunkHeaderSize, chunk.end());
}

void PutSize(std::vector<unsigned char>& chunk, int32_t size) { std::memcpy(chunk.data(), &size, 4); }

// A controls chunk whose second control (id 1, "Level") holds a double.
std::vector<unsigned char> MistypedChunk() {
  ChunkDataParser p;
  p.AddLong(ChunkDataParser::NameFromID(0), ProbeControl::ToControl(1, 10));
  p.AddDouble(ChunkDataParser::NameFromID(1), 0.5);
  std::vector<unsigned char> chunk(kChunkHeaderSize + p.GetDataSize());
  PutSize(chunk, static_cast<int32_t>(chunk.size()));
  p.WriteData(chunk.data() + kChunkHeaderSize);
  return chunk;
}

} // namespace

TEST(ProcessChunksTest, ControlsChunkHoldsEveryControlByItsIdentifier) {
  ProbeHost host;
  simhost::Instance* in = host->createInstance();
  host->setControl(*in, 3, ProbeControl::ToControl(9, 10));
  EXPECT_EQ(host->chunkIDs(*in), (std::vector<uint32_t>{kControlsChunkID, kMIDIConnectionChunkID}));
  EXPECT_EQ(host->chunkName(*in, kControlsChunkID), "Complete Controls State");
  EXPECT_EQ(host->chunkName(*in, kMIDIConnectionChunkID), "MIDI Connection Data");

  std::vector<unsigned char> chunk;
  ASSERT_EQ(host->getChunk(*in, kControlsChunkID, chunk), 0);
  ASSERT_EQ(chunk.size(), 56u + 8 + 4 * 10);
  int32_t size;
  std::memcpy(&size, chunk.data(), 4);
  EXPECT_EQ(size, static_cast<int32_t>(chunk.size()));
  std::vector<unsigned char> data = Data(chunk);
  const int32_t v = ProbeControl::ToControl(9, 10);
  // The third control (id 1) at byte 8 + 2 * 10: name, tag, big-endian value.
  const unsigned char third[] = {4, 0, 0, 0, 1, 'l', uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  EXPECT_EQ(0, std::memcmp(data.data() + 28, third, sizeof third));
  const unsigned char first[] = {4, 'b', 'y', 'p', 'a', 'l', 0x80, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(data.data() + 8, first, sizeof first));
}

TEST(ProcessChunksTest, RestoringAppliesEveryKnownControl) {
  ProbeHost host;
  simhost::Instance* a = host->createInstance();
  simhost::Instance* b = host->createInstance();
  host->setControl(*a, 2, ProbeControl::ToControl(3, 10));
  host->setControl(*a, 4, ProbeControl::ToControl(8, 10));
  std::vector<unsigned char> saved, restored;
  ASSERT_EQ(host->getChunk(*a, kControlsChunkID, saved), 0);
  Probe(*b)->fRecord.applied.clear();
  ASSERT_EQ(host->setChunk(*b, kControlsChunkID, saved), 0);
  EXPECT_EQ(Probe(*b)->fRecord.applied, (std::vector<int32_t>{1, 2, 3, 4}));
  ASSERT_EQ(host->getChunk(*b, kControlsChunkID, restored), 0);
  EXPECT_EQ(Data(restored), Data(saved));

  // Names of controls the process does not have are passed over.
  ChunkDataParser p;
  p.AddLong(ChunkDataParser::NameFromID(1), ProbeControl::ToControl(5, 10));
  p.AddLong("zzzz", 12);
  std::vector<unsigned char> chunk(kChunkHeaderSize + p.GetDataSize());
  PutSize(chunk, static_cast<int32_t>(chunk.size()));
  p.WriteData(chunk.data() + kChunkHeaderSize);
  EXPECT_EQ(host->setChunk(*b, kControlsChunkID, chunk), 0);
  EXPECT_EQ(host->controlValue(*b, 3), ProbeControl::ToControl(5, 10));
}

TEST(ProcessChunksTest, AMalformedChunkChangesNothing) {
  ProbeHost host;
  simhost::Instance* in = host->createInstance();
  std::vector<unsigned char> good;
  host->setControl(*in, 2, ProbeControl::ToControl(2, 10));
  ASSERT_EQ(host->getChunk(*in, kControlsChunkID, good), 0);
  host->setControl(*in, 2, ProbeControl::ToControl(6, 10));
  Probe(*in)->fRecord.applied.clear();

  // Every truncation of the data, with the size word telling the truth.
  for (size_t n = kChunkHeaderSize; n < good.size(); ++n) {
    std::vector<unsigned char> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    PutSize(cut, static_cast<int32_t>(n));
    EXPECT_EQ(host->setChunk(*in, kControlsChunkID, cut), -7157) << n;
  }
  // A size word below the header, or one that leaves a byte over.
  std::vector<unsigned char> bad = good;
  PutSize(bad, 55);
  EXPECT_EQ(host->setChunk(*in, kControlsChunkID, bad), -7157);
  bad.push_back(0);
  PutSize(bad, static_cast<int32_t>(bad.size()));
  EXPECT_EQ(host->setChunk(*in, kControlsChunkID, bad), -7157);
  // A known control stored with another type.
  EXPECT_EQ(host->setChunk(*in, kControlsChunkID, MistypedChunk()), -7157);

  EXPECT_TRUE(Probe(*in)->fRecord.applied.empty());
  EXPECT_EQ(host->controlValue(*in, 2), ProbeControl::ToControl(6, 10));
  // A chunk id the process does not know.
  EXPECT_EQ(host->setChunk(*in, 0x51565072, good), -7401);
  std::vector<unsigned char> none;
  EXPECT_EQ(host->getChunk(*in, 0x51565072, none), -7401);
}

TEST(ProcessChunksTest, MidiConnectionChunkCarriesTheNodeIdentity) {
  ProbeHost host;
  simhost::Instance* a = host->createInstance();
  simhost::Instance* b = host->createInstance();
  auto nodesA = host->midiNodes(*a), nodesB = host->midiNodes(*b);
  ASSERT_EQ(nodesA.size(), 1u);
  ASSERT_EQ(nodesB.size(), 1u);
  std::vector<unsigned char> chunk;
  ASSERT_EQ(host->getChunk(*a, kMIDIConnectionChunkID, chunk), 0);
  ChunkDataParser p;
  ASSERT_TRUE(p.ParseData(chunk.data() + kChunkHeaderSize, chunk.size() - kChunkHeaderSize));
  int32_t id = 0;
  ASSERT_TRUE(p.FindLong("Instance ID", id));
  EXPECT_EQ(static_cast<uint32_t>(id), nodesA[0]);

  // The identity is taken while another node holds it: the host refuses.
  EXPECT_NE(host->setChunk(*b, kMIDIConnectionChunkID, chunk), 0);
  host->deleteInstance(a);
  // Restored into a new document after the first instance is gone.
  EXPECT_EQ(host->setChunk(*b, kMIDIConnectionChunkID, chunk), 0);
  EXPECT_EQ(host->midiNodes(*b), std::vector<uint32_t>{nodesA[0]});
  auto chunkOf = [](const char* name, int32_t value) {
    ChunkDataParser q;
    q.AddLong(name, value);
    std::vector<unsigned char> c(kChunkHeaderSize + q.GetDataSize());
    PutSize(c, static_cast<int32_t>(c.size()));
    q.WriteData(c.data() + kChunkHeaderSize);
    return c;
  };
  // A chunk without the value is malformed.
  EXPECT_EQ(host->setChunk(*b, kMIDIConnectionChunkID, chunkOf("Other", 1)), -7157);
  // Identity 0 comes from an instance that had no MIDI node: the node here
  // keeps its own, and the document still opens.
  EXPECT_EQ(host->setChunk(*b, kMIDIConnectionChunkID, chunkOf("Instance ID", 0)), 0);
  EXPECT_EQ(host->midiNodes(*b), std::vector<uint32_t>{nodesA[0]});
}

// A refused chunk says why, in the words the host's message carries: the
// user sees which part of his saved state is damaged and how.
TEST(ProcessChunksTest, ARefusedChunkSaysWhy) {
  ProbeHost host;
  simhost::Instance* in = host->createInstance();
  std::vector<unsigned char> good;
  ASSERT_EQ(host->getChunk(*in, kControlsChunkID, good), 0);
  const int32_t before = host->controlValue(*in, 2);
  // The data: version, count 4, then entries of 10 bytes (name length,
  // 4-byte name, tag, value), the master bypass control first.
  const size_t first = kChunkHeaderSize + 8;
  auto cutTo = [&](size_t n) {
    std::vector<unsigned char> c(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    PutSize(c, static_cast<int32_t>(n));
    return c;
  };
  std::vector<unsigned char> shortSize = good, over = good, version = good, tag = good;
  PutSize(shortSize, 55);
  over.push_back(0);
  PutSize(over, static_cast<int32_t>(over.size()));
  version[kChunkHeaderSize + 3] = 2;
  tag[first + 5] = 'x';

  const std::vector<std::pair<std::vector<unsigned char>, std::string>> cases = {
      {shortSize, "it holds 55 bytes, fewer than its 56-byte header"},
      {cutTo(first - 2), "its data is cut short before the first entry"},
      {cutTo(first + 3), "its data is cut short: it announces 4 entries in 11 bytes"},
      {cutTo(first + 23), "entry 3 of 4 is cut short"},
      {cutTo(first + 8), "entry 1 of 4 (\"bypa\") is cut short"},
      {over, "1 byte follows the last of its 4 entries"},
      {version, "its data is of version 2 (version 1 is read)"},
      {tag, "entry 1 of 4 (\"bypa\") is of an unknown type 120"},
      {MistypedChunk(), "the value of control \"Level\" is not a 32-bit integer"},
  };
  for (const auto& [chunk, why] : cases) {
    SCOPED_TRACE(why);
    simhost::HostState state;
    state.add(kControlsChunkID, chunk);
    std::string error;
    EXPECT_FALSE(state.restore(host.host(), *in, error));
    EXPECT_EQ(error, "the plug-in refused chunk 'ctls': " + why + " (-7157)");
  }
  EXPECT_EQ(host->controlValue(*in, 2), before);
}
