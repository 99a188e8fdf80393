#pragma once

// Stem (channel layout) formats of the host's inputs and outputs.

#include <cstdint>

enum EPlugIn_StemFormat : int32_t {
  ePlugIn_StemFormat_Mono = 0,
  ePlugIn_StemFormat_Stereo = 1,
  ePlugIn_StemFormat_LCR = 2,
  ePlugIn_StemFormat_LCRS = 3,
  ePlugIn_StemFormat_Quad = 4,
  ePlugIn_StemFormat_5_0 = 5,
  ePlugIn_StemFormat_5_1 = 6,
  ePlugIn_StemFormat_6_0 = 7,
  ePlugIn_StemFormat_6_1 = 8,
  ePlugIn_StemFormat_7_0 = 9,
  ePlugIn_StemFormat_7_1 = 10
};

// Channels of a format; throws CDAEError -7401 for a value outside 0..10.
int32_t SurroundFormatToNumChannels(int32_t format);
// Whether the format has a low-frequency channel (5.1, 6.1, 7.1).
bool SurroundFormatHasLFE(int32_t format);
