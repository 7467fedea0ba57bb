#include "manager/ChildProcess.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>

#include "manager/LocalLauncher.h"

namespace {

// What the child needs, in the parent's memory: the child shares it until it
// execs (see StartChildProcess), so nothing here may change meanwhile.
struct ChildStart {
  const char* path;
  char* const* argv;
  ChildProcessSetup setup;
  int outputPipe;
  int errorPipe;
  pid_t parent;
  sigset_t mask;  // the parent's signal mask, restored before the exec
};

// Runs in the child, on a stack of its own in the parent's memory, until
// exec: only async-signal-safe calls, and no writes to the parent's data.
// A handler of the manager's would run in the manager's memory, so every
// handled signal goes back to its default before signals are let in again;
// ignored ones stay ignored across the exec, as they would after a fork.
// An exec failure is reported to the parent through errorPipe as errno.
__attribute__((no_sanitize("address"))) int ExecChild(void* argument) {
  const ChildStart& start = *static_cast<const ChildStart*>(argument);
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  ::sigemptyset(&byDefault.sa_mask);
  for (int number = 1; number < NSIG; ++number) {
    struct sigaction current;
    if (::sigaction(number, nullptr, &current) != 0) continue;
    if (current.sa_handler == SIG_DFL || current.sa_handler == SIG_IGN) continue;
    ::sigaction(number, &byDefault, nullptr);
  }
  ::sigprocmask(SIG_SETMASK, &start.mask, nullptr);
  if (start.setup.detach == ChildProcessSetup::Detach::kSession) {
    ::setsid();
  } else {
    ::setpgid(0, 0);
  }
  ::prctl(PR_SET_PDEATHSIG, start.setup.deathSignal);
  if (::getppid() != start.parent) ::_exit(127);  // the manager is already gone
  const int devNull = ::open("/dev/null", O_RDONLY);
  if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
  ::dup2(start.outputPipe, STDOUT_FILENO);
  ::dup2(start.outputPipe, STDERR_FILENO);
  ::execv(start.path, start.argv);
  const int error = errno;
  ssize_t ignored = ::write(start.errorPipe, &error, sizeof error);
  (void)ignored;
  ::_exit(127);
}

// Starts ExecChild in a child that shares the manager's memory until it
// execs or exits, while the calling thread waits: nothing of the manager's
// memory is copied, which a fork of a manager of hundreds of connections
// pays for with a page-table copy per simulator. Signals are held back
// meanwhile, so that none is taken by the child in the manager's name.
// Returns the child's process id, or -1 with errno set.
pid_t CloneAndExec(ChildStart& start) {
  constexpr std::size_t kChildStackBytes = 64 * 1024;
  std::unique_ptr<char[]> stack(new char[kChildStackBytes]);
  sigset_t all;
  ::sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &start.mask);
  const pid_t pid = ::clone(ExecChild, stack.get() + kChildStackBytes, CLONE_VM | CLONE_VFORK | SIGCHLD, &start);
  const int error = errno;
  ::pthread_sigmask(SIG_SETMASK, &start.mask, nullptr);
  errno = error;
  return pid;
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
  ChildStart start{path.c_str(), argv.data(), setup, output[1], exec[1], ::getpid(), sigset_t()};
  const pid_t pid = CloneAndExec(start);
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
