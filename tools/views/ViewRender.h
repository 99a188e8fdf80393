#pragma once

// The views of zarn-view-render, built as the host builds a plug-in's
// host-drawn views: each description added to a root view at its place,
// then the root initialized, which attaches every control editor to its
// control; then drawn into a port.

#include "host/services/CNoResourceView.h"
#include "platform/DrawPort.h"

#include <string>
#include <vector>

namespace viewrender {

// Adds each description ("X,Y,WIDTH,HEIGHT:" before it gives its place,
// else it covers the root) and initializes the root. Every view left out
// adds a line to problems; false when any was.
bool buildViews(CNoResourceView& root, const std::vector<std::string>& descriptions, std::string& problems);
// Draws the root into port, whole, and takes the port back.
void drawViews(CNoResourceView& root, platform::DrawPort& port);

} // namespace viewrender
