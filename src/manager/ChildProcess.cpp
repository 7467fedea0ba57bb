#include "manager/ChildProcess.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "manager/LocalLauncher.h"

namespace {

// Runs in the child between fork and exec: only async-signal-safe calls.
// An exec failure is reported to the parent through errorPipe as errno.
[[noreturn]] void ExecChild(const char* path, char* const* argv, const ChildProcessSetup& setup, int outputPipe,
                            int errorPipe, pid_t parent) {
  if (setup.detach == ChildProcessSetup::Detach::kSession) {
    ::setsid();
  } else {
    ::setpgid(0, 0);
  }
  ::prctl(PR_SET_PDEATHSIG, setup.deathSignal);
  if (::getppid() != parent) ::_exit(127);  // the manager is already gone
  const int devNull = ::open("/dev/null", O_RDONLY);
  if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
  ::dup2(outputPipe, STDOUT_FILENO);
  ::dup2(outputPipe, STDERR_FILENO);
  ::execv(path, argv);
  const int error = errno;
  ssize_t ignored = ::write(errorPipe, &error, sizeof error);
  (void)ignored;
  ::_exit(127);
}

void ClosePair(int pair[2]) {
  ::close(pair[0]);
  ::close(pair[1]);
}

}  // namespace

std::unique_ptr<LaunchedSimulator> StartChildProcess(const std::string& path,
                                                     const std::vector<std::string>& arguments,
                                                     const ChildProcessSetup& setup, std::string& error) {
  std::vector<std::string> words{path};
  words.insert(words.end(), arguments.begin(), arguments.end());
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
    ClosePair(output);
    return nullptr;
  }
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) ExecChild(path.c_str(), argv.data(), setup, output[1], exec[1], parent);
  ::close(output[1]);
  ::close(exec[1]);
  if (pid < 0) {
    error = std::string("cannot start a process: ") + std::strerror(errno);
    ::close(output[0]);
    ::close(exec[0]);
    return nullptr;
  }
  // The exec pipe closes on a successful exec; otherwise it carries errno.
  int execError = 0;
  ssize_t got;
  do {
    got = ::read(exec[0], &execError, sizeof execError);
  } while (got < 0 && errno == EINTR);
  ::close(exec[0]);
  if (got == static_cast<ssize_t>(sizeof execError)) {
    error = "cannot run '" + path + "': " + std::strerror(execError);
    ::close(output[0]);
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return nullptr;
  }
  ::fcntl(output[0], F_SETFL, ::fcntl(output[0], F_GETFL) | O_NONBLOCK);
  return std::unique_ptr<LaunchedSimulator>(new LocalSimulator(pid, output[0]));
}
