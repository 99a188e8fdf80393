// Preset files: their layout, the loaders that apply them, and saving
// through a ParameterCollection (whole presets and component presets).

#include "tests/plugin/GenericPluginTestDriver.h"
#include "tests/plugin/PresetFileBytes.h"

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "plugin/PresetLoader.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <limits>
#include <sys/resource.h>

using namespace genericplugintest;
using namespace presettest;
using zarn::test::TempDir;

namespace {

struct Values {
  float gain, cutoff, shape, drive;
  bool operator==(const Values&) const = default;
};

Values valuesOf(const TestProduct& p) { return {p.gain.getValue(), p.cutoff.getValue(), p.shape.getValue(), p.drive.getValue()}; }

void setValues(TestProduct& p, const Values& v) {
  p.gain.setValue(v.gain, 0);
  p.cutoff.setValue(v.cutoff, 0);
  p.shape.setValue(v.shape, 0);
  p.drive.setValue(v.drive, 0);
}

// A product with a recording adapter and listener attached, and a folder.
struct Fixture {
  Fixture() {
    plugin.registerPluginAdapter(&adapter);
    plugin.setListener(&listener);
  }
  ~Fixture() { plugin.setListener(nullptr); }
  Preset write(const std::string& name, const std::string& bytes) {
    dir.write(name, bytes);
    return Preset(dir.file(name));
  }
  void forgetCalls() {
    adapter.count = 0;
    adapter.allParameters = 0;
    adapter.presetChanges = 0;
    listener.count = 0;
  }

  TestProduct plugin;
  RecordingAdapter adapter;
  RecordingListener listener;
  TempDir dir{"zarn-presets"};
};

const Values cSet = {0.125f, 440.0f, 3.0f, 0.875f};
const Values cDefaults = {0.5f, 1000.0f, 0.0f, 0.25f};

} // namespace

TEST(PresetLoaderTest, SavedPresetHasTheDocumentedLayoutAndRoundTripsByteForByte) {
  Fixture f;
  setValues(f.plugin, cSet);
  Preset preset(f.dir.file("Lead.qvp"));
  ASSERT_TRUE(f.plugin.getParameters().savePreset(&preset, 1));
  const std::string bytes = f.dir.read("Lead.qvp");
  EXPECT_EQ(bytes.size(), 12u + 4u * 4u);
  EXPECT_EQ(bytes, presetBytes("QTst", 1, {0.125f, 440.0f, 3.0f, 0.875f}));

  setValues(f.plugin, cDefaults);
  ASSERT_TRUE(f.plugin.getParameters().loadPreset(&preset, 1));
  EXPECT_EQ(valuesOf(f.plugin), cSet);

  Preset again(f.dir.file("Again.qvp"));
  ASSERT_TRUE(f.plugin.getParameters().savePreset(&again, 1));
  EXPECT_EQ(f.dir.read("Again.qvp"), bytes);

  // The version written is the one given.
  ASSERT_TRUE(f.plugin.getParameters().savePreset(&again, 4));
  EXPECT_EQ(f.dir.read("Again.qvp"), presetBytes("QTst", 4, {0.125f, 440.0f, 3.0f, 0.875f}));
}

TEST(PresetLoaderTest, AFileIsAppliedInOneBatchThatIsAnnouncedOnce) {
  Fixture f;
  Preset preset = f.write("p.qvp", presetBytes("QTst", 1, {0.25f, 500.0f, 2.0f, 0.5f}));
  f.forgetCalls();
  ASSERT_TRUE(f.plugin.getParameters().loadPreset(&preset, 1));
  EXPECT_EQ(valuesOf(f.plugin), (Values{0.25f, 500.0f, 2.0f, 0.5f}));
  ASSERT_EQ(f.adapter.calls(), 1);
  EXPECT_EQ(f.adapter.indexes[0], -1);
  EXPECT_EQ(f.listener.calls(), 1);
  EXPECT_EQ(f.listener.countOf(cParameterChangeEvent, -1), 1);
  // A collection load is not a preset change: no preset notification.
  EXPECT_EQ(f.adapter.presetChanges.load(), 0);
  EXPECT_EQ(f.plugin.getUpdateDepth(), 0);
  // The values reach the engine with the next buffer.
  f.plugin.render(16);
  EXPECT_FLOAT_EQ(f.plugin.cutoff.engineValue.load(), 500.0f);
}

TEST(PresetLoaderTest, ComponentPresetsHoldOnlyTheirCollectionsParameters) {
  Fixture f;
  ParameterCollection filter(&f.plugin);
  filter.registerParameter(&f.plugin.cutoff);
  filter.registerParameter(&f.plugin.shape);
  f.plugin.cutoff.setValue(2500.0f, 0);
  f.plugin.shape.setValue(6.0f, 0);

  Preset preset(f.dir.file("Filter.qvp"));
  ASSERT_TRUE(filter.savePreset(&preset, 1));
  const std::string bytes = f.dir.read("Filter.qvp");
  EXPECT_EQ(bytes, presetBytes("QTst", 1, {2500.0f, 6.0f}));

  setValues(f.plugin, cDefaults);
  f.plugin.getPresetContext()->presetName = "Current";
  f.plugin.getPresetContext()->presetModified = false;
  f.forgetCalls();
  ASSERT_TRUE(filter.loadPreset(&preset, 1));
  EXPECT_EQ(valuesOf(f.plugin), (Values{0.5f, 2500.0f, 6.0f, 0.25f}));
  // The preset context is not the collection's business; the change of
  // values marks the current preset modified as any edit does.
  EXPECT_EQ(f.plugin.getPresetContext()->presetName.get(), "Current");
  EXPECT_TRUE(f.plugin.getPresetContext()->presetModified.get());
  EXPECT_EQ(f.adapter.presetChanges.load(), 0);
  EXPECT_EQ(f.listener.countOf(cPresetChangeEvent), 0);
  EXPECT_EQ(f.adapter.allParameters.load(), 1);

  Preset again(f.dir.file("Again.qvp"));
  ASSERT_TRUE(filter.savePreset(&again, 1));
  EXPECT_EQ(f.dir.read("Again.qvp"), bytes);

  // Component presets are written with the plug-in's tag: another plug-in's
  // component preset is refused.
  Preset foreign = f.write("Foreign.qvp", presetBytes("QZar", 1, {300.0f, 1.0f}));
  EXPECT_FALSE(filter.loadPreset(&foreign, 1));
  EXPECT_EQ(valuesOf(f.plugin), (Values{0.5f, 2500.0f, 6.0f, 0.25f}));
}

TEST(PresetLoaderTest, ExtraValuesAreIgnoredAndMissingOnesTakeTheirDefaults) {
  Fixture f;
  Preset longer = f.write("long.qvp", presetBytes("QTst", 1, {0.1f, 200.0f, 4.0f, 0.3f, 99.0f, -5.0f}));
  ASSERT_TRUE(f.plugin.getParameters().loadPreset(&longer, 1));
  EXPECT_EQ(valuesOf(f.plugin), (Values{0.1f, 200.0f, 4.0f, 0.3f}));

  Preset shorter = f.write("short.qvp", presetBytes("QTst", 1, {0.7f, 800.0f}));
  ASSERT_TRUE(f.plugin.getParameters().loadPreset(&shorter, 1));
  EXPECT_EQ(valuesOf(f.plugin), (Values{0.7f, 800.0f, 0.0f, 0.25f}));

  setValues(f.plugin, cSet);
  Preset none = f.write("none.qvp", presetBytes("QTst", 1, {}));
  ASSERT_TRUE(f.plugin.getParameters().loadPreset(&none, 1));
  EXPECT_EQ(valuesOf(f.plugin), cDefaults);
}

TEST(PresetLoaderTest, ForeignDamagedAndCutShortFilesChangeNothing) {
  Fixture f;
  const std::string good = presetBytes("QTst", 1, {0.9f, 900.0f, 7.0f, 0.6f});
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"foreign tag", presetBytes("QZar", 1, {0.9f, 900.0f, 7.0f, 0.6f})},
      {"lower-case tag", presetBytes("qtst", 1, {0.9f, 900.0f, 7.0f, 0.6f})},
      {"other version", presetBytes("QTst", 3, {0.9f, 900.0f, 7.0f, 0.6f})},
      {"negative count", presetBytes("QTst", 1, {0.9f, 900.0f, 7.0f, 0.6f}, -1)},
      {"most negative count", presetBytes("QTst", 1, {0.9f, 900.0f}, INT32_MIN)},
      {"count past the data", presetBytes("QTst", 1, {0.9f, 900.0f, 7.0f, 0.6f}, 6)},
      {"huge count", presetBytes("QTst", 1, {0.9f, 900.0f, 7.0f, 0.6f}, INT32_MAX)},
      {"last value cut", good.substr(0, good.size() - 1)},
      {"second value cut", good.substr(0, 12 + 4 + 2)},
      {"no count", good.substr(0, 8)},
      {"count cut", good.substr(0, 10)},
      {"header cut", good.substr(0, 5)},
      {"empty", ""},
  };
  setValues(f.plugin, cSet);
  f.plugin.getPresetContext()->presetModified = false;
  f.forgetCalls();
  for (const Case& c : cases) {
    Preset preset = f.write("case.qvp", c.bytes);
    EXPECT_FALSE(f.plugin.getParameters().loadPreset(&preset, 1)) << c.name;
    EXPECT_EQ(valuesOf(f.plugin), cSet) << c.name;
  }
  Preset missing(f.dir.file("missing.qvp"));
  EXPECT_FALSE(f.plugin.getParameters().loadPreset(&missing, 1));
  Preset folder(f.dir.path());
  EXPECT_FALSE(f.plugin.getParameters().loadPreset(&folder, 1));
  EXPECT_FALSE(f.plugin.getParameters().loadPreset(nullptr, 1));

  // The version must be the one expected, in both directions.
  Preset v3 = f.write("v3.qvp", presetBytes("QTst", 3, {0.9f}));
  EXPECT_FALSE(f.plugin.getParameters().loadPreset(&v3, 4));
  Preset v4 = f.write("v4.qvp", presetBytes("QTst", 4, {0.9f}));
  EXPECT_FALSE(f.plugin.getParameters().loadPreset(&v4, 1));

  EXPECT_EQ(valuesOf(f.plugin), cSet);
  EXPECT_EQ(f.adapter.calls(), 0);
  EXPECT_EQ(f.listener.calls(), 0);
  EXPECT_FALSE(f.plugin.getPresetContext()->presetModified.get());
  EXPECT_EQ(f.plugin.getUpdateDepth(), 0);

  // The same data, whole, is taken.
  Preset whole = f.write("whole.qvp", good);
  EXPECT_TRUE(f.plugin.getParameters().loadPreset(&whole, 1));
  EXPECT_EQ(valuesOf(f.plugin), (Values{0.9f, 900.0f, 7.0f, 0.6f}));
}

// A value that is not a number would keep the previous preset's value of
// its parameter, so the same file would sound different after each preset:
// the file is refused whole, naming the parameter, as a damaged one is.
TEST(PresetLoaderTest, AValueThatIsNotFiniteRefusesTheWholeFileNamingItsParameter) {
  Fixture f;
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    std::vector<float> values;
    int index;
    int32_t infinite;
    std::string told;
  } cases[] = {
      {{0.9f, 900.0f, std::nanf(""), 0.6f}, 2, 0, "its value for the parameter \"Shape\" is not a number"},
      {{0.9f, inf, 7.0f, 0.6f}, 1, 1, "its value for the parameter \"Cutoff\" is infinite"},
      {{0.9f, 900.0f, 7.0f, -inf}, 3, 1, "its value for the parameter \"Drive\" is infinite"},
  };
  for (const Case& c : cases) {
    setValues(f.plugin, cSet);
    f.forgetCalls();
    Preset preset = f.write("damaged.qvp", presetBytes("QTst", 1, c.values));
    CollectionPresetLoader loader(&f.plugin.getParameters());
    EXPECT_FALSE(loader.load(&preset, 1));
    EXPECT_EQ(loader.failure().kind, PresetLoadFailure::notFinite);
    EXPECT_EQ(loader.failure().detail, c.index);
    EXPECT_EQ(describePresetFailure(loader.failure()), c.told);
    EXPECT_EQ(valuesOf(f.plugin), cSet);
    EXPECT_EQ(f.adapter.calls(), 0);
    EXPECT_EQ(f.listener.calls(), 0);
  }
  // A value past the parameters is not used, whatever it holds.
  Preset longer = f.write("longer.qvp", presetBytes("QTst", 1, {0.9f, 900.0f, 7.0f, 0.6f, std::nanf("")}));
  EXPECT_TRUE(f.plugin.getParameters().loadPreset(&longer, 1));
  EXPECT_EQ(valuesOf(f.plugin), (Values{0.9f, 900.0f, 7.0f, 0.6f}));
}

TEST(PresetLoaderTest, AnExplicitIdentifierReplacesThePluginsTag) {
  Fixture f;
  Preset preset = f.write("other.qvp", presetBytes("QZar", 2, {0.3f, 333.0f}));
  CollectionPresetLoader loader(&f.plugin.getParameters());
  EXPECT_FALSE(loader.load(&preset, 2));
  EXPECT_TRUE(loader.load(&preset, 2, "QZar"));
  EXPECT_EQ(valuesOf(f.plugin), (Values{0.3f, 333.0f, 0.0f, 0.25f}));

  // A short identifier is NUL-padded, as the writer pads it.
  Preset shortTag = f.write("short.qvp", presetBytes("Ab", 2, {0.6f}));
  EXPECT_TRUE(loader.load(&shortTag, 2, "Ab"));
  EXPECT_FLOAT_EQ(f.plugin.gain.getValue(), 0.6f);
}

TEST(PresetLoaderTest, CustomLoaderPutsEachValueWhereItsEntrySays) {
  Fixture f;
  float width = -1.0f;
  CustomPresetLoader loader(&f.plugin);
  loader.add(f.plugin.shape);
  loader.add(&width, 7.0f);
  EXPECT_EQ(width, 7.0f); // the default is stored at once
  loader.add(f.plugin.gain, 2); // gain, cutoff
  loader.add(f.plugin.cutoff, 0);
  loader.add(f.plugin.cutoff, -3);
  ASSERT_EQ(loader.getNumParameters(), 4);
  EXPECT_EQ(loader.getEntries()[3].parameter, &f.plugin.cutoff);

  Preset full = f.write("full.qvp", presetBytes("QTst", 1, {5.0f, 42.0f, 0.3f, 880.0f}));
  f.forgetCalls();
  ASSERT_TRUE(loader.load(&full, 1));
  EXPECT_EQ(valuesOf(f.plugin), (Values{0.3f, 880.0f, 5.0f, 0.25f}));
  EXPECT_EQ(width, 42.0f);
  EXPECT_EQ(f.adapter.allParameters.load(), 1);
  EXPECT_EQ(f.adapter.calls(), 1);

  // A short file: the parameters without a value go to their defaults, the
  // plain variable keeps what it holds.
  Preset part = f.write("part.qvp", presetBytes("QTst", 1, {2.0f}));
  ASSERT_TRUE(loader.load(&part, 1));
  EXPECT_EQ(valuesOf(f.plugin), (Values{0.5f, 1000.0f, 2.0f, 0.25f}));
  EXPECT_EQ(width, 42.0f);

  // Entries past the plug-in's parameters take their values nowhere.
  CustomPresetLoader tail(&f.plugin);
  tail.add(f.plugin.drive, 3);
  ASSERT_EQ(tail.getNumParameters(), 3);
  EXPECT_EQ(tail.getEntries()[1].parameter, nullptr);
  Preset three = f.write("three.qvp", presetBytes("QTst", 1, {0.75f, 1.0f, 2.0f}));
  EXPECT_TRUE(tail.load(&three, 1));
  EXPECT_FLOAT_EQ(f.plugin.drive.getValue(), 0.75f);
}

TEST(PresetLoaderTest, SavingFailsWithoutTouchingAnExistingFile) {
  Fixture f;
  EXPECT_FALSE(f.plugin.getParameters().savePreset(nullptr, 1));
  Preset nowhere(f.dir.file("no/such/folder/p.qvp"));
  EXPECT_FALSE(f.plugin.getParameters().savePreset(&nowhere, 1));
  EXPECT_FALSE(fileExists(f.dir.file("no/such/folder/p.qvp")));

  // A write that breaks off half way (here: the file size limit) leaves the
  // old preset whole and no temporary file behind.
  const std::string old = presetBytes("QTst", 1, {0.9f, 900.0f, 7.0f, 0.6f});
  Preset preset = f.write("Keep.qvp", old);
  setValues(f.plugin, cSet);
  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 20;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = f.plugin.getParameters().savePreset(&preset, 1);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(written);
  EXPECT_EQ(f.dir.read("Keep.qvp"), old);
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(f.dir.path())) ++entries;
  EXPECT_EQ(entries, 1);

  // Without the limit the same save replaces it.
  EXPECT_TRUE(f.plugin.getParameters().savePreset(&preset, 1));
  EXPECT_EQ(f.dir.read("Keep.qvp"), presetBytes("QTst", 1, {0.125f, 440.0f, 3.0f, 0.875f}));
}
