#pragma once

// The chain of open resource maps and which one is current. A bundle's
// resource map is opened by reference number; code that needs a bundle's
// resources makes its map current and restores the previous one afterwards.
// Reference 0 stands for the application's own resources and is always open.
// Used on the host's main thread.

#include "platform/Bundle.h"

#include <cstdint>

namespace platform {

using ResourceFileRef = int16_t;

ResourceFileRef currentResourceFile();
// Makes ref current; a reference that is not open leaves the current file.
void useResourceFile(ResourceFileRef ref);

// Opens the resource map of bundle (its "Resources" folder) and makes it
// current; -1 when the bundle is null or has no resource folder. Opening an
// open map again gives the same reference.
ResourceFileRef openResourceMap(Bundle* bundle);
// Closes the map; when it was current, the application's resources become
// current. 0 and references that are not open are ignored.
void closeResourceMap(ResourceFileRef ref);
// The bundle whose map ref is, null for 0 or a closed reference.
Bundle* resourceMapBundle(ResourceFileRef ref);

// Restores the resource file that was current at its construction.
class ResourceFileSaver {
public:
  ResourceFileSaver() : mSaved(currentResourceFile()) {}
  ~ResourceFileSaver() { useResourceFile(mSaved); }
  ResourceFileSaver(const ResourceFileSaver&) = delete;
  ResourceFileSaver& operator=(const ResourceFileSaver&) = delete;

private:
  ResourceFileRef mSaved;
};

} // namespace platform
