// gpusim-report: summarises one or more results files written by gpusim,
// binary (-b) or ASCII (-a), told apart by their headers. The observations
// of all files are pooled per reward variable; for each variable it prints
// the name, the number of observations, the mean, the standard deviation,
// the confidence interval of the mean (Student's t) with its half-width and
// relative half-width, and the runs' metadata. --csv and --json give the
// same figures for other tools; --plot draws the convergence pictures with
// gnuplot. The variables' names come from each file's companion metadata
// file (<file>.meta, written by gpusim and gpusim-manager); a variable that
// no companion names is shown as pv<number>. The summary is SummaryTable's,
// the format gpusim-manager prints too. Files whose metadata share a sweep=
// key are the points of a parameter sweep: reported point by point and as
// one sweep table, and plotted against the swept value (SweepReport).
//
// A results folder written by gpusim-manager --results-folder is read as
// one study, its figures those of the merged file of the same study;
// --merge DIR FILE makes that merged file (ResultsFolderMerge.h).
//
// Exit status, so that a script can tell the cases apart:
//   0  complete: every file read to its end, each batch count matching what
//      the file holds (--merge: the merged file written);
//   1  unreadable: a file cannot be opened, or is not a results file; a
//      results folder is unfinished (no index) or misses a file (--merge:
//      the folder cannot be merged or the file written);
//   2  usage error;
//   3  damaged: a cut or corrupt block or line, a missing ASCII trailer, or a
//      batch count that disagrees with the observations; what could be read
//      is summarised and a warning says what is wrong;
//   4  the figures are complete but the picture could not be drawn.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/ProgramInfo.h"
#include "report/PlotWriter.h"
#include "report/PooledResults.h"
#include "report/ResultsFolderMerge.h"
#include "report/ReportWriter.h"
#include "report/SweepReport.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kPlotError = 4;

const char kHelp[] =
    "Usage: gpusim-report [options] <results file or folder>...\n"
    "       gpusim-report --merge <results folder> <merged file>\n"
    "Summarises binary or ASCII results files written by gpusim. The observations\n"
    "of several files are pooled per reward variable, in the order given.\n"
    "\n"
    "A results folder (gpusim-manager --results-folder) is read as one study: its\n"
    "figures are those of the merged file of the same study. --merge writes that\n"
    "merged file, byte for byte the one --binary writes, with its FILE.meta.\n"
    "\n"
    "Options:\n"
    "  --csv             print the figures as CSV\n"
    "  --json            print the figures as JSON\n"
    "  --confidence C    confidence level of the intervals, 0 < C < 1 (default 0.95)\n"
    "  --plot FILE       also draw, per reward variable, the running mean with its\n"
    "                    confidence band and the histogram of the observations into\n"
    "                    FILE (.svg or .png) with gnuplot; the gnuplot script is kept\n"
    "                    as FILE.gp; each panel states its final interval\n"
    "  --reference NAME=VALUE\n"
    "                    draw VALUE (an exact result, a target) as a dashed line in\n"
    "                    the plots of variable NAME (its name or number); repeatable\n"
    "  --variables A,B   plot only these variables (names or numbers)\n"
    "  -h, --help        print this help and exit\n"
    "  -V, --version     print the version and exit\n"
    "\n"
    "Variables are named from each file's metadata file <file>.meta, written\n"
    "beside it by gpusim and gpusim-manager; without one they are named by\n"
    "number: pv0, pv1, ...\n"
    "\n"
    "Parameter sweeps: files whose metadata share one sweep=NAME[,NAME...] key\n"
    "(written by gpusim-manager's sweeps) are points of a sweep, not pooled: each\n"
    "gets its own table and the sweep a table with the swept values first (CSV:\n"
    "point,NAME...,<the usual columns>); --plot draws every variable against the\n"
    "first swept value, with its interval as error bars.\n"
    "\n"
    "Files whose runs used a seed in common with the same generator hold the same\n"
    "stream of observations: pooling them is reported with a warning naming the\n"
    "files and seeds. The seeds compared are those the metadata lists (every\n"
    "simulator's of a merged file, the run's own of a single run); a file without\n"
    "metadata offers its header's seed.\n"
    "\n"
    "Exit status: 0 when every file is complete; 1 when a file cannot be read or\n"
    "is not a results file (a results folder without its index is unfinished);\n"
    "2 on a usage error; 3 when a file is damaged (cut, corrupt, or its batch\n"
    "count disagrees with what it holds: the figures of what could be read are\n"
    "still printed); 4 when the figures are complete but the picture could not\n"
    "be drawn.\n";

enum class Style { kText, kCsv, kJson };

constexpr int kUnreadable = 1;
constexpr int kDamaged = 3;

struct Options {
  Style style = Style::kText;
  double confidence = 0.95;
  std::string plotPath;
  std::vector<std::pair<std::string, double>> references;
  std::vector<std::string> variables;
  std::vector<std::string> paths;
};

int Usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "gpusim-report: " << problem << "\n";
  std::cerr << "Usage: gpusim-report [--csv | --json] [--confidence C] [--plot FILE.svg|FILE.png]\n"
               "                     [--reference NAME=VALUE]... [--variables A,B] <results file or folder>...\n"
               "       gpusim-report --merge <results folder> <merged file>\n"
               "Summarises binary or ASCII results files written by gpusim (--help for more).\n";
  return kUsageError;
}

bool ParseConfidence(const char* text, double* confidence) {
  char* end = nullptr;
  *confidence = std::strtod(text, &end);
  return end != text && *end == '\0' && *confidence > 0.0 && *confidence < 1.0;
}

// "NAME=VALUE" with a finite VALUE; the name may itself hold '='.
bool ParseReference(const std::string& text, std::vector<std::pair<std::string, double>>* references) {
  const std::size_t equals = text.rfind('=');
  if (equals == std::string::npos || equals == 0) return false;
  const std::string number = text.substr(equals + 1);
  char* end = nullptr;
  const double value = std::strtod(number.c_str(), &end);
  if (number.empty() || *end != '\0' || !std::isfinite(value)) return false;
  references->emplace_back(text.substr(0, equals), value);
  return true;
}

// Returns 0 when the command line is usable, otherwise the usage status.
int ParseArguments(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--csv") {
      options->style = Style::kCsv;
    } else if (argument == "--json") {
      options->style = Style::kJson;
    } else if (argument == "--confidence" || argument == "--plot" || argument == "--reference" ||
               argument == "--variables") {
      if (i + 1 >= argc) return Usage(argument + " needs a value");
      const char* value = argv[++i];
      if (argument == "--reference") {
        if (!ParseReference(value, &options->references)) return Usage(std::string("--reference: not NAME=VALUE: ") + value);
      } else if (argument == "--variables") {
        std::istringstream names(value);
        for (std::string name; std::getline(names, name, ',');) {
          if (!name.empty()) options->variables.push_back(name);
        }
        if (options->variables.empty()) return Usage("--variables: name at least one variable");
      } else if (argument == "--plot") {
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
  for (const PooledResults::RepeatedStream& repeated : results->RepeatedStreams()) {
    std::string seeds;
    for (const std::string& seed : repeated.seeds) seeds += (seeds.empty() ? "" : ", ") + seed;
    std::cerr << "gpusim-report: warning: " << results->Files()[repeated.first].path << " and "
              << results->Files()[repeated.second].path << " both used seed" << (repeated.seeds.size() > 1 ? "s " : " ")
              << seeds << " of generator " << (repeated.generator.empty() ? "?" : repeated.generator)
              << ": those observations are the same stream, not independent ones"
              << (repeated.fromHeader ? " (a file without metadata: its header's seed was compared)" : "") << "\n";
  }
  return allReadable;
}

// The plot choices by variable number, or a usage problem naming what no
// file holds.
std::string ResolveChoices(const Options& options, const std::vector<SummaryTable::Row>& rows, PlotChoices* choices) {
  std::string known;
  for (const SummaryTable::Row& row : rows) known += (known.empty() ? "" : ", ") + row.name;
  for (const auto& [name, value] : options.references) {
    const int pv = VariableNumber(rows, name);
    if (pv < 0) return "--reference: no variable " + name + " with observations (there are: " + known + ")";
    choices->references[pv] = value;
  }
  for (const std::string& name : options.variables) {
    const int pv = VariableNumber(rows, name);
    if (pv < 0) return "--variables: no variable " + name + " with observations (there are: " + known + ")";
    choices->variables.insert(pv);
  }
  return "";
}

// Draws the picture; the status to end with given the data's status.
int DrawPicture(const Options& options, const std::string& script, int dataStatus) {
  const std::string problem = RunGnuplot(script, options.plotPath, 120);
  if (problem.empty()) return dataStatus;
  std::cerr << "gpusim-report: cannot draw " << options.plotPath << ": " << problem << "\n";
  return dataStatus == 0 ? kPlotError : dataStatus;
}

template <typename Writer>
void Print(const Writer& writer, Style style) {
  switch (style) {
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
}

bool AnyDamaged(const PooledResults& results) {
  for (const PooledResults::File& file : results.Files()) {
    if (file.damaged) return true;
  }
  return false;
}

// The points of a sweep, each file its own table.
int ReportSweep(const Options& options, const std::vector<std::string>& names) {
  SweepReport sweep(names, options.confidence);
  bool allReadable = true;
  bool damaged = false;
  std::vector<SummaryTable::Row> rows;
  for (const std::string& path : options.paths) {
    PooledResults& point = sweep.AddPoint();
    allReadable = ReadAll({path}, &point) && allReadable;
    damaged = damaged || AnyDamaged(point);
    const std::vector<SummaryTable::Row> pointRows = point.Rows(options.confidence);
    rows.insert(rows.end(), pointRows.begin(), pointRows.end());
  }
  PlotChoices choices;
  const std::string problem = ResolveChoices(options, rows, &choices);
  if (!problem.empty()) return Usage(problem);
  Print(sweep, options.style);
  const int dataStatus = !allReadable ? kUnreadable : damaged ? kDamaged : 0;
  if (options.plotPath.empty()) return dataStatus;
  return DrawPicture(options, sweep.Script(options.plotPath, choices), dataStatus);
}

// gpusim-report --merge FOLDER FILE
int Merge(int argc, char** argv) {
  if (argc != 4) return Usage("--merge needs a results folder and the file to write, and nothing else");
  std::string error;
  if (!MergeResultsFolder(argv[2], argv[3], &error)) {
    std::cerr << "gpusim-report: " << error << "\n";
    return kUnreadable;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerInfoRequest(argc, argv, std::cout, "gpusim-report", kHelp)) return 0;
  if (argc > 1 && std::strcmp(argv[1], "--merge") == 0) return Merge(argc, argv);
  Options options;
  if (const int status = ParseArguments(argc, argv, &options)) return status;
  const std::vector<std::string> swept = SweepReport::SweptNames(options.paths);
  if (!swept.empty()) return ReportSweep(options, swept);

  PooledResults results({}, !options.plotPath.empty());
  const bool allReadable = ReadAll(options.paths, &results);
  if (results.Files().empty()) return kUnreadable;
  PlotChoices choices;
  const std::string problem = ResolveChoices(options, results.Rows(options.confidence), &choices);
  if (!problem.empty()) return Usage(problem);

  Print(ReportWriter(results, options.confidence), options.style);
  const int dataStatus = !allReadable ? kUnreadable : AnyDamaged(results) ? kDamaged : 0;
  if (options.plotPath.empty()) return dataStatus;
  if (!results.FillBins()) std::cerr << "gpusim-report: warning: a file changed while it was read twice\n";
  const PlotWriter plot(results, options.confidence, choices);
  return DrawPicture(options, plot.Script(options.plotPath), dataStatus);
}
