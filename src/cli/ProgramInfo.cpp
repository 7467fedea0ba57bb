#include "cli/ProgramInfo.h"

#include <cstring>

InfoRequest FindInfoRequest(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return InfoRequest::kHelp;
    if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) return InfoRequest::kVersion;
  }
  return InfoRequest::kNone;
}

void PrintVersion(std::ostream& out, const char* program) { out << program << ' ' << GPUSIM_VERSION << '\n'; }

bool AnswerInfoRequest(int argc, char** argv, std::ostream& out, const char* program, const char* helpText) {
  switch (FindInfoRequest(argc, argv)) {
    case InfoRequest::kHelp:
      out << helpText;
      return true;
    case InfoRequest::kVersion:
      PrintVersion(out, program);
      return true;
    case InfoRequest::kNone:
      break;
  }
  return false;
}
