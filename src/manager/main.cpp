// gpusim-manager: runs a study on several gpusim processes, merges their
// observations and prints the summary. See ManagerOptions.h for the command
// line and StudyReport.h for the exit status (2: a bad command line, with
// nothing started).
#include <iostream>

#include "manager/DescriptorLimit.h"
#include "manager/LauncherFactory.h"
#include "manager/ManagerOptions.h"
#include "manager/ManagerSignals.h"
#include "manager/ResultsFile.h"
#include "manager/RunMetadata.h"
#include "manager/Study.h"
#include "manager/StudyReport.h"

namespace {

int UsageError(const std::string& problem) {
  std::cerr << "gpusim-manager: " << problem << "\n\n" << ManagerUsage();
  return 2;
}

StudySettings SettingsFrom(const ManagerOptions& options) {
  StudySettings settings = options;
  // Fewer replications than simulators: the extra simulators would have no share.
  if (options.replications > 0 && options.replications < settings.simulators) {
    settings.simulators = static_cast<int>(options.replications);
  }
  settings.keepBlocks = !options.binaryFile.empty();
  return settings;
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
  StudySettings settings = SettingsFrom(options);
  if (!ReserveDescriptors(DescriptorsNeeded(settings.simulators, settings.keepBlocks), error)) {
    return UsageError(error);
  }
  // The results file is checked and opened before any simulator starts.
  ResultsFile results;
  if (settings.keepBlocks && !results.Open(options.binaryFile, options.forceBinary, error)) {
    return UsageError("cannot write the results file '" + options.binaryFile + "': " + error);
  }
  // The variables' names come from the simulator itself, so that any model
  // it runs is labelled with its own names; asked only once the command
  // line and the results file are accepted, so that a refused study starts
  // nothing.
  ResultsMetadata metadata;
  if (options.gpusim.empty()) {
    std::cerr << "gpusim-manager: warning: the simulator is only on the remote hosts: the variables are numbered\n";
  } else if (!LearnRunMetadata(options.gpusim, options.simulatorArguments, options.startTimeoutSeconds, &metadata,
                               &error)) {
    std::cerr << "gpusim-manager: warning: " << options.gpusim << " --metadata did not describe the run (" << error
              << "): the variables are numbered\n";
  }
  settings.variableNames = options.variableNames = metadata.Names();
  std::unique_ptr<Launcher> launcher = MakeLauncher(options);
  Study study(settings);
  study.Run(*launcher, signals);
  StudyReport report(options, study, settings.keepBlocks ? &results : nullptr, metadata);
  report.Collect();
  report.Print(std::cout, std::cerr);
  std::cout << std::flush;
  return report.ExitStatus();
}
