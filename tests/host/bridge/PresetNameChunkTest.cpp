// The preset-name chunk: the current preset's name stored with the host's
// document and restored without loading anything.

#include "base/PresetContext.h"
#include "tests/host/bridge/BridgeTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

using namespace bridgetest;

namespace {

// Counts notifications of the properties it owns.
class CountingOwner : public PropertyOwner {
public:
  void propertyChange(const AbstractProperty*) override { ++changes; }
  int changes = 0;
};

std::vector<unsigned char> NameChunk(const std::string& name, int32_t size = 120) {
  std::vector<unsigned char> chunk(static_cast<size_t>(size), 0);
  std::memcpy(chunk.data(), &size, sizeof size);
  std::memcpy(chunk.data() + 56, name.data(), std::min<size_t>(name.size(), static_cast<size_t>(size) - 56));
  return chunk;
}

} // namespace

TEST(PresetNameChunkTest, IsRegisteredAfterTheHostLayersChunks) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  std::vector<uint32_t> ids = h->chunkIDs(*in);
  ASSERT_EQ(ids.size(), 3u);
  EXPECT_EQ(ids[0], kControlsChunk);
  EXPECT_EQ(ids[1], kMIDIConnectionChunk);
  EXPECT_EQ(ids[2], kPresetNameChunk);
  EXPECT_EQ(h->chunkName(*in, kPresetNameChunk), "Quorvane Preset Name");
  int32_t size = 0;
  ASSERT_EQ(h->callWith(kProcess_GetChunkSize, in->process(), kPresetNameChunk, &size), 0);
  EXPECT_EQ(size, 120);
}

TEST(PresetNameChunkTest, SavesTheNamePaddedWithNulBytes) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  Product(*in)->getPresetContext()->presetName = "Default Sound";
  std::vector<unsigned char> chunk;
  ASSERT_EQ(h->getChunk(*in, kPresetNameChunk, chunk), 0);
  ASSERT_EQ(chunk.size(), 120u);
  int32_t size;
  std::memcpy(&size, chunk.data(), sizeof size);
  EXPECT_EQ(size, 120);
  EXPECT_EQ(std::memcmp(chunk.data() + 56, "Default Sound", 13), 0);
  for (size_t i = 56 + 13; i < 120; ++i) EXPECT_EQ(chunk[i], 0) << i;
}

TEST(PresetNameChunkTest, ALongNameIsSavedWholeAndRestoredCut) {
  InProcessHost h;
  simhost::Instance* a = h->createInstance();
  simhost::Instance* b = h->createInstance();
  const std::string name64(64, 'x');
  Product(*a)->getPresetContext()->presetName = name64 + "yz";
  std::vector<unsigned char> chunk;
  ASSERT_EQ(h->getChunk(*a, kPresetNameChunk, chunk), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(chunk.data() + 56), 64), name64);

  ASSERT_EQ(h->setChunk(*b, kPresetNameChunk, chunk), 0);
  EXPECT_EQ(Product(*b)->getPresetContext()->presetName.get(), std::string(63, 'x'));
}

TEST(PresetNameChunkTest, AShortRecordIsRefusedAndChangesNothing) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  PresetContext* context = Product(*in)->getPresetContext();
  context->presetName = "Kept";
  EXPECT_EQ(h->setChunk(*in, kPresetNameChunk, NameChunk("Other", 119)), kPlugInErr_BadChunk);
  EXPECT_EQ(context->presetName.get(), "Kept");
  EXPECT_EQ(h->setChunk(*in, kPresetNameChunk, NameChunk("Other", 120)), 0);
  EXPECT_EQ(context->presetName.get(), "Other");
}

TEST(PresetNameChunkTest, RestoringTheCurrentNameTellsNobody) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  PresetContext* context = Product(*in)->getPresetContext();
  context->presetName = "Same";
  context->presetPath = "Somewhere/Same.qvp";
  CountingOwner owner;
  context->presetName.setOwner(&owner);
  context->presetPath.setOwner(&owner);
  EXPECT_EQ(h->setChunk(*in, kPresetNameChunk, NameChunk("Same")), 0);
  EXPECT_EQ(owner.changes, 0);
  EXPECT_EQ(context->presetPath.get(), "Somewhere/Same.qvp");
  context->presetName.setOwner(nullptr);
  context->presetPath.setOwner(nullptr);
}

TEST(PresetNameChunkTest, ARestoredNameFindsItsPresetsPathOrNone) {
  const std::string file = WritePreset("Chunk Lookup", 0.3f, BridgeTestProduct::Flat, 0.0f, 0);
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  BridgeTestProduct* p = Product(*in);
  PresetContext* context = p->getPresetContext();
  const float level = p->level.getValue();
  CountingOwner owner;
  context->presetName.setOwner(&owner);
  context->presetPath.setOwner(&owner);

  ASSERT_EQ(h->setChunk(*in, kPresetNameChunk, NameChunk("Chunk Lookup")), 0);
  EXPECT_EQ(context->presetName.get(), "Chunk Lookup");
  EXPECT_EQ(context->presetPath.get(), "Chunk Lookup.qvp"); // below the library's root
  EXPECT_EQ(owner.changes, 2);
  // Nothing was loaded.
  EXPECT_EQ(p->level.getValue(), level);

  ASSERT_EQ(h->setChunk(*in, kPresetNameChunk, NameChunk("Not In The Library")), 0);
  EXPECT_EQ(context->presetName.get(), "Not In The Library");
  EXPECT_EQ(context->presetPath.get(), "");
  EXPECT_EQ(owner.changes, 4);
  context->presetName.setOwner(nullptr);
  context->presetPath.setOwner(nullptr);
  std::remove(file.c_str());
}

TEST(PresetNameChunkTest, OtherChunksStillReachTheHostLayer) {
  InProcessHost h;
  simhost::Instance* a = h->createInstance();
  simhost::Instance* b = h->createInstance();
  Product(*a)->mode.setValue(3.0f, 0);
  std::vector<unsigned char> controls;
  ASSERT_EQ(h->getChunk(*a, kControlsChunk, controls), 0);
  ASSERT_EQ(h->setChunk(*b, kControlsChunk, controls), 0);
  EXPECT_EQ(Product(*b)->mode.getValue(), 3.0f);
  // A malformed controls chunk is refused whole.
  std::vector<unsigned char> broken(controls.begin(), controls.begin() + 60);
  int32_t size = 60;
  std::memcpy(broken.data(), &size, sizeof size);
  EXPECT_EQ(h->setChunk(*b, kControlsChunk, broken), kPlugInErr_BadChunk);
}
