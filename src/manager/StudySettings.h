// StudySettings: what a Study needs to run, with the defaults of
// gpusim-manager's command line. ManagerOptions carries them as parsed;
// the manager adjusts a copy (fewer simulators than replications, whether
// the blocks are kept) before handing it to the Study.
#ifndef MANAGER_STUDY_SETTINGS_H
#define MANAGER_STUDY_SETTINGS_H

#include <cstddef>
#include <string>
#include <vector>

#include "manager/Precision.h"

struct StudySettings {
  std::string gpusim;            // empty until resolved: beside the manager
  std::vector<std::string> simulatorArguments;
  int simulators = 1;
  unsigned baseSeed = 31415;
  long replications = 0;         // 0: no limit
  PrecisionTarget precision;
  double maxSeconds = 0.0;       // 0: no limit
  int reportSize = 1000;
  double startTimeoutSeconds = 60.0;
  bool quiet = false;
  bool keepBlocks = false;       // spool the blocks for CopyBlocks
  // Where the spools are made: the results file's folder, so that the
  // final copy stays on one file system (SimulatorSpool.h); empty: $TMPDIR.
  std::string spoolFolder;
  // A results folder's files, by simulator (not owned): each simulator's
  // blocks are written in place in its own, from byte 256 on, rather than
  // to a spool. Empty without --results-folder.
  std::vector<int> blockFiles;
  // Threads reading the simulators' connections (Study.h); 0: chosen from
  // the number of simulators and of cores (IngestThreadsFor).
  int ingestThreads = 0;
  // A steady-state study (the simulators' metadata says
  // simulation=steady-state): each simulator's observations are batch means
  // of one long run; its first warmupBatches of every variable are dropped,
  // and the lag-1 autocorrelation of the kept ones is measured.
  bool steadyState = false;
  long warmupBatches = 1;
  // Simulator k of this study takes seed number firstSeedIndex + k of the
  // base seed (SimulatorSeeds): the points of a sweep never share a seed.
  int firstSeedIndex = 0;
  std::size_t maxMessageSize = 64u << 20;
  // Variable i's name, as the simulators report it (RunMetadata.h); a
  // number without one is shown as pv<i>.
  std::vector<std::string> variableNames;
  // How many variables of the run's kind each simulator reports one
  // observation of per replication or batch (from the run's metadata); 0:
  // not known. A fixed-length study that knows it foretells each
  // simulator's bytes and writes the merged file in place (MergedRegions.h).
  int reportedVariables = 0;
};

#endif
