#pragma once

// Control values as texts. The host shows a value in a field of a few
// characters and lets the user type one back: a real value becomes the best
// text that fits the length asked for (a decimal prefix such as k or M, a
// unit, as many decimals as fit), and a typed text becomes a value again.

#include <cstdint>
#include <string>

// One decimal prefix: its text and the factor it stands for.
struct PrefixDictionaryEntry {
  const char* prefix;
  double factor;
};

// All prefixes, by increasing factor, followed by an end entry {null, 0}.
// Callers pass a sub-range (first entry, one past the last entry).
inline constexpr PrefixDictionaryEntry kPrefixDictionary[] = {
    {"f", 1e-15}, {"p", 1e-12}, {"n", 1e-9}, {"u", 1e-6}, {"m", 1e-3}, {"", 1.0},  {"k", 1e3},
    {"M", 1e6},   {"G", 1e9},   {"T", 1e12}, {"P", 1e15}, {"E", 1e18}, {nullptr, 0.0}};
// The entries "" (factor 1) and "E": the parameter controls use the range
// between them, both included, so values below 1 never take m, u, n, p or f.
inline constexpr const PrefixDictionaryEntry* kPrefixNone = &kPrefixDictionary[5];
inline constexpr const PrefixDictionaryEntry* kPrefixExa = &kPrefixDictionary[11];

// value as a text of at most maxLength characters: the largest prefix of the
// range [first, end) whose factor lies below the magnitude (none when first
// is null or value is 0), the number with precision decimals, fewer while the
// number and prefix do not fit, then the unit (after a space when
// spaceBeforeUnit and it fits). When not even the number without decimals
// fits, "*" takes its place, with as much of prefix and unit as fits. A
// negative zero is never shown. A negative maxLength sets no limit.
std::string ContinuousToString(double value, int precision, const std::string& unit, int maxLength,
                               const PrefixDictionaryEntry* first, const PrefixDictionaryEntry* end,
                               bool spaceBeforeUnit);

// A typed value: a number, then optionally one word, the suffix (else
// defaultSuffix), of a prefix and the unit ("2.5k", "2.5 kHz", "2.5kHz" for
// unit "Hz"). The unit may be left out; the prefix must be one of the range
// exactly (case-sensitive). Without a range (first null) no prefix is allowed.
// Throws CDAEError -7401 for a text it cannot read; nothing is clamped.
double StringToContinuous(const std::string& text, const std::string& unit, const PrefixDictionaryEntry* first,
                          const PrefixDictionaryEntry* end, std::string defaultSuffix);

// Writes text cut to maxLength characters into out, which holds maxLength + 1
// bytes; out[maxLength] is always 0. A negative maxLength writes nothing.
void CopyValueText(char* out, int32_t maxLength, const std::string& text);
