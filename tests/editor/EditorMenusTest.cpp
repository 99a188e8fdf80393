#include "tests/editor/EditorScene.h"

#include "base/Preset.h"
#include "base/PresetContext.h"
#include "base/PresetManager.h"
#include "editor/ComponentPresetHandler.h"
#include "editor/EditorMessages.h"
#include "plugin/ControllerMapping.h"
#include "plugin/ParameterCollection.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using editortest::EditorScene;
using editortest::texts;
using Texts = std::vector<std::string>;

namespace {

// The library: "Pads/Soft", "Pads Extra/Sub/Warm", "Lead", written by the
// plug-in itself.
struct Library {
  explicit Library(EditorScene& s) : s(s) {
    for (const char* f : {"Pads", "Pads Extra/Sub"}) std::filesystem::create_directories(dir.file(f));
    for (const char* f : {"Pads/Soft.qvp", "Pads Extra/Sub/Warm.qvp", "Lead.qvp"}) {
      Preset p(dir.file(f));
      EXPECT_TRUE(s.plugin->savePreset(&p));
    }
    manager()->initialize(dir.path());
  }
  PresetManager* manager() { return s.plugin->getPresetManager(-1); }

  EditorScene& s;
  zarn::test::TempDir dir{"zarn-library"};
};

const platform::MenuEntry& child(const platform::MenuEntry& m, size_t i) { return m.children.at(i); }

} // namespace

TEST(EditorMenusTest, ThePresetMenuMarksTheWayToTheCurrentPresetAndLoadsAndSaves) {
  EditorScene s;
  Library lib(s);
  auto* e = s.open();
  Preset warm(lib.dir.file("Pads Extra/Sub/Warm.qvp"));
  ASSERT_TRUE(s.plugin->loadPreset(&warm));

  platform::MenuEntry m = s.popup(e->getPresetMenu());
  EXPECT_EQ(texts(m), (Texts{"Pads", "[x] Pads Extra", "Lead", "-", "Save As...", "-", "View Bank/Program Numbers",
                             "Change Preset Folder..."}));
  EXPECT_EQ(texts(child(m, 0)), Texts{"Soft"}); // "Pads/" is no prefix of "Pads Extra/"
  EXPECT_EQ(texts(child(m, 1)), Texts{"[x] Sub"});
  EXPECT_EQ(texts(child(child(m, 1), 0)), Texts{"[x] Warm"});

  // The option flips inside its own click; the menu shows it next time.
  s.popup(e->getPresetMenu(), {"View Bank/Program Numbers"});
  m = s.popup(e->getPresetMenu());
  EXPECT_EQ(texts(m)[2], "(0/2) Lead");
  EXPECT_EQ(texts(m)[6], "[x] View Bank/Program Numbers");
  GenericPlugin::sSettings->ViewProgramNumbersEnabled = false;

  // Choosing loads; the next and previous presets wrap around the library.
  s.popup(e->getPresetMenu(), {"Lead"});
  EXPECT_EQ(s.plugin->getPresetContext()->presetName.get(), "Lead");
  e->loadNextPreset();
  EXPECT_EQ(s.plugin->getPresetContext()->presetName.get(), "Soft");
  e->loadPreviousPreset();
  EXPECT_EQ(s.plugin->getPresetContext()->presetName.get(), "Lead");

  // A file that is no preset of this plug-in: a message, nothing loaded.
  lib.dir.write("Broken.qvp", "not a preset");
  lib.manager()->initialize(lib.dir.path());
  s.popup(e->getPresetMenu(), {"Broken"});
  ASSERT_EQ(s.server.alerts().size(), 1u);
  EXPECT_EQ(s.server.alerts()[0], cPresetOpenErrorText);
  EXPECT_EQ(s.plugin->getPresetContext()->presetName.get(), "Lead");

  // "Save" only when enabled; it overwrites the current preset's file.
  GenericPlugin::sSettings->SavePresetItemEnabled = true;
  s.plugin->level.setValue(0.5f, 0);
  EXPECT_EQ(texts(s.popup(e->getPresetMenu(), {"Save"}))[5], "Save");
  s.plugin->level.setValue(0.0f, 0);
  s.popup(e->getPresetMenu(), {"Lead"});
  EXPECT_FLOAT_EQ(s.plugin->level.getValue(), 0.5f);
  GenericPlugin::sSettings->SavePresetItemEnabled = false;

  // Save As into a folder that is not there: the reason is shown, nothing
  // changes.
  s.server.answerNextSave(std::string("New"), lib.dir.file("Gone"));
  s.popup(e->getPresetMenu(), {"Save As..."});
  ASSERT_EQ(s.server.alerts().size(), 2u);
  EXPECT_EQ(s.server.alerts()[1].rfind("The preset could not be saved.\n\n", 0), 0u) << s.server.alerts()[1];
  EXPECT_EQ(s.plugin->getPresetContext()->presetName.get(), "Lead");
  // A cancelled Save As still shows a folder made in the meantime.
  std::filesystem::create_directories(lib.dir.file("Made"));
  s.popup(e->getPresetMenu(), {"Save As..."});
  EXPECT_EQ(texts(s.popup(e->getPresetMenu()))[0], "Made");

  // Another library folder.
  zarn::test::TempDir other{"zarn-other"};
  s.server.answerNextFolder(other.path());
  s.popup(e->getPresetMenu(), {"Change Preset Folder..."});
  EXPECT_EQ(s.server.dialogStartFolders().back(), lib.dir.path() + "/");
  EXPECT_EQ(texts(s.popup(e->getPresetMenu()))[0], "(off) (No Presets)");
}

TEST(EditorMenusTest, ComponentPresetsSaveAndLoadOnlyTheirParameters) {
  EditorScene s;
  auto* e = s.open();
  zarn::test::TempDir dir{"zarn-filters"};
  PresetManager manager(dir.path(), ".filters");
  ParameterCollection collection(s.plugin.get());
  collection.registerParameter(&s.plugin->level);
  collection.registerParameter(&s.plugin->pan);
  ComponentPresetHandler handler(s.ui, &collection, &manager, &s.bridge);

  EXPECT_EQ(texts(s.popup(handler.getMenu())), (Texts{"(off) (No Presets)", "-", "Save As..."}));
  s.plugin->level.setValue(0.75f, 0);
  s.plugin->pan.setValue(-0.5f, 0);
  s.server.answerNextSave(std::string("Bright"));
  s.popup(handler.getMenu(), {"Save As..."});
  EXPECT_TRUE(std::filesystem::exists(dir.file("Bright.filters")));

  // Loading changes the collection's parameters only; a file copied in is
  // listed on the next popup, a foreign one refused with a message.
  s.plugin->level.setValue(0.0f, 0);
  s.plugin->pan.setValue(0.0f, 0);
  s.plugin->cutoff.setValue(500.0f, 0);
  dir.write("Copied.filters", "garbage");
  EXPECT_EQ(texts(s.popup(handler.getMenu(), {"Bright"})), (Texts{"Bright", "Copied", "-", "Save As..."}));
  EXPECT_FLOAT_EQ(s.plugin->level.getValue(), 0.75f);
  EXPECT_FLOAT_EQ(s.plugin->pan.getValue(), -0.5f);
  EXPECT_FLOAT_EQ(s.plugin->cutoff.getValue(), 500.0f);
  s.popup(handler.getMenu(), {"Copied"});
  EXPECT_EQ(s.server.alerts(), Texts{cPresetOpenErrorText});
  (void)e;
}

TEST(EditorMenusTest, TheMidiMenuListsMappingsInParameterOrderAndRemovesThem) {
  EditorScene s;
  auto* e = s.open();
  ControllerMapping* map = GenericPlugin::sControllerMapping;
  map->reset();
  EXPECT_EQ(texts(s.popup(e->getMidiMenu())), (Texts{"(off) Clear", "Revert", "Save", "Load Factory Settings"}));
  s.plugin->type = 1;
  EXPECT_EQ(texts(s.popup(e->getMidiMenu())), (Texts{"(off) Clear", "Revert", "Save"}));

  ASSERT_TRUE(map->setConnection(7, 3));
  ASSERT_TRUE(map->setConnection(1, 1));
  ASSERT_TRUE(map->setConnection(9, s.plugin->wheel.getIdentifier()));
  platform::MenuEntry m = s.popup(e->getMidiMenu());
  EXPECT_EQ(texts(child(m, 0)), (Texts{"1: Mode", "7: Pan", "9: Wheel", "-", "Clear All"}));

  s.popup(e->getMidiMenu(), {"Clear", "7: Pan"});
  EXPECT_EQ(map->getControllerNumber(3), -1);
  EXPECT_EQ(map->getControllerNumber(1), 1);
  s.popup(e->getMidiMenu(), {"Clear", "Clear All"});
  EXPECT_EQ(map->getControllerNumber(1), -1);
  EXPECT_EQ(map->getControllerNumber(s.plugin->wheel.getIdentifier()), -1);

  // Save and Revert go through the plug-in's map file.
  map->setConnection(20, 0);
  s.popup(e->getMidiMenu(), {"Save"});
  map->reset();
  s.popup(e->getMidiMenu(), {"Revert"});
  EXPECT_EQ(map->getControllerNumber(0), 20);
}

TEST(EditorMenusTest, TheHelpMenuOpensPagesAndTheBookOnTheNextTick) {
  EditorScene s;
  auto* e = s.open();
  const Texts items{"Help Topics", "[x] Show Interactive Help Hints", "-", "Quorvane Web Site",
                    "Quorvane Support", "-", "About..."};
  EXPECT_EQ(texts(s.popup(e->getHelpMenu())), items);
  EXPECT_EQ(texts(s.popup(e->getHelpMenu())), items);

  s.popup(e->getHelpMenu(), {"Show Interactive Help Hints"});
  EXPECT_FALSE(GenericPlugin::sSettings->showInteractiveHelp.get());
  EXPECT_EQ(texts(s.popup(e->getHelpMenu()))[1], "Show Interactive Help Hints");

  s.popup(e->getHelpMenu(), {"Quorvane Support"});
  EXPECT_TRUE(s.opened.empty());
  s.runMs(60);
  EXPECT_EQ(s.opened, Texts{"https://www.example.com/support"});
  s.popup(e->getHelpMenu(), {"Quorvane Web Site"});
  s.runMs(60);
  EXPECT_EQ(s.opened.back(), "https://www.example.com/");
  EXPECT_EQ(e->getStandardUrl(static_cast<GenericPluginInterface::StandardUrlId>(2)), "");

  // The help book: nothing without a name, its start page with one.
  s.opened.clear();
  GenericPlugin::sSettings->HelpFileName = "";
  s.popup(e->getHelpMenu(), {"Help Topics"});
  s.runMs(60);
  EXPECT_TRUE(s.opened.empty());
  s.bundle.writeResource("TestHelp/index.html", "<html></html>");
  GenericPlugin::sSettings->HelpFileName = "TestHelp";
  s.popup(e->getHelpMenu(), {"Help Topics"});
  s.runMs(60);
  ASSERT_EQ(s.opened.size(), 1u);
  EXPECT_EQ(s.opened[0].rfind("file://", 0), 0u);

  // The About box: its labels sit at the style's offset from the centred
  // picture (400 x 300 window, 200 x 180 picture, offset (10, 20)).
  s.popup(e->getHelpMenu(), {"About..."});
  ASSERT_NE(e->about, nullptr);
  std::vector<gui::Point> at;
  for (gui::Control* c : e->about->getChildren()) at.push_back(c->getPosition());
  ASSERT_EQ(at.size(), 7u);
  EXPECT_EQ(at[0], gui::Point(100, 60));
  EXPECT_EQ(at[1], gui::Point(110, 80));
  EXPECT_EQ(at[2], gui::Point(110, 96));
  EXPECT_EQ(at[6], gui::Point(110, 240));
}
