// The preset-name chunk: the current preset's name stored with the host's
// document and restored without loading anything.

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "base/PresetManager.h"
#include "host/PresetNameChunk.h"
#include "tests/host/bridge/BridgeTestSupport.h"
#include "tools/host/HostState.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

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
  // The header, the name's 64 bytes, the path's 1024, a refusal's path
  // (1024) and reason (256), and the library's folder (1024).
  EXPECT_EQ(size, 56 + 64 + 1024 + 1024 + 256 + 1024);
}

// The name's field is where readers that know nothing of the path read it;
// the path follows it.
TEST(PresetNameChunkTest, SavesTheNameThenThePathPaddedWithNulBytes) {
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  Product(*in)->getPresetContext()->presetName = "Default Sound";
  Product(*in)->getPresetContext()->presetPath = "Pads/Default Sound.qvp";
  std::vector<unsigned char> chunk;
  ASSERT_EQ(h->getChunk(*in, kPresetNameChunk, chunk), 0);
  ASSERT_EQ(chunk.size(), 3448u);
  int32_t size;
  std::memcpy(&size, chunk.data(), sizeof size);
  EXPECT_EQ(size, 3448);
  EXPECT_EQ(std::memcmp(chunk.data() + 56, "Default Sound", 13), 0);
  for (size_t i = 56 + 13; i < 120; ++i) EXPECT_EQ(chunk[i], 0) << i;
  EXPECT_EQ(std::memcmp(chunk.data() + 120, "Pads/Default Sound.qvp", 22), 0);
  for (size_t i = 120 + 22; i < 3448; ++i) EXPECT_EQ(chunk[i], 0) << i;

  // A path with no room for its terminator is not kept: cut, it would name
  // another file.
  Product(*in)->getPresetContext()->presetPath = std::string(1024, 'p');
  ASSERT_EQ(h->getChunk(*in, kPresetNameChunk, chunk), 0);
  for (size_t i = 120; i < 1144; ++i) EXPECT_EQ(chunk[i], 0) << i;
}

namespace {

// The host's own call that starts a probe: a header alone, of a chunk the
// plug-in does not list.
std::vector<unsigned char> ProbeRequest() {
  std::vector<unsigned char> chunk(56, 0);
  const int32_t size = 56;
  std::memcpy(chunk.data(), &size, sizeof size);
  return chunk;
}

} // namespace

// The library's folder goes only to a host that probes, on its own call
// (a chunk the plug-in does not list, so no host keeps it in a state): a
// state carries no folder of the user's, and no state starts a probe. Not
// one an earlier version saved while it probed either (its name field
// "/", its library field the folder), through any number of loads and
// saves. The folder is the one the plug-in writes its presets into.
TEST(PresetNameChunkTest, TellsTheLibrarysFolderOnlyToTheHostsOwnProbe) {
  const std::string written = WritePreset("Folder Probe", 0.3f, BridgeTestProduct::Flat, 0.0f, 0);
  const std::string folder = written.substr(0, written.rfind('/'));
  InProcessHost h;
  simhost::Instance* in = h->createInstance();
  auto told = [&](simhost::Instance& instance) {
    std::vector<unsigned char> chunk;
    EXPECT_EQ(h->getChunk(instance, kPresetNameChunk, chunk), 0);
    if (chunk.size() != 3448u) return std::string("(size ") + std::to_string(chunk.size()) + ")";
    std::string text(reinterpret_cast<const char*>(chunk.data() + 2424), 1024);
    text.resize(std::strlen(text.c_str()));
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
  };
  EXPECT_EQ(told(*in), "");
  ASSERT_EQ(h->setChunk(*in, presetchunk::kProbeID, ProbeRequest()), 0);
  EXPECT_EQ(told(*in), folder);

  // The state an earlier version saved while probed, from the record the
  // chunk writer gives now (which holds the folder), its name the marker.
  Product(*in)->mode.setValue(3.0f, 0);
  simhost::HostState probed, marked;
  std::string error;
  ASSERT_TRUE(probed.capture(h.host(), *in, error)) << error;
  for (simhost::HostStateChunk c : probed.chunks()) {
    // The MIDI node's identity is the live instance's own in this process.
    if (c.id == kMIDIConnectionChunk) continue;
    if (c.id == kPresetNameChunk) {
      std::memset(c.record.data() + 56, 0, 64);
      c.record[56] = '/';
    }
    marked.add(c.id, c.record);
  }
  ASSERT_NE(marked.serialize().find(folder), std::string::npos);

  std::string bytes = marked.serialize();
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE("load and save " + std::to_string(round));
    simhost::Instance* b = h->createInstance();
    simhost::HostState loaded, saved;
    ASSERT_TRUE(loaded.parse(bytes, error)) << error;
    ASSERT_TRUE(loaded.restore(h.host(), *b, error)) << error;
    // As if it named no preset.
    EXPECT_EQ(Product(*b)->getPresetContext()->presetName.get(), "");
    EXPECT_EQ(Product(*b)->getPresetContext()->presetPath.get(), "");
    EXPECT_EQ(told(*b), "");
    ASSERT_TRUE(saved.capture(h.host(), *b, error)) << error;
    bytes = saved.serialize();
    EXPECT_EQ(bytes.find(folder), std::string::npos);
    h->deleteInstance(b);
  }

  // Restored on the instance that probes, a state ends the probe; the
  // host's own call starts it again.
  ASSERT_TRUE(marked.restore(h.host(), *in, error)) << error;
  EXPECT_EQ(told(*in), "");
  ASSERT_EQ(h->setChunk(*in, presetchunk::kProbeID, ProbeRequest()), 0);
  EXPECT_EQ(told(*in), folder);

  // A state file that holds the host's call is refused by the host before
  // any of it is set.
  simhost::HostState forged = marked;
  forged.add(presetchunk::kProbeID, ProbeRequest());
  simhost::Instance* c = h->createInstance();
  const float mode = Product(*c)->mode.getValue();
  ASSERT_NE(mode, 3.0f);
  EXPECT_FALSE(forged.restore(h.host(), *c, error));
  EXPECT_EQ(error, "the state holds a chunk 'QVPq', which the plug-in does not keep");
  EXPECT_EQ(Product(*c)->mode.getValue(), mode);
  EXPECT_EQ(told(*c), "");
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

// A factory "Plucks/Pluck" and a user's "Bass/Pluck": a document that used
// the factory's comes back naming it, not the first "Pluck" of the library
// (whose file "Save" would then overwrite with the other's values). States
// saved before the path was kept, and paths whose preset has gone, come
// back by the name as before.
TEST(PresetNameChunkTest, PresetsOfOneNameInTwoFoldersAreToldApartByThePath) {
  InProcessHost h;
  simhost::Instance* a = h->createInstance();
  PresetManager* manager = GenericPlugin::sPresetManager;
  const std::string root = manager->getFolderPath();
  ASSERT_FALSE(root.empty());
  std::filesystem::create_directories(std::filesystem::path(root) / "Bass");
  std::filesystem::create_directories(std::filesystem::path(root) / "Plucks");
  const std::string bass = WritePreset("Bass/Pluck", 0.2f, BridgeTestProduct::Flat, 0.0f, 0);
  const std::string plucks = WritePreset("Plucks/Pluck", 0.7f, BridgeTestProduct::Flat, 0.0f, 0);
  manager->initialize(root);
  Preset* factory = manager->findPresetByPath("Plucks/Pluck.qvp", PresetManager::findAt);
  ASSERT_NE(factory, nullptr);
  // The library's order finds the user's first by name.
  ASSERT_EQ(manager->getPresetPath(manager->findPresetByName("Pluck")), "Bass/Pluck.qvp");
  ASSERT_TRUE(Product(*a)->loadPreset(factory));
  std::vector<unsigned char> chunk;
  ASSERT_EQ(h->getChunk(*a, kPresetNameChunk, chunk), 0);

  auto restored = [&](const std::vector<unsigned char>& record) {
    simhost::Instance* in = h->createInstance();
    EXPECT_EQ(h->setChunk(*in, kPresetNameChunk, record), 0);
    const PresetContext* context = Product(*in)->getPresetContext();
    const std::string result = context->presetName.get() + " at " + context->presetPath.get();
    h->deleteInstance(in);
    return result;
  };
  EXPECT_EQ(restored(chunk), "Pluck at Plucks/Pluck.qvp");
  // Saved before the path was kept: the name alone.
  EXPECT_EQ(restored(NameChunk("Pluck")), "Pluck at Bass/Pluck.qvp");
  // A path no preset of that name has any more.
  std::vector<unsigned char> gone = chunk;
  std::memset(gone.data() + 120, 0, 1024);
  std::memcpy(gone.data() + 120, "Gone/Pluck.qvp", 14);
  EXPECT_EQ(restored(gone), "Pluck at Bass/Pluck.qvp");
  std::vector<unsigned char> other = chunk;
  std::memset(other.data() + 120, 0, 1024);
  std::memcpy(other.data() + 120, "Plucks/Pluck.qvp", 16);
  std::memcpy(other.data() + 56, "Strum\0", 6);
  EXPECT_EQ(restored(other), "Strum at ");

  // Restoring onto an instance that plays the user's "Pluck" moves it to
  // the factory's, though the name is the same.
  simhost::Instance* b = h->createInstance();
  ASSERT_TRUE(Product(*b)->loadPreset(manager->findPresetByPath("Bass/Pluck.qvp", PresetManager::findAt)));
  ASSERT_EQ(h->setChunk(*b, kPresetNameChunk, chunk), 0);
  EXPECT_EQ(Product(*b)->getPresetContext()->presetPath.get(), "Plucks/Pluck.qvp");

  std::filesystem::remove_all(std::filesystem::path(root) / "Bass");
  std::filesystem::remove_all(std::filesystem::path(root) / "Plucks");
  manager->initialize(root);
}
