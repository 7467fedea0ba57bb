// The command line of gpusim-manager: its own options, then "--" and the
// options passed on to every simulator. A model file (--model FILE) is
// passed on with an absolute path: every simulator, local or remote, reads
// it at that path (a shared file system; the manager ships nothing). Parsing never starts a process and
// never exits: it returns the settings or a message naming the problem.
//
// The option table in ManagerOptions.cpp is the one place to add an option;
// launcher-specific settings go into launcherSettings under the option's
// name, so that a new launcher needs no new field here.
#ifndef MANAGER_MANAGER_OPTIONS_H
#define MANAGER_MANAGER_OPTIONS_H

#include <map>
#include <string>
#include <vector>

#include "manager/StudySettings.h"
#include "manager/Sweep.h"

// The study's own settings (StudySettings) as given, then what only the
// manager uses: where the results go, how simulators are started.
struct ManagerOptions : StudySettings {
  enum class Output { kText, kCsv, kJson };

  ManagerOptions() { simulators = 0; }  // 0 until parsed: the number of cores

  std::string binaryFile;
  // --results-folder: one results file per simulator and an index
  // (ResultsFolderWriter.h); a sweep writes one such folder per point.
  std::string resultsFolder;
  bool forceBinary = false;  // --force: replace a link, a foreign file, an earlier results folder
  Output output = Output::kText;
  std::string launcher = "local";
  std::map<std::string, std::string> launcherSettings;
  // Read from the simulator arguments, for the merged file's header.
  int experiment = 0;
  int generator = 0;
  // -t 0 among them: what decides a steady-state study when the simulator
  // cannot say (its metadata, when it has some, decides).
  bool steadyStateArgument = false;

  // A sweep (Sweep.h): --experiments as given, and the --sweep axes in order.
  std::string experiments;
  std::vector<SweepAxis> sweeps;
  bool Sweeping() const { return !experiments.empty() || !sweeps.empty(); }

  bool showHelp = false;
  bool showVersion = false;
};

// Parses argv[1..argc). On a usage error returns false with error set.
bool ParseManagerOptions(int argc, const char* const* argv, ManagerOptions& options, std::string& error);
std::string ManagerUsage();
// The gpusim executable to start: --gpusim, or "gpusim" beside the running
// manager. False with error set when it is not an executable file.
bool ResolveGpusim(ManagerOptions& options, std::string& error);

#endif
