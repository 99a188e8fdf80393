#pragma once

// Text and number helpers used throughout the system. Text is bytes; number
// formatting and parsing always use the "C" locale, whatever the process's
// locale is.

#include <ctime>
#include <string>
#include <vector>

// -1, 0 or 1; case-insensitive for 'A'..'Z' only. Bytes 0x80..0xFF compare as
// negative values, so they sort before ASCII; a prefix sorts first.
int compareText(const std::string& a, const std::string& b);

// One decimal integer after optional white space; trailing text is ignored.
bool strToInt(const std::string& s, int& value);
int strToIntDef(const std::string& s, int def);
// True only when the whole string was consumed (an empty string gives 0).
bool strToFloat(const std::string& s, double& value);
double strToFloatDef(const std::string& s, double def);

std::string intToStr(int value);
// "INF" above the largest double, "-INF" below its negative and for NaN;
// otherwise the value in the caller's printf format (one double), at most 31
// characters.
std::string floatToStr(double value, const std::string& format);
// "January 5, 2009"
std::string dateToStr(const tm& date);

// Cuts s at every delimiter; empty pieces are kept, the last piece always.
void splitString(const std::string& s, std::vector<std::string>& parts, char delimiter);

// Between list entries and normalised values; table may be null.
float enumToFloat(int value, int count, const int* table);
int floatToEnum(float x, int count, const int* table);

// 24-bit Galois LFSR; the caller keeps the seed. Result in [0, 1) for seeds
// below 2^24.
float randomFloat(int& seed);

int compareDouble(double a, double b, double tolerance);
int roundDownToMultipleOfFour(int n);
int roundUpToMultipleOfFour(int n);
