#pragma once

// The blend rule on raw pixels, shared by the bitmap's drawing code. A pixel
// value holds the colour bytes 0-2 in its low 24 bits and alpha in the top
// byte; see Bitmap.h for the rule itself.

#include "gui/BlendTables.h"

#include <cstdint>

namespace gui::pixel {

inline uint32_t alpha(uint32_t p) { return p >> 24; }

// p with alpha 255.
inline uint32_t opaque(uint32_t p) { return p | 0xff000000u; }

// Bytes 0-2 of p mixed over old with weight a (0-254); old's alpha kept.
inline uint32_t mix(uint32_t old, uint32_t p, int a) {
  const unsigned char* mNew = multiplyTable[a];
  const unsigned char* mOld = multiplyTable[255 - a];
  const uint32_t c0 = mNew[p & 255] + mOld[old & 255];
  const uint32_t c1 = mNew[(p >> 8) & 255] + mOld[(old >> 8) & 255];
  const uint32_t c2 = mNew[(p >> 16) & 255] + mOld[(old >> 16) & 255];
  return (old & 0xff000000u) | c0 | (c1 << 8) | (c2 << 16);
}

// The blend rule for one pixel with colour bytes from p and alpha a (0-255)
// on a bitmap whose transparent flag is `transparent`.
inline void put(uint32_t* q, uint32_t p, int a, bool transparent) {
  if (a >= 255)
    *q = opaque(p);
  else if (a > 0 && !transparent)
    *q = mix(*q, p, a);
}

inline int clampByte(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

} // namespace gui::pixel
