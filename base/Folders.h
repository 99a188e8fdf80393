#pragma once

// The user's and the system's standard folders, the product's settings
// domain and default preset folder, folder creation, files shipped inside
// the plug-in bundle as resources, and the first-run copy of a folder tree
// out of the bundle.
//
// Folder paths from the look-ups have no trailing '/'. None of the look-ups
// creates a folder: the user's folders are named whether they exist yet or
// not, and whoever writes there creates them (createFolder). User data never
// falls back to a system folder: when the system knows no home for the user
// the look-ups of the user's folders give "", and nothing is saved.

#include <istream>
#include <stdexcept>
#include <string>

class EResource : public std::runtime_error {
public:
  explicit EResource(const std::string& message) : std::runtime_error(message) {}
};

// The user's documents folder; "" when the system does not know it.
std::string getDocumentsFolder();
// The applications folder; "/Applications" when the system does not know it.
// Programs live there, never user data.
std::string getProgramFilesFolder();
// The user's application-support folder; "" when the system does not know
// it.
std::string getApplicationDataFolder();

// "com.quorvane." + shortName + "." + majorVersion: the product's
// preferences domain.
std::string getProductSettingsPath(const std::string& shortName, int majorVersion);
// Where the product's presets live by default; ends in '/'. "" only when
// the system knows no folder of the user's at all.
std::string getProductDefaultPresetFolder(const std::string& shortName);

// True when the folder exists afterwards; missing ancestors are created. A
// file in the way, a path with no existing ancestor or a folder directly
// below the root that is missing give false.
bool createFolder(const std::string& path);

// A new stream for reading the bytes of the named bundle resource, owned by
// the caller; whether the open succeeded shows in the stream's state. Throws
// EResource ("Resource not found") when the bundle has no such resource.
std::istream* createResourceStream(const std::string& name);

// Copies the bundle's resource folder of that name into destination, as
// copyFolderContents; nothing happens when the bundle has no such resource.
void installFolderFromResource(const std::string& resourceName, const std::string& destination);
// The same, telling whether everything arrived: false when a folder or file
// could not be made or copied, with the first failure's path and the
// system's reason in failure ("<path>: <reason>"). A bundle without the
// resource has nothing to install, which is success.
bool installFolderFromResource(const std::string& resourceName, const std::string& destination,
                               std::string* failure);

// Copies the tree below source into destination, creating folders as needed
// and merging into folders that exist. A file that exists in destination is
// never overwritten, whatever its content. Names beginning with '.' are not
// copied. A failure does not stop the copy, which goes on with the next
// entry, and a file whose copy fails is not left behind half written.
void copyFolderContents(const std::string& source, const std::string& destination);
// The same, telling whether everything arrived, as installFolderFromResource.
bool copyFolderContents(const std::string& source, const std::string& destination, std::string* failure);
