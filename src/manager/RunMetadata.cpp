#include "manager/RunMetadata.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "manager/CommandRunner.h"

namespace {

const char kMarker[] = "# gpusim-metadata\n";
constexpr int kReadWaitMs = 50;

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool ReadMetadata(const std::string& output, bool succeeded, const std::string& reason, ResultsMetadata* metadata,
                  std::string* error, bool* refused) {
  // The simulator echoes its options before the marker; only what follows
  // it is metadata.
  const std::size_t marker = output.find(kMarker);
  if (succeeded && marker != std::string::npos) {
    *metadata = ResultsMetadata::Parse(output.substr(marker + sizeof kMarker - 1));
    return true;
  }
  // A refusing simulator's own error line, else its last line, names the
  // problem better than its first line, which echoes an option.
  const std::size_t refusal = output.find("ERROR");
  const std::size_t lastEnd = output.find_last_not_of(" \t\r\n");
  const std::size_t lastStart = lastEnd == std::string::npos ? 0 : output.find_last_of("\r\n", lastEnd);
  if (succeeded) {
    *error = "it printed no metadata";
  } else if (refusal != std::string::npos) {
    *error = output.substr(refusal, output.find_first_of("\r\n", refusal) - refusal);
    if (refused != nullptr) *refused = true;
  } else if (lastEnd != std::string::npos) {
    const std::size_t from = lastStart == std::string::npos ? 0 : lastStart + 1;
    *error = output.substr(from, lastEnd + 1 - from);
  } else {
    *error = reason;
  }
  return false;
}

// The whole output of process, until it ends or deadline passes; ending
// tells which.
std::string OutputToEnd(LaunchedSimulator& process, double deadline, SimulatorEnding* ending) {
  std::string output;
  char chunk[4096];
  while (Now() < deadline) {
    const int descriptor = process.OutputDescriptor();
    ssize_t got = 0;
    if (descriptor >= 0) {
      pollfd watched{descriptor, POLLIN, 0};
      ::poll(&watched, 1, kReadWaitMs);
      got = ::read(descriptor, chunk, sizeof chunk);
      if (got > 0 && output.size() < kMaxCapturedOutput) output.append(chunk, static_cast<std::size_t>(got));
      if (got > 0 || (got < 0 && (errno == EAGAIN || errno == EINTR))) continue;
    }
    // The output is closed (or there is none): the process is ending.
    *ending = process.Poll();
    if (ending->Ended()) break;
    ::poll(nullptr, 0, 10);
  }
  return output;
}

}  // namespace

bool LearnRunMetadata(const std::string& gpusim, const std::vector<std::string>& simulatorArguments,
                      double timeoutSeconds, ResultsMetadata* metadata, std::string* error, bool* refused) {
  std::vector<std::string> command = {gpusim, "--metadata"};
  command.insert(command.end(), simulatorArguments.begin(), simulatorArguments.end());
  const CommandResult result = RunCommand(command, timeoutSeconds);
  if (result.timedOut || !result.started) {
    *error = result.Reason();
    return false;
  }
  return ReadMetadata(result.output, result.Succeeded(), result.Reason(), metadata, error, refused);
}

bool LearnRunMetadataThrough(Launcher& launcher, const std::string& executable,
                             const std::vector<std::string>& simulatorArguments, double timeoutSeconds,
                             ResultsMetadata* metadata, std::string* error, bool* refused) {
  LaunchRequest request;
  request.executable = executable;
  request.arguments = {"--metadata"};
  request.arguments.insert(request.arguments.end(), simulatorArguments.begin(), simulatorArguments.end());
  std::unique_ptr<LaunchedSimulator> process = launcher.Start(request, *error);
  if (!process) return false;
  SimulatorEnding ending;
  const std::string output = OutputToEnd(*process, Now() + timeoutSeconds, &ending);
  if (!ending.Ended()) {
    *error = "no answer within " + std::to_string(static_cast<long>(timeoutSeconds)) + " s";
    return false;  // the handle's destructor ends the process
  }
  return ReadMetadata(output, ending.Clean(), ending.Describe(), metadata, error, refused);
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
