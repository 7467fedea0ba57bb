#include "manager/SlurmLauncher.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "manager/ClientProcess.h"
#include "manager/CommandRunner.h"

namespace {

// How long a destroyed handle gives srun to end after its step was killed.
constexpr double kSrunEndSeconds = 5.0;

// The NodeAddr of a node from `scontrol show node -o NAME`, or "" when the
// controller does not say.
std::string LookUpNodeAddress(const std::string& node) {
  const CommandResult result = RunCommand({"scontrol", "show", "node", "-o", node}, SlurmLauncher::kCommandSeconds);
  if (!result.Succeeded()) return "";
  const std::string key = "NodeAddr=";
  std::size_t at = result.output.find(key);
  if (at == std::string::npos) return "";
  at += key.size();
  const std::size_t end = result.output.find_first_of(" \t\r\n", at);
  return result.output.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

}  // namespace

SlurmLauncher::SlurmLauncher(std::vector<std::string> extraArguments)
    : extraArguments_(std::move(extraArguments)),
      insideAllocation_(std::getenv("SLURM_JOB_ID") != nullptr),
      nodeAddresses_(std::make_shared<std::map<std::string, std::string>>()) {}

bool SlurmLauncher::CheckController(std::string& error) {
  if (!checked_) {
    checked_ = true;
    if (FindExecutable("srun").empty()) {
      controllerError_ = "Slurm's srun is not on PATH";
    } else {
      const CommandResult ping = RunCommand({"scontrol", "ping"}, kCommandSeconds);
      if (!ping.Succeeded() || ping.output.find("UP") == std::string::npos) {
        controllerError_ = "the Slurm controller does not answer (scontrol ping: " + ping.Reason() + ")";
      }
    }
  }
  error = controllerError_;
  return controllerError_.empty();
}

std::unique_ptr<LaunchedSimulator> SlurmLauncher::Start(const LaunchRequest& request, std::string& error) {
  if (!CheckController(error)) return nullptr;
  std::vector<std::string> arguments{"--ntasks=1", "--nodes=1", "--kill-on-bad-exit=1",
                                     "--job-name=gpusim-" + std::to_string(request.index)};
  if (insideAllocation_) arguments.push_back("--exact");
  arguments.insert(arguments.end(), extraArguments_.begin(), extraArguments_.end());
  arguments.insert(arguments.end(),
                   {"/bin/sh", "-c", RemoteSimulator::PlacementScript("$SLURM_JOB_ID.$SLURM_STEP_ID $SLURMD_NODENAME"),
                    request.executable});
  arguments.insert(arguments.end(), request.arguments.begin(), request.arguments.end());
  std::unique_ptr<LaunchedSimulator> client = StartClientProcess(FindExecutable("srun"), arguments, error);
  if (!client) return nullptr;
  return std::unique_ptr<LaunchedSimulator>(new SlurmStep(std::move(client), !insideAllocation_, nodeAddresses_));
}

SlurmStep::SlurmStep(std::unique_ptr<LaunchedSimulator> srun, bool ownsJob,
                     std::shared_ptr<std::map<std::string, std::string>> nodeAddresses)
    : RemoteSimulator(std::move(srun)), ownsJob_(ownsJob), nodeAddresses_(std::move(nodeAddresses)) {}

SlurmStep::~SlurmStep() {
  if (Poll().Ended()) return;
  Kill();
  const auto start = std::chrono::steady_clock::now();
  while (!Poll().Ended()) {
    if (std::chrono::steady_clock::now() - start > std::chrono::duration<double>(kSrunEndSeconds)) {
      // srun may be gone before it could release the job; cancel it
      // outright so that nothing holds the node's CPU.
      if (IsPlaced()) Cancel({});
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // The client handle's own destructor kills and reaps srun if still there.
}

void SlurmStep::Placed(const std::vector<std::string>& facts) {
  if (facts.size() < 2) return;
  step_ = facts[0];
  node_ = facts[1];
  auto known = nodeAddresses_->find(node_);
  if (known == nodeAddresses_->end()) {
    std::string address = LookUpNodeAddress(node_);
    known = nodeAddresses_->emplace(node_, address.empty() ? node_ : address).first;
  }
  address_ = known->second;
}

std::string SlurmStep::Describe() const {
  if (step_.empty()) return "srun process " + std::to_string(ClientProcessId()) + " (no step yet)";
  return "step " + step_ + " on " + node_;
}

std::string SlurmStep::CancelTarget() const {
  return ownsJob_ ? step_.substr(0, step_.find('.')) : step_;
}

bool SlurmStep::Cancel(const std::vector<std::string>& options) {
  std::vector<std::string> command{"scancel", "--quiet"};
  command.insert(command.end(), options.begin(), options.end());
  command.push_back(CancelTarget());
  return RunCommand(command, SlurmLauncher::kCommandSeconds).Succeeded();
}

void SlurmStep::Terminate() {
  if (Poll().Ended()) return;
  if (step_.empty()) {
    Client().Terminate();  // srun withdraws a request still waiting for resources
  } else {
    Cancel({});
  }
}

void SlurmStep::Kill() {
  if (Poll().Ended()) return;
  if (step_.empty()) {
    Client().Terminate();
  } else if (!Cancel({"--signal=KILL"})) {
    Client().Terminate();  // the controller did not take it: srun ends its step itself
  }
}
