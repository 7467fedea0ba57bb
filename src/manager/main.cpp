// gpusim-manager: runs a study on several gpusim processes, merges their
// observations and prints the summary; with --experiments or --sweep, one
// such study per point of the sweep (Sweep.h), one point at a time. See
// ManagerOptions.h for the command line and StudyReport.h for the exit
// status (2: a bad command line, with nothing started; a sweep ends with
// the worst of its points' statuses).
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>

#include "manager/DescriptorLimit.h"
#include "manager/LauncherFactory.h"
#include "manager/ManagerOptions.h"
#include "manager/ManagerSignals.h"
#include "manager/ResultsFile.h"
#include "manager/ResultsFolderWriter.h"
#include "manager/RunMetadata.h"
#include "manager/SteadyStateReport.h"
#include "manager/Sweep.h"
#include "manager/Study.h"
#include "manager/StudyReport.h"

namespace {

int UsageError(const std::string& problem) {
  std::cerr << "gpusim-manager: " << problem << "\n\n" << ManagerUsage();
  return 2;
}

// The spools go beside the results file, on its file system; a device
// (/dev/null) has no folder worth writing to, and they go to $TMPDIR.
std::string SpoolFolder(const std::string& binaryFile) {
  struct stat status {};
  if (binaryFile.empty() || (::stat(binaryFile.c_str(), &status) == 0 && S_ISCHR(status.st_mode))) return "";
  const std::size_t slash = binaryFile.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : binaryFile.substr(0, slash);
}

StudySettings SettingsFrom(const ManagerOptions& options) {
  StudySettings settings = options;
  // Fewer replications than simulators: the extra simulators would have no share.
  if (options.replications > 0 && options.replications < settings.simulators) {
    settings.simulators = static_cast<int>(options.replications);
  }
  settings.keepBlocks = !options.binaryFile.empty() || !options.resultsFolder.empty();
  settings.spoolFolder = SpoolFolder(options.binaryFile);
  return settings;
}

// The run's metadata, asked of the simulator here, or through the launcher
// when it is only on the remote hosts.
bool DescribeRun(const ManagerOptions& options, const std::vector<std::string>& simulatorArguments,
                 ResultsMetadata* metadata, std::string* error, bool* refused = nullptr) {
  if (!options.gpusim.empty()) {
    return LearnRunMetadata(options.gpusim, simulatorArguments, options.startTimeoutSeconds, metadata, error, refused);
  }
  std::unique_ptr<Launcher> launcher = MakeLauncher(options);
  return LearnRunMetadataThrough(*launcher, options.gpusim, simulatorArguments, options.startTimeoutSeconds, metadata,
                                 error, refused);
}

// What the run's metadata decides: the variables' names, and whether the
// study is steady-state (from the simulator's own word when it has one).
void ApplyMetadata(const ResultsMetadata& metadata, ManagerOptions& options, StudySettings& settings) {
  settings.variableNames = options.variableNames = metadata.Names();
  const std::string simulation = metadata.Get("simulation");
  settings.steadyState = options.steadyState =
      simulation.empty() ? options.steadyStateArgument : simulation == "steady-state";
  settings.reportedVariables = 0;
  for (const ResultsMetadata::Variable& v : metadata.Variables()) {
    settings.reportedVariables += (v.kind.compare(0, 12, "steady-state") == 0) == settings.steadyState;
  }
}

// Why the run described cannot make a study, or nothing: a simulator would
// start, find no variable of the run's kind and end, and the study would
// lose every simulator.
std::string KindProblem(const ResultsMetadata& metadata) {
  const std::vector<ResultsMetadata::Variable> variables = metadata.Variables();
  if (variables.empty()) return "";
  const bool steady = metadata.Get("simulation") == "steady-state";
  for (const ResultsMetadata::Variable& v : variables) {
    if ((v.kind.compare(0, 12, "steady-state") == 0) == steady) return "";
  }
  return steady ? "a steady-state study (-t 0) needs a steady-state variable (a reward with a steady [start, stop] "
                  "window), and the model has none"
                : "a terminating study needs an instant-of-time or interval-of-time variable, and the model has "
                  "only steady-state ones (run it with -t 0)";
}

// 1 (failed) is worse than 3 (short of the target), which is worse than 0.
int Worse(int a, int b) {
  if (a == 1 || b == 1) return 1;
  return a != 0 ? a : b;
}

struct StudyOutcome {
  int status = 0;
  bool signalled = false;
};

// Where a study's results go, opened by the caller before anything starts:
// the --binary file or the --results-folder, or neither.
struct ResultsTarget {
  ResultsFile file;
  ResultsFolderWriter folder;

  // Checks and opens what options name; false with a message naming it.
  bool Open(const ManagerOptions& options, StudySettings& settings, std::string& error) {
    if (!options.binaryFile.empty() && !file.Open(options.binaryFile, options.forceBinary, error)) {
      error = "cannot write the results file '" + options.binaryFile + "': " + error;
      return false;
    }
    if (!options.resultsFolder.empty() &&
        !folder.Open(options.resultsFolder, settings.simulators, options.forceBinary, error)) {
      error = "cannot write the results folder '" + options.resultsFolder + "': " + error;
      return false;
    }
    settings.blockFiles = folder.Descriptors();
    return true;
  }
};

// Runs one study (a whole study, or a sweep's point) into results (opened
// by the caller) and prints its summary when print is set; summary, if
// given, receives its figures.
StudyOutcome RunStudy(const ManagerOptions& options, const StudySettings& settings, const ResultsMetadata& metadata,
                      ManagerSignals& signals, ResultsTarget& results, bool print, SummaryTable* summary) {
  std::unique_ptr<Launcher> launcher = MakeLauncher(options);
  Study study(settings, results.file.IsRegularFile() ? results.file.Descriptor() : -1);
  study.Run(*launcher, signals);
  StudyReport report(options, study, options.binaryFile.empty() ? nullptr : &results.file, metadata, &results.folder);
  report.Collect();
  if (print) report.Print(std::cout, std::cerr);
  const bool table = print && options.output == ManagerOptions::Output::kText;
  PrintSteadyStateReport(study, settings, table ? std::cout : std::cerr, std::cerr);
  std::cout << std::flush;
  if (summary != nullptr) *summary = report.Summary();
  StudyOutcome outcome;
  outcome.status = report.ExitStatus();
  outcome.signalled = study.Reason() == Study::StopReason::kSignal;
  return outcome;
}

int RunSingleStudy(ManagerOptions& options, ManagerSignals& signals) {
  StudySettings settings = SettingsFrom(options);
  std::string error;
  if (!ReserveDescriptors(DescriptorsNeeded(settings.simulators, settings.keepBlocks), error)) {
    return UsageError(error);
  }
  // The results file or folder is checked and opened before any simulator starts.
  ResultsTarget results;
  if (!results.Open(options, settings, error)) return UsageError(error);
  // The variables' names come from the simulator itself, so that any model
  // it runs is labelled with its own names; asked only once the command
  // line and the results file are accepted, so that a refused study starts
  // nothing.
  ResultsMetadata metadata;
  bool refused = false;
  const bool described = DescribeRun(options, options.simulatorArguments, &metadata, &error, &refused);
  if (!described && refused) {
    // Every simulator would refuse it the same way (an override it cannot
    // apply, a model file it cannot read).
    return UsageError("the simulator refuses the run: " + error);
  }
  if (!KindProblem(metadata).empty()) return UsageError(KindProblem(metadata));
  if (!described) {
    const std::string simulator = options.gpusim.empty() ? "the remote simulator" : options.gpusim;
    std::cerr << "gpusim-manager: warning: " << simulator << " --metadata did not describe the run (" << error
              << "): the variables are numbered\n";
  }
  ApplyMetadata(metadata, options, settings);
  return RunStudy(options, settings, metadata, signals, results, true, nullptr).status;
}

// The sweep as one table, the swept values leading (CSV and JSON; the text
// form printed each point's own table as it ended).
void PrintSweepTable(const ManagerOptions& options, const std::vector<SweepPoint>& points,
                     const std::vector<SummaryTable>& summaries) {
  if (options.output == ManagerOptions::Output::kText) return;
  std::vector<std::string> names;
  for (const auto& [name, value] : points.front().values) names.push_back(name);
  std::vector<SummaryTable::Point> rows;
  for (std::size_t i = 0; i < summaries.size(); ++i) {
    SummaryTable::Point row;
    for (const auto& [name, value] : points[i].values) row.values.push_back(value);
    row.table = &summaries[i];
    rows.push_back(row);
  }
  if (options.output == ManagerOptions::Output::kCsv) SummaryTable::PrintSweepCsv(std::cout, names, rows);
  if (options.output == ManagerOptions::Output::kJson) SummaryTable::PrintSweepJson(std::cout, names, rows);
}

// Every point is planned and described by the simulator before the first
// one starts: a global the model lacks, or a value its type cannot take,
// is refused with nothing started.
int RunSweep(ManagerOptions& options, ManagerSignals& signals) {
  std::string error;
  ResultsMetadata base;
  if (!DescribeRun(options, options.simulatorArguments, &base, &error)) {
    return UsageError(
        "a sweep needs the model's globals and experiments, but the simulator's --metadata did not "
        "describe the run: " +
        error);
  }
  if (!KindProblem(base).empty()) return UsageError(KindProblem(base));
  std::vector<SweepPoint> points;
  if (!PlanSweep(options.experiments, options.sweeps, options.simulatorArguments, base, &points, &error)) {
    return UsageError(error);
  }
  struct stat folder {};
  if (!options.binaryFile.empty() && (::stat(options.binaryFile.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))) {
    return UsageError("--binary " + options.binaryFile + " is not an existing folder");
  }
  // Every point's results folder goes in one folder, made here if need be.
  if (!options.resultsFolder.empty() && ::mkdir(options.resultsFolder.c_str(), 0777) != 0 &&
      (errno != EEXIST || ::stat(options.resultsFolder.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))) {
    return UsageError("--results-folder " + options.resultsFolder + " is not a folder the sweep can write into");
  }
  std::vector<ResultsMetadata> described(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (!DescribeRun(options, points[i].simulatorArguments, &described[i], &error)) {
      return UsageError("point " + std::to_string(points[i].number) + " (" + DescribePoint(points[i]) +
                        ") is refused by the simulator: " + error);
    }
    described[i].Add("sweep", SweepKey(points));
  }
  const bool text = options.output == ManagerOptions::Output::kText;
  // Each point's summary, for the sweep's table of points.
  std::vector<SummaryTable> summaries;
  int status = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    ManagerOptions point = options;
    point.simulatorArguments = points[i].simulatorArguments;
    if (!options.binaryFile.empty()) {
      point.binaryFile = options.binaryFile + "point-" + std::to_string(points[i].number) + ".bin";
    }
    if (!options.resultsFolder.empty()) {
      point.resultsFolder = options.resultsFolder + "/point-" + std::to_string(points[i].number);
    }
    if (!options.experiments.empty()) point.experiment = std::atoi(points[i].values.front().second.c_str());
    StudySettings settings = SettingsFrom(point);
    settings.firstSeedIndex = static_cast<int>(i) * settings.simulators;
    ApplyMetadata(described[i], point, settings);
    if (!ReserveDescriptors(DescriptorsNeeded(settings.simulators, settings.keepBlocks), error)) {
      return UsageError(error);
    }
    if (text) {
      std::cout << (i ? "\n" : "") << "Point " << points[i].number << " of " << points.size() << ": "
                << DescribePoint(points[i]) << "\n";
    } else {
      // Its steady-state table, if any, follows on the error stream.
      std::cerr << "gpusim-manager: point " << points[i].number << " of " << points.size() << ": "
                << DescribePoint(points[i]) << "\n";
    }
    ResultsTarget results;
    if (!results.Open(point, settings, error)) {
      std::cerr << "gpusim-manager: " << error << "; the sweep ends\n";
      status = 1;
      break;
    }
    summaries.emplace_back(options.precision.confidence);
    const StudyOutcome outcome = RunStudy(point, settings, described[i], signals, results, text, &summaries.back());
    status = Worse(status, outcome.status);
    if (outcome.signalled) {
      std::cerr << "gpusim-manager: stopped by a signal: the sweep ends after point " << points[i].number << " of "
                << points.size() << "\n";
      break;
    }
  }
  PrintSweepTable(options, points, summaries);
  std::cout << std::flush;
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  ManagerOptions options;
  std::string error;
  if (!ParseManagerOptions(argc, argv, options, error)) return UsageError(error);
  if (options.showHelp) {
    std::cout << ManagerUsage();
    return 0;
  }
  if (options.showVersion) {
    std::cout << "gpusim-manager " << GPUSIM_VERSION << "\n";
    return 0;
  }
  if (!ResolveGpusim(options, error)) return UsageError(error);

  // From here on a stop signal stops the study, however early it comes.
  ManagerSignals signals;
  return options.Sweeping() ? RunSweep(options, signals) : RunSingleStudy(options, signals);
}
