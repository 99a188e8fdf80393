// The high-pass response of the 512-bit filter cascade, for one and two sets
// of sixteen lanes.
#include "wave/StateVariableFilterCascade512.h"

template void vectorFilterCascade512<cVectorFilterHighPass, 1>(const VectorFilterLanes*, float, int, int,
                                                               const VectorFilterClip*, int);
template void vectorFilterCascade512<cVectorFilterHighPass, 2>(const VectorFilterLanes*, float, int, int,
                                                               const VectorFilterClip*, int);
