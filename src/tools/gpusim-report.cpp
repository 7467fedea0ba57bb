// gpusim-report: summarises one or more results files written by gpusim,
// binary (-b) or ASCII (-a), told apart by their headers. The observations
// of all files are pooled per reward variable; for each variable it prints
// the name, the number of observations, the mean, the standard deviation,
// the confidence interval of the mean (Student's t) with its half-width and
// relative half-width, and the runs' metadata. --csv and --json give the
// same figures for other tools; --plot draws the convergence pictures with
// gnuplot. The variables' names come from each file's companion metadata
// file (<file>.meta, written by gpusim and gpusim-manager); a variable that
// no companion names is shown as pv<number>.
//
// Exit status, so that a script can tell the cases apart:
//   0  complete: every file read to its end, each batch count matching what
//      the file holds;
//   1  unreadable: a file cannot be opened, or is not a results file;
//   2  usage error;
//   3  damaged: a cut or corrupt block or line, a missing ASCII trailer, or a
//      batch count that disagrees with the observations; what could be read
//      is summarised and a warning says what is wrong;
//   4  the figures are complete but the picture could not be drawn.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ProgramInfo.h"
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
    "Variables are named from each file's metadata file <file>.meta, written\n"
    "beside it by gpusim and gpusim-manager; without one they are named by\n"
    "number: pv0, pv1, ...\n"
    "\n"
    "Files that share a seed and a generator hold the same stream of observations:\n"
    "pooling them is reported with a warning.\n"
    "\n"
    "Exit status: 0 when every file is complete; 1 when a file cannot be read or\n"
    "is not a results file; 2 on a usage error; 3 when a file is damaged (cut,\n"
    "corrupt, or its batch count disagrees with what it holds: the figures of\n"
    "what could be read are still printed); 4 when the figures are complete but\n"
    "the picture could not be drawn.\n";

enum class Style { kText, kCsv, kJson };

constexpr int kUnreadable = 1;
constexpr int kDamaged = 3;

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

// Reads every file into results, reporting each problem: a file that is not
// a results file at all, and a damaged one, summarised as far as it could be
// read. Returns true when every file was a readable results file.
bool ReadAll(const std::vector<std::string>& paths, PooledResults* results) {
  bool allReadable = true;
  for (const std::string& path : paths) {
    const std::size_t filesBefore = results->Files().size();
    if (results->AddFile(path) || results->Files().size() > filesBefore) continue;
    allReadable = false;
    std::cerr << "gpusim-report: " << path << ": " << results->LastError() << "\n";
  }
  for (const PooledResults::File& file : results->Files()) {
    if (file.truncatedBytes > 0) {
      std::cerr << "gpusim-report: warning: " << file.path << " is damaged: it ends in an incomplete record ("
                << file.truncatedBytes << " bytes ignored)\n";
    }
    if (!file.error.empty()) {
      std::cerr << "gpusim-report: warning: " << file.path << " is damaged: " << file.error
                << "; only what comes before is summarised\n";
    }
    for (int pv : file.nameConflicts) {
      std::cerr << "gpusim-report: warning: " << file.path << " names variable " << pv
                << " differently from an earlier file: are they results of the same model?\n";
    }
    if (!file.countProblem.empty()) {
      std::cerr << "gpusim-report: warning: " << file.path << " is damaged: " << file.countProblem << "\n";
    }
  }
  for (const auto& [first, second] : results->SameStreamPairs()) {
    const PooledResults::File& a = results->Files()[first];
    const PooledResults::File& b = results->Files()[second];
    std::cerr << "gpusim-report: warning: " << a.path << " and " << b.path << " come from the same seed (" << a.seed
              << ") and generator (" << a.generator
              << "): their observations are the same stream, not independent ones\n";
  }
  return allReadable;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerInfoRequest(argc, argv, std::cout, "gpusim-report", kHelp)) return 0;
  Options options;
  if (const int status = ParseArguments(argc, argv, &options)) return status;

  PooledResults results({}, !options.plotPath.empty());
  const bool allReadable = ReadAll(options.paths, &results);
  if (results.Files().empty()) return kUnreadable;

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

  bool damaged = false;
  for (const PooledResults::File& file : results.Files()) damaged = damaged || file.damaged;
  const int dataStatus = !allReadable ? kUnreadable : damaged ? kDamaged : 0;
  if (!options.plotPath.empty()) {
    if (!results.FillBins()) std::cerr << "gpusim-report: warning: a file changed while it was read twice\n";
    const std::string problem = PlotWriter(results, options.confidence).Draw(options.plotPath);
    if (!problem.empty()) {
      std::cerr << "gpusim-report: cannot draw " << options.plotPath << ": " << problem << "\n";
      if (dataStatus == 0) return kPlotError;
    }
  }
  return dataStatus;
}
