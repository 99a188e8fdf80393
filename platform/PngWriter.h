#pragma once

// Writes 8-bit images as PNG files, for snapshots and raster sheets that a
// person looks at. Pixels are given as rows of red, green, blue, alpha bytes
// from the top (the byte order of gui::Color); with withAlpha false the
// alpha bytes are dropped and the file is opaque RGB.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The encoded file; empty when the image cannot be encoded (no pixels, a
// size below 1 or beyond what PNG holds).
std::vector<unsigned char> encodePng(int width, int height, const uint8_t* rgba, bool withAlpha = true);

// False when the image cannot be encoded or the file not written.
bool writePngFile(const std::string& path, int width, int height, const uint8_t* rgba, bool withAlpha = true);
