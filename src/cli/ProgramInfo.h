// The two requests every gpusim executable answers before reading its own
// options: --help (or -h) prints the usage on standard output, --version (or
// -V) prints "<program> <version>"; both end the process with status 0 and
// do nothing else. The version is the project's one version, GPUSIM_VERSION,
// set in CMakeLists.txt.
#ifndef PROGRAM_INFO_H
#define PROGRAM_INFO_H

#include <ostream>

enum class InfoRequest { kNone, kHelp, kVersion };

// The first help or version request among argv[1..argc-1], or kNone.
InfoRequest FindInfoRequest(int argc, char** argv);

// "<program> <version>\n".
void PrintVersion(std::ostream& out, const char* program);

// Answers a help or version request on out (help prints helpText); true when
// there was one, and the caller then ends with status 0.
bool AnswerInfoRequest(int argc, char** argv, std::ostream& out, const char* program, const char* helpText);

#endif
