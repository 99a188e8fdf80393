#pragma once

// Finding a bundle by identifier among everything the process knows: the
// bundles opened through Bundle (by this copy of the platform layer) and the
// bundles whose executables are loaded in the process, whoever loaded them.
// A host loads its engine libraries itself; a plug-in built as its own shared
// object finds them here although its own bundle registry never saw them.

#include "platform/Bundle.h"

#include <string>

namespace platform {

// The bundle with that "CFBundleIdentifier", or null.
Bundle* findLoadedBundle(const std::string& identifier);

} // namespace platform
