#include "manager/RunMetadata.h"

#include "manager/CommandRunner.h"

namespace {

const char kMarker[] = "# gpusim-metadata\n";

}  // namespace

bool LearnRunMetadata(const std::string& gpusim, const std::vector<std::string>& simulatorArguments,
                      double timeoutSeconds, ResultsMetadata* metadata, std::string* error) {
  std::vector<std::string> command = {gpusim, "--metadata"};
  command.insert(command.end(), simulatorArguments.begin(), simulatorArguments.end());
  const CommandResult result = RunCommand(command, timeoutSeconds);
  // The simulator echoes its options before the marker; only what follows
  // it is metadata.
  const std::size_t marker = result.output.find(kMarker);
  if (!result.Succeeded() || marker == std::string::npos) {
    *error = result.Succeeded() ? "it printed no metadata" : result.Reason();
    return false;
  }
  *metadata = ResultsMetadata::Parse(result.output.substr(marker + sizeof kMarker - 1));
  return true;
}

ResultsMetadata MergedFileMetadata(const ResultsMetadata& simulators, const std::string& resultsPath, unsigned baseSeed,
                                   const std::vector<SimulatorFacts>& facts) {
  ResultsMetadata merged;
  for (const auto& [key, value] : simulators.fields) {
    if (key == "format") {
      merged.Add(key, value);
      merged.Add("results", resultsPath);
    } else if (key == "seed") {
      merged.Add("base_seed", std::to_string(baseSeed));
      for (const SimulatorFacts& f : facts) {
        merged.Add("simulator", std::to_string(f.index) + "," + std::to_string(f.seed) + "," + f.where);
      }
    } else if (key != "results") {
      merged.Add(key, value);
    }
  }
  return merged;
}
