#pragma once

// The clipped cascade of the state-variable filter in the 512-bit vector
// unit, for processors that have it (AVX-512F, asked at run time by the
// caller): Sets sets of sixteen lanes (lanes[0] to lanes[4 Sets - 1], four
// groups a set, each with coefficients, runs and states of its own) through
// stages stages (1 to 4) of response R and then the output clipper, to the
// bit what the 256-bit passes give (vectorFilterCascadeClippedWidePair for
// one set, ...Quad for two). A count of zero or less does nothing.
//
// Each response is compiled in a file of its own
// (StateVariableFilterCascade512LowPass.cpp and its two siblings): these
// are the build's longest compilations, and apart they run side by side.

#include "wave/StateVariableFilterKernels.h"

template <VectorFilterResponse R, int Sets>
void vectorFilterCascade512(const VectorFilterLanes* lanes, float inputScale, int dampingStride, int stages,
                            const VectorFilterClip* clip, int count);
