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

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <unistd.h>

using editortest::EditorScene;
using Texts = std::vector<std::string>;

TEST(EditorMenusTest, ThePresetMenuMarksTheWayToTheCurrentPresetLoadsAndSaves) {
  EditorScene s;
  zarn::test::TempDir dir{"zarn-library"};
  auto* e = s.open();
  // "Save" before any preset was loaded or saved has nothing to overwrite:
  // it writes nothing and says nothing.
  GenericPlugin::sSettings->SavePresetItemEnabled = true;
  s.popup(e->getPresetMenu(), {"Save"});
  EXPECT_TRUE(s.server.alerts().empty());
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  for (const char* f : {"Pads", "Pads Extra/Sub"}) std::filesystem::create_directories(dir.file(f));
  for (const char* f : {"Pads/Soft.qvp", "Pads Extra/Sub/Warm.qvp", "Lead.qvp"}) {
    Preset p(dir.file(f));
    ASSERT_TRUE(s.plugin->savePreset(&p));
  }
  PresetManager* library = s.plugin->getPresetManager(-1);
  library->initialize(dir.path());
  PresetContext* current = s.plugin->getPresetContext();
  // Lead was saved while the library lay elsewhere: it is known by its
  // full path, and "Save" overwrites it there.
  s.plugin->level.setValue(0.25f, 0);
  s.popup(e->getPresetMenu(), {"Save"});
  EXPECT_TRUE(s.server.alerts().empty());
  s.plugin->level.setValue(0.0f, 0);
  ASSERT_TRUE(s.plugin->loadPreset(library->findPresetByName("Lead")));
  EXPECT_FLOAT_EQ(s.plugin->level.getValue(), 0.25f);
  GenericPlugin::sSettings->SavePresetItemEnabled = false;
  Preset warm(dir.file("Pads Extra/Sub/Warm.qvp"));
  ASSERT_TRUE(s.plugin->loadPreset(&warm));

  EXPECT_EQ(s.popup(e->getPresetMenu()), (Texts{"Pads", "[x] Pads Extra", "Lead", "-", "Save As...", "-",
                                                "View Bank/Program Numbers", "Change Preset Folder..."}));
  EXPECT_EQ(s.popup(e->getPresetMenu(), {}, {0}), Texts{"Soft"}); // "Pads/" is no prefix of "Pads Extra/"
  EXPECT_EQ(s.popup(e->getPresetMenu(), {}, {1, 0}), Texts{"[x] Warm"});

  // The option flips inside its own click; the menu shows it next time.
  s.popup(e->getPresetMenu(), {"View Bank/Program Numbers"});
  EXPECT_EQ(s.popup(e->getPresetMenu())[2], "(0/2) Lead");
  // Presets in sub-folders carry their numbers too, counted across folders.
  EXPECT_EQ(s.popup(e->getPresetMenu(), {}, {0}), Texts{"(0/0) Soft"});
  EXPECT_EQ(s.popup(e->getPresetMenu(), {}, {1, 0}), Texts{"[x] (0/1) Warm"});
  GenericPlugin::sSettings->ViewProgramNumbersEnabled = false;

  s.popup(e->getPresetMenu(), {"Lead"});
  EXPECT_EQ(current->presetName.get(), "Lead");
  e->loadNextPreset(); // wraps around
  EXPECT_EQ(current->presetName.get(), "Soft");

  // A file that is no preset of this plug-in: a message, nothing loaded.
  dir.write("Broken.qvp", "not a preset");
  library->initialize(dir.path());
  s.popup(e->getPresetMenu(), {"Broken"});
  EXPECT_EQ(s.server.alerts(), Texts{cPresetOpenErrorText});
  EXPECT_EQ(current->presetName.get(), "Soft");

  // "Save" only when enabled: it overwrites the current preset.
  GenericPlugin::sSettings->SavePresetItemEnabled = true;
  s.plugin->level.setValue(0.5f, 0);
  EXPECT_EQ(s.popup(e->getPresetMenu(), {"Save"})[5], "Save");
  s.plugin->level.setValue(0.0f, 0);
  ASSERT_TRUE(s.plugin->loadPreset(library->findPresetByName("Soft")));
  EXPECT_FLOAT_EQ(s.plugin->level.getValue(), 0.5f);
  GenericPlugin::sSettings->SavePresetItemEnabled = false;

  // A failed Save As gives the reason and changes nothing.
  s.server.answerNextSave(std::string("New"), dir.file("Gone"));
  s.popup(e->getPresetMenu(), {"Save As..."});
  ASSERT_EQ(s.server.alerts().size(), 2u);
  EXPECT_EQ(s.server.alerts()[1],
            "The preset could not be saved as " + dir.file("Gone/New.qvp") + ".\n\nNo such file or directory");
  // Any reported error gives its reason, none gives no empty paragraph.
  EXPECT_EQ(savePresetFailureMessage("/p/A.qvp", EPERM),
            "The preset could not be saved as /p/A.qvp.\n\nOperation not permitted");
  EXPECT_EQ(savePresetFailureMessage("", 0), "The preset could not be saved.");
  EXPECT_EQ(current->presetName.get(), "Soft");
  // Any name the file system takes is saved; a longer one is said to be
  // too long.
  const size_t most = static_cast<size_t>(::pathconf(dir.path().c_str(), _PC_NAME_MAX));
  const std::string longest(most - 4, 'L'); // and ".qvp"
  s.server.answerNextSave(longest, dir.path());
  s.popup(e->getPresetMenu(), {"Save As..."});
  EXPECT_EQ(s.server.alerts().size(), 2u);
  Preset saved(dir.file(longest + ".qvp"));
  s.plugin->level.setValue(0.0f, 0);
  ASSERT_TRUE(s.plugin->loadPreset(&saved));
  EXPECT_FLOAT_EQ(s.plugin->level.getValue(), 0.5f);
  s.server.answerNextSave(longest + "L", dir.path());
  s.popup(e->getPresetMenu(), {"Save As..."});
  ASSERT_EQ(s.server.alerts().size(), 3u);
  EXPECT_EQ(s.server.alerts()[2],
            "The preset could not be saved as " + dir.file(longest + "L.qvp") + ".\n\nFile name too long");

  // Save As cancelled: a folder made inside the dialog is in the menu.
  std::filesystem::create_directories(dir.file("Made There"));
  s.server.answerNextSave(std::nullopt);
  s.popup(e->getPresetMenu(), {"Save As..."});
  EXPECT_EQ(s.popup(e->getPresetMenu())[0], "Made There");

  // A folder that is not there is refused, with a message naming it; the
  // presets stay where they were.
  const std::string missing = dir.file("Not There");
  s.server.answerNextFolder(missing);
  s.popup(e->getPresetMenu(), {"Change Preset Folder..."});
  ASSERT_EQ(s.server.alerts().size(), 4u);
  EXPECT_NE(s.server.alerts()[3].find("\"" + missing + "\" does not exist"), std::string::npos) << s.server.alerts()[3];
  const Texts kept = s.popup(e->getPresetMenu());
  EXPECT_NE(std::find(kept.begin(), kept.end(), "Lead"), kept.end());
  EXPECT_FALSE(std::filesystem::exists(missing));

  zarn::test::TempDir other{"zarn-other"};
  s.server.answerNextFolder(other.path());
  s.popup(e->getPresetMenu(), {"Change Preset Folder..."});
  EXPECT_EQ(s.popup(e->getPresetMenu())[0], "(off) (No Presets)");
}

TEST(EditorMenusTest, ComponentPresetsHoldOnlyTheirParameters) {
  EditorScene s;
  s.open();
  zarn::test::TempDir dir{"zarn-filters"};
  PresetManager manager(dir.path(), ".filters");
  ParameterCollection collection(s.plugin.get());
  collection.registerParameter(&s.plugin->level);
  collection.registerParameter(&s.plugin->pan);
  ComponentPresetHandler handler(s.ui, &collection, &manager, &s.bridge);

  EXPECT_EQ(s.popup(handler.getMenu()), (Texts{"(off) (No Presets)", "-", "Save As..."}));
  s.plugin->level.setValue(0.75f, 0);
  s.plugin->pan.setValue(-0.5f, 0);
  s.server.answerNextSave(std::string("Bright"));
  s.popup(handler.getMenu(), {"Save As..."});
  s.plugin->level.setValue(0.0f, 0);
  s.plugin->pan.setValue(0.0f, 0);
  s.plugin->cutoff.setValue(500.0f, 0);
  dir.write("Copied.filters", "garbage"); // listed at the next popup
  EXPECT_EQ(s.popup(handler.getMenu(), {"Bright"}), (Texts{"Bright", "Copied", "-", "Save As..."}));
  EXPECT_EQ(std::vector<float>({s.plugin->level.getValue(), s.plugin->pan.getValue(), s.plugin->cutoff.getValue()}),
            std::vector<float>({0.75f, -0.5f, 500.0f}));
  s.popup(handler.getMenu(), {"Copied"});
  EXPECT_EQ(s.server.alerts(), Texts{cPresetOpenErrorText});
}

TEST(EditorMenusTest, TheMidiMenuListsMappingsInParameterOrderAndRemovesThem) {
  EditorScene s;
  auto* e = s.open();
  ControllerMapping* map = GenericPlugin::sControllerMapping;
  map->reset();
  EXPECT_EQ(s.popup(e->getMidiMenu()), (Texts{"(off) Clear", "Revert", "Save", "Load Factory Settings"}));
  s.plugin->type = 1;
  EXPECT_EQ(s.popup(e->getMidiMenu()).size(), 3u);

  ASSERT_TRUE(map->setConnection(7, 3));
  ASSERT_TRUE(map->setConnection(1, 1));
  ASSERT_TRUE(map->setConnection(0, 2)); // bank select is a controller too
  ASSERT_TRUE(map->setConnection(9, s.plugin->wheel.getIdentifier()));
  EXPECT_EQ(s.popup(e->getMidiMenu(), {}, {0}),
            (Texts{"1: Mode", "0: Cutoff", "7: Pan", "9: Wheel", "-", "Clear All"}));
  s.popup(e->getMidiMenu(), {"Clear", "7: Pan"});
  EXPECT_EQ(std::vector<int>({map->getControllerNumber(3), map->getControllerNumber(1)}), std::vector<int>({-1, 1}));
  s.popup(e->getMidiMenu(), {"Clear", "Clear All"});
  EXPECT_EQ(map->getControllerNumber(s.plugin->wheel.getIdentifier()), -1);
}

TEST(EditorMenusTest, TheHelpMenuOpensPagesOnTheNextTickAndTheAboutBox) {
  EditorScene s;
  auto* e = s.open();
  const Texts items{"Help Topics", "[x] Show Interactive Help Hints", "-", "Quorvane Web Site",
                    "Quorvane Support", "-", "About..."};
  EXPECT_EQ(s.popup(e->getHelpMenu()), items);
  s.popup(e->getHelpMenu(), {"Show Interactive Help Hints"});
  EXPECT_FALSE(GenericPlugin::sSettings->showInteractiveHelp.get());
  EXPECT_EQ(s.popup(e->getHelpMenu())[1], "Show Interactive Help Hints");

  s.popup(e->getHelpMenu(), {"Quorvane Support"});
  EXPECT_TRUE(s.opened.empty());
  s.runMs(60);
  s.popup(e->getHelpMenu(), {"Quorvane Web Site"});
  GenericPlugin::sSettings->HelpFileName = "";
  s.popup(e->getHelpMenu(), {"Help Topics"}); // no book: nothing
  s.runMs(60);
  s.bundle.writeResource("TestHelp/index.html", "<html></html>");
  GenericPlugin::sSettings->HelpFileName = "TestHelp";
  s.popup(e->getHelpMenu(), {"Help Topics"});
  s.runMs(60);
  ASSERT_EQ(s.opened.size(), 3u);
  EXPECT_EQ(s.opened[0] + " " + s.opened[1], "https://www.example.com/support https://www.example.com/");
  EXPECT_EQ(s.opened[2], "file://" + s.bundle.resourcesPath() + "TestHelp/index.html");

  // The About box: picture centred (400 x 300 window, 200 x 180 picture),
  // labels at the style's offset (10, 20) from its corner.
  s.popup(e->getHelpMenu(), {"About..."});
  ASSERT_NE(e->about, nullptr);
  std::vector<gui::Point> at;
  for (gui::Control* c : e->about->getChildren()) at.push_back(c->getPosition());
  EXPECT_EQ(at, (std::vector<gui::Point>{{100, 60}, {110, 80}, {110, 96}, {110, 120}, {110, 160}, {110, 240}}));
  // Under the product's name its version, then its maker's name; no
  // address (the maker's are stand-ins) anywhere in the box.
  std::vector<std::string> lines;
  for (gui::Control* c : e->about->getChildren())
    if (auto* label = dynamic_cast<gui::Label*>(c)) lines.push_back(label->getText()->text.get());
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1].substr(0, 8), "version ");
  EXPECT_TRUE(lines[1].size() > 8 && std::isdigit(static_cast<unsigned char>(lines[1][8]))) << lines[1];
  EXPECT_EQ(lines[2], "Quorvane");
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find('@'), std::string::npos) << line;
    EXPECT_EQ(line.find("example"), std::string::npos) << line;
    EXPECT_EQ(line.find("www."), std::string::npos) << line;
  }
}
