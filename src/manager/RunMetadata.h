// What the manager learns about its study's runs before it starts them: it
// runs its simulator once with --metadata and the simulator options, which
// prints the metadata every simulator of the study would write (the model,
// its experiment and globals, the options, the reward variables with their
// names). So the manager names the variables of whatever model its
// simulators run, without knowing any model itself; and it writes the same
// metadata, with every simulator's seed and place, beside its merged file.
#ifndef MANAGER_RUN_METADATA_H
#define MANAGER_RUN_METADATA_H

#include <string>
#include <vector>

#include "manager/Launcher.h"
#include "manager/Study.h"
#include "results/ResultsMetadata.h"

// Runs gpusim --metadata simulatorArguments (within timeoutSeconds) and reads
// what it prints. False with *error set when the simulator cannot tell: the
// study can still run, with its variables numbered; unless the simulator
// refused the run itself (it ended with its own ERROR line, now in *error):
// then *refused, if given, is set, and every simulator would refuse it too.
bool LearnRunMetadata(const std::string& gpusim, const std::vector<std::string>& simulatorArguments,
                      double timeoutSeconds, ResultsMetadata* metadata, std::string* error, bool* refused = nullptr);

// The same, asked of a simulator started through launcher (for a simulator
// that is only on the remote hosts): it runs `<executable> --metadata
// simulatorArguments` as the study's simulator 0 would run, reads its output
// to its end and waits for it to end, all within timeoutSeconds; whatever is
// still running then is ended by the handle (Launcher.h).
bool LearnRunMetadataThrough(Launcher& launcher, const std::string& executable,
                             const std::vector<std::string>& simulatorArguments, double timeoutSeconds,
                             ResultsMetadata* metadata, std::string* error, bool* refused = nullptr);

// The metadata of the merged results file resultsPath: the simulators'
// metadata without their own seed, with the study's base seed and one
// "simulator=<index>,<seed>,<where>" line per simulator.
ResultsMetadata MergedFileMetadata(const ResultsMetadata& simulators, const std::string& resultsPath, unsigned baseSeed,
                                   const std::vector<SimulatorFacts>& facts);

#endif
