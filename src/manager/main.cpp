// gpusim-manager: runs a study on several gpusim processes, merges their
// observations and prints the summary. See ManagerOptions.h for the command
// line and StudyReport.h for the exit status (2: a bad command line, with
// nothing started).
#include <iostream>

#include "manager/LauncherFactory.h"
#include "manager/ManagerOptions.h"
#include "manager/ManagerSignals.h"
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

  ManagerSignals signals;
  std::unique_ptr<Launcher> launcher = MakeLauncher(options);
  Study study(SettingsFrom(options));
  study.Run(*launcher, signals);
  StudyReport report(options, study);
  report.Collect();
  report.Print(std::cout, std::cerr);
  std::cout << std::flush;
  return report.ExitStatus();
}
