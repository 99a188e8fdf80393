#pragma once

// Small services of the DSP-card side: gain and coefficient conversions,
// number texts, the keyboard, handle checks, debug output to the host and
// the driver, progress messages to the driver's clients, a busy wait, and
// bit strings.

#include <cstdint>
#include <string>

// 20 log10(gain), never below -144 dB (also for 0 and negative gains).
double GainToDB(double gain);
double GainToDB(const double* gain);
double DBToGain(double dB);
double DBToGain(const double* dB);

// A 24-bit DSP coefficient (clamped to +-8388607) as a fraction of full scale.
double DSPCoefToDouble(int32_t coefficient);
// 8388607 x, saturated to 32 bits (NaN gives 0).
int32_t DoubleToLong(double x);
// x in 24-bit fixed point: 0x7FFFFF from 0.9999998807907104 up, -8388608 below
// -1; truncated (NaN gives 0).
int32_t DoubleToDSPCoef(double x);
// As DoubleToDSPCoef, rounded to nearest with ties to even.
int32_t DoubleToDSPCoefRnd(double x);
double LongToDouble(int32_t value);

// The value with two decimals ("-1.23") as a length-prefixed string.
void FloatToString(float value, unsigned char* text);

// Keys by key code (0..127; other codes are never down).
bool IsThisKeyDown(int16_t keyCode);
bool IsCommandKeyDown();
bool IsControlKeyDown();
bool IsOptionKeyDown();
bool IsShiftKeyDown();

// A handle and its master pointer are both non-null and even; otherwise a
// message goes to the debugger and the answer is false.
bool IsValidHandle(char** handle);

// Debug output through the host callback (selectors 8 and 9); the text is
// cut to 255 characters. Nothing happens without a callback.
void CPlusDebugString(const char* text);
void CPlusDebugLong(int32_t value);
// printf-style text (cut to 255 characters) to the driver's debug output;
// the driver's status.
int32_t PlugInPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Tells every driver client that takes progress messages the progress info;
// the first failing status (the driver's -1 counts as success), else 0.
int32_t SendProgressMessage(int32_t info);

// Busy-waits until at least that many microseconds have passed.
void MicrosecondDelay(int32_t microseconds);

// The lowest bits bits of value (at most 32) as '0' and '1', most
// significant first.
std::string binary2string(uint32_t value, int32_t bits);
// The reverse; a character other than '0' or '1' throws CDAEError -7401.
uint32_t string2binary(const char* text);
