#pragma once

// Kernels that turn sample arrays into values read from a function table with
// linear interpolation (see FunctionTable<float>, whose fields supply the
// table arguments). Same conventions as the vector kernels: the Fast form
// works four samples at a time on 16-byte-aligned arrays and writes n rounded
// up to a multiple of four samples; the Cpp forms write exactly n samples
// at any alignment (vectorConvertRangeCpp reads four at a time inside,
// giving the bits of its one-sample step).
//
// What a position outside the table reads:
// - vectorConvertRangeCpp holds the table's end values: at or past the last
//   entry it holds the last value, and a position below the start reads the
//   first value instead of memory before the table.
// - vectorConvertBlockScaledRunsFast / ...Cpp clamp to the table's ends. They
//   drive soft clippers (waveshapers) that are not periodic: a masked wrap
//   would turn a large input into a value from the opposite end, i.e. a loud
//   sample into one of opposite sign.
// - vectorConvertBlockScaledCpp keeps the masked wrap-around (the index
//   modulo mask + 1): its position is a product of two arrays, a phase-like
//   reading of a periodic table, so a position one period beyond reads the
//   same value as one period earlier.

// Plays a stretch of a table from the running position (in units of the
// function argument) advancing by step per sample; each output is
// gain x value + offset. start is the argument of entry 0, scale the entries
// per unit (> 0) and last the index of the last entry (the table holds
// last + 1 entries). Once the position reaches the last entry the last value
// is held and the position stops. The position is stored back clamped to the
// end of the table, in single precision. Returns whether the end has been
// reached.
bool vectorConvertRangeCpp(const float* table, float start, float scale, int last, float& position, float step,
                           float* out, int n, float offset, float gain);

// out[i] = T((a[i] x b[i]) x scale) x c[i], T the table read with the masked
// (periodic) index; the table holds mask + 2 entries, mask + 1 a power of two.
void vectorConvertBlockScaledCpp(const float* table, float fracOffset, int intOffset, float scale, unsigned mask,
                                 const float* a, const float* b, const float* c, float* out, int n);

// out[j] = T(in[j] x scale x runScale[r]) x runGain[r] for the samples j of
// run r; runs of runLength[r] samples cover the block in order from sample 0
// and add up to n (samples past n are never written by a longer run). T is
// read clamped to the table's ends. out may be in. The Fast form takes each
// group of four samples whole with the scale and gain of the run holding the
// group's first sample; with run lengths that are multiples of four both
// forms agree. The Fast form leaves the floating-point control state
// untouched (its floor needs no change of rounding mode).
void vectorConvertBlockScaledRunsFast(const float* table, float fracOffset, int intOffset, float scale,
                                      unsigned mask, const float* in, const float* runScale, const float* runGain,
                                      const int* runLength, float* out, int n);
void vectorConvertBlockScaledRunsCpp(const float* table, float fracOffset, int intOffset, float scale,
                                     unsigned mask, const float* in, const float* runScale, const float* runGain,
                                     const int* runLength, float* out, int n);
