#pragma once

// Texts the editors show, and the maker's addresses.

#include <string>

// A preset or component preset file that cannot be loaded.
extern const char* const cPresetOpenErrorText;

extern const char* const cMakerWebAddress;
extern const char* const cMakerSupportAddress;
extern const char* const cMakerEmailAddress;

// "The preset could not be saved as PATH." followed by the system's reason
// for error (an errno value; 0 gives no reason). Without a path, "The
// preset could not be saved."
std::string savePresetFailureMessage(const std::string& path, int error);

// "Change Preset Folder" given a folder that does not exist: names it and the
// folder the presets are still read from.
std::string missingPresetFolderMessage(const std::string& chosen, const std::string& kept);
