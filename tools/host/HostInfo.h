#pragma once

// What "zarn-host info" prints about a loaded bundle: the group's names at
// several lengths, version, manufacturer and identifiers, each process type
// with its identifiers, category, stem formats, sample rates and
// capabilities, and, from an instance of each type, its controls (names at
// several lengths, identifiers, value texts), its chunks, the folder the
// plug-in reads its presets from (as the plug-in tells it through the
// preset-name chunk) and the presets there.

#include <ostream>
#include <string>

namespace simhost {

class SimHost;

// A four-character code as 'abcd' when printable, else in hexadecimal.
std::string fourCharText(uint32_t code);
void printInfo(std::ostream& out, SimHost& host, const std::string& bundlePath);

} // namespace simhost
