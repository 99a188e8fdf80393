#pragma once

// Element-by-element arithmetic on the float arrays of a block.
//
// Every kernel comes in two forms with the same arguments and formula:
// - ...Fast: SSE, four floats at a time. Every array must be 16-byte aligned
//   and hold n rounded up to a multiple of four elements; exactly that many
//   elements are written (no scalar tail), the extra ones computed from
//   whatever the inputs hold there.
// - ...Cpp: scalar, exactly n elements, any alignment.
// Arguments follow the formula read left to right (input arrays and scalars),
// then the output array(s), then the count. A count of zero or less writes
// nothing. An output may be the very same array as an input; arrays that
// overlap with an offset are not allowed. The two-output level/pan kernels
// need outputs distinct from their inputs.
//
// max(x, y) is x when x > y, else y (a tie or a NaN gives y); min(x, y) is x
// when x < y, else y. Products and sums are evaluated left to right with no
// fused multiply-add, so both forms give bit-identical results.

// out = abs(a)
void vectorAbsFast(const float* a, float* out, int n);
void vectorAbsCpp(const float* a, float* out, int n);
// out = max(abs(a), b)
void vectorAbsMaxFast(const float* a, const float* b, float* out, int n);
void vectorAbsMaxCpp(const float* a, const float* b, float* out, int n);
// out = a + b
void vectorAddFast(const float* a, const float* b, float* out, int n);
void vectorAddCpp(const float* a, const float* b, float* out, int n);
// out = (a + b) * c + d
void vectorAddMulAddFast(const float* a, const float* b, const float* c, const float* d, float* out, int n);
void vectorAddMulAddCpp(const float* a, const float* b, const float* c, const float* d, float* out, int n);
// out = a + s
void vectorAddSFast(const float* a, float s, float* out, int n);
void vectorAddSCpp(const float* a, float s, float* out, int n);
// out = (a + s1) + s2 * b
void vectorAddSAddSMulFast(const float* a, float s1, float s2, const float* b, float* out, int n);
void vectorAddSAddSMulCpp(const float* a, float s1, float s2, const float* b, float* out, int n);
// out1 = level + pan; out2 = level - pan
void vectorLevelPanFreqFast(const float* level, const float* pan, float* out1, float* out2, int n);
void vectorLevelPanFreqCpp(const float* level, const float* pan, float* out1, float* out2, int n);
// out1 = level - max(pan, 0) * level; out2 = level + min(pan, 0) * level:
// a positive pan attenuates the first output, a negative pan the second.
void vectorLevelPanVolumeFast(const float* level, const float* pan, float* out1, float* out2, int n);
void vectorLevelPanVolumeCpp(const float* level, const float* pan, float* out1, float* out2, int n);
// out = min(max(a, lo), hi). The scalar form gives lo when a is not at least
// lo, else min(a, hi); the two agree whenever lo <= hi (a NaN gives lo).
void vectorLimitFast(const float* a, float lo, float hi, float* out, int n);
void vectorLimitCpp(const float* a, float lo, float hi, float* out, int n);
// out = max(a, b)
void vectorMaxFast(const float* a, const float* b, float* out, int n);
void vectorMaxCpp(const float* a, const float* b, float* out, int n);
// out = max(max(a, b), c)
void vectorMax3Fast(const float* a, const float* b, const float* c, float* out, int n);
void vectorMax3Cpp(const float* a, const float* b, const float* c, float* out, int n);
// out = a * b * s
void vectorMul2MulSFast(const float* a, const float* b, float s, float* out, int n);
void vectorMul2MulSCpp(const float* a, const float* b, float s, float* out, int n);
// out = a * b * s + c
void vectorMul2MulSAddFast(const float* a, const float* b, float s, const float* c, float* out, int n);
void vectorMul2MulSAddCpp(const float* a, const float* b, float s, const float* c, float* out, int n);
// out = a * b * c + d
void vectorMul3AddFast(const float* a, const float* b, const float* c, const float* d, float* out, int n);
void vectorMul3AddCpp(const float* a, const float* b, const float* c, const float* d, float* out, int n);
// out = a * b * c * s
void vectorMul3MulSFast(const float* a, const float* b, const float* c, float s, float* out, int n);
void vectorMul3MulSCpp(const float* a, const float* b, const float* c, float s, float* out, int n);
// out = a * b * c * s + d
void vectorMul3MulSAddFast(const float* a, const float* b, const float* c, float s, const float* d, float* out,
                           int n);
void vectorMul3MulSAddCpp(const float* a, const float* b, const float* c, float s, const float* d, float* out,
                          int n);
// out = a * b + c
void vectorMulAddFast(const float* a, const float* b, const float* c, float* out, int n);
void vectorMulAddCpp(const float* a, const float* b, const float* c, float* out, int n);
// out = a * s + b
void vectorMulSAddFast(const float* a, float s, const float* b, float* out, int n);
void vectorMulSAddCpp(const float* a, float s, const float* b, float* out, int n);
// out = a * b
void vectorMultiplyFast(const float* a, const float* b, float* out, int n);
void vectorMultiplyCpp(const float* a, const float* b, float* out, int n);
// out = a * b * c
void vectorMultiply3Fast(const float* a, const float* b, const float* c, float* out, int n);
void vectorMultiply3Cpp(const float* a, const float* b, const float* c, float* out, int n);
// out = max(a * b, c)
void vectorMultiplyMaxFast(const float* a, const float* b, const float* c, float* out, int n);
void vectorMultiplyMaxCpp(const float* a, const float* b, const float* c, float* out, int n);
// out = a * s
void vectorMultiplySFast(const float* a, float s, float* out, int n);
void vectorMultiplySCpp(const float* a, float s, float* out, int n);
// out = (a - b) * c + d
void vectorSubMulAddFast(const float* a, const float* b, const float* c, const float* d, float* out, int n);
void vectorSubMulAddCpp(const float* a, const float* b, const float* c, const float* d, float* out, int n);
