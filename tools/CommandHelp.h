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
// usage alone on standard error and exits with 2. Header only, so that any
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

} // namespace zarn::tools
