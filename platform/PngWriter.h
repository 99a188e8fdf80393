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

// Writes the picture as every save of a user's file is written
// (platform/ReplacingFile.h): whole over the old one or not at all, a link
// at the name kept and its file written, a FIFO or a device refused at
// once, the old file's mode and access list kept. False when the image
// cannot be encoded or the file not written; error (when given) then says
// "cannot write PATH: REASON".
bool writePngFile(const std::string& path, int width, int height, const uint8_t* rgba, bool withAlpha = true,
                  std::string* error = nullptr);
