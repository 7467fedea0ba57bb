#include "manager/LocalLauncher.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const char kLoopback[] = "127.0.0.1";

void CloseQuietly(int descriptor) {
  if (descriptor >= 0) ::close(descriptor);
}

// Runs in the child between fork and exec: only async-signal-safe calls.
// An exec failure is reported to the parent through errorPipe as errno.
[[noreturn]] void ExecChild(const LaunchRequest& request, char* const* argv, int outputPipe, int errorPipe,
                            pid_t parent) {
  ::setsid();
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(127);  // the manager is already gone
  const int devNull = ::open("/dev/null", O_RDONLY);
  if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
  ::dup2(outputPipe, STDOUT_FILENO);
  ::dup2(outputPipe, STDERR_FILENO);
  ::execv(request.executable.c_str(), argv);
  const int error = errno;
  ssize_t ignored = ::write(errorPipe, &error, sizeof error);
  (void)ignored;
  ::_exit(127);
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
  std::vector<std::string> words;
  words.push_back(request.executable);
  words.insert(words.end(), request.arguments.begin(), request.arguments.end());
  words.push_back("-i");
  words.push_back(kLoopback);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  int output[2];
  int exec[2];
  if (::pipe2(output, O_CLOEXEC) != 0) {
    error = std::string("cannot create a pipe: ") + std::strerror(errno);
    return nullptr;
  }
  if (::pipe2(exec, O_CLOEXEC) != 0) {
    error = std::string("cannot create a pipe: ") + std::strerror(errno);
    CloseQuietly(output[0]);
    CloseQuietly(output[1]);
    return nullptr;
  }
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) ExecChild(request, argv.data(), output[1], exec[1], parent);
  CloseQuietly(output[1]);
  CloseQuietly(exec[1]);
  if (pid < 0) {
    error = std::string("cannot start a process: ") + std::strerror(errno);
    CloseQuietly(output[0]);
    CloseQuietly(exec[0]);
    return nullptr;
  }
  // The exec pipe closes on a successful exec; otherwise it carries errno.
  int execError = 0;
  ssize_t got;
  do {
    got = ::read(exec[0], &execError, sizeof execError);
  } while (got < 0 && errno == EINTR);
  CloseQuietly(exec[0]);
  if (got == static_cast<ssize_t>(sizeof execError)) {
    error = "cannot run '" + request.executable + "': " + std::strerror(execError);
    CloseQuietly(output[0]);
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return nullptr;
  }
  ::fcntl(output[0], F_SETFL, ::fcntl(output[0], F_GETFL) | O_NONBLOCK);
  return std::unique_ptr<LaunchedSimulator>(new LocalSimulator(pid, output[0]));
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
