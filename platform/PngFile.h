#pragma once

// Writes an 8-bit RGB image as a PNG file (one IDAT chunk, no filtering).

#include <cstdint>
#include <string>

namespace platform {

// rgb: height rows of width x 3 bytes. False when the file cannot be written.
bool writePngRgb(const std::string& path, int width, int height, const uint8_t* rgb);

} // namespace platform
