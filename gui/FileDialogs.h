#pragma once

// The two modal file dialogs the editor asks the user with. The caller makes
// one with the user interface's factory, fills its properties, calls
// execute() (true when the user confirmed), reads the result and deletes it.

#include "base/Property.h"

#include <string>

namespace gui {

class SaveDialog {
public:
  virtual ~SaveDialog() = default;
  virtual bool execute() = 0;

  // The chosen path, written by a confirmed execute(). A name that does not
  // end in "." + extension (compared byte for byte) gets it appended.
  Property<std::string> fileName;
  // Without the dot.
  Property<std::string> extension;
  // Pairs of description and pattern separated by "|"; not every platform
  // shows it.
  Property<std::string> filter;
  // The folder the dialog opens in; ignored when it is not an existing folder.
  Property<std::string> location;
};

class SelectFolderDialog {
public:
  virtual ~SelectFolderDialog() = default;
  virtual bool execute() = 0;

  // The folder the dialog opens in and, after a confirmed execute(), the
  // chosen one.
  Property<std::string> folder;
  // The dialog's window title; none when empty.
  Property<std::string> title;
};

} // namespace gui
