// gpusim-report: summarises one or more results files written by gpusim,
// binary (-b) or ASCII (-a), told apart by their headers. The observations
// of all files are pooled per reward variable; for each variable it prints
// the name, the number of observations, the mean, the standard deviation,
// the confidence interval of the mean (Student's t) with its half-width and
// relative half-width, and the runs' metadata. --csv and --json give the same
// figures for other tools; --plot draws the convergence pictures with
// gnuplot.
//
// Exit status: 0 when every file was read (a short last block, left by a run
// that was stopped while writing, is skipped with a warning); 1 when a file
// cannot be read or is corrupt (the figures of what could be read are still
// printed); 2 on a usage error; 4 when the picture could not be drawn.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ProgramInfo.h"
#include "generated/GpuRewardNames.h"
#include "report/PlotWriter.h"
#include "report/PooledResults.h"
#include "report/ReportWriter.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kPlotError = 4;

const char kHelp[] =
    "Usage: gpusim-report [options] <results file>...\n"
    "Summarises binary or ASCII results files written by gpusim. The observations\n"
    "of several files are pooled per reward variable, in the order given.\n"
    "\n"
    "Options:\n"
    "  --csv             print the figures as CSV\n"
    "  --json            print the figures as JSON\n"
    "  --confidence C    confidence level of the intervals, 0 < C < 1 (default 0.95)\n"
    "  --plot FILE       also draw, per reward variable, the running mean with its\n"
    "                    confidence band and the histogram of the observations into\n"
    "                    FILE (.svg or .png) with gnuplot; the gnuplot script is kept\n"
    "                    as FILE.gp\n"
    "  -h, --help        print this help and exit\n"
    "  -V, --version     print the version and exit\n"
    "\n"
    "Files that share a seed and a generator hold the same stream of observations:\n"
    "pooling them is reported with a warning.\n"
    "\n"
    "Exit status: 0 when every file was read; 1 when a file cannot be read or is\n"
    "corrupt (the figures of what could be read are still printed); 2 on a usage\n"
    "error; 4 when the picture could not be drawn.\n";

enum class Style { kText, kCsv, kJson };

struct Options {
  Style style = Style::kText;
  double confidence = 0.95;
  std::string plotPath;
  std::vector<std::string> paths;
};

int Usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "gpusim-report: " << problem << "\n";
  std::cerr << "Usage: gpusim-report [--csv | --json] [--confidence C] [--plot FILE.svg|FILE.png] <results file>...\n"
               "Summarises binary or ASCII results files written by gpusim (--help for more).\n";
  return kUsageError;
}

bool ParseConfidence(const char* text, double* confidence) {
  char* end = nullptr;
  *confidence = std::strtod(text, &end);
  return end != text && *end == '\0' && *confidence > 0.0 && *confidence < 1.0;
}

// Returns 0 when the command line is usable, otherwise the usage status.
int ParseArguments(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--csv") {
      options->style = Style::kCsv;
    } else if (argument == "--json") {
      options->style = Style::kJson;
    } else if (argument == "--confidence" || argument == "--plot") {
      if (i + 1 >= argc) return Usage(argument + " needs a value");
      const char* value = argv[++i];
      if (argument == "--plot") {
        options->plotPath = value;
        if (PlotWriter::TerminalFor(options->plotPath).empty()) return Usage("--plot: name the picture .svg or .png");
      } else if (!ParseConfidence(value, &options->confidence)) {
        return Usage(std::string("--confidence: not a level between 0 and 1: ") + value);
      }
    } else if (argument.size() > 1 && argument[0] == '-') {
      return Usage("unknown option " + argument);
    } else {
      options->paths.push_back(argument);
    }
  }
  return options->paths.empty() ? Usage("") : 0;
}

// Reads every file into results, reporting each problem; true when all
// were read to their end.
bool ReadAll(const std::vector<std::string>& paths, PooledResults* results) {
  bool complete = true;
  for (const std::string& path : paths) {
    if (results->AddFile(path)) continue;
    complete = false;
    std::cerr << "gpusim-report: " << path << ": " << results->LastError() << "\n";
  }
  for (const PooledResults::File& file : results->Files()) {
    if (file.truncatedBytes > 0) {
      std::cerr << "gpusim-report: warning: " << file.path << " ends in an incomplete record (" << file.truncatedBytes
                << " bytes ignored)\n";
    }
  }
  for (const auto& [first, second] : results->SameStreamPairs()) {
    const PooledResults::File& a = results->Files()[first];
    const PooledResults::File& b = results->Files()[second];
    std::cerr << "gpusim-report: warning: " << a.path << " and " << b.path << " come from the same seed (" << a.seed
              << ") and generator (" << a.generator
              << "): their observations are the same stream, not independent ones\n";
  }
  return complete;
}

}  // namespace

int main(int argc, char** argv) {
  switch (FindInfoRequest(argc, argv)) {
    case InfoRequest::kHelp:
      std::cout << kHelp;
      return 0;
    case InfoRequest::kVersion:
      PrintVersion(std::cout, "gpusim-report");
      return 0;
    case InfoRequest::kNone:
      break;
  }
  Options options;
  if (const int status = ParseArguments(argc, argv, &options)) return status;

  PooledResults results(GpuRewardNames(), !options.plotPath.empty());
  const bool complete = ReadAll(options.paths, &results);
  if (results.Files().empty()) {
    return 1;
  }

  const ReportWriter writer(results, options.confidence);
  switch (options.style) {
    case Style::kText:
      writer.PrintText(std::cout);
      break;
    case Style::kCsv:
      writer.PrintCsv(std::cout);
      break;
    case Style::kJson:
      writer.PrintJson(std::cout);
      break;
  }
  std::cout.flush();

  if (!options.plotPath.empty()) {
    if (!results.FillBins()) std::cerr << "gpusim-report: warning: a file changed while it was read twice\n";
    const std::string problem = PlotWriter(results, options.confidence).Draw(options.plotPath);
    if (!problem.empty()) {
      std::cerr << "gpusim-report: cannot draw " << options.plotPath << ": " << problem << "\n";
      return kPlotError;
    }
  }
  return complete ? 0 : 1;
}
