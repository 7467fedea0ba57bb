#include "manager/LocalLauncher.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "manager/ChildProcess.h"

namespace {

const char kLoopback[] = "127.0.0.1";

void CloseQuietly(int descriptor) {
  if (descriptor >= 0) ::close(descriptor);
}

}  // namespace

std::string SimulatorEnding::Describe() const {
  switch (kind) {
    case Kind::kRunning:
      return "running";
    case Kind::kExited:
      return "exit status " + std::to_string(code);
    case Kind::kSignalled:
      return "killed by signal " + std::to_string(code) + " (" + ::strsignal(code) + ")";
    case Kind::kUnknown:
      break;
  }
  return "ended";
}

std::unique_ptr<LaunchedSimulator> LocalLauncher::Start(const LaunchRequest& request, std::string& error) {
  std::vector<std::string> arguments = request.arguments;
  arguments.push_back("-i");
  arguments.push_back(kLoopback);
  return StartChildProcess(request.executable, arguments, {ChildProcessSetup::Detach::kSession, SIGKILL}, error);
}

LocalSimulator::LocalSimulator(pid_t pid, int outputDescriptor) : pid_(pid), output_(outputDescriptor) {}

LocalSimulator::~LocalSimulator() {
  if (!ending_.Ended()) {
    Signal(SIGKILL);
    int status;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  CloseQuietly(output_);
}

std::string LocalSimulator::Describe() const { return "process " + std::to_string(pid_); }

SimulatorEnding LocalSimulator::Poll() {
  if (ending_.Ended()) return ending_;
  int status = 0;
  const pid_t result = ::waitpid(pid_, &status, WNOHANG);
  if (result == pid_) {
    if (WIFEXITED(status)) {
      ending_ = {SimulatorEnding::Kind::kExited, WEXITSTATUS(status)};
    } else if (WIFSIGNALED(status)) {
      ending_ = {SimulatorEnding::Kind::kSignalled, WTERMSIG(status)};
    } else {
      ending_ = {SimulatorEnding::Kind::kUnknown, 0};
    }
  } else if (result < 0 && errno == ECHILD) {
    ending_ = {SimulatorEnding::Kind::kUnknown, 0};
  }
  return ending_;
}

void LocalSimulator::Terminate() { Signal(SIGTERM); }
void LocalSimulator::Kill() { Signal(SIGKILL); }

// Never signals a reaped process: its id may belong to another one by now.
void LocalSimulator::Signal(int signalNumber) {
  if (!ending_.Ended()) ::kill(pid_, signalNumber);
}
