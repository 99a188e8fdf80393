#pragma once

// Per-sample kernels of the state-variable filter. One stage of the filter
// is a state-variable section (states low L and band B) run three times per
// sample; with frequency coefficient f, damping q and cubic damping g of the
// current run and the input x:
//
//   L1 = L + f (B - e)
//   B1 = B + f (x - q B - L1) - g B^3
//   L2 = L1 + f B1
//   B2 = B1 + f (x - q B1 - L2) - g B1^3
//   L3 = L2 + f B2
//   H  = x - q B2 - L3                     the high-pass value, not limited
//   B  = B2 + f H - g B2^3 + e, held in [-1, 1]
//   L  = L3 held in [-10, 10]
//
// and the output sample is the new L, H or the new B. e is 1e-24 in the
// scalar kernels, which keeps decaying states off the denormal range; the
// four-lane kernels leave it out and run with denormals flushed to zero.
//
// Coefficients come per run: runLength[r] samples share entry r (one lane)
// or entries 4r .. 4r + 3 (four lanes, lane l at 4r + l) of the frequency,
// damping and cubic-damping arrays; the runs cover the count samples in
// order. The Drive kernels scale the input by inputScale and apply the cubic
// term; the plain kernels do neither (they serve the further stages of a
// cascade). States are read at the start and written back at the end.
//
// The ...ParallelFast kernels work on four lanes in the vector unit; every
// channel array must be 16-byte aligned. They run with flush-to-zero,
// denormals-are-zero, all exceptions masked and round-to-nearest, and put
// the thread's floating-point control state back as they found it. The
// ...ParallelCpp kernels are their scalar reference, one lane after the
// other. Input and output channels may be the same arrays. A count of zero
// or less does nothing.

enum VectorFilterResponse : int { cVectorFilterLowPass = 0, cVectorFilterHighPass = 1, cVectorFilterBandPass = 2 };

// The band state is held in [-1, 1], the low state in [-10, 10].
constexpr float cVectorFilterBandLimit = 1.0f;
constexpr float cVectorFilterLowLimit = 10.0f;

void vectorFilterDriveCpp(const float* in, float inputScale, const float* frequency, const float* damping,
                          const float* cubicDamping, const int* runLength, float& low, float& band,
                          VectorFilterResponse response, float* out, int count);
void vectorFilterCpp(const float* in, const float* frequency, const float* damping, const int* runLength,
                     float& low, float& band, VectorFilterResponse response, float* out, int count);

// in and out: four channel pointers each; low and band: four states each.
void vectorFilterDriveParallelCpp(const float* const* in, float inputScale, const float* frequency,
                                  const float* damping, const float* cubicDamping, const int* runLength,
                                  float* low, float* band, VectorFilterResponse response, float* const* out,
                                  int count);
void vectorFilterParallelCpp(const float* const* in, const float* frequency, const float* damping,
                             const int* runLength, float* low, float* band, VectorFilterResponse response,
                             float* const* out, int count);
void vectorFilterDriveParallelFast(const float* const* in, float inputScale, const float* frequency,
                                   const float* damping, const float* cubicDamping, const int* runLength,
                                   float* low, float* band, VectorFilterResponse response, float* const* out,
                                   int count);
void vectorFilterParallelFast(const float* const* in, const float* frequency, const float* damping,
                              const int* runLength, float* low, float* band, VectorFilterResponse response,
                              float* const* out, int count);

// The whole cascade of stages (1 to 4) on four lanes in one pass: the Drive
// stage, then stages - 1 plain stages, each on the output of the one before,
// the same as vectorFilterDriveParallelFast followed by
// vectorFilterParallelFast per further stage, to the bit. Stage s reads its
// damping at damping + s * dampingStride and its states at low + 4 s and
// band + 4 s; all stages share the frequency and the runs. Other stage
// counts do nothing.
void vectorFilterCascadeParallelFast(const float* const* in, float inputScale, const float* frequency,
                                     const float* damping, int dampingStride, const float* cubicDamping,
                                     const int* runLength, float* low, float* band, int stages,
                                     VectorFilterResponse response, float* const* out, int count);

// Four lanes of a cascade: their channels, their per-run coefficients (as
// above: entries 4r .. 4r + 3, stage s's damping dampingStride further on
// per stage), their runs and their states (stage s at low + 4 s and
// band + 4 s).
struct VectorFilterLanes {
  const float* in[4];
  float* out[4];
  const float* frequency;
  const float* damping;
  const float* cubicDamping;
  const int* runLength;
  float* low;
  float* band;
  // Per run (entries 4r .. 4r + 3), read only by the clipped cascade: the
  // scale before the output clipper and the gain after it.
  const float* clipScale = nullptr;
  const float* clipGain = nullptr;
};

// The output soft clipper's table as FunctionTable<float> gives it (see
// vectorConvertBlockScaledRunsFast).
struct VectorFilterClip {
  const float* values;
  float fracOffset;
  int intOffset;
  float scale;
  unsigned mask;
};

// Two independent groups of four lanes (lanes[0] and lanes[1], each with
// its own coefficients, runs and states) through the cascade in one pass:
// each group's result is to the bit that of vectorFilterCascadeParallelFast
// on it alone. The two chains overlap in the vector unit, so that eight
// lanes cost little more than four.
void vectorFilterCascadeEightLanesFast(const VectorFilterLanes* lanes, float inputScale, int dampingStride,
                                       int stages, VectorFilterResponse response, int count);

// One or two groups (groups) through the cascade and then through the
// output clipper, in the same pass: each lane's sample y becomes
// T(y x clip.scale x clipScale[r]) x clipGain[r], T read clamped to the
// table's ends; to the bit what vectorFilterCascadeEightLanesFast (or
// vectorFilterCascadeParallelFast) followed by
// vectorConvertBlockScaledRunsCpp on each lane gives. The clipper's table
// reads fill the vector unit while it waits on the filter's chain of
// dependent operations.
void vectorFilterCascadeClippedFast(const VectorFilterLanes* lanes, int groups, float inputScale,
                                    int dampingStride, int stages, VectorFilterResponse response,
                                    const VectorFilterClip& clip, int count);

// The Wide forms: two groups of four lanes in the 256-bit vector unit, to
// the bit what vectorFilterCascadeEightLanesFast and
// vectorFilterCascadeClippedFast (two groups) give. Only where
// vectorFilterWideAvailable() says the processor has the unit (AVX2).
bool vectorFilterWideAvailable();
void vectorFilterCascadeEightLanesWide(const VectorFilterLanes* lanes, float inputScale, int dampingStride,
                                       int stages, VectorFilterResponse response, int count);
void vectorFilterCascadeClippedWide(const VectorFilterLanes* lanes, float inputScale, int dampingStride,
                                    int stages, VectorFilterResponse response, const VectorFilterClip& clip,
                                    int count);
// Two sets of eight lanes (lanes[0] to lanes[3], two groups each, with
// coefficients of their own) through the clipped 256-bit cascade in one
// pass, each set to the bit what vectorFilterCascadeClippedWide gives it
// alone: the two chains overlap in the vector unit. Where the processor has
// the 512-bit unit, the sixteen lanes go through it as one register, to the
// same bit, unless allow512 is false (so that the 256-bit pass can be
// checked on such a processor too).
void vectorFilterCascadeClippedWidePair(const VectorFilterLanes* lanes, float inputScale, int dampingStride,
                                        int stages, VectorFilterResponse response, const VectorFilterClip& clip,
                                        int count, bool allow512 = true);
// Two such sets of sixteen lanes (lanes[0] to lanes[7], four groups each,
// with coefficients, runs and states of their own) in one pass, each set to
// the bit what vectorFilterCascadeClippedWidePair gives it alone: the two
// sets' chains overlap as the stages' do, in the 512-bit unit or (without
// it, or with allow512 false) in four 256-bit registers.
void vectorFilterCascadeClippedWideQuad(const VectorFilterLanes* lanes, float inputScale, int dampingStride,
                                        int stages, VectorFilterResponse response, const VectorFilterClip& clip,
                                        int count, bool allow512 = true);
