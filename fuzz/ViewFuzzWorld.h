#pragma once

// What the fuzz targets of host-drawn views share: a plug-in bundle of
// their own, opened as the plug-in's process group, whose resources a
// target writes before each input; the headless window server; and the
// host's way with a set of view descriptions: each added to a root view,
// the root initialized, given a port, drawn, clicked, and taken down.

#include "platform/DrawPort.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fuzz::views {

// Opens the bundle (once) and writes its standing resources: an item list,
// a dialog, a control, an icon, pictures, patterns, strings and a version,
// all valid, so that descriptions naming them build (ids 128 and 1000-1002).
void open();
// Removes every resource of the bundle; writeStandingResources puts the
// valid ones back.
void clearResources();
void writeStandingResources();
void writeResource(const char (&type)[5], int16_t id, const std::vector<uint8_t>& bytes);
// The port views are drawn into (200 x 120).
platform::DrawPort& port();
// Builds the descriptions (each optionally placed by "X,Y,W,H:") as the
// host builds its views, then draws and clicks them and takes them down.
void show(const std::vector<std::string>& descriptions);

// Seeds: view descriptions found in the project's tests and tools (C++
// string literals and command-line words that start with '!').
std::vector<std::string> descriptionsInTests();

} // namespace fuzz::views
