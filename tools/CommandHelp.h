#pragma once

// How the small programs of the build (the resource makers, the picture
// sheets, the self-check, the benchmarks' helpers) answer --help and a
// command line they cannot use, all alike:
//
//   if (zarn::tools::helpAsked(argc, argv)) return zarn::tools::usage(true, kUsage, kHelp);
//   if (argc > 2) return zarn::tools::usage(false, kUsage);
//
// Asked for help, a program prints its usage and what it does on standard
// output and succeeds; given a command line it cannot use, it prints the
// usage alone on standard error and exits with 2. An option's number that
// cannot be used is refused with its reason first (wholeNumberOption). Header only, so that any
// program can use it without linking anything.
//
// Thread: the program's main thread, before it starts others.

#include <cstdio>
#include <cstring>

namespace zarn::tools {

// Whether an argument asks for help.
inline bool isHelpOption(const char* arg) { return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0; }

// Whether the program's first argument asks for help.
inline bool helpAsked(int argc, char** argv) { return argc >= 2 && isHelpOption(argv[1]); }

// Prints usage (and, when asked, help after it); the exit status.
inline int usage(bool asked, const char* usageText, const char* helpText = "") {
  std::fputs(usageText, asked ? stdout : stderr);
  if (asked) std::fputs(helpText, stdout);
  return asked ? 0 : 2;
}

// For a program whose one argument is a name to write to (a file or a
// folder): the exit status when the command line asks for help or cannot
// be used (no name, more than one, an empty one, or an option where the
// name belongs), or -1 to go on.
inline int checkOneName(int argc, char** argv, const char* usageText, const char* helpText = "") {
  if (helpAsked(argc, argv)) return usage(true, usageText, helpText);
  if (argc != 2 || argv[1][0] == '\0' || argv[1][0] == '-') return usage(false, usageText);
  return -1;
}

// Reads the value of an option that takes a whole number from least to
// most: decimal digits alone. A value read only as far as it goes would
// take "2.9" or "2abc" for 2 and "1e9" for 1, so anything else (a sign, a
// point, a power of ten, a unit, spaces, nothing) is refused, as is a
// number outside the range. On a refusal, prints
// "PROGRAM: OPTION TEXT is not a whole number from LEAST to MOST" on
// standard error and gives false; the caller then ends as for any command
// line it cannot use (usage, exit status 2).
inline bool wholeNumberOption(const char* program, const char* option, const char* text, int least, int most,
                              int& value) {
  long long number = 0;
  bool digits = text[0] != '\0';
  for (const char* c = text; *c && digits; ++c) {
    digits = *c >= '0' && *c <= '9';
    // Past the range already: no larger number can come back into it.
    if (digits && number <= most) number = number * 10 + (*c - '0');
  }
  if (!digits || number < least || number > most) {
    std::fprintf(stderr, "%s: %s %s is not a whole number from %d to %d\n", program, option, text, least, most);
    return false;
  }
  value = static_cast<int>(number);
  return true;
}

} // namespace zarn::tools
