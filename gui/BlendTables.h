#pragma once

// The lookup tables behind all 8-bit compositing of the toolkit. Blending,
// fills, blits, antialiased lines and curves and rotation read these instead
// of multiplying and dividing per channel:
//
//   multiplyTable   M[a][b] = floor(a * b / 255)
//   divideTable     D[a][b] = min(255, floor(255 * a / b)), D[a][0] = 0
//   interpolateTable  the four bilinear weights (summing to 255) for a
//                     sub-pixel position in 1/32 pixel steps
//
// The blend used everywhere is M[alpha][new] + M[255 - alpha][old]; each term
// is floored on its own, so a result may be one below the exact mix.
//
// The tables are computed by the compiler and live in read-only data: they
// exist before any other static object of the program is constructed, so a
// colour blended during static initialisation is already right.

namespace gui {

class MultiplyTable {
public:
  constexpr MultiplyTable() : values() {
    for (int a = 0; a < 256; ++a)
      for (int b = 0; b < 256; ++b) values[a * 256 + b] = static_cast<unsigned char>(a * b / 255);
  }
  // Row a; index it with b.
  const unsigned char* operator[](int a) const { return values + a * 256; }

  unsigned char values[256 * 256];
};

class DivideTable {
public:
  constexpr DivideTable() : values() {
    for (int a = 0; a < 256; ++a)
      for (int b = 1; b < 256; ++b) {
        const int q = 255 * a / b;
        values[a * 256 + b] = static_cast<unsigned char>(q > 255 ? 255 : q);
      }
  }
  const unsigned char* operator[](int a) const { return values + a * 256; }

  unsigned char values[256 * 256];
};

class InterpolateTable {
public:
  constexpr InterpolateTable() : values() {
    for (int fx = 0; fx < 32; ++fx)
      for (int fy = 0; fy < 32; ++fy) {
        const int a = 255 * fx / 32;
        const int b = 255 * fy / 32;
        const int ab = a * b / 255;
        unsigned char* w = values + (fx * 32 + fy) * 4;
        w[0] = static_cast<unsigned char>(255 - a - b + ab);
        w[1] = static_cast<unsigned char>(a - ab);
        w[2] = static_cast<unsigned char>(b - ab);
        w[3] = static_cast<unsigned char>(ab);
      }
  }
  // The weights of (x, y), (x + 1, y), (x, y + 1) and (x + 1, y + 1) for the
  // fractions fx and fy, both 0-31.
  const unsigned char* weights(int fx, int fy) const { return values + (fx * 32 + fy) * 4; }

  unsigned char values[32 * 32 * 4];
};

extern const MultiplyTable multiplyTable;
extern const DivideTable divideTable;
extern const InterpolateTable interpolateTable;

// M[a][b] and D[a][b] for the inner loops.
inline unsigned char mul(int a, int b) { return multiplyTable.values[a * 256 + b]; }
inline unsigned char dvd(int a, int b) { return divideTable.values[a * 256 + b]; }

} // namespace gui
