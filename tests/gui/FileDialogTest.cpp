#include "gui/FileDialogs.h"
#include "tests/gui/GuiScene.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>

// The save dialog appends the extension unless the typed name ends in it
// byte for byte; it opens in the location only when that is an existing
// folder; a cancel changes nothing. The folder dialog returns the chosen
// folder. Messages are modal alerts.
TEST(FileDialogTest, ExtensionRuleStartFolderAndCancel) {
  zarn::test::GuiScene s;
  zarn::test::TempDir dir;
  dir.write("presets/file.txt", "x");
  const std::string folder = dir.file("presets");
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"lfo", "Bright", "Bright.lfo"},         {"lfo", "Bright.lfo", "Bright.lfo"},
      {"lfo", "Bright.LFO", "Bright.LFO.lfo"}, {"", "Bright", "Bright."},
      {"", "Bright.", "Bright."},
  };
  for (const auto& [ext, typed, expected] : cases) {
    std::unique_ptr<gui::SaveDialog> d(s.ui->createSaveDialog());
    d->extension = ext;
    d->location = folder;
    s.server.answerNextSave(typed);
    EXPECT_TRUE(d->execute());
    EXPECT_EQ(d->fileName.get(), folder + "/" + expected);
  }
  std::unique_ptr<gui::SaveDialog> d(s.ui->createSaveDialog());
  for (const std::string& location : {folder + "/file.txt", dir.file("missing")}) {
    d->location = location;
    s.server.answerNextSave(std::nullopt);
    EXPECT_FALSE(d->execute());
  }
  EXPECT_EQ(d->fileName.get(), "");
  EXPECT_EQ(s.server.dialogStartFolders(), (std::vector<std::string>{folder, folder, folder, folder, folder, "", ""}));

  std::unique_ptr<gui::SelectFolderDialog> f(s.ui->createSelectFolderDialog());
  f->title = "Preset Folder";
  s.server.answerNextFolder(dir.file("chosen"));
  EXPECT_TRUE(f->execute());
  EXPECT_EQ(f->folder.get(), dir.file("chosen"));
  EXPECT_FALSE(f->execute());
  EXPECT_EQ(f->folder.get(), dir.file("chosen"));

  s.ui->showMessage("The preset could not be saved.");
  EXPECT_EQ(s.server.alerts(), std::vector<std::string>{"The preset could not be saved."});
}
