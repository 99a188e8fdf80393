#include "editor/EditorMessages.h"

#include <cstring>

const char* const cPresetOpenErrorText =
    "The preset file could not be opened. It could be corrupt, from another Quorvane plug-in, or it was written by "
    "an incompatible version of this plug-in.";

const char* const cMakerWebAddress = "https://www.example.com/";
const char* const cMakerSupportAddress = "https://www.example.com/support";
const char* const cMakerEmailAddress = "info@example.com";

std::string savePresetFailureMessage(const std::string& path, int error) {
  // The reason alone ("No such file or directory") does not say which.
  std::string message = path.empty() ? "The preset could not be saved." : "The preset could not be saved as " + path + ".";
  if (error != 0) {
    message += "\n\n";
    message += std::strerror(error);
  }
  return message;
}

std::string missingPresetFolderMessage(const std::string& chosen, const std::string& kept) {
  return "The folder \"" + chosen + "\" does not exist, so it cannot hold your presets.\n\nThe presets are still read from \"" +
         kept + "\".";
}
