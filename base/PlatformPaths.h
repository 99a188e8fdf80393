#pragma once

// Small conversions between the program's own strings and the system's
// string, file and bundle objects, the help-book registration, the modal
// message box and the maker's identifier.
//
// Text inside the program is bytes, and file names on this system are UTF-8
// bytes too, so the string and path conversions here copy and never
// translate.

#include "platform/FileRef.h"
#include "platform/PlatformString.h"

#include <cstdint>
#include <string>

// A new system string holding s; owned by the caller (releasePlatformString).
PlatformStringRef createCFString(const std::string& s);
// The bytes of s; "" for null.
std::string getStringFromCFString(PlatformStringRef s);

// Resolves path (absolute, or relative to the working folder) to the item it
// names, following symbolic links as the system does. False when the path
// is empty, holds a NUL byte or names nothing; then ref and isFolder are left
// alone. ref and isFolder may each be null (a plain existence test).
bool getFSRefFromPath(const std::string& path, FSRef* ref, unsigned char* isFolder);
// The absolute path of the referenced item, without a trailing '/' (but "/"
// for the root); "" for null, an empty reference or an item that no longer
// exists.
std::string getPathFromFSRef(const FSRef* ref);

// Full path of the named file or folder directly in the resources of the
// plug-in's bundle (the registered module, else the process's main bundle);
// "" when there is none.
std::string getResourcePath(const std::string& name);

constexpr int32_t cFileNotFoundStatus = -43;
// Registers the help book of the bundle with that identifier; 0 on success,
// cFileNotFoundStatus when the bundle or its folder cannot be found.
int32_t registerHelpBook(PlatformStringRef bundleID);
// The information key "CFBundleHelpBookName" of the bundle with that
// identifier; "" when the bundle or the key is missing.
std::string getHelpBookName(PlatformStringRef bundleID);

// A modal note showing text, run until the user dismisses it.
void showMessageDialog(const std::string& text);

// The maker's four-character code, 'Qvrn', as registered with hosts.
uint32_t getQuorvaneId();
