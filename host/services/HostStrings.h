#pragma once

// Names on their way to and from the host: length-prefixed strings (a length
// byte, then that many characters; buffers of 32, 64 and 256 bytes) and the
// choice among a name's shorter variants.

#include <cstdint>

// The decimal text of number as a length-prefixed string, with a leading '-'
// for negative numbers.
void NumToString(int32_t number, unsigned char* text);

// src shorter than 32 (64) characters is copied whole, a longer one is cut to
// 31 (63) characters; dest holds 32 (64) bytes.
void CopyPStringMax31(const unsigned char* src, unsigned char* dest);
void CopyPStringMax63(const unsigned char* src, unsigned char* dest);
// Copies length + 1 bytes.
void CopyPString(const unsigned char* src, unsigned char* dest);
// Appends src to dest without making dest longer than maxLength characters
// (at most 255, what a length byte can count).
void AppendPString(int32_t maxLength, const unsigned char* src, unsigned char* dest);
// Two null pointers are equal; one null pointer is unequal.
bool EqualPStrings(const unsigned char* a, const unsigned char* b);
// Appends number in decimal, padded with '0' to width characters (a minus
// sign stays in front: -7 at width 3 is "-07"); a wider number is appended
// whole. dest never grows past 255 characters.
void AppendZeroPaddedNumber(int32_t number, unsigned char* dest, int32_t width);

// source holds a name's variants separated by '\n', longest first. Writes the
// first variant of at most maxLength characters, else the last variant cut
// to maxLength, NUL-terminated: dest holds maxLength + 1 bytes. A null source
// gives an empty text.
void GetStringOfLength(char* dest, const char* source, int32_t maxLength);
